// The main window with real key events and clicks, on a sound backend in memory: typing, editing
// and the tool bar; the text buffers window, the screen text files, help, the shortcut list and
// the about box; practice sessions: the session dialog's six lines for each mode and its request
// lines, the loaders of the File menu, the start button, the speed and sound tests, copy practice
// and the Koch course.
#include "ui/main/MainWindow.h"
#include "desk/Buffers.h"
#include "desk/Parameters.h"
#include "support/DeskFixture.h"
#include "support/WindowFixture.h"
#include "ui/buffers/BufferForm.h"
#include "ui/course/KochForm.h"
#include "ui/main/AboutBox.h"
#include "ui/main/CopyEdit.h"
#include "ui/main/SessionDialogBox.h"
#include "ui/main/ShortcutList.h"
#include "ui/params/ParamForm.h"
#include "ui/progress/ProgressForm.h"

#include <QAbstractTextDocumentLayout>
#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace brindle;
using brindle::test::Activate;
using brindle::test::ReadWhole;
using brindle::test::Values;
namespace fs = std::filesystem;

namespace {

using Window = brindle::test::TWindowTest;

// Writes text to the file at path; returns path.
std::string Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class BufferWindow : public Window {
protected:
    TBufferForm& Buffers() { return Form->BufferForm(); }
};

using TLines = std::array<std::string, 6>;

class SessionWindow : public Window {
protected:
    // Presses key on the display; the session dialog that opens is read and answered with reply.
    // Returns its caption and lines as drawn (empty caption: no dialog came).
    std::pair<std::string, TLines> Dialog(Qt::Key key, Qt::Key reply) {
        std::pair<std::string, TLines> seen;
        WithDialog<TSessionDialogBox>(key, {}, [&](TSessionDialogBox& d) {
            seen.first = d.windowTitle().toStdString();
            const char* names[] = {"Line1", "Line2", "Line3", "Line4", "Line5", "Line6"};
            for (std::size_t i = 0; i < 6; ++i)
                if (auto* label = d.findChild<QLabel*>(names[i]))
                    seen.second[i] = label->text().toStdString();
                else
                    ADD_FAILURE() << "no line " << names[i];
            Shot(d, ("dialog-" +
                     std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                     "-" + seen.first)
                        .c_str());
            QTest::keyClick(&d, reply);
        });
        return seen;
    }
    // Answers the next dialog with OK.
    static void AnswerOk() {
        QTimer::singleShot(0, [] {
            if (auto* d = QApplication::activeModalWidget()) QTest::keyClick(d, Qt::Key_Return);
        });
    }
    void Load(Qt::Key key, const std::string& path) {
        NextFile = path;
        Key(key, Qt::ControlModifier);
    }
    // Plays until done() or for at most limitMs.
    template <class F> void PlayUntil(F done, int limitMs = 60000) {
        for (int ms = 0; ms < limitMs && !done(); ms += 100)
            Play(100);
    }
    brindle::test::TTempDir Lists; // where the user keeps word, phrase and text lists
};

} // namespace

TEST_F(Window, TypingShowsTheTextRedThenBlackAndTheTXButtonFollowsThePtt) {
    // The TX button's state and caption.
    const auto tx = [&] {
        return Values(Form->TXButton().isChecked(), Form->TXButton().text().toStdString());
    };
    EXPECT_EQ(tx(), "0 | AutoStart");
    QTest::keyClicks(&Form->TextView(), "paris");
    EXPECT_EQ(Shown(), "paris");
    EXPECT_EQ(ColourAt(0), QColor(Qt::red));
    Play(300);
    EXPECT_EQ(
        Values(tx(), Form->PauseButton().isEnabled(), Form->PauseButton().text().toStdString()),
        "1 | Stop | 1 | Pause");
    Play(8000); // the text and the PTT hold time
    EXPECT_EQ(Values(ColourAt(0) == Qt::black, ColourAt(4) == Qt::black, Sound.Written.empty()),
              "1 | 1 | 0");
    EXPECT_EQ(tx(), "0 | AutoStart");
}

