// Practice sessions through the windows with real keys and clicks: the session dialog's six lines
// for each mode and its request lines, Esc and Enter on it, the loaders of the File menu, the start
// button, the speed test from the Work menu and the sound test from the parameters window.
#include "desk/Parameters.h"
#include "support/WindowFixture.h"
#include "ui/course/KochForm.h"
#include "ui/main/CopyEdit.h"
#include "ui/main/RandomDlg.h"
#include "ui/params/ParamForm.h"
#include "ui/progress/ProgressForm.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include <array>
#include <fstream>

using namespace brindle;

namespace {

using TLines = std::array<std::string, 6>;

class SessionWindow : public brindle::test::TWindowTest {
protected:
    // Shortcuts reach only the active window; a closed dialog leaves none active offscreen.
    void Activate() {
        Form->activateWindow();
        QApplication::setActiveWindow(Form.get());
        QApplication::processEvents();
    }
    // Presses key on the display; the session dialog that opens is read and answered with reply.
    // Returns its caption and lines as drawn (empty caption: no dialog came).
    std::pair<std::string, TLines> Dialog(Qt::Key key, Qt::Key reply) {
        std::pair<std::string, TLines> seen;
        Activate();
        QTimer::singleShot(0, [&] {
            auto* d = dynamic_cast<TRandomDlg*>(QApplication::activeModalWidget());
            if (!d) return;
            seen.first = d->windowTitle().toStdString();
            const char* names[] = {"StaticText1", "StaticText4", "StaticText42",
                                   "StaticText5", "StaticText6", "StaticText2"};
            for (std::size_t i = 0; i < 6; ++i)
                seen.second[i] = d->findChild<QLabel*>(names[i])->text().toStdString();
            if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS"))
                d->grab().save(QString(dir) + "/dialog-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                               "-" + d->windowTitle() + ".png");
            QTest::keyClick(d, reply);
        });
        QTest::keyClick(&Form->CWRichEdit1(), key);
        return seen;
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = Lists.File(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    void Load(Qt::Key key, const std::string& path) {
        NextFile = path;
        Activate();
        QTest::keyClick(&Form->CWRichEdit1(), key, Qt::ControlModifier);
    }
    QAction* MenuItem(const QString& caption) {
        for (QAction* menu : Form->menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == caption) return a;
        return nullptr;
    }
    TLogoApp& App() { return Form->App(); }
    brindle::test::TTempDir Lists; // where the user keeps word, phrase and text lists
};

} // namespace

TEST_F(SessionWindow, TheDialogShowsItsSixLinesForEveryModeAndEscCancels) {
    auto [caption, lines] = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Start Random Characters");
    EXPECT_EQ(lines, (TLines{"Produce 30 random groups of 5 with these characters:",
                             "abcdefghijklmnopqrstuvwxyz", "", "Speed will be 30  CpM",
                             "Farnsworth speed for characters will be: 60  CpM", ""}));
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    EXPECT_EQ(Form->CWSpeed().text(), "60"); // back after Cancel

    Load(Qt::Key_W, Write("words.txt", "cq de test\n"));
    std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Start Random Words");
    EXPECT_EQ(lines[0], "Produce 30 random words from the list loaded from file:");
    EXPECT_EQ(lines[1], Lists.File("words.txt"));
    EXPECT_EQ(lines[2], "- using extended character set -");

    App().Params().SetMorseMode(2);
    App().Params().SetRepeat(1);
    std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Start Random Q-Codes");
    EXPECT_EQ(lines[0], "Produce  30  random Q-Codes");
    EXPECT_EQ(lines[5], "Send each item twice");

    Load(Qt::Key_P, Write("phrases.txt", "cq cq de dl1abc\n"));
    std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Start Random Phrases");
    EXPECT_EQ(lines[0], "Produce 30 random phrases as loaded from file:");
    EXPECT_EQ(lines[1], Lists.File("phrases.txt"));

    Load(Qt::Key_T, Write("text.txt", "now is the time\n"));
    std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Send Text from File");
    EXPECT_EQ(lines[0], "Produce 4 consecutive 'words' as loaded from file:");
    EXPECT_EQ(lines[1], Lists.File("text.txt"));
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    // The open dialogs had their titles and, after the first, the folder of the last file.
    ASSERT_EQ(OpenRequests.size(), 3u);
    EXPECT_EQ(OpenRequests[0].Title, "Load words from file to memory to use as random words:");
    EXPECT_EQ(OpenRequests[1].Title, "Load phrases from file to memory to use as random phrases:");
    EXPECT_EQ(OpenRequests[2].Title, "Load text from file to memory, to be played with F3:");
    EXPECT_EQ(OpenRequests[2].Folder, Lists.Path.string() + "/");
    // The first one, before any file was opened, started in the user's folder, not the
    // program's own.
    EXPECT_NE(OpenRequests[0].Folder, Folder.Path.string() + "/");
    EXPECT_TRUE(std::filesystem::is_directory(OpenRequests[0].Folder)) << OpenRequests[0].Folder;
    EXPECT_TRUE(Messages.empty());
}

TEST_F(SessionWindow, EmptyListsGetTheRequestLinesAndNoSession) {
    const struct {
        int Mode;
        const char* Caption;
        const char* Please;
        const char* How;
    } cases[] = {
        {1, "Start Random Words", "Please load a file which contains at least 1 word!",
         "(use CTRL+W or File Menu)"},
        {3, "Start Random Phrases", "Please load a file which contains at least 1 phrase!",
         "(use CTRL+P or File Menu)"},
        {4, "Send Text from File", "Please load a text file which contains at least 1 word!",
         "(use CTRL+T or File Menu)"},
    };
    for (const auto& c : cases) {
        App().Params().SetMorseMode(c.Mode);
        const auto [caption, lines] = Dialog(Qt::Key_F3, Qt::Key_Return); // even OK starts nothing
        EXPECT_EQ(caption, c.Caption);
        EXPECT_EQ(lines, (TLines{c.Please, "", c.How, "", "", ""}));
        EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    }
    App().Params().SetMorseMode(0);
    App().Params().CommitText(TCharField::Chars1, "");
    const auto [caption, lines] = Dialog(Qt::Key_F3, Qt::Key_Return);
    EXPECT_EQ(lines,
              (TLines{"", "Please define at least 1 character to be used!", "", "", "", ""}));
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    EXPECT_EQ(Form->focusWidget(), &Form->CWRichEdit1());
}

TEST_F(SessionWindow, LoadingWordsSwitchesTheModeAndTheStartButton) {
    Form->ToggleParameters();
    Load(Qt::Key_W, Write("w.txt", "cq de<AR>  test\nk\n"));
    EXPECT_EQ(App().Settings().Tutor.Mode, 1);
    QApplication::processEvents();
    auto radios = Form->ParamForm().Group("MorseMode").buttons();
    ASSERT_EQ(radios.size(), 5);
    EXPECT_TRUE(radios[1]->isChecked());
    auto* start = Form->findChild<QPushButton*>("Button2");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->text(), "Start Random Words");
    EXPECT_TRUE(Shown().startsWith("loaded 4 words from file:\n"));
    // Cancelling the next open dialog keeps the list and the mode.
    Load(Qt::Key_P, "");
    EXPECT_EQ(App().Settings().Tutor.Mode, 1);
    EXPECT_EQ(App().Session().Material().WordList.size(), 4u);
    // A file that cannot be read is reported and changes nothing.
    Load(Qt::Key_W, Lists.File("gone.txt"));
    QApplication::processEvents();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("gone.txt"), std::string::npos);
    EXPECT_EQ(App().Session().Material().WordList.size(), 4u);
}

TEST_F(SessionWindow, TheStartButtonRunsASessionToItsSummary) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    auto* start = Form->findChild<QPushButton*>("Button2");
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(start->isEnabled());
    QTimer::singleShot(0, [] {
        if (auto* d = QApplication::activeModalWidget()) QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(App().Session().State(), TSessionState::StartText);
    EXPECT_FALSE(start->isEnabled());
    EXPECT_EQ(Form->CWSpeed().text(), "200");
    for (int i = 0; i < 600 && App().Session().State() != TSessionState::Idle; ++i)
        Play(100);
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    EXPECT_TRUE(start->isEnabled());
    const QString shown = Shown();
    EXPECT_TRUE(shown.startsWith("vvv<ka>\n")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("sent 10 random characters\nactual overall speed was: "))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("session time was: 00:00:")) << shown.toStdString();
    // Ten characters of two groups at 200 CpM, on the clock the test moves.
    const double speed = App().Session().OverallSpeed();
    EXPECT_GT(speed, 100);
    EXPECT_LT(speed, 201);
}

TEST_F(SessionWindow, SpeedTestFromTheMenuAndSoundTestFromTheParametersWindow) {
    QAction* speedTest = MenuItem("&Speed Test");
    ASSERT_NE(speedTest, nullptr);
    std::string caption;
    QTimer::singleShot(0, [&] {
        if (auto* d = QApplication::activeModalWidget()) {
            caption = d->windowTitle().toStdString();
            QTest::keyClick(d, Qt::Key_Return);
        }
    });
    speedTest->trigger();
    EXPECT_EQ(caption, "Test Morse Speed");
    EXPECT_EQ(App().Session().State(), TSessionState::SpeedTest);
    EXPECT_FALSE(Form->CWSpeed().isEnabled());
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_Escape);
    for (int i = 0; i < 100 && App().Session().State() != TSessionState::Idle; ++i)
        Play(100);
    EXPECT_TRUE(Shown().contains("speed test aborted"));
    EXPECT_TRUE(Form->CWSpeed().isEnabled());

