// The main window with real key events and clicks, on a sound backend in memory.
#include "ui/main/LogoMain.h"
#include "desk/Buffers.h"
#include "desk/Parameters.h"
#include "support/WindowFixture.h"
#include "ui/main/CWRichEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace brindle;
using brindle::test::TFakeSoundBackend;

namespace {

using Window = brindle::test::TWindowTest;

} // namespace

TEST_F(Window, TypingShowsTheTextRedThenBlackAsItIsSent) {
    QTest::keyClicks(&Form->CWRichEdit1(), "paris");
    EXPECT_EQ(Shown(), "paris");
    EXPECT_EQ(ColourAt(0), QColor(Qt::red));
    Play(8000);
    EXPECT_EQ(ColourAt(0), QColor(Qt::black));
    EXPECT_EQ(ColourAt(4), QColor(Qt::black));
    EXPECT_FALSE(Sound.Written.empty());
}

TEST_F(Window, BackspaceOverAProsignAndEsc) {
    auto* display = &Form->CWRichEdit1();
    QTest::keyClicks(display, "<ar");
    EXPECT_EQ(Shown(), "<ar>");
    QTest::keyClick(display, Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "");
    QTest::keyClicks(display, "cq cq");
    QTest::keyClick(display, Qt::Key_Escape);
    EXPECT_EQ(Shown(), "");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Window, TheTXButtonFollowsThePtt) {
    EXPECT_EQ(Form->TXButton().text(), "AutoStart");
    QTest::keyClicks(&Form->CWRichEdit1(), "e");
    Play(300);
    EXPECT_TRUE(Form->TXButton().isChecked());
    EXPECT_EQ(Form->TXButton().text(), "Stop");
    EXPECT_TRUE(Form->PauseButton().isEnabled());
    EXPECT_EQ(Form->PauseButton().text(), "Pause");
    Play(3000); // the letter and the PTT hold time
    EXPECT_FALSE(Form->TXButton().isChecked());
    EXPECT_EQ(Form->TXButton().text(), "AutoStart");
}

TEST_F(Window, SpeedBox) {
    QLineEdit& box = Form->CWSpeed();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(Form->App().CWout1().Speed(), 70);
    EXPECT_EQ(box.text(), "70");
    box.selectAll();
    QTest::keyClicks(&box, "125");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Form->App().CWout1().Speed(), 125);
    EXPECT_EQ(Form->focusWidget(), &Form->CWRichEdit1()); // the window need not be active
    box.setFocus();
    box.selectAll();
    QTest::keyClicks(&box, "xy");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.text(), "125"); // not a number: the speed stays
}

TEST_F(Window, PasteQueuesTheClipboardThroughTheFilters) {
    QGuiApplication::clipboard()->setText("CQ <ar> <xy> ^");
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "CQ <ar> ");
}

TEST_F(Window, ClearScreenWithCtrlZAndStopAllWithDelete) {
    QTest::keyClicks(&Form->CWRichEdit1(), "abc");
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "");
    EXPECT_FALSE(Form->App().CWout1().HasChars());
    QTest::keyClicks(&Form->CWRichEdit1(), "abc");
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_Delete);
    EXPECT_EQ(Shown(), "");
}

TEST_F(Window, ClosingSavesTheSettings) {
    Form->App().ChangeSpeedBy(5);
    Form->close();
    const TSettings back = LoadIniSettings(Folder.Path.string() + "/", {});
    EXPECT_EQ(back.Main.Speed, 65);
    std::ifstream file(SettingsPath(Folder.Path.string() + "/"));
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(text.find(std::string("Version=") + TLogoAppForm::ProgramVersion() + "\n"),
              std::string::npos);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Window, PastingBinaryDataAndAHugeClipboard) {
    // NUL bytes, control characters and bytes that are no UTF-8: only sendable characters come
    // through.
    auto junk = std::make_unique<QMimeData>();
    junk->setData("text/plain", QByteArray("e\0\x01\xff\xfe\xc3(t\x1b", 9));
    QGuiApplication::clipboard()->setMimeData(junk.release());
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_V, Qt::ControlModifier);
    for (const QChar c : Shown())
        EXPECT_TRUE(c.isPrint()) << static_cast<int>(c.unicode());
    EXPECT_TRUE(Shown().startsWith("e"));
    EXPECT_TRUE(Messages.empty());

    // 10 MB: what fits is queued and shown, the full-buffer message comes once.
    QGuiApplication::clipboard()->setText(QString(10 * 1024 * 1024, QChar('e')));
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_V, Qt::ControlModifier);
    QApplication::processEvents(); // the message box opens from the event loop
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Warning: Type-ahead buffer is full: 30000");
    const int shown = Form->App().Display().TextEnd() - 1;
    EXPECT_LE(shown, 30000);
    EXPECT_GT(shown, 29000);
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_Escape); // and the window still answers
    EXPECT_EQ(Shown(), "");
}

