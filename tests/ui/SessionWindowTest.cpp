// Practice sessions through the windows with real keys and clicks: the session dialog's six lines
// for each mode and its request lines, Esc and Enter on it, the loaders of the File menu, the start
// button, the speed test from the Work menu and the sound test from the parameters window.
#include "desk/Parameters.h"
#include "support/DeskFixture.h"
#include "support/WindowFixture.h"
#include "ui/course/KochForm.h"
#include "ui/main/CopyEdit.h"
#include "ui/main/SessionDialogBox.h"
#include "ui/params/ParamForm.h"
#include "ui/progress/ProgressForm.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include <array>
#include <fstream>

using namespace brindle;
using brindle::test::Values;

namespace {

using TLines = std::array<std::string, 6>;

class SessionWindow : public brindle::test::TWindowTest {
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
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = Lists.File(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
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
        Load(m.Load, Write(m.File, "now is the time\n"));
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