    Form->ToggleParameters();
    auto* test = Form->ParamForm().findChild<QPushButton*>("TestButton");
    ASSERT_NE(test, nullptr);
    ASSERT_TRUE(test->isEnabled());
    QTest::mouseClick(test, Qt::LeftButton);
    EXPECT_EQ(App().Session().State(), TSessionState::SoundTest);
    QApplication::processEvents();
    EXPECT_EQ(test->text(), "Stop Test");
    Play(3000);
    QTest::mouseClick(test, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    EXPECT_EQ(test->text(), "Test Sound and Speed");
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
    EXPECT_EQ(App().CWout1().QueuedText(), "hi"); // sent, though not shown
    QTest::keyClick(focused, Qt::Key_Escape);

    // Hidden single mode: F9, a session, and Space and Enter step from item to item.
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    QTest::keyClick(Form->focusWidget(), Qt::Key_F9);
    ASSERT_TRUE(App().Controls().SingleMode());
    Activate();
    QTimer::singleShot(0, [] {
        if (auto* d = QApplication::activeModalWidget()) QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(Form->focusWidget(), Qt::Key_F3);
    ASSERT_EQ(App().Session().State(), TSessionState::StartText);
    for (int i = 0; i < 100 && !App().CWout1().Hold(); ++i)
        Play(100); // the start text, then single mode holds
    ASSERT_TRUE(App().CWout1().Hold());
    ASSERT_FALSE(App().View().DisplayVisible);
    QTest::keyClick(Form->focusWidget(), Qt::Key_Space);
    EXPECT_EQ(App().Session().State(), TSessionState::Items);
    EXPECT_FALSE(App().CWout1().QueuedText().empty()); // the first item
    // A random group of five takes up to about 11 s here (some 2 s a character): played until
    // its end, with room to spare, whatever the group drawn.
    for (int i = 0; i < 300 && !App().CWout1().Hold(); ++i)
        Play(100);
    ASSERT_TRUE(App().CWout1().Hold()) << "the first item never ended";
    QTest::keyClick(Form->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(App().CWout1().QueuedText().empty()); // the second
    Shot(*Form, "main-hidden-text-single-mode");
}

// F11 with real keys: the dialog with its copy line and pacing, the hidden text, the copy field
// that has the focus and sends nothing, Return item by item, Ctrl+Return, and Esc.
TEST_F(SessionWindow, CopyPracticeWithRealKeys) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    auto answer = [this](bool itemByItem) {
        QTimer::singleShot(0, [this, itemByItem] {
            auto* d = dynamic_cast<TRandomDlg*>(QApplication::activeModalWidget());
            if (!d) return;
            EXPECT_NE(d->findChild<QLabel*>("CopyLine"), nullptr);
            Shot(*d, "dialog-copy-practice");
            if (itemByItem)
                QTest::mouseClick(d->findChild<QRadioButton*>("ItemByItem"), Qt::LeftButton);
            QTest::keyClick(d, Qt::Key_Return);
        });
    };
    // Continuous: typed while it plays, checked with Ctrl+Return.
    Activate();
    answer(false);
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F11);
    ASSERT_TRUE(App().Copy().Running());
    auto& copy = Form->CopyEdit();
    ASSERT_TRUE(copy.isVisible());
    EXPECT_EQ(Form->focusWidget(), &copy);
    QTest::keyClicks(&copy, "ab<ar>");
    EXPECT_EQ(App().Copy().Copy(), "ab<ar>");
    // A flood pasted is refused before the field lays it out, and the field keeps its text.
    QApplication::clipboard()->setText(QString(20000, QChar('e')));
    QTest::keyClick(&copy, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(copy.toPlainText(), "ab<ar>");
    EXPECT_EQ(App().Copy().Copy(), "ab<ar>");
    for (int i = 0; i < 600 && !App().Session().Idle(); ++i)
        Play(100);
    EXPECT_FALSE(Shown().contains("vvv")); // the text is hidden: marks only
    EXPECT_TRUE(Shown().contains(QString::fromUtf8("\u2022 \u2022 ")));
    Shot(*Form, "main-copy-practice-running");
    QTest::keyClick(&copy, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(App().Copy().Running());
    EXPECT_TRUE(Shown().contains("copy practice checked:")) << Shown().toStdString();
    Shot(*Form, "main-copy-practice-result");
    // The copy stays beside the result, read-only and with the keys: what is typed on is never
    // sent. Esc puts it away.
    EXPECT_TRUE(copy.isVisible());
    EXPECT_TRUE(copy.isReadOnly());
    ASSERT_EQ(Form->focusWidget(), &copy);
    QTest::keyClicks(Form->focusWidget(), "+e");
    EXPECT_FALSE(App().CWout1().HasChars());
    EXPECT_EQ(copy.toPlainText(), "ab<ar>");
    QTest::keyClick(&copy, Qt::Key_Escape);
    EXPECT_FALSE(copy.isVisible());

    // Item by item: Return asks for the next item; Esc aborts.
    Activate();
    answer(true);
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F11);
    ASSERT_TRUE(App().Copy().Running());
    ASSERT_EQ(App().Copy().Pacing(), TCopyPacing::ItemByItem);
    for (int i = 0; i < 600 && !App().Copy().WaitingForReturn(); ++i)
        Play(100);
    ASSERT_TRUE(App().Copy().WaitingForReturn());
    QTest::keyClicks(&copy, "abcde");
    QTest::keyClick(&copy, Qt::Key_Return);
    EXPECT_FALSE(App().Copy().WaitingForReturn());
    EXPECT_EQ(copy.toPlainText(), "abcde\n");
    for (int i = 0; i < 600 && !App().Copy().WaitingForReturn(); ++i)
        Play(100);
    EXPECT_EQ(App().Copy().ItemsSent(), 2);
    QTest::keyClick(&copy, Qt::Key_Escape);
    EXPECT_FALSE(App().Copy().Running());
    ASSERT_TRUE(App().Copy().LastResult());
    EXPECT_TRUE(App().Copy().LastResult()->Aborted);
    EXPECT_EQ(App().History().Practices().size(), 2u);

    // F12: the progress window on the two practices just kept; Esc hides it, and at its next
    // showing it reads the history again.
    Activate();
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F12);
    TProgressForm* progress = Form->ProgressForm();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress));
    EXPECT_TRUE(progress->SummaryLabel().text().startsWith("2 practices"))
        << progress->SummaryLabel().text().toStdString();
    Shot(*progress, "progress-after-copy-practice");
    QTest::keyClick(progress, Qt::Key_Escape);
    EXPECT_FALSE(progress->isVisible());
    Activate();
    answer(false);
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F11);
    ASSERT_TRUE(App().Copy().Running());
    for (int i = 0; i < 600 && App().Copy().ItemsSent() == 0; ++i)
        Play(100);
    QTest::keyClick(&copy, Qt::Key_Escape); // aborted after an item: it counts
    ASSERT_EQ(App().History().Practices().size(), 3u);
    Activate();
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F12);
    EXPECT_EQ(Form->ProgressForm(), progress);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(progress->SummaryLabel().text().startsWith("3 practices"))
        << progress->SummaryLabel().text().toStdString();
}