// Backspace, Esc, Ctrl+Z, Delete and Ctrl+V on the display reach the sending logic.
TEST_F(Window, EditingKeysAndPastingOnTheDisplay) {
    auto* display = &Form->TextView();
    QTest::keyClicks(display, "<ar");
    EXPECT_EQ(Shown(), "<ar>");
    QTest::keyClick(display, Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "");
    QTest::keyClicks(display, "cq cq");
    QTest::keyClick(display, Qt::Key_Escape);
    EXPECT_EQ(Shown(), "");
    QTest::keyClicks(display, "abc");
    QTest::keyClick(display, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "");
    EXPECT_FALSE(App().Engine().HasChars());
    QTest::keyClicks(display, "abc");
    QTest::keyClick(display, Qt::Key_Delete);
    EXPECT_EQ(Shown(), "");

    QGuiApplication::clipboard()->setText("cq <ar>");
    QTest::keyClick(display, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "cq <ar>");
    QTest::keyClick(display, Qt::Key_Z, Qt::ControlModifier);
    // NUL bytes, control characters and bytes that are no UTF-8: only sendable characters come
    // through.
    auto junk = std::make_unique<QMimeData>();
    junk->setData("text/plain", QByteArray("e\0\x01\xff\xfe\xc3(t\x1b", 9));
    QGuiApplication::clipboard()->setMimeData(junk.release());
    QTest::keyClick(display, Qt::Key_V, Qt::ControlModifier);
    for (const QChar c : Shown())
        EXPECT_TRUE(c.isPrint()) << static_cast<int>(c.unicode());
    EXPECT_TRUE(Shown().startsWith("e"));
    EXPECT_TRUE(Messages.empty());

    // 10 MB: what fits is queued and shown, the full-buffer message comes once.
    QGuiApplication::clipboard()->setText(QString(10 * 1024 * 1024, QChar('e')));
    QTest::keyClick(display, Qt::Key_V, Qt::ControlModifier);
    QApplication::processEvents(); // the message box opens from the event loop
    EXPECT_EQ(Messages, std::vector<std::string>{"Warning: Type-ahead buffer is full: 30000"});
    QTest::keyClick(display, Qt::Key_Escape); // and the window still answers
    EXPECT_EQ(Shown(), "");
}

// Closing saves the settings and the buffers; what cannot be saved is shown and the window still
// closes. Ended by a signal (a logout) nobody may be there to click: the messages go to the log.
TEST_F(Window, ClosingSavesAndShowsWhatCouldNotBeSaved) {
    const std::string data = Folder.Path.string() + "/";
    App().ChangeSpeedBy(5);
    Form->close();
    EXPECT_EQ(LoadIniSettings(data, {}).Main.Speed, 65);
    EXPECT_NE(ReadWhole(SettingsPath(data))
                  .find(std::string("Version=") + TMainWindow::ProgramVersion() + "\n"),
              std::string::npos);
    EXPECT_TRUE(Messages.empty());

    // The settings folder has become a file.
    for (const bool bySignal : {false, true}) {
        Form.reset();
        fs::remove_all(Folder.Path);
        fs::create_directory(Folder.Path);
        Open();
        Messages.clear();
        fs::remove_all(Folder.Path);
        std::ofstream(Folder.Path) << "a file where the folder should be";
        if (bySignal)
            Form->CloseWithoutQuestion();
        else
            Form->close();
        EXPECT_FALSE(Form->isVisible());
        EXPECT_EQ(Messages.empty() ? "" : Messages.back(),
                  bySignal ? "" : "Error: cannot create directory " + data);
    }
}

