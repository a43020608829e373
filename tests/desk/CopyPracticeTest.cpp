// Copy practice on the sample clock with a fixed seed: the hidden text and its marks, the two
// pacings, the check and its result, reaction times, and the history written as the practice
// runs, also when it is aborted, stopped from elsewhere or cut short.
#include "base/ControlCodes.h"
#include "desk/TextChecks.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace brindle;
using brindle::test::Has;
using brindle::test::Holds;
using brindle::test::Values;

namespace {

// A result as "sent/right/substituted/missed/extra, items, CpM" and whether it was aborted and
// counts.
std::string Describe(const TCopyResult& r) {
    const TCopyCheck& c = r.Check;
    return Values(c.SentChars, c.CorrectChars, c.SubstitutedChars, c.MissedChars, c.ExtraChars,
                  c.Items.size(), r.CharCpm) +
           (r.Aborted ? " aborted" : "") + (r.Counts ? " counts" : "");
}
// A practice kept: "kind sent/right/extra" and aborted, finished and counts when so.
std::string Describe(const TPracticeRecord& p) {
    return p.Kind + " " + std::to_string(p.SentChars) + "/" + std::to_string(p.CorrectChars) + "/" +
           std::to_string(p.ExtraChars) + (p.Aborted ? " aborted" : "") +
           (p.Finished ? " finished" : "") + (p.Counts ? " counts" : "");
}

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
    // Starts a practice and plays until n items were sent.
    void StartAndHear(int n) {
        App->StartCopyPractice();
        for (int i = 0; i < 20 * 300 && C().ItemsSent() < n; ++i)
            Play(50);
    }
    // The groups as sent: after the start text "vvv<ka>", five characters each; the end text's
    // one character is never a whole group.
    std::vector<std::string> Groups() const {
        std::vector<std::string> groups;
        for (std::size_t i = 4; i + 5 <= Sent.size(); i += 5)
            groups.push_back(Sent.substr(i, 5));
        return groups;
    }
    // The last result, or "none".
    std::string Result() const { return C().LastResult() ? Describe(*C().LastResult()) : "none"; }
    // The practices of the history, oldest first.
    std::string Kept() const {
        std::string s;
        for (const auto& p : App->History().Practices())
            s += (s.empty() ? "" : " | ") + Describe(p);
        return s;
    }
    // The items kept of the practice n of the history (0: the oldest).
    std::vector<TStoredItem> KeptItems(std::size_t n = 0) const {
        const auto practices = App->History().Practices();
        return n < practices.size() ? App->History().Items(practices[n].Id)
                                    : std::vector<TStoredItem>{};
    }
    std::string Sent; // every character started, in engine form
    TConnection Heard;
};

} // namespace

TEST_F(CopyPractice, ContinuousCopyIsCheckedAtTheEndAndKeptInTheHistory) {
    Start();
    App->StartCopyPractice();
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Values(Dialogs[0].CopyPractice, Dialogs[0].CopyLine.substr(0, 13),
                     Dialogs[0].Lines[0], App->View().CopyFieldShown),
              "1 | Copy practice | Produce 4 random groups of 5 with these characters: | 1");
    ASSERT_TRUE(C().Running());
    PlayOn();
    ASSERT_TRUE(App->Session().Idle());
    // It waits for the learner's check; a mark per item, nothing of the text.
    EXPECT_EQ(Values(C().Running(), C().ItemsSent(), Shown()), "1 | 4 | \x95 \x95 \x95 \x95 ");
    const auto groups = Groups();
    ASSERT_EQ(groups.size(), 4u);
    // The learner copied the first two right, got one character wrong in the third and missed
    // the fourth: 14 of 20.
    std::string third = groups[2];
    third[1] = '0'; // a character that was never sent
    App->CopyChanged(groups[0] + " " + groups[1] + "\n" + third + "\n");
    EXPECT_FALSE(App->CopyReturn(false)); // a new line of the copy
    EXPECT_TRUE(App->CopyReturn(true));   // after the last item, on an empty line: the check
    // The copy stays beside the result, read-only, so that keys typed on send nothing; Esc
    // puts it away.
    EXPECT_EQ(Values(C().Running(), App->View().CopyFieldShown, App->View().CopyFieldReadOnly),
              "0 | 1 | 1");
    EXPECT_EQ(Values(Result(), Kept()),
              "20 | 14 | 1 | 5 | 0 | 4 | 100 counts | groups 20/14/0 finished counts");
    EXPECT_TRUE(Holds(Shown(), "copy practice checked: 14 of 20 characters correct (70 %)"));
    EXPECT_TRUE(Holds(Shown(), "sent    " + groups[0]));
    EXPECT_TRUE(Holds(Shown(), "_____")); // the missed group

    const auto items = KeptItems();
    ASSERT_EQ(items.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(items[i].Sent, groups[i]) << i; // what was heard is what is kept
    EXPECT_EQ(Values(items[2].CorrectChars, items[3].Copied, App->History().Confusions().size()),
              "4 |  | 1");
    App->Escape();
    EXPECT_EQ(Values(App->View().CopyFieldShown, App->View().TXEnabled), "0 | 1");
}