// Shift+F11 with real keys: the lesson in the dialog, the practice copied, the offer of the next
// lesson, and Yes moving the course and its window to it.
TEST_F(SessionWindow, AKochLessonIsPassedAndYesMovesToTheNext) {
    auto& course = App().Course();
    course.SetMinutes(1);
    course.SetCharCpm(300);
    course.SetEffCpm(300);
    App().Params().CommitText(TCharField::StartText, "");
    App().Params().CommitText(TCharField::StopText, "");
    Form->ShowKochCourse();
    auto& window = Form->KochForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.LessonBox().value(), 1);
    EXPECT_TRUE(window.CharsLabel().text().startsWith("k m"))
        << window.CharsLabel().text().toStdString();
    Shot(window, "koch-course");
    window.hide();
    std::string sent;
    const TConnection heard = App().OnCharStart.Connect([&](uint8_t ch) {
        if (ch > ' ' && ch != 254 && ch != 255) sent += static_cast<char>(ch);
    });
    QString lessonLine;
    Activate();
    QTimer::singleShot(0, [&] {
        auto* d = dynamic_cast<TRandomDlg*>(QApplication::activeModalWidget());
        if (!d) return;
        lessonLine = d->Line(0).text();
        Shot(*d, "dialog-koch-lesson");
        QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F11, Qt::ShiftModifier);
    EXPECT_EQ(lessonLine.toStdString(), "Koch lesson 1 of 40 (LCWO): 2 characters, the newest m");
    ASSERT_TRUE(App().Copy().Running());
    // The new character is played on its own first; Return in the copy field skips it.
    ASSERT_TRUE(App().Session().Introducing());
    EXPECT_TRUE(Shown().contains("new character m", Qt::CaseInsensitive)) << Shown().toStdString();
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Return);
    EXPECT_FALSE(App().Session().Introducing());
    sent.clear();
    for (int i = 0; i < 1200 && !App().Session().Idle(); ++i)
        Play(100);
    ASSERT_TRUE(App().Session().Idle());
    // What the learner typed: one character confused and one missed, still a pass.
    ASSERT_GT(sent.size(), 20u);
    std::string copy;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const char ch = i == 3 ? (sent[i] == 'k' ? 'm' : 'k') : sent[i];
        if (i != 12) copy += ch;
        if (i % 5 == 4) copy += ' ';
    }
    Form->CopyEdit().setPlainText(QString::fromStdString(copy));
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !YesNo.empty(); }, 5000));
    EXPECT_EQ(YesNo[0], "Lesson 1 passed. Go on to lesson 2?");
    EXPECT_EQ(course.Lesson(), 2);
    EXPECT_EQ(window.LessonBox().value(), 2);
    EXPECT_TRUE(Shown().contains("lesson 1 passed")) << Shown().toStdString();
    EXPECT_TRUE(Shown().contains("missed or confused:")) << Shown().toStdString();
    // The last group may still be sounding; then the PTT hold runs out, the PTT is switched off
    // at the start of the next buffer, and TX comes up.
    for (int i = 0; i < 50 && App().CWout1().PttState(); ++i)
        Play(100);
    EXPECT_FALSE(App().CWout1().PttState());
    Play(100);
    EXPECT_EQ(Form->TXButton().text(), "AutoStart");
    Form->resize(Form->width(), Form->height() + 240);
    QApplication::processEvents();
    Shot(*Form, "main-koch-lesson-verdict");
    Form->CWRichEdit1().verticalScrollBar()->setValue(0);
    Shot(*Form, "main-koch-lesson-result");
}