// The failures at exit used to reach only stderr: the settings and the buffers were lost unseen.
TEST_F(Window, FailedSavesAtExitAreShownAndTheWindowStillCloses) {
    // A changed buffer whose file has become a folder cannot be written.
    Form->App().Buffers().Edited(0, "cq");
    std::filesystem::remove(Folder.File("CWBuffer1.txt"));
    std::filesystem::create_directory(Folder.File("CWBuffer1.txt"));
    Form->close();
    EXPECT_FALSE(Form->isVisible());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].rfind("Cannot write file " + Folder.File("CWBuffer1.txt"), 0), 0u)
        << Messages[0];
}

TEST_F(Window, AnUnwritableSettingsFolderAtExitIsShownAndTheWindowStillCloses) {
    std::filesystem::remove_all(Folder.Path);
    std::ofstream(Folder.Path) << "a file where the folder should be";
    Form->close();
    EXPECT_FALSE(Form->isVisible());
    ASSERT_GE(Messages.size(), 1u);
    EXPECT_EQ(Messages.back(), "Error: cannot create directory " + Folder.Path.string() + "/");
}

// Ended by a signal (a logout) nobody may be there to click: the messages go to the log.
TEST_F(Window, ASignalClosesWithoutABox) {
    std::filesystem::remove_all(Folder.Path);
    std::ofstream(Folder.Path) << "a file where the folder should be";
    Form->CloseWithoutQuestion();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(Messages.empty());
}

// A long paragraph is shown in pieces (its layout costs its whole length at every edit), yet
// colours, removal and copying go by the text as the user wrote it.
TEST_F(Window, ALongParagraphIsSplitInvisiblyForCopyingAndColours) {
    std::string words;
    for (int i = 0; i < 1000; ++i)
        words += "abc" + std::to_string(i % 10) + " ";
    QGuiApplication::clipboard()->setText(QString::fromStdString(words));
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_V, Qt::ControlModifier);
    TDisplayModel& d = Form->CWRichEdit1().Model(); // the widget draws what its model holds
    ASSERT_EQ(d.Text(), words);
    Form->CWRichEdit1().Flush();
    EXPECT_GT(Form->CWRichEdit1().document()->blockCount(), 2);

    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_C, Qt::ControlModifier);
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
    ASSERT_NE(tools, nullptr);
    auto& start = *Form->findChild<QPushButton*>("Button2");
    auto& single = *Form->findChild<QPushButton*>("Button3");
    auto& hide = *Form->findChild<QPushButton*>("HideButton");
    Form->resize(Form->minimumWidth(), Form->height());
    const QList<int> widths = {start.width(), single.width(), hide.width()};
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
        EXPECT_EQ(QList<int>({start.width(), single.width(), hide.width()}), widths) << when;
    };
    everyButtonShown("at the start");
    QTest::mouseClick(&hide, Qt::LeftButton);
    ASSERT_EQ(hide.text(), "Show Text");
    everyButtonShown("with the text hidden");
    QTest::mouseClick(&hide, Qt::LeftButton);
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F9);
    ASSERT_EQ(single.text(), "Stop Single Mode");
    everyButtonShown("in single mode");
    for (int mode = 0; mode < 5; ++mode) {
        Form->App().Params().SetMorseMode(mode);
        everyButtonShown(start.text().toStdString());
    }
}

// A click on a button of the tool bar or the sending bar leaves the focus in the display, where
// typing goes, also when it was in the speed box.
TEST_F(Window, AClickOnAButtonLeavesTheFocusInTheDisplay) {
    auto clickFromSpeedBox = [this](QWidget* button) {
        ASSERT_NE(button, nullptr);
        Form->CWSpeed().setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(Form->focusWidget(), &Form->CWRichEdit1()) << button->objectName().toStdString();
    };
    const auto arrows = Form->CWSpeed().parentWidget()->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    clickFromSpeedBox(arrows[0]);
    clickFromSpeedBox(arrows[1]);
    clickFromSpeedBox(Form->findChild<QPushButton*>("Button3")); // single mode on
    clickFromSpeedBox(Form->findChild<QPushButton*>("Button3")); // and off
    clickFromSpeedBox(&Form->TXButton());
    clickFromSpeedBox(&Form->TXButton());
    clickFromSpeedBox(Form->findChild<QToolButton*>("OpenButton")); // the open dialog cancelled
}
