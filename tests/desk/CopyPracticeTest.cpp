// Copy practice on the sample clock with a fixed seed: the hidden text and its marks, the two
// pacings, the check and its result, reaction times, and the history written as the practice
// runs, also when it is aborted, stopped from elsewhere or cut short.
#include "base/ControlCodes.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace brindle;

namespace {

class CopyPractice : public brindle::test::TDeskTest {
protected:
    void Start() {
        TDeskTest::Start();
        auto& p = App->Params();
        p.SetFarnsworth(TSpacing::Plain);
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
    // The copy stays beside the result, read-only, so that keys typed on send nothing; Esc
    // puts it away.
    EXPECT_TRUE(App->View().CopyFieldShown);
    EXPECT_TRUE(App->View().CopyFieldReadOnly);
    ASSERT_TRUE(C().LastResult());
    const TCopyResult& r = *C().LastResult();
    EXPECT_FALSE(r.Aborted);
    EXPECT_TRUE(r.Counts);
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
    App->Escape();
    EXPECT_FALSE(App->View().CopyFieldShown);
    EXPECT_TRUE(App->View().TXEnabled);
}

// Nothing typed is lost: the items heard and the copy as typed reach the file within a second,
// and a start after a kill scores the copy against the items heard and marks the practice
// aborted at once.
TEST_F(CopyPractice, AfterAKillTheCopyTypedIsScoredAgainstTheItemsHeard) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 3; ++i)
        Play(50);
    ASSERT_EQ(C().ItemsSent(), 3);
    const auto groups = Groups();
    App->CopyChanged(groups[0] + " " + groups[1]);
    Play(TCopyPractice::FlushMs + 100);
    // The program ends here without a word (a kill: nothing is finished or flushed, the store is
    // left as it is); another start finds the practice.
    const std::string path = History.File("history.sqlite");
    THistoryStore reopened(path);
    const auto practices = reopened.Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_FALSE(practices[0].Counts);
    EXPECT_GE(practices[0].SentChars, 15);
    EXPECT_EQ(practices[0].CorrectChars, 10);
    const auto items = reopened.Items(practices[0].Id);
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[0].Sent, groups[0]);
    EXPECT_EQ(items[0].Copied, groups[0]);
    EXPECT_EQ(items[1].CorrectChars, 5);
    EXPECT_EQ(items[2].CorrectChars, 0);
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
        // The last answer has one character too many.
        copy += Groups()[static_cast<std::size_t>(item)] + (item == 3 ? "0\n" : "\n");
        App->CopyChanged(copy);
        ASSERT_TRUE(App->CopyReturn(false));
        PlayOn();
    }
    PlayOn();
    ASSERT_TRUE(App->Session().Idle());
    ASSERT_TRUE(C().LastResult()); // every item checked: the result is there
    EXPECT_EQ(C().LastResult()->Check.CorrectChars, 20);
    EXPECT_EQ(C().LastResult()->Check.ExtraChars, 1);
    EXPECT_LT(C().LastResult()->Check.Accuracy(), 1.0);
    EXPECT_NE(Shown().find("20 of 20 characters correct, 1 extra character copied (95 %)"),
              std::string::npos)
        << Shown();
    auto& h = App->History();
    const auto items = h.Items(h.Practices().at(0).Id);
    ASSERT_EQ(items.size(), 4u);
    const auto groups = Groups();
    ASSERT_GE(groups.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) // each answer is only what was typed after the last
        EXPECT_EQ(items[i].Copied, groups[i]) << i;
    // The first answer came 3.7 s after the item; each other one 700 ms after the wait for it
    // began, which is the item's word space after its last element was heard. The heard moment is
    // estimated from the engine's events and the output's buffer; the clock moves in 50 ms steps.
    const auto& t = App->Engine().Timing();
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
    App->Escape();
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
    EXPECT_FALSE(App->Engine().HasChars()); // the session ended with nothing more queued
}

