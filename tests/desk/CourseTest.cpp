// The Koch course through real practices on the sample clock, with a scripted copy: the lesson's
// characters and their weights, passing a lesson only when the newest character is known, the
// next lesson offered and taken only on Yes, stepping back, the orders and the lesson's material.
#include "base/ControlCodes.h"
#include "desk/TextChecks.h"
#include "learn/KochCourse.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace brindle;
using brindle::test::Has;
using brindle::test::Holds;
using brindle::test::Values;

namespace {

class Course : public brindle::test::TDeskTest {
protected:
    void Start() {
        Settings.Koch.Minutes = 2;
        Settings.Koch.CharCpm = 100;
        Settings.Koch.EffCpm = 100;
        Settings.Koch.GroupSize = 5;
        TDeskTest::Start();
        App->Params().CommitText(TCharField::StartText, "");
        App->Params().CommitText(TCharField::StopText, "");
        Heard = App->OnCharStart.Connect([this](uint8_t ch) {
            if (!IsSeparatorCode(ch)) Sent += static_cast<char>(ch);
        });
    }
    TCourse& K() { return App->Course(); }
    // A whole lesson played; the groups as sent.
    std::vector<std::string> PlayLesson() {
        Sent.clear();
        App->StartKochLesson();
        EXPECT_TRUE(App->Copy().Running());
        if (App->Session().Introducing()) { // a new character: on to the lesson at once
            EXPECT_TRUE(App->CopyReturn(true));
            Sent.clear();
        }
        return PlayToTheEnd();
    }
    // The lesson under way played to its end; its groups as sent since Sent was last cleared.
    std::vector<std::string> PlayToTheEnd() {
        for (int i = 0; i < 20 * 900 && !App->Session().Idle(); ++i)
            Play(50);
        std::vector<std::string> groups;
        for (std::size_t i = 0; i + 5 <= Sent.size(); i += 5)
            groups.push_back(Sent.substr(i, 5));
        return groups;
    }
    // The copy of groups with the last newestWrong % of the newest character's copies copied as
    // "x" (the newest is judged on its latest copies), and the first of the others so that
    // allWrong % of all characters are wrong.
    static std::string Copied(std::vector<std::string> groups, uint8_t newest, int newestWrong,
                              int allWrong) {
        int wrongNewest = Count(groups, newest) * newestWrong / 100;
        int wrongOther =
            std::max(0, static_cast<int>(groups.size()) * 5 * allWrong / 100 - wrongNewest);
        for (auto g = groups.rbegin(); g != groups.rend(); ++g)
            for (auto c = g->rbegin(); c != g->rend(); ++c)
                if (static_cast<uint8_t>(*c) == newest && wrongNewest > 0) {
                    *c = 'x';
                    --wrongNewest;
                }
        std::string copy;
        for (auto& g : groups) {
            for (char& c : g)
                if (static_cast<uint8_t>(c) != newest && c != 'x' && wrongOther > 0) {
                    c = 'x';
                    --wrongOther;
                }
            copy += g + " ";
        }
        return copy;
    }
    // A whole lesson played and its copy (see Copied) checked; the groups as sent.
    std::vector<std::string> Played(int newestWrong, int allWrong) {
        const auto groups = PlayLesson();
        App->CopyChanged(Copied(groups, K().NewestChar(), newestWrong, allWrong));
        App->CheckCopy();
        return groups;
    }
    static int Count(const std::vector<std::string>& groups, uint8_t c) {
        int n = 0;
        for (const auto& g : groups)
            n += static_cast<int>(std::count(g.begin(), g.end(), static_cast<char>(c)));
        return n;
    }
    std::string Sent;
    TConnection Heard;
};

} // namespace

