// The Koch course through real practices on the sample clock, with a scripted copy: the lesson's
// characters and their weights, passing a lesson only when the newest character is known, the
// next lesson offered and taken only on Yes, stepping back, the orders and the lesson's material.
#include "base/ControlCodes.h"
#include "learn/KochCourse.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace brindle;

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
        for (int i = 0; i < 20 * 900 && !App->Session().Idle(); ++i)
            Play(50);
        std::vector<std::string> groups;
        for (std::size_t i = 0; i + 5 <= Sent.size(); i += 5)
            groups.push_back(Sent.substr(i, 5));
        return groups;
    }
    // The copy of groups with wrongNewest of the newest character's copies and wrongOther of the
    // others copied as "x".
    static std::string Copied(std::vector<std::string> groups, uint8_t newest, int wrongNewest,
                              int wrongOther) {
        std::string copy;
        for (auto& g : groups) {
            for (char& c : g) {
                int& wrong = static_cast<uint8_t>(c) == newest ? wrongNewest : wrongOther;
                if (wrong > 0) {
                    c = 'x';
                    --wrong;
                }
            }
            copy += g + " ";
        }
        return copy;
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
    EXPECT_EQ(K().LessonChars(), "kmur");
    EXPECT_EQ(K().NewestChar(), 'r');
    const auto groups = PlayLesson();
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Caption, "Koch Lesson");
    EXPECT_EQ(Dialogs[0].Lines[0], "Koch lesson 3 of 40 (LCWO): 4 characters, the newest r");
    EXPECT_EQ(Dialogs[0].Lines[1], "k m u r");
    EXPECT_TRUE(Dialogs[0].CopyPractice);
    EXPECT_EQ(static_cast<int>(groups.size()), K().PracticeItems());
    for (const auto& g : groups)
        EXPECT_EQ(g.find_first_not_of("kmur"), std::string::npos) << g;
    // Nothing is known yet, so every older character is weak: the newest still comes most.
    for (const uint8_t c : {'k', 'm', 'u'})
        EXPECT_GT(Count(groups, 'r'), Count(groups, c)) << c;
    // The user's own speed is back after the lesson.
    EXPECT_EQ(App->CWout1().Speed(), Settings.Main.Speed);
}

TEST_F(Course, NinetyPercentWithTheNewestAtEightyDoesNotPass) {
    Settings.Koch.Lesson = 2; // k m u
    Start();
    const auto groups = PlayLesson();
    const int total = static_cast<int>(groups.size()) * 5;
    const int newest = Count(groups, 'u');
    ASSERT_GE(newest, 20);
    const int wrongNewest = newest / 5; // 80 % right
    const int wrongOther = std::max(0, total / 10 - wrongNewest);
    ASSERT_LE(wrongNewest + wrongOther, total / 10);
    App->CopyChanged(Copied(groups, 'u', wrongNewest, wrongOther));
    App->CheckCopy();
    RunLater();
    ASSERT_TRUE(App->Copy().LastResult());
    EXPECT_GE(App->Copy().LastResult()->Check.Accuracy(), 0.9);
    EXPECT_TRUE(YesNoQuestions.empty()); // no offer
    EXPECT_EQ(K().Lesson(), 2);
    EXPECT_NE(Shown().find("lesson 2 not yet passed"), std::string::npos) << Shown();
}

TEST_F(Course, NinetyPercentWithTheNewestAtNinetyFiveOverTwentyPassesAndYesMovesOn) {
    Settings.Koch.Lesson = 2;
    Start();
    const auto groups = PlayLesson();
    const int total = static_cast<int>(groups.size()) * 5;
    const int newest = Count(groups, 'u');
    ASSERT_GE(newest, 20);
    const int wrongNewest = newest / 20; // 95 % right
    App->CopyChanged(Copied(groups, 'u', wrongNewest, total / 10 - wrongNewest));
    App->CheckCopy();
    EXPECT_EQ(K().Lesson(), 2); // never moved without asking
    RunLater();
    ASSERT_EQ(YesNoQuestions.size(), 1u);
    EXPECT_EQ(YesNoQuestions[0], "Lesson 2 passed. Go on to lesson 3?");
    EXPECT_EQ(K().Lesson(), 3);
    EXPECT_EQ(App->Settings().Koch.Lesson, 3); // kept for the next start
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 1u);
    ASSERT_TRUE(practices[0].Course);
    EXPECT_EQ(practices[0].Course->Lesson, 2);
    EXPECT_EQ(practices[0].Course->Order, TCourseOrder::Lcwo);
}