// Nothing typed is lost: the items heard and the copy as typed reach the file within a second,
// and a start after a kill scores the copy against the items heard and marks the practice
// aborted at once.
TEST_F(CopyPractice, AfterAKillTheCopyTypedIsScoredAgainstTheItemsHeard) {
    Start();
    StartAndHear(3);
    ASSERT_EQ(C().ItemsSent(), 3);
    const auto groups = Groups();
    ASSERT_GE(groups.size(), 2u);
    App->CopyChanged(groups[0] + " " + groups[1]);
    Play(TCopyPractice::FlushMs + 100);
    // The program ends here without a word (a kill: nothing is finished or flushed, the store is
    // left as it is); another start finds the practice.
    THistoryStore reopened(History.File("history.sqlite"));
    const auto practices = reopened.Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(Values(practices[0].Aborted, practices[0].Counts, practices[0].SentChars >= 15,
                     practices[0].CorrectChars),
              "1 | 0 | 1 | 10");
    const auto items = reopened.Items(practices[0].Id);
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(Values(items[0].Sent, items[0].Copied, items[1].CorrectChars, items[2].CorrectChars),
              Values(groups[0], groups[0], 5, 0));
}

TEST_F(CopyPractice, ItemByItemWaitsForReturnAndMeasuresTheReaction) {
    Pacing = TCopyPacing::ItemByItem;
    Start();
    App->StartCopyPractice();
    PlayOn(); // the start text and the first item, then it waits
    ASSERT_TRUE(C().WaitingForReturn());
    Play(3000);
    EXPECT_EQ(C().ItemsSent(), 1); // nothing more is sent until Return
    std::string copy;
    for (int item = 0; item < 4; ++item) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(C().WaitingForReturn());
        NowMs += 700; // the learner answers 700 ms after the item was heard
        App->CopyKeyTyped();
        // The last answer has one character too many.
        ASSERT_GT(Groups().size(), static_cast<std::size_t>(item));
        copy += Groups()[static_cast<std::size_t>(item)] + (item == 3 ? "0\n" : "\n");
        App->CopyChanged(copy);
        ASSERT_TRUE(App->CopyReturn(false));
        PlayOn();
    }
    PlayOn();
    ASSERT_TRUE(App->Session().Idle());
    // Every item checked: the result is there.
    EXPECT_EQ(Result(), "20 | 20 | 0 | 0 | 1 | 4 | 100 counts");
    EXPECT_TRUE(Holds(Shown(), "20 of 20 characters correct, 1 extra character copied (95 %)"));
    const auto items = KeptItems();
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
        EXPECT_NEAR(*items[i].ReactionMs, 700 + space, 100) << i;
    }
    EXPECT_FALSE(App->History().SlowestChars().empty());
}