TEST_F(Course, ALessonIsCopyPracticeWithTheLessonsCharactersTheNewestMostOften) {
    Settings.Koch.Lesson = 3; // LCWO: k m u r
    Start();
    EXPECT_EQ(Values(K().LessonChars(), K().NewestChar()), "kmur | r");
    // Exported, the lesson has the groups it would play, at its speed.
    TComposedPractice exported;
    std::string error;
    ASSERT_TRUE(App->ComposeExport(true, exported, error)) << error;
    std::vector<std::string> composed;
    for (const TPracticePiece& p : exported.Script.at(0).Pieces)
        composed.push_back(p.Chars.substr(0, 5));
    EXPECT_EQ(Values(exported.Title, exported.Tone.Cpm, exported.Tone.Spacing),
              "Koch Lesson | 100 | 0");
    const auto groups = PlayLesson();
    EXPECT_EQ(composed, groups);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Values(Dialogs[0].Caption, Dialogs[0].Lines[0], Dialogs[0].Lines[1],
                     Dialogs[0].CopyPractice),
              "Koch Lesson | Koch lesson 3 of 40 (LCWO): 4 characters, the newest r | k m u r | 1");
    // As many groups as planned, the last one heard too.
    EXPECT_EQ(Values(groups.size(), App->Copy().ItemsSent()),
              Values(K().PracticeItems(), K().PracticeItems()));
    for (const auto& g : groups)
        EXPECT_EQ(g.find_first_not_of("kmur"), std::string::npos) << g;
    // Nothing is known yet, so every older character is weak: the newest still comes most.
    for (const uint8_t c : {'k', 'm', 'u'})
        EXPECT_GT(Count(groups, 'r'), Count(groups, c)) << c;
    // Run to its end and copied, every item is scored and the practice counts; the user's own
    // speed is back after the lesson.
    App->CopyChanged(Copied(groups, 'r', 0, 0));
    App->CheckCopy();
    ASSERT_TRUE(App->Copy().LastResult());
    EXPECT_EQ(Values(App->Copy().LastResult()->Counts, App->Copy().LastResult()->Check.SentChars,
                     App->Engine().Speed()),
              Values(true, 5 * K().PracticeItems(), Settings.Main.Speed));

    // The practice's length comes from the minutes at the effective speed, a word space after each
    // group; characters slower than the effective speed are sent at the effective speed.
    K().SetMinutes(5);
    K().SetEffCpm(60);
    K().SetCharCpm(40);
    EXPECT_EQ(K().PracticeItems(), 50);
    App->StartKochLesson();
    ASSERT_EQ(Dialogs.size(), 2u);
    EXPECT_EQ(Values(Dialogs[1].Lines[2], Dialogs[1].Lines[3], App->Copy().Start().CharCpm),
              "50 groups of 5, about 5 minutes | Characters at 60 CpM | 60");
    // Characters faster than the effective speed: Farnsworth spacing in the export too.
    App->Escape();
    PlayToTheEnd();
    K().SetCharCpm(100);
    ASSERT_TRUE(App->ComposeExport(true, exported, error)) << error;
    EXPECT_EQ(Values(exported.Tone.Cpm, exported.Tone.CharCpm, exported.Tone.Spacing),
              Values(60, 100, static_cast<int>(TSpacing::Farnsworth)));
}

// The verdict is the practice's own lesson's, also when the course has moved on; without a
// history the practice's own copies of the newest character are its tally, counted as sent. The
// last lesson offers no next one, lesson 1 no lesson before.
TEST_F(Course, AVerdictWithoutAHistoryIsThePracticesOwnLessons) {
    std::filesystem::create_directories(History.File("history.sqlite")); // a folder in its place
    Settings.Koch.Lesson = 5;
    Start();
    ASSERT_FALSE(App->History().Available());
    AnswerYes = false;
    // A practice of the lesson checked, the items sent and the copy.
    const auto checked = [&](int id, int lesson, std::vector<std::string> sent,
                             const std::string& copy) {
        K().PracticeChecked(id, TCourseLesson{TCourseOrder::Lcwo, lesson},
                            TCopyResult{CheckCopy(sent, copy), false, true, 100, 100, 60000});
        RunLater();
    };
    // Lesson 3 (k m u r): 25 copies of "r", all right.
    std::vector<std::string> sent(5, "rrrrr");
    sent.push_back("kmukm");
    checked(7, 3, sent, "rrrrr rrrrr rrrrr rrrrr rrrrr kmukm");
    EXPECT_TRUE(Holds(Shown(), "lesson 3 passed"));
    EXPECT_EQ(Values(YesNoQuestions.size(), YesNoQuestions.empty() ? "" : YesNoQuestions[0],
                     K().Lesson()),
              "1 | Lesson 3 passed. Go on to lesson 4? | 5");

    // "r" sent 30 times, copied as "k" 5 times: 25 of 30.
    checked(8, 3, std::vector<std::string>(6, "rrrrr"), "rrrrr rrrrr rrrrr rrrrr rrrrr kkkkk");
    EXPECT_TRUE(Holds(Shown(), "\"r\" 83 % over its last 30 copies"));

    // The last lesson passed, and lesson 1 below 50 %: nothing to offer.
    const std::string last(5, static_cast<char>(NewestChar(K().OrderChars(), 40)));
    checked(9, 40, std::vector<std::string>(5, last),
            last + " " + last + " " + last + " " + last + " " + last);
    checked(10, 1, {"kmkmk", "mmkkm", "mmmmm", "kmmkm"}, "xxxxx xxxxx xxxxx xxxxx");
    EXPECT_EQ(Values(Has(Shown(), "lesson 40 passed"), YesNoQuestions.size()), "1 | 1");
}