TEST_F(Course, NoStaysAndABadPracticeOffersTheLessonBefore) {
    Settings.Koch.Lesson = 2;
    Start();
    auto groups = PlayLesson();
    App->CopyChanged(Copied(groups, 'u', 0, 0));
    AnswerYes = false;
    App->CheckCopy();
    RunLater();
    ASSERT_EQ(YesNoQuestions.size(), 1u);
    EXPECT_EQ(K().Lesson(), 2);
    groups = PlayLesson();
    App->CopyChanged(""); // nothing copied: below 50 %
    AnswerYes = true;
    App->CheckCopy();
    RunLater();
    ASSERT_EQ(YesNoQuestions.size(), 2u);
    EXPECT_EQ(YesNoQuestions[1], "This practice of lesson 2 went below 50 %. Go back to lesson 1?");
    EXPECT_EQ(K().Lesson(), 1);
}

TEST_F(Course, FromLessonOneToFiveByCopyingWell) {
    Settings.Koch.Lesson = 1;
    Settings.Koch.Minutes = 3;
    Start();
    for (int lesson = 1; lesson <= 5; ++lesson) {
        SCOPED_TRACE(lesson);
        ASSERT_EQ(K().Lesson(), lesson);
        const auto groups = PlayLesson();
        App->CopyChanged(Copied(groups, K().NewestChar(), 0, 0));
        App->CheckCopy();
        RunLater();
        ASSERT_EQ(YesNoQuestions.size(), static_cast<std::size_t>(lesson));
    }
    EXPECT_EQ(K().Lesson(), 6);
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(practices[static_cast<std::size_t>(i)].Course);
        EXPECT_EQ(practices[static_cast<std::size_t>(i)].Course->Lesson, i + 1);
        EXPECT_DOUBLE_EQ(practices[static_cast<std::size_t>(i)].Accuracy(), 1.0);
    }
}

TEST_F(Course, OrdersCustomOrdersAndLessonsBeyondTheirEnd) {
    Settings.Koch.Lesson = 40; // LCWO's last
    Start();
    EXPECT_EQ(K().LessonCount(), 40);
    K().SetOrder(2); // CWops has 39 characters: its last lesson is 38
    EXPECT_EQ(K().Lesson(), 38);
    EXPECT_EQ(App->Settings().Koch.Lesson, 38);
    K().SetOrder(3);
    EXPECT_FALSE(K().SetCustom("k")); // one character: refused
    ASSERT_EQ(Messages.size(), 1u);
    Messages.clear();
    EXPECT_TRUE(K().SetCustom("kmkr\x80<ar>m"));
    EXPECT_EQ(K().OrderChars(), "kmr+");
    ASSERT_EQ(Messages.size(), 1u); // the duplicates and the euro sign, named
    EXPECT_NE(Messages[0].find("k"), std::string::npos);
    EXPECT_EQ(K().LessonCount(), 3);
    EXPECT_EQ(K().Lesson(), 3); // clamped to the custom order
    EXPECT_EQ(App->Settings().Koch.Custom, "kmr<ar>");
}

TEST_F(Course, WordsOfTheTrainingModeAreFilteredToTheLessonsCharacters) {
    const std::string path = History.File("words.txt");
    std::ofstream(path) << "km mk kmk mm kk kmkm mkm kkm mmk kmm xyz kmx\n";
    Settings.Koch.Lesson = 1;
    Start();
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Words, path)); // the mode becomes words
    Messages.clear();
    PlayLesson();
    EXPECT_TRUE(Messages.empty());
    std::string words = Sent;
    EXPECT_EQ(words.find_first_not_of("km"), std::string::npos) << words;
    App->KeyPress(27);
    // Fewer than ten words spelled with the lesson's characters: groups, and a word about it.
    std::ofstream(path) << "km mk xyz\n";
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Words, path));
    Messages.clear();
    PlayLesson();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0],
              "Only 2 words can be spelled with the characters of lesson 1: the lesson uses "
              "random groups.");
}