// Esc aborts and keeps what was heard; the learner's spaces keep the items apart, so no character
// of one group's copy moves into the next. Esc while an item waits for Return: the item and the
// part of it typed are kept. The practice before leaves nothing behind in the next one.
TEST_F(CopyPractice, EscAbortsAndKeepsWhatWasHeardAndWhatWasTyped) {
    Start();
    StartAndHear(2);
    auto groups = Groups();
    ASSERT_GE(groups.size(), 2u);
    // The first group with a wrong character at its end, the second right.
    std::string first = groups[0];
    first.back() = first.back() == 'k' ? 'q' : 'k';
    App->CopyChanged(first + " " + groups[1]);
    App->Escape();
    EXPECT_EQ(Values(C().Running(), App->Session().Idle(), Result(), Kept()),
              "0 | 1 | 10 | 9 | 1 | 0 | 0 | 2 | 100 aborted | groups 10/9/0 aborted finished");
    EXPECT_TRUE(Holds(Shown(), "copy practice aborted: 9 of 10"));
    auto items = KeptItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(Values(items[0].Copied, items[1].Copied, items[1].CorrectChars),
              Values(first, groups[1], 5));
    Play(5000);
    EXPECT_FALSE(App->Engine().HasChars()); // the session ended with nothing more queued

    App->Escape(); // the copy field put away
    Pacing = TCopyPacing::ItemByItem;
    Sent.clear();
    App->StartCopyPractice();
    PlayOn(30);
    ASSERT_TRUE(C().WaitingForReturn());
    groups = Groups();
    ASSERT_EQ(Values(C().ItemsSent(), groups.size()), "1 | 1");
    const std::string part = groups[0].substr(0, 3);
    App->CopyChanged(part);
    App->Escape();
    EXPECT_EQ(Result(), "5 | 3 | 0 | 2 | 0 | 1 | 100 aborted");
    items = KeptItems(1);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Copied, part);
}

// Stopped from elsewhere (a suspend stops everything), and closing the program: the practice is
// kept as aborted at once, without waiting for the character on the air or leaving it to the
// crash recovery.
TEST_F(CopyPractice, StoppedFromElsewhereOrByClosingItIsKeptAsAborted) {
    Start();
    StartAndHear(1);
    App->PowerChanged(true);
    EXPECT_EQ(Values(C().Running(), Kept()), "0 | groups 5/0/0 aborted finished");
    Play(2000);
    StartAndHear(1);
    Play(200);
    App->RequestClose();
    EXPECT_EQ(Values(C().Running(), Kept()),
              "0 | groups 5/0/0 aborted finished | groups 5/0/0 aborted finished");
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
    EXPECT_EQ(Values(Has(Messages[0], History.File("history.sqlite")),
                     std::filesystem::is_directory(History.File("history.sqlite"))),
              "1 | 1");
}

// Every error counts: typing each group five times, or pasting a flood of text, can never score
// better than copying once. The field takes a few times the text planned and says so when a
// paste goes beyond. Before the check F3 and F11 say why nothing starts. A copy of nothing but
// spaces and line breaks is nothing copied: the practice does not count.
TEST_F(CopyPractice, ExtraCharactersAreErrorsAFloodIsRefusedAndACopyOfSpacesDoesNotCount) {
    Start();
    App->StartCopyPractice();
    PlayOn();
    const auto groups = Groups();
    ASSERT_EQ(Values(groups.size(), C().Running()), "4 | 1");
    App->StartSession();
    App->StartCopyPractice();
    ASSERT_EQ(StatusLines.size(), 2u);
    EXPECT_EQ(Values(StatusLines[0], Dialogs.size()),
              "Check the copy first (Ctrl+Return), or abort it with Esc. | 1");
    std::string fivefold;
    for (const auto& g : groups)
        for (int k = 0; k < 5; ++k)
            fivefold += g + " ";
    std::string flood;
    for (std::size_t i = 0; i < 100000; ++i)
        flood += static_cast<char>('a' + (i * 7919) % 26);
    EXPECT_FALSE(App->CopyChanged(flood));
    ASSERT_EQ(StatusLines.size(), 3u);
    // A few times 4 groups of 5.
    EXPECT_EQ(Values(Has(StatusLines[2], "The copy field takes at most"),
                     C().Copy().size() < C().CopyLimit(), C().CopyLimit() < 2000u),
              "1 | 1 | 1");
    ASSERT_TRUE(App->CopyChanged(fivefold));
    App->CheckCopy();
    ASSERT_EQ(Values(Result(), Kept()),
              "20 | 20 | 0 | 0 | 80 | 4 | 100 counts | groups 20/20/80 finished counts");
    EXPECT_DOUBLE_EQ(C().LastResult()->Check.Accuracy(), 0.0);
    EXPECT_TRUE(Holds(Shown(), "20 of 20 characters correct, 80 extra characters copied (0 %)"));

    App->Escape();
    App->StartCopyPractice();
    PlayOn();
    App->CopyChanged(" \n  \t\r\n");
    App->CheckCopy();
    EXPECT_EQ(Result(), "20 | 0 | 0 | 20 | 0 | 4 | 100");
}