// A long paragraph is shown in pieces (its layout costs its whole length at every edit), yet
// colours, removal and copying go by the text as the user wrote it.
TEST_F(Window, ALongParagraphIsSplitInvisiblyForCopyingAndColours) {
    std::string words;
    for (int i = 0; i < 1000; ++i)
        words += "abc" + std::to_string(i % 10) + " ";
    QGuiApplication::clipboard()->setText(QString::fromStdString(words));
    QTest::keyClick(&Form->TextView(), Qt::Key_V, Qt::ControlModifier);
    TDisplayModel& d = Form->TextView().Model(); // the widget draws what its model holds
    ASSERT_EQ(d.Text(), words);
    Form->TextView().Flush();
    EXPECT_GT(Form->TextView().document()->blockCount(), 2);

    QTest::keyClick(&Form->TextView(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&Form->TextView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), words);

    // The widget's position of the model's character k.
    auto widgetPos = [&](int k) {
        const QString shown = Shown();
        int model = 0;
        for (int w = 0; w < shown.size(); ++w) {
            if (shown[w] == '\n') continue; // only soft breaks here
            if (model++ == k) return w;
        }
        return -1;
    };
    for (int i = 0; i < 3001; ++i)
        d.MarkOneSent();
    EXPECT_EQ(ColourAt(widgetPos(3000)), QColor(Qt::black));
    EXPECT_EQ(ColourAt(widgetPos(3001)), QColor(Qt::red));
    EXPECT_EQ(ColourAt(widgetPos(4999)), QColor(Qt::red));

    d.DeleteLast(d.TextEnd() - d.SentMark()); // what Esc does with the unsent rest
    QString left = Shown();
    EXPECT_FALSE(left.endsWith('\n'));
    left.remove('\n');
    EXPECT_EQ(left.toStdString(), words.substr(0, 3001));
}

// Every caption the tool bar can show fits at the window's narrowest: none of its buttons slips
// behind the extension arrow, in single mode ("Stop Single Mode"), with the text hidden ("Show
// Text") and in every training mode; and the buttons keep their widths as their captions change.
TEST_F(Window, TheToolBarNeverHidesAButton) {
    auto* tools = Form->findChild<QToolBar*>("Tools");
    auto* start = Form->findChild<QPushButton*>("StartButton");
    auto* single = Form->findChild<QPushButton*>("SingleModeButton");
    auto* hide = Form->findChild<QPushButton*>("HideButton");
    ASSERT_TRUE(tools && start && single && hide);
    Form->resize(Form->minimumWidth(), Form->height());
    const QList<int> widths = {start->width(), single->width(), hide->width()};
    auto everyButtonShown = [&](const std::string& when) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
        auto* extension = tools->findChild<QToolButton*>("qt_toolbar_ext_button");
        EXPECT_TRUE(!extension || extension->isHidden()) << when;
        for (QAction* a : tools->actions()) {
            const QWidget* w = tools->widgetForAction(a);
            if (!w) continue;
            const std::string name = w->objectName().toStdString();
            EXPECT_TRUE(w->isVisible()) << name << " " << when;
            EXPECT_TRUE(tools->rect().contains(w->geometry())) << name << " " << when;
        }
        EXPECT_EQ(QList<int>({start->width(), single->width(), hide->width()}), widths) << when;
    };
    everyButtonShown("at the start");
    QTest::mouseClick(hide, Qt::LeftButton);
    ASSERT_EQ(hide->text(), "Show Text");
    everyButtonShown("with the text hidden");
    QTest::mouseClick(hide, Qt::LeftButton);
    QTest::keyClick(&Form->TextView(), Qt::Key_F9);
    ASSERT_EQ(single->text(), "Stop Single Mode");
    everyButtonShown("in single mode");
    for (int mode = 0; mode < 5; ++mode) {
        App().Params().SetMorseMode(choices::TrainingModeOf(mode));
        everyButtonShown(start->text().toStdString());
    }
}