// Esc while an item waits for Return: the item and the part of it typed are kept. The practice
// before leaves nothing behind in this one.
TEST_F(CopyPractice, EscWhileAnItemWaitsKeepsItsPartialCopy) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 2; ++i)
        Play(50);
    App->Escape();
    App->Escape();
    Play(2000); // the character on the air ends
    Pacing = TCopyPacing::ItemByItem;
    Sent.clear();
    App->StartCopyPractice();
    PlayOn(30);
    ASSERT_TRUE(C().WaitingForReturn());
    EXPECT_EQ(C().ItemsSent(), 1);
    const auto groups = Groups();
    ASSERT_EQ(groups.size(), 1u);
    const std::string part = groups[0].substr(0, 3);
    App->CopyChanged(part);
    App->Escape();
    ASSERT_TRUE(C().LastResult());
    const TCopyResult& r = *C().LastResult();
    EXPECT_TRUE(r.Aborted);
    ASSERT_EQ(r.Check.Items.size(), 1u);
    EXPECT_EQ(r.Check.SentChars, 5);
    EXPECT_EQ(r.Check.CorrectChars, 3);
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 2u);
    const auto items = App->History().Items(practices[1].Id);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Copied, part);
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

// Closing the program keeps the practice as aborted at once, without waiting for the character
// on the air or leaving it to the crash recovery.
TEST_F(CopyPractice, ClosingTheProgramKeepsThePracticeAsAborted) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 1; ++i)
        Play(50);
    Play(200);
    App->RequestClose();
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

// Every error counts: typing each group five times, or pasting a flood of text, can never score
// better than copying once. The field takes a few times the text planned and says so when a
// paste goes beyond.
TEST_F(CopyPractice, ExtraCharactersAreErrorsAndAFloodIsRefused) {
    Start();
    App->StartCopyPractice();
    PlayOn();
    const auto groups = Groups();
    ASSERT_EQ(groups.size(), 4u);
    std::string fivefold;
    for (const auto& g : groups)
        for (int k = 0; k < 5; ++k)
            fivefold += g + " ";
    std::string flood;
    for (std::size_t i = 0; i < 100000; ++i)
        flood += static_cast<char>('a' + (i * 7919) % 26);
    EXPECT_FALSE(App->CopyChanged(flood));
    ASSERT_EQ(StatusLines.size(), 1u);
    EXPECT_NE(StatusLines[0].find("The copy field takes at most"), std::string::npos);
    EXPECT_LT(C().Copy().size(), C().CopyLimit());
    EXPECT_LT(C().CopyLimit(), 2000u); // a few times 4 groups of 5
    ASSERT_TRUE(App->CopyChanged(fivefold));
    App->CheckCopy();
    const TCopyResult& r = *C().LastResult();
    EXPECT_EQ(r.Check.CorrectChars, 20);
    EXPECT_EQ(r.Check.ExtraChars, 80);
    EXPECT_DOUBLE_EQ(r.Check.Accuracy(), 0.0);
    EXPECT_NE(Shown().find("20 of 20 characters correct, 80 extra characters copied (0 %)"),
              std::string::npos)
        << Shown();
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(practices[0].ExtraChars, 80);
    EXPECT_DOUBLE_EQ(practices[0].Accuracy(), 0.0);
}

// Stop (the TX button let up) ends a practice as Esc does: nothing more is sent, not the end
// text either; the item cut off is left out, not scored as missed; the practice is aborted.
TEST_F(CopyPractice, StopMidPracticeSendsNothingMoreAndLeavesTheCutItemOut) {
    Start();
    App->Params().CommitText(TCharField::StopText, "<ar>");
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 2; ++i)
        Play(50);
    Play(400); // into the third group
    App->CopyChanged(Groups()[0] + " " + Groups()[1]);
    const std::size_t sentBefore = Sent.size();
    ASSERT_GT(sentBefore, 4u + 10u); // the third group is on the air
    App->TXButtonClick(false);
    EXPECT_FALSE(C().Running());
    Play(5000);
    EXPECT_LE(Sent.size(), sentBefore + 1);       // at most the character on the air ends
    EXPECT_EQ(Sent.find('+'), std::string::npos); // no <ar>
    const TCopyResult& r = *C().LastResult();
    EXPECT_TRUE(r.Aborted);
    EXPECT_EQ(r.Check.SentChars, 10);
    EXPECT_EQ(r.Check.CorrectChars, 10);
    EXPECT_EQ(r.Check.MissedChars, 0);
    const auto practices = App->History().Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_FALSE(practices[0].Counts);
}

// The learner's spaces keep the items apart, also when the practice is aborted with Esc: no
// character of one group's copy moves into the next.
TEST_F(CopyPractice, TheLearnersSpacesKeepTheItemsApart) {
    Start();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 2; ++i)
        Play(50);
    const auto groups = Groups();
    // The first group with a wrong character at its end, the second right.
    std::string first = groups[0];
    first.back() = first.back() == 'k' ? 'q' : 'k';
    App->CopyChanged(first + " " + groups[1]);
    App->Escape();
    const auto items = App->History().Items(App->History().Practices().at(0).Id);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Copied, first);
    EXPECT_EQ(items[1].Copied, groups[1]);
    EXPECT_EQ(items[1].CorrectChars, 5);
}

