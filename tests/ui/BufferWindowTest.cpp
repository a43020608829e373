// The text buffers window, the screen text files, help, the shortcut list and the about box with
// real keys and clicks.
#include "desk/Buffers.h"
#include "desk/Parameters.h"
#include "support/DeskFixture.h"
#include "support/WindowFixture.h"
#include "ui/buffers/BufferForm.h"
#include "ui/main/AboutBox.h"
#include "ui/main/ShortcutList.h"
#include "ui/params/ParamForm.h"

#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

using namespace brindle;
using brindle::test::Activate;
using brindle::test::ReadWhole;
using brindle::test::Values;
namespace fs = std::filesystem;

namespace {

class BufferWindow : public brindle::test::TWindowTest {
protected:
    TBufferForm& Buffers() { return Form->BufferForm(); }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = Folder.File(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

} // namespace

TEST_F(BufferWindow, F4AndTheButtonShowAndHideItAndTheFirstFieldHasTheFocus) {
    EXPECT_TRUE(fs::exists(Folder.File("CWBuffer1.txt"))); // made at the first start
    EXPECT_TRUE(fs::exists(Folder.File("CWBuffer4.txt")));
    auto* button = Form->findChild<QPushButton*>("BuffersButton");
    ASSERT_TRUE(button->isEnabled());
    Key(Qt::Key_F4);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Buffers()));
    EXPECT_EQ(Buffers().windowTitle(), "Brindle Text Buffers");
    EXPECT_EQ(Buffers().focusWidget(), &Buffers().BufferEdit(0));
    Activate(Buffers());
    QTest::keyClick(&Buffers().BufferEdit(0), Qt::Key_F4);
    EXPECT_FALSE(Buffers().isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(Buffers().isVisible());
    // F2 in the buffers window acts as in the main window.
    for (const bool shown : {true, false}) {
        Activate(Buffers());
        QTest::keyClick(&Buffers().BufferEdit(0), Qt::Key_F2);
        EXPECT_EQ(Form->ParamForm().isVisible(), shown);
    }
}

TEST_F(BufferWindow, TypingTransmitRepeatAndEsc) {
    Key(Qt::Key_F4);
    Activate(Buffers());
    auto& edit = Buffers().BufferEdit(0);
    edit.setFocus();
    QTest::keyClicks(&edit, "cq de \x7e<ar>");
    QTest::keyClick(&edit, Qt::Key_Return); // normalised: the "~" goes
    EXPECT_EQ(edit.text(), "cq de <ar>");
    QTest::mouseClick(&Buffers().Button(0, TBufferForm::SendColumn), Qt::LeftButton);
    EXPECT_EQ(Shown(), "cq de <ar>");
    QTest::mouseClick(&Buffers().Button(0, TBufferForm::RepeatColumn), Qt::LeftButton);
    EXPECT_TRUE(Buffers().Button(0, TBufferForm::RepeatColumn).isChecked());
    Play(12000);
    Shot(Buffers(), "buffers-repeating");
    EXPECT_TRUE(Shown().startsWith("cq de <ar> cq de <ar>")) << Shown().toStdString();
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_FALSE(Buffers().Button(0, TBufferForm::RepeatColumn).isChecked());
    // F5 in the main window sends buffer 1 as well.
    App().ClearScreenClick();
    Key(Qt::Key_F5);
    EXPECT_EQ(Shown(), "cq de <ar>");
}

TEST_F(BufferWindow, AllCapsTypingNewLoadSaveAndExit) {
    App().Params().SetAllCaps(true);
    Key(Qt::Key_F4);
    Activate(Buffers());
    auto& edit = Buffers().BufferEdit(1);
    edit.setFocus();
    QTest::keyClicks(&edit, "test k");
    EXPECT_EQ(edit.text(), "TEST K");
    NextFile = Write("other.txt", "tu 73");
    QTest::mouseClick(&Buffers().Button(2, TBufferForm::OpenColumn), Qt::LeftButton);
    EXPECT_EQ(Buffers().BufferEdit(2).text(), "tu 73"); // a loaded text is not changed
    NextFile = Folder.File("saved.txt");
    QTest::mouseClick(&Buffers().Button(1, TBufferForm::SaveColumn), Qt::LeftButton);
    EXPECT_EQ(ReadWhole(Folder.File("saved.txt")), "TEST K");
    QTest::mouseClick(&Buffers().Button(3, TBufferForm::NewColumn), Qt::LeftButton);
    Shot(Buffers(), "buffers-caps");
    Form->close(); // buffer 3 shown in capitals, kept so
    EXPECT_EQ(Values(ReadWhole(Folder.File("CWBuffer2.txt")),
                     ReadWhole(Folder.File("CWBuffer3.txt")),
                     ReadWhole(Folder.File("CWBuffer4.txt")), ReadWhole(Folder.File("other.txt")),
                     Messages.size()),
              "TEST K | TU 73 |  | tu 73 | 0");
}

TEST_F(BufferWindow, ScreenTextLoadAndSave) {
    Key(Qt::Key_S, Qt::ControlModifier); // cancelled: nothing written
    ASSERT_EQ(SaveRequests.size(), 1u);
    // Until a file was opened, the dialog opens in the user's folder, not the program's.
    EXPECT_NE(SaveRequests[0].Folder, Folder.Path.string() + "/");
    EXPECT_TRUE(fs::is_directory(SaveRequests[0].Folder));
    NextFile = Write("in.txt", "cq cq\nde dl1abc\n");
    Key(Qt::Key_L, Qt::ControlModifier);
    // The load goes on from the event loop.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !App().Sender().Loading(); }, 5000));
    EXPECT_EQ(Shown(), "cq cq\nde dl1abc\n"); // the file's lines
    NextFile = Folder.File("out.txt");
    QTest::mouseClick(Form->findChild<QToolButton*>("SaveButton"), Qt::LeftButton);
    EXPECT_EQ(ReadWhole(Folder.File("out.txt")), "cq cq\nde dl1abc\n");
}

TEST_F(BufferWindow, HelpAndAbout) {
    Key(Qt::Key_F1);
    ASSERT_EQ(Urls.size(), 1u);
    EXPECT_EQ(Urls[0].rfind("file://", 0), 0u);
    EXPECT_NE(Urls[0].find("/help/helpbrindle.htm"), std::string::npos);
    EXPECT_TRUE(fs::exists(TMainWindow::HelpPage())) << TMainWindow::HelpPage();
    // Without a browser F1 used to do nothing at all: the status bar says where the page is.
    BrowserFound = false;
    Key(Qt::Key_F1);
    EXPECT_TRUE(Form->statusBar()->currentMessage().contains("No web browser was found"));
    EXPECT_TRUE(Form->statusBar()->currentMessage().contains(
        QString::fromStdString(TMainWindow::HelpPage())));
    QAction* about = MenuItem("&About...");
    ASSERT_NE(about, nullptr);
    about->trigger();
    ASSERT_TRUE(Form->AboutBox().isVisible());
    Shot(Form->AboutBox(), "about");
    EXPECT_EQ(Form->AboutBox().VersionLabel().text(),
              QString("Version ") + TMainWindow::ProgramVersion());
    QTest::keyClick(&Form->AboutBox(), Qt::Key_Escape);
    EXPECT_FALSE(Form->AboutBox().isVisible());
    // Every menu item does something now.
    for (QAction* menu : Form->menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator()) {
                EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
            }
}

// After a long Ctrl+L load the display showed the end of the text, not the part being sent; the
// view now stays with the part being sent, and follows it down.
TEST_F(BufferWindow, ALongLoadKeepsThePartBeingSentInView) {
    App().Params().SetCharSize(9); // 100 pt: a few lines fill the display
    App().SetNewSpeedVal("300");
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line" + std::to_string(i) + " of the text\n";
    NextFile = Write("long.txt", text);
    Key(Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !App().Sender().Loading(); }, 10000));
    auto& display = Form->TextView();
    display.Flush();
    QApplication::processEvents();
    auto shown = [&](int docPos) {
        QTextCursor c(display.document());
        c.setPosition(docPos);
        const QRect r = display.cursorRect(c);
        return r.top() >= 0 && r.bottom() <= display.viewport()->height();
    };
    EXPECT_TRUE(shown(0)); // the first line, which is sent first
    EXPECT_FALSE(shown(display.document()->characterCount() - 1));
    Play(30000); // some lines sent
    display.Flush();
    QApplication::processEvents();
    const int mark = App().Display().DocPos(App().Display().SentMark());
    ASSERT_GT(mark, 60);
    EXPECT_TRUE(shown(mark)) << mark;
}