// Shift+Up and a speed typed with Enter in the speed box (the rule:
// Desk.SpeedBoxEntryAndStepsAndPause) leave the focus in the display, where typing goes, and so
// does a click on a button of the tool bar or the sending bar, also when the focus was in the speed
// box.
TEST_F(Window, TheSpeedBoxAndAClickOnAButtonLeaveTheFocusInTheDisplay) {
    QLineEdit& box = Form->CWSpeed();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(Values(App().Engine().Speed(), box.text().toStdString()), "70 | 70");
    box.setFocus();
    box.selectAll();
    QTest::keyClicks(&box, "125");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Values(App().Engine().Speed(), box.text().toStdString()), "125 | 125");
    EXPECT_EQ(Form->focusWidget(), &Form->TextView()); // the window need not be active

    const auto arrows = Form->CWSpeed().parentWidget()->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QWidget* single = Form->findChild<QPushButton*>("SingleModeButton");
    QWidget* tx = &Form->TXButton();
    // Single mode and TX on and off; the open dialog cancelled.
    const QList<QWidget*> buttons = {
        arrows[0], arrows[1], single, single, tx, tx, Form->findChild<QToolButton*>("OpenButton")};
    for (QWidget* button : buttons) {
        ASSERT_NE(button, nullptr);
        Form->CWSpeed().setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(Form->focusWidget(), &Form->TextView()) << button->objectName().toStdString();
    }
}

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
    NextFile = Write(Folder.File("other.txt"), "tu 73");
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
    NextFile = Write(Folder.File("in.txt"), "cq cq\nde dl1abc\n");
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
    NextFile = Write(Folder.File("long.txt"), text);
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

// The dialog's six lines as drawn; Esc cancels, and with nothing to send even OK starts nothing.
// Ctrl+W, Ctrl+P and Ctrl+T ask for a list, load it and switch the mode.
TEST_F(SessionWindow, TheDialogShowsItsSixLinesAndTheLoadersSwitchTheMode) {
    auto [caption, lines] = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Start Random Characters");
    EXPECT_EQ(lines, (TLines{"Produce 30 random groups of 5 with these characters:",
                             "abcdefghijklmnopqrstuvwxyz", "", "Speed will be 30  CpM",
                             "Farnsworth speed for characters will be: 60  CpM", ""}));
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    EXPECT_EQ(Form->CWSpeed().text(), "60"); // back after Cancel
    EXPECT_EQ(Form->focusWidget(), &Form->TextView());

    App().Params().SetMorseMode(TTrainingMode::Words);
    std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Return);
    EXPECT_EQ(lines, (TLines{"Please load a file which contains at least 1 word!", "",
                             "(use CTRL+W or File Menu)", "", "", ""}));
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    // Each list loaded checks its mode's item and names the start button after it.
    Form->ToggleParameters();
    const auto radios = Form->ParamForm().Group("MorseMode").buttons();
    auto* start = Form->findChild<QPushButton*>("StartButton");
    ASSERT_TRUE(radios.size() == 5 && start);
    const struct {
        Qt::Key Load;
        const char* File;
        int Mode;
        const char* Caption;
        const char* Start;
    } modes[] = {
        {Qt::Key_W, "words.txt", 1, "Start Random Words", "Start Random Words"},
        {Qt::Key_P, "phrases.txt", 3, "Start Random Phrases", "Start Random Phrases"},
        {Qt::Key_T, "text.txt", 4, "Send Text from File", "Start Sending Text"},
    };
    for (const auto& m : modes) {
        Load(m.Load, Write(Lists.File(m.File), "now is the time\n"));
        QApplication::processEvents();
        EXPECT_EQ(Values(radios[m.Mode]->isChecked(), start->text().toStdString()),
                  Values(true, m.Start));
        std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Escape);
        EXPECT_EQ(Values(caption, lines[1]), Values(m.Caption, Lists.File(m.File)));
    }
    // Cancelling the next open dialog keeps the list and the mode.
    Load(Qt::Key_W, "");
    EXPECT_EQ(Values(App().Settings().Tutor.Mode, App().Session().Material().WordList.size()),
              "4 | 4");
    // The open dialogs had their titles and, after the first, the folder of the last file.
    ASSERT_GE(OpenRequests.size(), 3u);
    EXPECT_EQ(OpenRequests[0].Title, "Load words from file to memory to use as random words:");
    EXPECT_EQ(OpenRequests[1].Title, "Load phrases from file to memory to use as random phrases:");
    EXPECT_EQ(OpenRequests[2].Title, "Load text from file to memory, to be played with F3:");
    EXPECT_EQ(OpenRequests[2].Folder, Lists.Path.string() + "/");
    EXPECT_TRUE(Messages.empty());
}