namespace {

// Lesson 2 (k m u) played and copied with the newest character at 80 % or 95 % over 90 % in all,
// perfectly, or all wrong: the verdict asks before the lesson moves, and moves it on Yes alone.
struct TVerdictCase {
    int NewestWrong, AllWrong; // [%] of the newest character's copies, of all characters
    bool Yes;                  // the answer to the question
    std::string After; // lesson, its setting, courses saved, at least 90 %, the question asked
    std::string Said;
};
void PrintTo(const TVerdictCase& c, std::ostream* o) {
    *o << c.After;
}
class Verdict : public Course, public testing::WithParamInterface<TVerdictCase> {};

const std::string Passed = "Lesson 2 passed. Go on to lesson 3?";

} // namespace

TEST_P(Verdict, OfALessonTwoPractice) {
    const TVerdictCase& c = GetParam();
    Settings.Koch.Lesson = 2;
    Start();
    AnswerYes = c.Yes;
    ASSERT_GE(Count(Played(c.NewestWrong, c.AllWrong), 'u'), 20);
    EXPECT_EQ(K().Lesson(), 2); // never moved without asking
    RunLater();
    std::string asked;
    for (const std::string& q : YesNoQuestions)
        asked += q;
    ASSERT_TRUE(App->Copy().LastResult());
    EXPECT_EQ(Values(K().Lesson(), App->Settings().Koch.Lesson, SavedCourses.size(),
                     App->Copy().LastResult()->Check.Accuracy() >= 0.9, asked),
              c.After);
    EXPECT_TRUE(Holds(Shown(), c.Said));
    // Written at once, not only at exit.
    for (const auto& saved : SavedCourses)
        EXPECT_EQ(saved.Lesson, K().Lesson());
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 1u);
    ASSERT_TRUE(practices[0].Course);
    EXPECT_EQ(Values(practices[0].Course->Lesson, CourseOrderName(practices[0].Course->Order)),
              "2 | LCWO");
}

INSTANTIATE_TEST_SUITE_P(
    Course, Verdict,
    testing::Values(TVerdictCase{20, 10, true, "2 | 2 | 0 | 1 | ", "lesson 2 not yet passed"},
                    TVerdictCase{5, 10, true, "3 | 3 | 1 | 1 | " + Passed, "lesson 2 passed"},
                    TVerdictCase{0, 0, false, "2 | 2 | 0 | 1 | " + Passed, "lesson 2 passed"},
                    TVerdictCase{
                        100, 100, true,
                        "1 | 1 | 1 | 0 | This practice of lesson 2 went below 50 %. Go back "
                        "to lesson 1?",
                        "lesson 2 not yet passed"}));

TEST_F(Course, OrdersCustomOrdersAndLessonsBeyondTheirEnd) {
    Settings.Koch.Lesson = 40; // LCWO's last
    Start();
    EXPECT_EQ(K().LessonCount(), 40);
    K().SetOrder(2); // CWops has 39 characters: its last lesson is 38
    EXPECT_EQ(Values(K().Lesson(), App->Settings().Koch.Lesson), "38 | 38");
    // A custom order is cleaned as KochOrders.CustomOrderIsCleanedLikeACharacterField shows; its
    // messages reach the user, and the course keeps it by name and its lesson within it.
    K().SetOrder(3);
    EXPECT_FALSE(K().SetCustom("k")); // one character: refused
    EXPECT_TRUE(K().SetCustom("kmkr\x80<ar>m"));
    ASSERT_EQ(Messages.size(), 2u); // the refusal, and the duplicates and the euro sign
    EXPECT_EQ(Values(Has(Messages[1], "k"), K().OrderChars(), K().LessonCount(), K().Lesson(),
                     App->Settings().Koch.Custom),
              "1 | kmr+ | 3 | 3 | kmr<ar>");
}

