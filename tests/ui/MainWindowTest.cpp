// The main window with real key events and clicks, on a sound backend in memory.
#include "ui/main/MainWindow.h"
#include "desk/Buffers.h"
#include "desk/Parameters.h"
#include "support/DeskFixture.h"
#include "support/WindowFixture.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>
#include <fstream>

using namespace brindle;
using brindle::test::ReadWhole;
using brindle::test::Values;
namespace fs = std::filesystem;

namespace {

using Window = brindle::test::TWindowTest;

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

TEST_F(Window, SpeedBox) {
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

// A click on a button of the tool bar or the sending bar leaves the focus in the display, where
// typing goes, also when it was in the speed box.
TEST_F(Window, AClickOnAButtonLeavesTheFocusInTheDisplay) {
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