// Ctrl+F1 shows the short cut list. Every line is key, tab, text; the texts start in one column
// after the widest key, and the window shows every line whole, without scrolling; Esc hides it.
TEST_F(BufferWindow, TheShortCutListIsAlignedAndFitsItsLines) {
    const QStringList lines = ShortCutLines().split('\n');
    EXPECT_EQ(lines.front(), "F1\tdisplay Help information in your browser");
    for (const char* line : {"F10\taccess the menu bar (standard command)",
                             "CTRL+C\tlets you copy selected text to the clipboard",
                             "PAUSE\tpauses and resumes sending, like the Pause button"})
        EXPECT_TRUE(lines.contains(line)) << line;
    for (const QString& line : lines) {
        if (!line.isEmpty()) {
            EXPECT_EQ(line.count('\t'), 1) << line.toStdString();
        }
    }

    Key(Qt::Key_F1, Qt::ControlModifier);
    TShortcutList& shorts = Form->ShortcutList();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shorts));
    EXPECT_EQ(shorts.windowTitle(), "Short Cuts");
    QPlainTextEdit& memo = shorts.Memo();
    EXPECT_EQ(memo.toPlainText(), ShortCutLines());
    // The test's screen may be smaller than the list; at its own size it shows whole.
    shorts.resize(shorts.sizeHint());
    QApplication::processEvents();
    Shot(shorts, "shortcuts");
    std::optional<qreal> column;
    for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) {
        const int tab = static_cast<int>(b.text().indexOf('\t'));
        if (tab < 0) continue;
        memo.document()->documentLayout()->blockBoundingRect(b); // lays the line out
        ASSERT_EQ(b.layout()->lineCount(), 1) << b.text().toStdString();
        const qreal x = b.layout()->lineAt(0).cursorToX(tab + 1);
        if (!column) column = x;
        EXPECT_EQ(x, *column) << b.text().toStdString();
        EXPECT_GT(x, b.layout()->lineAt(0).cursorToX(tab)) << b.text().toStdString();
    }
    EXPECT_TRUE(column.has_value());
    EXPECT_EQ(memo.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(memo.verticalScrollBar()->maximum(), 0);
    Activate(shorts);
    QTest::keyClick(&memo, Qt::Key_Escape);
    EXPECT_FALSE(shorts.isVisible());
}
