// Copy practice on the sample clock with a fixed seed: the hidden text and its marks, the two
// pacings, the check and its result, reaction times, and the history written as the practice
// runs, also when it is aborted, stopped from elsewhere or cut short.
#include "base/ControlCodes.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace brindle;

namespace {

class CopyPractice : public brindle::test::TDeskTest {
protected:
    void Start() {
        TDeskTest::Start();
        auto& p = App->Params();
        p.SetFarnsworth(0);
        p.CommitText(TCharField::Chars1, "abcdefghijklmnopqrstuvwxyz");
        p.ChooseCharField(1);
        p.ApplyEditField(TUpDown::NumGroups, "4");
        p.ApplyEditField(TUpDown::StartSpeed, "100");
        Heard = App->OnCharStart.Connect([this](uint8_t ch) {
            if (!IsSeparatorCode(ch)) Sent += static_cast<char>(ch);
        });
    }
    const TCopyPractice& C() const { return App->Copy(); }
    // Plays until the session is done or the copy practice waits for the learner.
    void PlayOn(int seconds = 300) {
        for (int i = 0; i < seconds * 20; ++i) {
            if (App->Session().Idle() || C().WaitingForReturn()) return;
            Play(50);
        }
    }
    // The groups as sent: after the start text "vvv<ka>", five characters each; the end text's
    // one character is never a whole group.
    std::vector<std::string> Groups() const {
        std::vector<std::string> groups;
        for (std::size_t i = 4; i + 5 <= Sent.size(); i += 5)
            groups.push_back(Sent.substr(i, 5));
        return groups;
    }
    std::string Sent; // every character started, in engine form
    TConnection Heard;
};

} // namespace

TEST_F(CopyPractice, ContinuousCopyIsCheckedAtTheEndAndKeptInTheHistory) {
    Start();
    App->StartCopyPractice();
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_TRUE(Dialogs[0].CopyPractice);
    EXPECT_NE(Dialogs[0].CopyLine.find("Copy practice"), std::string::npos);
    EXPECT_EQ(Dialogs[0].Lines[0], "Produce 4 random groups of 5 with these characters:");
    ASSERT_TRUE(C().Running());
    EXPECT_TRUE(App->View().CopyFieldShown);
    PlayOn();
    ASSERT_TRUE(App->Session().Idle());
    EXPECT_TRUE(C().Running()); // waits for the learner's check
    EXPECT_EQ(C().ItemsSent(), 4);
    EXPECT_EQ(Shown(), "\x95 \x95 \x95 \x95 "); // a mark per item, nothing of the text
    const auto groups = Groups();
    ASSERT_EQ(groups.size(), 4u);
    // The learner copied the first two right, got one character wrong in the third and missed
    // the fourth: 14 of 20.
    std::string third = groups[2];
    third[1] = '0'; // a character that was never sent
    App->CopyChanged(groups[0] + " " + groups[1] + "\n" + third + "\n");
    EXPECT_FALSE(App->CopyReturn(false)); // a new line of the copy
    EXPECT_TRUE(App->CopyReturn(true));   // after the last item, on an empty line: the check
    EXPECT_FALSE(C().Running());
    EXPECT_FALSE(App->View().CopyFieldShown);
    ASSERT_TRUE(C().LastResult());
    const TCopyResult& r = *C().LastResult();
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Check.SentChars, 20);
    EXPECT_EQ(r.Check.CorrectChars, 14);
    EXPECT_EQ(r.CharCpm, 100);
    EXPECT_NE(Shown().find("copy practice checked: 14 of 20 characters correct (70 %)"),
              std::string::npos)
        << Shown();
    EXPECT_NE(Shown().find("sent    " + groups[0]), std::string::npos) << Shown();
    EXPECT_NE(Shown().find("_____"), std::string::npos); // the missed group

    auto& h = App->History();
    const auto practices = h.Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(practices[0].Kind, "groups");
    EXPECT_EQ(practices[0].SentChars, 20);
    EXPECT_EQ(practices[0].CorrectChars, 14);
    EXPECT_FALSE(practices[0].Aborted);
    const auto items = h.Items(practices[0].Id);
    ASSERT_EQ(items.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(items[i].Sent, groups[i]) << i; // what was heard is what is kept
    EXPECT_EQ(items[2].CorrectChars, 4);
    EXPECT_EQ(items[3].Copied, "");
    EXPECT_EQ(h.Confusions().size(), 1u);
}

TEST_F(CopyPractice, ItemsAreWrittenAsTheyAreSentSoThatACrashLosesAtMostOne) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 3; ++i)
        Play(50);
    ASSERT_EQ(C().ItemsSent(), 3);
    const auto groups = Groups();
    App->CopyChanged(groups[0]);
    Play(50); // the calls left for later run
    // The program ends here without a word (a kill); another start finds the practice.
    const std::string path = History.File("history.sqlite");
    App.reset();
    THistoryStore reopened(path);
    const auto practices = reopened.Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_FALSE(practices[0].Finished);
    const auto items = reopened.Items(practices[0].Id);
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[0].Sent, groups[0]);
}