// The cheats a learner falls into without meaning to: the lesson's characters typed without
// listening, random text, and one group checked early after a failed practice. None passes.
TEST_F(Course, TypingWithoutListeningOrCheckingEarlyNeverPasses) {
    Settings.Koch.Lesson = 4; // k m u r e
    Start();
    AnswerYes = false; // the lesson before, offered after the bad ones, is declined
    // "kmure" five times for each group, then random text.
    for (const bool blind : {true, false}) {
        const auto groups = PlayLesson();
        std::string copy;
        for (std::size_t i = 0; i < groups.size() * (blind ? 30 : 6); ++i)
            copy += blind ? "kmure "[i % 6] : i % 6 == 5 ? ' ' : "kmure"[(i * 7 + i / 3) % 5];
        App->CopyChanged(copy);
        App->CheckCopy();
        RunLater();
        ASSERT_TRUE(App->Copy().LastResult());
        EXPECT_LT(App->Copy().LastResult()->Check.Accuracy(), 0.5) << blind;
    }
    EXPECT_FALSE(Holds(Shown(), "passed ("));

    // One group, copied right, checked at once with Ctrl+Return.
    App->Escape();
    Sent.clear();
    App->StartKochLesson();
    if (App->Session().Introducing()) App->CopyReturn(true);
    // While a lesson runs the course's fields are locked: its verdict is its own lesson's.
    EXPECT_TRUE(K().Locked());
    K().SetLesson(7);
    K().SetOrder(1);
    EXPECT_EQ(Values(K().Lesson(), CourseOrderName(K().Order())), "4 | LCWO");
    for (int i = 0; i < 20 * 60 && App->Copy().ItemsSent() < 1; ++i)
        Play(50);
    App->CopyChanged(Sent.substr(Sent.size() >= 5 ? Sent.size() - 5 : 0));
    App->CheckCopy();
    RunLater();
    ASSERT_TRUE(App->Copy().LastResult());
    EXPECT_EQ(Values(App->Copy().LastResult()->Counts,
                     Has(Shown(), "this practice does not count towards lesson 4")),
              "0 | 1");
    for (const std::string& q : YesNoQuestions)
        EXPECT_FALSE(Holds(q, "passed")) << q;
    EXPECT_EQ(YesNoQuestions.size(), 2u); // the two bad ones offered the lesson before
    EXPECT_EQ(Values(K().Lesson(), K().Locked()), "4 | 0");
}

// A character never practised is played on its own first, with its name and pattern; Return
// skips it, and it is not part of what is scored. Once practised it is not played again. The
// words of the training mode are filtered to the lesson's characters; with fewer than ten of them
// the lesson uses groups, and says so.
TEST_F(Course, ANewCharacterIsHeardOnItsOwnFirstAndWordsAreFilteredToTheLesson) {
    Settings.Koch.Lesson = 1; // k m
    Start();
    Sent.clear();
    App->StartKochLesson();
    ASSERT_TRUE(App->Session().Introducing());
    EXPECT_TRUE(Holds(Shown(), "new character m   --"));
    for (int i = 0; i < 20 * 60 && App->Session().Introducing(); ++i)
        Play(50);
    EXPECT_EQ(Sent, std::string(IntroductionRepeats, 'm'));
    Sent.clear();
    const std::vector<std::string> groups = PlayToTheEnd();
    App->CopyChanged(Copied(groups, 'm', 0, 0));
    AnswerYes = false; // staying in lesson 1
    App->CheckCopy();
    RunLater();
    ASSERT_TRUE(App->Copy().LastResult());
    EXPECT_DOUBLE_EQ(App->Copy().LastResult()->Check.Accuracy(), 1.0);
    App->Escape();
    App->StartKochLesson();
    EXPECT_FALSE(App->Session().Introducing()); // practised now
    App->Escape();

    const std::string path = History.File("words.txt");
    std::ofstream(path) << "km mk kmk mm kk kmkm mkm kkm mmk kmm xyz kmx\n";
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Words, path)); // the mode becomes words
    Messages.clear();
    PlayLesson();
    EXPECT_EQ(Values(Messages.size(), Sent.find_first_not_of("km") == std::string::npos), "0 | 1")
        << Sent;
    App->Escape();
    std::ofstream(path) << "km mk xyz\n";
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Words, path));
    Messages.clear();
    PlayLesson();
    EXPECT_EQ(Messages, std::vector<std::string>{"Only 2 words can be spelled with the characters "
                                                 "of lesson 1: the lesson uses random groups."});
}