// A check before anything was heard keeps nothing as finished: it is aborted and never counts;
// a check before the end gives the time the practice ran, not 00:00:00.
TEST_F(CopyPractice, AnEarlyCheckIsAbortedOrTimedAsItRan) {
    // 90 % of the planned items heard counts, one item less does not.
    EXPECT_TRUE(TCopyPractice::PracticeCounts(false, true, 9, 10));
    EXPECT_FALSE(TCopyPractice::PracticeCounts(false, true, 8, 9));
    EXPECT_FALSE(TCopyPractice::PracticeCounts(true, true, 10, 10));
    EXPECT_FALSE(TCopyPractice::PracticeCounts(false, false, 10, 10));
    Start();
    App->StartCopyPractice();
    App->CheckCopy();
    ASSERT_TRUE(C().LastResult());
    EXPECT_TRUE(C().LastResult()->Aborted);
    EXPECT_FALSE(C().LastResult()->Counts);
    App->Escape();
    App->StartCopyPractice();
    for (int i = 0; i < 20 * 300 && C().ItemsSent() < 2; ++i)
        Play(50);
    NowMs += 61000;
    App->CopyChanged(Groups()[0]);
    App->CheckCopy();
    ASSERT_TRUE(C().LastResult());
    EXPECT_FALSE(C().LastResult()->Aborted);
    EXPECT_FALSE(C().LastResult()->Counts); // half of it was heard
    EXPECT_GE(C().LastResult()->SpanMs, 61000);
    EXPECT_EQ(Shown().find("time 00:00:00"), std::string::npos) << Shown();
}

// A copy of nothing but spaces and line breaks is nothing copied: the practice does not count.
TEST_F(CopyPractice, ACopyOfOnlySpacesDoesNotCount) {
    Start();
    App->StartCopyPractice();
    PlayOn();
    ASSERT_EQ(C().ItemsSent(), 4);
    App->CopyChanged(" \n  \t\r\n");
    App->CheckCopy();
    ASSERT_TRUE(C().LastResult());
    EXPECT_FALSE(C().LastResult()->Aborted);
    EXPECT_FALSE(C().LastResult()->Counts);
}

// After a continuous practice and before its check, F3 and F11 say why nothing starts.
TEST_F(CopyPractice, ANewSessionBeforeTheCheckSaysWhy) {
    Start();
    App->StartCopyPractice();
    PlayOn();
    ASSERT_TRUE(C().Running());
    App->StartSession();
    App->StartCopyPractice();
    ASSERT_EQ(StatusLines.size(), 2u);
    EXPECT_EQ(StatusLines[0], "Check the copy first (Ctrl+Return), or abort it with Esc.");
    EXPECT_EQ(Dialogs.size(), 1u);
}

// The blip that ends a phrase is heard as no character: a perfect copy of the phrases is 100 %.
TEST_F(CopyPractice, TheBlipIsNoCharacterToCopy) {
    Start();
    const std::string path = History.File("phrases.txt");
    std::ofstream(path) << "cq de dl1abc\n";
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Phrases, path));
    App->Params().SetBlip(true);
    App->Params().ApplyEditField(TUpDown::NumGroups, "2");
    App->StartCopyPractice();
    PlayOn();
    App->CopyChanged("cq de dl1abc\ncq de dl1abc\n");
    App->CheckCopy();
    const TCopyResult& r = *C().LastResult();
    EXPECT_EQ(r.Check.SentChars, 20);
    EXPECT_EQ(r.Check.CorrectChars, 20);
    EXPECT_DOUBLE_EQ(r.Check.Accuracy(), 1.0);
    for (const auto& c : App->History().CharAccuracy())
        EXPECT_NE(c.Char, '^');
}

// The session dialog says how long the practice will take.
TEST_F(CopyPractice, TheDialogSaysHowLongItTakes) {
    Start();
    App->Params().ApplyEditField(TUpDown::NumGroups, "100");
    App->StartCopyPractice();
    ASSERT_EQ(Dialogs.size(), 1u);
    // 100 groups of 5 and their spaces at 100 CpM: 6 minutes.
    EXPECT_NE(Dialogs[0].CopyLine.find("it takes about 6 minutes"), std::string::npos)
        << Dialogs[0].CopyLine;
}