TEST_F(CopyPractice, ItemByItemWaitsForReturnAndMeasuresTheReaction) {
    Pacing = TCopyPacing::ItemByItem;
    Start();
    App->StartCopyPractice();
    PlayOn(); // the start text and the first item, then it waits
    ASSERT_TRUE(C().WaitingForReturn());
    EXPECT_EQ(C().ItemsSent(), 1);
    Play(3000);
    EXPECT_EQ(C().ItemsSent(), 1); // nothing more is sent until Return
    std::string copy;
    for (int item = 0; item < 4; ++item) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(C().WaitingForReturn());
        NowMs += 700; // the learner answers 700 ms after the item was heard
        App->CopyKeyTyped();
        copy += Groups()[static_cast<std::size_t>(item)] + "\n";
        App->CopyChanged(copy);
        ASSERT_TRUE(App->CopyReturn(false));
        PlayOn();
    }
    PlayOn();
    ASSERT_TRUE(App->Session().Idle());
    ASSERT_TRUE(C().LastResult()); // every item checked: the result is there
    EXPECT_EQ(C().LastResult()->Check.CorrectChars, 20);
    auto& h = App->History();
    const auto items = h.Items(h.Practices().at(0).Id);
    ASSERT_EQ(items.size(), 4u);
    // The first answer came 3.7 s after the item; each other one 700 ms after the wait for it
    // began, which is the item's word space after its last element was heard. The heard moment is
    // estimated from the engine's events and the output's buffer; the clock moves in 50 ms steps.
    const auto& t = App->CWout1().Timing();
    const int space = t.GapMs + t.CharGapExtraMs + t.WordGapExtraMs;
    ASSERT_TRUE(items[0].ReactionMs);
    EXPECT_GE(*items[0].ReactionMs, 3700);
    for (std::size_t i = 1; i < items.size(); ++i) {
        ASSERT_TRUE(items[i].ReactionMs);
        EXPECT_GE(*items[i].ReactionMs, 700 + space - 100) << i;
        EXPECT_LE(*items[i].ReactionMs, 700 + space + 100) << i;
    }
    EXPECT_FALSE(h.SlowestChars().empty());
}

TEST_F(CopyPractice, EscAbortsAndKeepsWhatWasHeard) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 2; ++i)
        Play(50);
    App->CopyChanged(Groups()[0]);
    App->KeyPress(27);
    EXPECT_FALSE(C().Running());
    EXPECT_TRUE(App->Session().Idle());
    ASSERT_TRUE(C().LastResult());
    EXPECT_TRUE(C().LastResult()->Aborted);
    EXPECT_EQ(C().LastResult()->Check.SentChars, 10);
    EXPECT_EQ(C().LastResult()->Check.CorrectChars, 5);
    EXPECT_NE(Shown().find("copy practice aborted: 5 of 10"), std::string::npos) << Shown();
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_EQ(practices[0].SentChars, 10);
    Play(5000);
    EXPECT_FALSE(App->CWout1().HasChars()); // the session ended with nothing more queued
}

TEST_F(CopyPractice, StoppedFromElsewhereItIsKeptAsAborted) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 1; ++i)
        Play(50);
    App->PowerChanged(true); // suspend: everything stops
    EXPECT_FALSE(C().Running());
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_TRUE(practices[0].Finished);
}

TEST_F(CopyPractice, OddCopiesNeverCrashAndAnUnusableHistoryIsSaidOnce) {
    std::filesystem::create_directories(History.File("history.sqlite")); // a folder in its place
    Start();
    auto& p = App->Params();
    p.ApplyEditField(TUpDown::NumGroups, "1");
    p.ApplyEditField(TUpDown::SizeGroups, "1");
    for (const std::string& copy :
         {std::string(), std::string(5000, 'x'), std::string("\x01\x02<zz>\xff"),
          std::string("\xe2\x82\xac\xf0\x9f\x98\x80")}) {
        App->StartCopyPractice();
        PlayOn();
        App->CopyChanged(copy);
        App->CheckCopy();
        ASSERT_TRUE(C().LastResult());
        EXPECT_EQ(C().LastResult()->Check.SentChars, 1);
    }
    ASSERT_EQ(Messages.size(), 1u); // once, and practice went on without history
    EXPECT_NE(Messages[0].find(History.File("history.sqlite")), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(History.File("history.sqlite")));

    // No sound output: the session's own message, and no practice.
    Sound.Outputs.clear();
    Fake->FailStream();
    Fake->RunPosted();
    Messages.clear();
    App->StartCopyPractice();
    EXPECT_FALSE(C().Running());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0],
              "The sound output is not available: no session can start until it is back.");
}