// Stop (the TX button let up) ends a practice as Esc does: nothing more is sent, not the end
// text either; the item cut off is left out, not scored as missed; the practice is aborted.
TEST_F(CopyPractice, StopMidPracticeSendsNothingMoreAndLeavesTheCutItemOut) {
    Start();
    App->Params().CommitText(TCharField::StopText, "<ar>");
    StartAndHear(2);
    Play(400); // into the third group
    ASSERT_GE(Groups().size(), 2u);
    App->CopyChanged(Groups()[0] + " " + Groups()[1]);
    const std::size_t sentBefore = Sent.size();
    ASSERT_GT(sentBefore, 4u + 10u); // the third group is on the air
    App->TXButtonClick(false);
    EXPECT_FALSE(C().Running());
    Play(5000);
    // At most the character on the air ends; no <ar>.
    EXPECT_EQ(Values(Sent.size() <= sentBefore + 1, Has(Sent, "+"), Result(), Kept()),
              "1 | 0 | 10 | 10 | 0 | 0 | 0 | 2 | 100 aborted | groups 10/10/0 aborted finished");
}

// A check before anything was heard keeps nothing as finished: it is aborted and never counts;
// a check before the end gives the time the practice ran, not 00:00:00.
TEST_F(CopyPractice, AnEarlyCheckIsAbortedOrTimedAsItRan) {
    // 90 % of the planned items heard counts, one item less does not.
    EXPECT_EQ(Values(TCopyPractice::PracticeCounts(false, true, 9, 10),
                     TCopyPractice::PracticeCounts(false, true, 8, 9),
                     TCopyPractice::PracticeCounts(true, true, 10, 10),
                     TCopyPractice::PracticeCounts(false, false, 10, 10)),
              "1 | 0 | 0 | 0");
    Start();
    App->Params().ApplyEditField(TUpDown::NumGroups, "100");
    App->StartCopyPractice();
    // The session dialog says how long the practice will take: 100 groups of 5 and their spaces
    // at 100 CpM, 6 minutes.
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_TRUE(Holds(Dialogs[0].CopyLine, "it takes about 6 minutes"));
    App->CheckCopy();
    EXPECT_EQ(Result(), "0 | 0 | 0 | 0 | 0 | 0 | 100 aborted");
    App->Escape();
    StartAndHear(2);
    NowMs += 61000;
    ASSERT_FALSE(Groups().empty());
    App->CopyChanged(Groups()[0]);
    App->CheckCopy();
    ASSERT_TRUE(C().LastResult());
    EXPECT_EQ(Result(), "10 | 5 | 0 | 5 | 0 | 2 | 100"); // 2 of 100 heard: no count
    EXPECT_GE(C().LastResult()->SpanMs, 61000);
    EXPECT_FALSE(Holds(Shown(), "time 00:00:00"));
}