// Item by item, the result comes by itself after the last Return; a learner who types on finds
// the keys in the copy field, read-only, and nothing is sent (a "+" once went out as <ar>).
TEST_F(SessionWindow, KeysTypedAfterTheAutomaticCheckAreNeverSent) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "1");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    Activate();
    QTimer::singleShot(0, [] {
        auto* d = dynamic_cast<TRandomDlg*>(QApplication::activeModalWidget());
        if (!d) return;
        QTest::mouseClick(d->findChild<QRadioButton*>("ItemByItem"), Qt::LeftButton);
        QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(&Form->CWRichEdit1(), Qt::Key_F11);
    ASSERT_TRUE(App().Copy().Running());
    for (int i = 0; i < 600 && !App().Copy().WaitingForReturn(); ++i)
        Play(100);
    ASSERT_TRUE(App().Copy().WaitingForReturn());
    auto& copy = Form->CopyEdit();
    QTest::keyClicks(&copy, "abcde");
    QTest::keyClick(&copy, Qt::Key_Return);
    for (int i = 0; i < 100 && App().Copy().Running(); ++i)
        Play(100);
    ASSERT_FALSE(App().Copy().Running());
    ASSERT_TRUE(App().Copy().LastResult());
    ASSERT_NE(Form->focusWidget(), nullptr);
    QTest::keyClicks(Form->focusWidget(), "fghij+");
    Play(500);
    EXPECT_FALSE(App().CWout1().HasChars());
    EXPECT_FALSE(Shown().contains("fghij")) << Shown().toStdString();
    EXPECT_TRUE(copy.isVisible());
    QTest::keyClick(&copy, Qt::Key_Escape);
    EXPECT_FALSE(copy.isVisible());
}