// The start button runs a session at its start speed and is off until it ends (its summary is
// Sessions.OverallSpeedAndSessionTimeOfASession). The speed test from the Work menu locks the speed
// box until Esc aborts it; the sound test's button in the parameters window says what a click does
// next.
TEST_F(SessionWindow, StartButtonSpeedTestAndSoundTest) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    auto* start = Form->findChild<QPushButton*>("StartButton");
    ASSERT_TRUE(start && start->isEnabled());
    AnswerOk();
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(Values(NameOf(App().Session().State()), start->isEnabled(),
                     Form->CWSpeed().text().toStdString()),
              "start text | 0 | 200");
    PlayUntil([&] { return App().Session().Idle(); });
    EXPECT_EQ(Values(NameOf(App().Session().State()), start->isEnabled()), "idle | 1");

    QAction* speedTest = MenuItem("&Speed Test");
    ASSERT_NE(speedTest, nullptr);
    AnswerOk();
    speedTest->trigger();
    EXPECT_EQ(Values(NameOf(App().Session().State()), Form->CWSpeed().isEnabled()),
              "speed test | 0");
    QTest::keyClick(&Form->TextView(), Qt::Key_Escape);
    PlayUntil([&] { return App().Session().Idle(); }, 10000);
    EXPECT_TRUE(Shown().contains("speed test aborted"));
    EXPECT_TRUE(Form->CWSpeed().isEnabled());

    Form->ToggleParameters();
    auto* test = Form->ParamForm().findChild<QPushButton*>("TestButton");
    ASSERT_TRUE(test && test->isEnabled());
    QTest::mouseClick(test, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(Values(NameOf(App().Session().State()), test->text().toStdString()),
              "sound test | Stop Test");
    Play(3000);
    QTest::mouseClick(test, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(Values(NameOf(App().Session().State()), test->text().toStdString()),
              "idle | Test Sound and Speed");
}

// With the text hidden the keys used to land in the speed box ("60hi"): typing changed the speed,
// and Space and Enter could not resume hidden single mode, which is how a learner copies by ear.
TEST_F(SessionWindow, HiddenTextKeepsTheKeysForTypingAndSingleMode) {
    auto* hide = Form->findChild<QPushButton*>("HideButton");
    ASSERT_NE(hide, nullptr);
    auto* bar = Form->TXButton().parentWidget();
    const QRect barBefore = bar->geometry();
    QTest::mouseClick(hide, Qt::LeftButton);
    ASSERT_FALSE(App().View().DisplayVisible);
    EXPECT_EQ(bar->geometry(), barBefore);  // the bar keeps its place and size
    QWidget* focused = Form->focusWidget(); // where the keys go
    ASSERT_NE(focused, nullptr);
    EXPECT_NE(focused, &Form->CWSpeed());
    QTest::keyClicks(focused, "hi");
    EXPECT_EQ(Form->CWSpeed().text(), "60");
    EXPECT_EQ(App().Engine().QueuedText(), "hi"); // sent, though not shown
    QTest::keyClick(focused, Qt::Key_Escape);

    // Hidden single mode: F9, a session, and Space and Enter step from item to item.
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    QTest::keyClick(Form->focusWidget(), Qt::Key_F9);
    ASSERT_TRUE(App().Controls().SingleMode());
    brindle::test::Activate(*Form);
    AnswerOk();
    QTest::keyClick(Form->focusWidget(), Qt::Key_F3);
    ASSERT_EQ(App().Session().State(), TSessionState::StartText);
    PlayUntil([&] { return App().Engine().Hold(); }, 10000); // the start text, then the hold
    ASSERT_TRUE(App().Engine().Hold());
    ASSERT_FALSE(App().View().DisplayVisible);
    QTest::keyClick(Form->focusWidget(), Qt::Key_Space);
    EXPECT_EQ(App().Session().State(), TSessionState::Items);
    EXPECT_FALSE(App().Engine().QueuedText().empty()); // the first item
    // A random group of five takes up to about 11 s here (some 2 s a character): played until
    // its end, with room to spare, whatever the group drawn.
    PlayUntil([&] { return App().Engine().Hold(); }, 30000);
    ASSERT_TRUE(App().Engine().Hold()) << "the first item never ended";
    QTest::keyClick(Form->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(App().Engine().QueuedText().empty()); // the second
    Shot(*Form, "main-hidden-text-single-mode");
}

// F11 with real keys: the dialog with its copy line and pacing, the hidden text, the copy field
// that has the focus and sends nothing, Ctrl+Return, Return item by item, and Esc. After the check,
// a learner who types on finds the keys in the copy field, read-only, and nothing is sent (a "+"
// once went out as <ar>).
TEST_F(SessionWindow, CopyPracticeWithRealKeys) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    auto& copy = Form->CopyEdit();
    const auto typedOnIsNeverSent = [&] {
        ASSERT_EQ(Form->focusWidget(), &copy);
        EXPECT_TRUE(copy.isReadOnly());
        const QString kept = copy.toPlainText();
        QTest::keyClicks(&copy, "qqqqq+"); // no group has a character three times running
        Play(500);
        EXPECT_EQ(Values(App().Engine().HasChars(), Shown().contains("qqqqq"),
                         copy.toPlainText() == kept, copy.isVisible()),
                  "0 | 0 | 1 | 1");
        QTest::keyClick(&copy, Qt::Key_Escape); // puts it away
        EXPECT_FALSE(copy.isVisible());
    };
    // Continuous: typed while it plays, checked with Ctrl+Return.
    ASSERT_TRUE(WithDialog<TSessionDialogBox>(Qt::Key_F11, {}, [&](TSessionDialogBox& d) {
        EXPECT_NE(d.findChild<QLabel*>("CopyLine"), nullptr);
        Shot(d, "dialog-copy-practice");
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    ASSERT_TRUE(App().Copy().Running() && copy.isVisible());
    EXPECT_EQ(Form->focusWidget(), &copy);
    QTest::keyClicks(&copy, "ab<ar>");
    EXPECT_EQ(App().Copy().Copy(), "ab<ar>");
    // A flood pasted is refused before the field lays it out, and the field keeps its text.
    QApplication::clipboard()->setText(QString(20000, QChar('e')));
    QTest::keyClick(&copy, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Values(copy.toPlainText().toStdString(), App().Copy().Copy()), "ab<ar> | ab<ar>");
    PlayUntil([&] { return App().Session().Idle(); });
    EXPECT_FALSE(Shown().contains("vvv")); // the text is hidden: marks only
    EXPECT_TRUE(Shown().contains(QString::fromUtf8("\u2022 \u2022 ")));
    Shot(*Form, "main-copy-practice-running");
    QTest::keyClick(&copy, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(App().Copy().Running());
    EXPECT_TRUE(Shown().contains("copy practice checked:")) << Shown().toStdString();
    Shot(*Form, "main-copy-practice-result");
    typedOnIsNeverSent();

    // F12: the progress window on the practice just kept; Esc hides it, and at its next showing it
    // reads the history again.
    Key(Qt::Key_F12);
    TProgressForm* progress = Form->ProgressForm();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress));
    EXPECT_TRUE(progress->SummaryLabel().text().startsWith("1 practice"))
        << progress->SummaryLabel().text().toStdString();
    Shot(*progress, "progress-after-copy-practice");
    QTest::keyClick(progress, Qt::Key_Escape);
    EXPECT_FALSE(progress->isVisible());

    // Item by item, chosen in the dialog: Return asks for the next item (the rest is
    // CopyPractice.ItemByItemWaitsForReturnAndMeasuresTheReaction); Esc after an item: it counts.
    ASSERT_TRUE(WithDialog<TSessionDialogBox>(Qt::Key_F11, {}, [&](TSessionDialogBox& d) {
        auto* pacing = d.findChild<QRadioButton*>("ItemByItem");
        ASSERT_NE(pacing, nullptr);
        QTest::mouseClick(pacing, Qt::LeftButton);
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    ASSERT_EQ(App().Copy().Pacing(), TCopyPacing::ItemByItem);
    PlayUntil([&] { return App().Copy().WaitingForReturn(); });
    ASSERT_TRUE(App().Copy().WaitingForReturn());
    QTest::keyClicks(&copy, "abcde");
    QTest::keyClick(&copy, Qt::Key_Return);
    EXPECT_FALSE(App().Copy().WaitingForReturn());
    QTest::keyClick(&copy, Qt::Key_Escape);
    EXPECT_FALSE(App().Copy().Running());
    Key(Qt::Key_F12);
    EXPECT_EQ(Values(Form->ProgressForm() == progress, progress->isVisible()), "1 | 1");
    EXPECT_TRUE(progress->SummaryLabel().text().startsWith("2 practices"))
        << progress->SummaryLabel().text().toStdString();
}

// The course window follows the course both ways: Up in its lesson box moves the course, and a
// lesson set elsewhere (as Yes after a pass does, Verdict.OfALessonTwoPractice) is drawn. Shift+F11
// with real keys: the lesson in the dialog, its new character played first, Return skipping it.
TEST_F(SessionWindow, TheKochWindowFollowsTheCourseAndShiftF11StartsALesson) {
    auto& course = App().Course();
    Form->ShowKochCourse();
    auto& window = Form->KochForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto drawn = [&] {
        return Values(window.LessonBox().value(), window.CharsLabel().text().toStdString());
    };
    EXPECT_EQ(drawn(), "1 | k m   (newest: m)");
    Shot(window, "koch-course");
    brindle::test::Activate(window);
    window.LessonBox().setFocus();
    QTest::keyClick(&window.LessonBox(), Qt::Key_Up);
    EXPECT_EQ(course.Lesson(), 2);
    course.SetLesson(3);
    EXPECT_EQ(drawn(), "3 | k m u r   (newest: r)");
    course.SetLesson(1);
    window.hide();
    QString lessonLine;
    WithDialog<TSessionDialogBox>(Qt::Key_F11, Qt::ShiftModifier, [&](TSessionDialogBox& d) {
        lessonLine = d.Line(0).text();
        Shot(d, "dialog-koch-lesson");
        QTest::keyClick(&d, Qt::Key_Return);
    });
    EXPECT_EQ(lessonLine.toStdString(), "Koch lesson 1 of 40 (LCWO): 2 characters, the newest m");
    ASSERT_TRUE(App().Copy().Running());
    ASSERT_TRUE(App().Session().Introducing());
    EXPECT_TRUE(Shown().contains("new character m", Qt::CaseInsensitive)) << Shown().toStdString();
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Return);
    EXPECT_EQ(Values(App().Session().Introducing(), App().Copy().Running()), "0 | 1");
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Escape);
    EXPECT_FALSE(App().Copy().Running());
}
