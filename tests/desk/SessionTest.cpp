// Practice sessions on the engine's sample clock with a fixed seed: the speed of every item and of
// the end text, repetitions, separators and line ends per mode, the dialog's lines, single mode,
// the summary, the speed test, the sound test, and the ways a session is refused or stopped.
#include "base/ControlCodes.h"
#include "base/Text1252.h"
#include "desk/Parameters.h"
#include "desk/TextChecks.h"
#include "practice/TextFilters.h"
#include "support/DeskFixture.h"
#include "support/TempDir.h"

#include <fstream>
#include <set>
#include <sstream>

using namespace brindle;
using brindle::test::Has;
using brindle::test::Holds;
using brindle::test::TFakeSoundBackend;
using brindle::test::TTempDir;
using brindle::test::Values;

namespace {

using TLines = std::array<std::string, 6>; // the session dialog's lines

struct TPiece {
    std::string Text; // characters in engine form, without separators
    int Speed = 0;    // [CpM] of its first character; -1 when the speed changed inside it
    bool operator==(const TPiece&) const = default;
};
std::ostream& operator<<(std::ostream& o, const TPiece& p) {
    return o << "{" << CodesToProsignNames(p.Text) << " @" << p.Speed << "}";
}

class Sessions : public brindle::test::TDeskTest {
protected:
    void Start() {
        TDeskTest::Start();
        Started = App->OnCharStart.Connect([this](uint8_t ch) {
            Sent.push_back({ch, App->Engine().Speed()});
        });
        Ended = App->OnCharSent.Connect([this](uint8_t ch) { Done += static_cast<char>(ch); });
        P().SetFarnsworth(TSpacing::Plain);
        P().CommitText(TCharField::Chars1, "abc");
        P().ChooseCharField(1);
    }
    TParameters& P() { return App->Params(); }
    const TSession& S() const { return App->Session(); }
    bool Busy() {
        auto& cw = App->Engine();
        return State() != TSessionState::Idle || cw.HasChars() || !cw.IsIdle();
    }
    // Plays until the session and the engine are done; seconds of sound at most.
    void RunToEnd(int seconds = 900) {
        for (int i = 0; i < seconds * 20 && Busy(); ++i)
            Play(50);
    }
    // What the engine started, cut at the separators, with the speed of each piece.
    std::vector<TPiece> Pieces() const {
        std::vector<TPiece> pieces;
        bool open = false;
        for (const auto& [ch, speed] : Sent) {
            if (IsSeparatorCode(ch)) {
                open = false;
                continue;
            }
            if (!open) pieces.push_back({"", speed});
            open = true;
            pieces.back().Text += static_cast<char>(ch);
            if (pieces.back().Speed != speed) pieces.back().Speed = -1;
        }
        return pieces;
    }
    // The speed of each piece, " " between them.
    std::string Speeds() const {
        std::string s;
        for (const auto& p : Pieces())
            s += (s.empty() ? "" : " ") + std::to_string(p.Speed);
        return s;
    }
    void Items(int n) { P().ApplyEditField(TUpDown::NumGroups, std::to_string(n)); }
    void Speeds(int start, int end) {
        P().ApplyEditField(TUpDown::StartSpeed, std::to_string(start));
        P().ApplyEditField(TUpDown::EndSpeed, std::to_string(end));
    }
    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = Dir.File(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static std::string Code(const char* prosign) {
        return std::string(
            1, static_cast<char>(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex(prosign))));
    }

    std::vector<std::pair<uint8_t, int>> Sent; // each character started, with the engine speed
    std::string Done;                          // each character sent (blips too)
    TConnection Started, Ended;
    TTempDir Dir;
};

} // namespace

// --- The speed plan ------------------------------------------------------------------------------

TEST_F(Sessions, VariableSpeedAndRepetitionsAtRisingSpeed) {
    Start();
    P().SetVariSpeed(true);
    struct TCase {
        int Items, Start, End;
        std::string Expected; // the speeds of the start text, the items and the end text
    };
    const TCase cases[] = {
        {1, 30, 40, "30 30 40"},             // step 0: raised to the end at once
        {5, 40, 20, "40 40 35 30 25 20 20"}, // step -5
        {4, 30, 40, "30 30 33 36 40 40"},    // 33.33 and 36.67 truncated
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Items);
        Sent.clear();
        Items(c.Items);
        Speeds(c.Start, c.End);
        App->StartSession();
        ASSERT_EQ(State(), TSessionState::StartText);
        RunToEnd();
        ASSERT_EQ(Speeds(), c.Expected);
        EXPECT_EQ(Values(CodesToProsignNames(Pieces().front().Text),
                         CodesToProsignNames(Pieces().back().Text), NameOf(State()),
                         App->Session().ItemKind() == TItemKind::None),
                  "vvv<ka> | <ar> | idle | 1");
    }
    EXPECT_EQ(Dialogs.back().Lines[3], "Speed will be variable from  30  up to  40 CpM");
    EXPECT_EQ(Dialogs[1].Lines[3], "Speed will be variable from  40  down to  20 CpM");

    // Each item is sent again at its speed times the factor, rounded half to even (1.05 x 50 = 52.5
    // -> 52, 1.05 x 52 = 54.6 -> 55); the next item starts at the base speed again. Repeats at
    // rising speed give no overall speed.
    EXPECT_EQ(Values(FasterFactor(0), FasterFactor(1), FasterFactor(6)), "1 | 1.05 | 1.5");
    P().SetVariSpeed(false);
    const struct {
        int Items, Speed, Repeat, Faster;
        std::string Line, Expected;
    } repeats[] = {
        {2, 100, 2, 2, "Send each item 3 times, and increase speed x 1.1",
         "100 100 110 121 100 110 121 100"},
        {1, 50, 2, 1, "Send each item 3 times, and increase speed x 1.05", "50 50 52 55 50"},
        {2, 60, 1, 0, "Send each item twice", "60 60 60 60 60 60"},
    };
    for (const auto& c : repeats) {
        SCOPED_TRACE(c.Line);
        Sent.clear();
        App->ClearScreenClick();
        Items(c.Items);
        Speeds(c.Speed, 40);
        P().SetRepeat(c.Repeat);
        P().SetFaster(c.Faster);
        App->StartSession();
        EXPECT_EQ(Dialogs.back().Lines[5], c.Line);
        RunToEnd();
        ASSERT_EQ(Speeds(), c.Expected);
        const auto pieces = Pieces();
        for (std::size_t i = 1; i + 1 < pieces.size(); ++i) // each item as often as asked
            EXPECT_EQ(pieces[i].Text, pieces[1 + (i - 1) / (c.Repeat + 1) * (c.Repeat + 1)].Text);
        EXPECT_EQ(Values(pieces[1].Text.size(), Has(Shown(), "session time was: "),
                         Has(Shown(), "actual overall speed")),
                  Values(5, true, c.Faster == 0));
    }
}

// An empty start text shows nothing before the first item.
// Then phrases with the blip: every phrase and repetition ends with a blip and a line end.
TEST_F(Sessions, FixedGroupsNeverRepeatACharacterThreeTimesAndPhrasesEndWithABlip) {
    Start();
    Items(60);
    Speeds(300, 40);
    P().CommitText(TCharField::StartText, "");
    P().CommitText(TCharField::StopText, "");
    App->StartSession();
    EXPECT_EQ(Values(S().StartTextEmpty(), Shown(), static_cast<int>(App->Engine().PeekChar())),
              "1 |  | 255");
    RunToEnd(1200);
    const auto first = Pieces();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(Shown().substr(0, 6), first[0].Text + " ");
    std::string letters;
    for (const auto& p : first)
        letters += p.Text;
    ASSERT_EQ(letters.size(), 300u);
    EXPECT_EQ(std::set<char>(letters.begin(), letters.end()), (std::set<char>{'a', 'b', 'c'}));
    for (std::size_t i = 2; i < letters.size(); ++i)
        ASSERT_FALSE(letters[i] == letters[i - 1] && letters[i] == letters[i - 2]) << i;
    // The same seed gives the same session.
    Sent.clear();
    App->StartSession();
    RunToEnd(1200);
    EXPECT_EQ(Pieces(), first);

    Sent.clear();
    Done.clear();
    App->ClearScreenClick();
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Phrases, WriteFile("p.txt", "cq de dl1abc\n")));
    EXPECT_EQ(App->Settings().Tutor.Mode, 3);
    P().SetBlip(true);
    ASSERT_TRUE(App->Engine().BlipOn());
    Items(2);
    P().SetRepeat(1);
    App->StartSession();
    EXPECT_EQ(Values(Dialogs.back().Caption, Dialogs.back().Lines[2]),
              "Start Random Phrases | - using extended character set -");
    RunToEnd();
    const std::string phrase = "cq de dl1abc^\r";
    EXPECT_TRUE(Holds(Done, phrase + phrase + phrase + phrase));
    EXPECT_TRUE(Holds(Shown(), "cq de dl1abc^\r\ncq de dl1abc^\r\n"));
}

// Q-codes, words, and a text from file, which is sent word by word, its repetitions on the words'
// line; the file's settings are not touched, the running ones switch to "Text from File".
TEST_F(Sessions, QCodesWordsAndTextRunWholeSessionsWithTheirSummaries) {
    Start();
    P().SetMorseMode(TTrainingMode::QCodes);
    Items(3);
    App->StartSession();
    EXPECT_EQ(Values(Dialogs.back().Caption, Dialogs.back().Lines[0]),
              "Start Random Q-Codes | Produce  3  random Q-Codes");
    RunToEnd();
    auto pieces = Pieces();
    ASSERT_EQ(pieces.size(), 5u);
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_EQ(pieces[i].Text[0], 'q');
    EXPECT_TRUE(Holds(Shown(), "sent 9 characters\r\nactual overall speed was: "));

    ASSERT_TRUE(
        App->LoadMaterial(TMaterialKind::Words, WriteFile("w.txt", "cq de<AR>  test\nk\n")));
    EXPECT_EQ(Shown().substr(0, 27), "loaded 4 words from file:\r\n");
    Sent.clear();
    App->StartSession();
    EXPECT_EQ(Values(Dialogs.back().Caption, Dialogs.back().Lines[1]),
              "Start Random Words | " + Dir.File("w.txt"));
    RunToEnd();
    pieces = Pieces();
    ASSERT_EQ(pieces.size(), 5u);
    const std::vector<std::string> words = {"cq", "de" + Code("<ar>"), "test", "k"};
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_NE(std::find(words.begin(), words.end(), pieces[i].Text), words.end());

    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Text, WriteFile("t.txt", "one two\r\nthree\r\n")));
    EXPECT_EQ(Values(Settings.Tutor.Mode, App->Settings().Tutor.Mode, App->View().StartCaption),
              "0 | 4 | Start Sending Text");
    EXPECT_EQ(Shown(),
              "loaded 3 'words' from text file:\r\n" + Lower1252(Dir.File("t.txt")) + "\r\n");
    P().SetRepeat(1);
    App->StartSession();
    RunToEnd();
    EXPECT_TRUE(Holds(Shown(), "vvv<ka>\r\none one two two\r\nthree three\r\n\r\n<ar>\r\n"));

    P().SetRepeat(4);
    Sent.clear();
    App->StartSession();
    EXPECT_EQ(Values(Dialogs.back().Caption, Dialogs.back().Lines[0], Dialogs.back().Lines[5]),
              "Send Text from File | Produce 3 consecutive 'words' as loaded from file: | Send "
              "each item 5 times");
    RunToEnd();
    EXPECT_EQ(Pieces().size(), 2u + 15u);
}

// --- The dialog ----------------------------------------------------------------------------------

// Cancel restores the speed field and the engine's speed; the start speed was shown while the
// dialog was up.
TEST_F(Sessions, DialogLinesForRandomCharactersCancelAndALongSetCutBeforeAProsign) {
    Start();
    App->SetNewSpeedVal("77");
    P().SetFarnsworth(TSpacing::Farnsworth);
    P().ApplyEditField(TUpDown::FarnswSpeed, "80");
    AnswerOk = false;
    std::string shownWhileAsked;
    WhileAsked = [&] { shownWhileAsked = App->View().SpeedText; };
    App->StartSession();
    EXPECT_EQ(Dialogs.back().Caption, "Start Random Characters");
    EXPECT_EQ(
        Dialogs.back().Lines,
        (TLines{"Produce 30 random groups of 5 with these characters:", "abc", "",
                "Speed will be 30  CpM", "Farnsworth speed for characters will be: 80  CpM", ""}));
    EXPECT_EQ(Values(shownWhileAsked, App->View().SpeedText, App->Engine().Speed(), NameOf(State()),
                     App->Engine().HasChars(), App->View().StartEnabled),
              "30 | 77 | 77 | idle | 0 | 1");
    EXPECT_EQ(App->Session().ItemKind(), TItemKind::None);

    P().SetVariSize(true);
    P().ApplyEditField(TUpDown::SizeMin, "2");
    P().SetAllCaps(true);
    P().SetFarnsworth(TSpacing::Wordsworth);
    App->StartSession();
    EXPECT_EQ(Values(Dialogs.back().Lines[0], Dialogs.back().Lines[1], Dialogs.back().Lines[4]),
              "Produce 30 random groups of 2..5 with these characters: | ABC | Wordsworth speed "
              "for words will be: 80  CpM");

    // A long character set is cut before a prosign.
    const auto cut = [](const std::string& set) {
        std::string line2, line3;
        CutCharacterLines(set, line2, line3);
        return Values(line2, line3);
    };
    const std::string set40 = "abcdefghijklmnopqrstuvwxyz0123456789.,?/";
    EXPECT_EQ(cut(set40 + "=<ar><kn>"), set40 + "= | <ar><kn>");
    EXPECT_EQ(cut(set40 + "+-=:;<ar>"), set40 + "+-=:; | <ar>"); // "<" is the 46th: cut at 45
    EXPECT_EQ(cut(set40 + "+-=:"), set40 + "+-=: | ");           // 44 characters on one line
    EXPECT_EQ(cut(std::string(200, 'e')), std::string(45, 'e') + " | " + std::string(90, 'e'));

    // Through the window's field, with the prosigns shown by their names.
    P().AllCharacters();
    App->StartSession();
    const auto& d = Dialogs.back();
    ASSERT_GE(d.Lines[1].size(), 40u);
    EXPECT_LE(d.Lines[1].size(), 45u);
    EXPECT_EQ(d.Lines[1].find('<') == std::string::npos || d.Lines[1].back() == '>', true);
    EXPECT_EQ(d.Lines[2].empty() || d.Lines[2].front() == '<' || d.Lines[1].size() == 45u, true);
}

// --- Bad input -----------------------------------------------------------------------------------

TEST_F(Sessions, EmptyListsAndSetsAskForMaterialAndStartNothing) {
    Start();
    const struct {
        TTrainingMode Mode;
        std::string Asked; // the dialog's first and third lines
    } modes[] = {
        // Words: SessionWindow.TheDialogShowsItsSixLinesAndTheLoadersSwitchTheMode.
        {TTrainingMode::Phrases,
         "Please load a file which contains at least 1 phrase! | (use CTRL+P or File Menu)"},
        {TTrainingMode::Text,
         "Please load a text file which contains at least 1 word! | (use CTRL+T or File Menu)"},
    };
    for (const auto& m : modes) {
        P().SetMorseMode(m.Mode);
        App->StartSession();
        EXPECT_EQ(Values(Dialogs.back().Lines[0], Dialogs.back().Lines[2], NameOf(State())),
                  m.Asked + " | idle");
    }

    // An empty file and a file with nothing sendable load as empty lists: the dialog asks again.
    ASSERT_TRUE(App->LoadMaterial(TMaterialKind::Words, WriteFile("empty.txt", "")));
    EXPECT_EQ(Shown().substr(0, 27), "loaded 0 words from file:\r\n");
    ASSERT_TRUE(
        App->LoadMaterial(TMaterialKind::Phrases, WriteFile("junk.txt", "\x01\x02\x03~~\n")));
    App->StartSession();
    EXPECT_EQ(Values(Dialogs.back().Lines[0], NameOf(State())),
              "Please load a file which contains at least 1 phrase! | idle");

    // A set that the standard characters empty.
    P().SetMorseMode(TTrainingMode::RandomChars);
    P().CommitText(TCharField::Chars1, "\xE4\xF6\xFC"); // extended letters
    P().SetExtended(false);
    App->StartSession();
    EXPECT_EQ(
        Values(Dialogs.back().Lines[1], NameOf(State()), App->Engine().HasChars(), Messages.size()),
        "Please define at least 1 character to be used! | idle | 0 | 0");
}

// The lists of the last run are there again at start, without a word; a list whose file is gone
// is not, and says nothing either. A list refused later (Material.RefusedFilesLeaveEveryListAsItWas
// has every kind of file) is said as an error; the list and its file in the settings stay.
TEST_F(Sessions, TheLastListsAreLoadedAgainAtStartAndAnUnreadableOneKeepsThem) {
    WriteFile("w.txt", "alpha beta\ngamma\n");
    WriteFile("p.txt", "cq cq de dl1abc\n");
    Settings.Main.InDir = Dir.Path.string();
    Settings.Main.WordFile = "w.txt";
    Settings.Main.PhrasesFile = "p.txt";
    Settings.Main.InFile = "gone.txt";
    Settings.Tutor.Mode = 1;
    Start();
    const std::vector<std::string> words = {"alpha", "beta", "gamma"};
    EXPECT_EQ(S().Material().WordList, words);
    // Phrases and no text; nothing said or written to the display; the training mode the user's.
    EXPECT_EQ(Values(S().Material().PhraseList.size(), S().Material().TextList.size(),
                     Messages.size(), Shown(), App->Settings().Tutor.Mode),
              "1 | 0 | 0 |  | 1");

    EXPECT_FALSE(App->LoadMaterial(TMaterialKind::Words, Dir.File("missing.txt")));
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>(i * 7 % 256);
    const std::string path = WriteFile("a.out", binary);
    EXPECT_FALSE(App->LoadMaterial(TMaterialKind::Words, path));
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_TRUE(Holds(Messages[0], "missing.txt"));
    EXPECT_EQ(Values(Messages[1], Severities[1] == TSeverity::Error),
              Values("Error: " + path + " is not a text file", true));
    EXPECT_EQ(S().Material().WordList, words);
    EXPECT_EQ(Values(S().Material().WordPath, App->Settings().Main.WordFile),
              Dir.File("w.txt") + " | w.txt");
    App->StartSession(); // F3 finds the words
    EXPECT_EQ(Values(Dialogs.back().Lines[0], NameOf(State())),
              "Produce 30 random words from the list loaded from file: | start text");
}

// A session stopped by a lost output, by a suspend, by closing, and by an Esc that comes while the
// next item is being queued from inside the engine's event: that Esc used to be handled inside the
// queueing and then overwritten by it.
TEST_F(Sessions, ASessionIsStoppedCleanlyByALostOutputBySuspendClosingAndEsc) {
    Start();
    App->StartSession();
    Play(3000);
    ASSERT_NE(State(), TSessionState::Idle);
    EXPECT_FALSE(App->View().ParameterControlsEnabled);
    Sound.Outputs.clear();
    Fake->FailStream();
    Fake->RunPosted();
    EXPECT_EQ(Values(NameOf(State()), App->Engine().HasChars(),
                     App->View().ParameterControlsEnabled, P().View().Locked, Messages.size()),
              "idle | 0 | 1 | 0 | 0"); // said in the status bar: a restart takes a moment
    EXPECT_EQ(App->View().SoundStatus, "sound server restarting… The session was stopped.");
    // No session starts while the output is lost.
    ASSERT_FALSE(App->SoundOut().IsOpen());
    Messages.clear();
    App->StartSession();
    ASSERT_EQ(Values(Dialogs.size(), NameOf(State()), Messages.size()), "1 | idle | 1");
    EXPECT_EQ(Messages[0], "The sound output is not available: no session can start until it is "
                           "back.");

    App.reset();
    Sound = TFakeSoundBackend::Quiet();
    Start();
    App->StartSession();
    Play(3000);
    App->PowerChanged(true);
    EXPECT_EQ(Values(NameOf(State()), App->View().StartEnabled), "idle | 1");

    App->StartSession();
    Play(3000);
    App->RequestClose();
    Play(1000);
    ASSERT_EQ(App->CloseState(), TCloseState::Ready);
    TTempDir data;
    EXPECT_TRUE(App->FormClose(data.Path.string() + "/", false));
    EXPECT_TRUE(std::filesystem::exists(data.File("Brindle.ini")));

    App.reset();
    Start();
    Sent.clear();
    Items(10);
    App->StartSession();
    bool posted = false;
    const TConnection esc = App->OnCharSent.Connect([&](uint8_t) {
        // The first item's last character: the engine's last-character event queues the next.
        if (posted || State() != TSessionState::Items || App->Engine().HasChars()) return;
        posted = true;
        LaterCalls.push_back({LaterNow, LaterSeq++, [this] { App->Escape(); }});
    });
    RunToEnd();
    ASSERT_TRUE(posted);
    EXPECT_EQ(State(), TSessionState::Idle);
    const auto pieces = Pieces(); // the start text, one item, what went of the next, the end
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_EQ(Values(pieces.size() <= 4, pieces[1].Text.size(), pieces.back().Text == Code("<ar>")),
              "1 | 5 | 1");
}

// --- Single mode ---------------------------------------------------------------------------------

TEST_F(Sessions, SingleModeWaitsForTheUserBeforeEveryItemAndReportsRepeats) {
    Start();
    Items(3);
    App->SetSingleMode();
    App->StartSession();
    RunToEnd(20); // the start text, then the engine holds
    EXPECT_EQ(State(), TSessionState::StartText);
    EXPECT_EQ(Pieces().size(), 1u);
    for (int item = 1; item <= 3; ++item) {
        SCOPED_TRACE(item);
        App->Enter(); // Enter resumes: the next item
        RunToEnd(20);
        EXPECT_EQ(Pieces().size(), 1u + static_cast<std::size_t>(item));
        EXPECT_NE(State(), TSessionState::Idle);
    }
    App->Enter(); // the items are done: the end text, and single mode ends
    RunToEnd();
    EXPECT_EQ(Values(NameOf(State()), App->Controls().SingleMode(), Pieces().size()),
              "idle | 0 | 5");
    EXPECT_EQ(Pieces().back().Text, Code("<ar>"));
    EXPECT_TRUE(Holds(Shown(), "sent 15 random characters\r\nsession time was: "));

    // Delete stops everything; it used to step to the next item on the way out, and that item was
    // then sent.
    App->SetSingleMode();
    Sent.clear();
    App->StartSession();
    RunToEnd(20); // the start text, then the engine holds
    ASSERT_EQ(State(), TSessionState::StartText);
    App->KeyDown(TDeskKey::Delete, {});
    EXPECT_EQ(Values(NameOf(State()), App->Controls().SingleMode(), Queued()), "idle | 0 | ");
    Play(5000);
    EXPECT_EQ(Pieces().size(), 1u);

    // One character repeated with Backspace is reported and gives no overall speed.
    App->ClearScreenClick();
    Items(2);
    P().ApplyEditField(TUpDown::SizeGroups, "1");
    App->SetSingleMode();
    App->StartSession();
    RunToEnd(20);
    App->Enter();
    RunToEnd(20);
    App->Backspace(); // Backspace: the item once more
    RunToEnd(20);
    App->Enter();
    RunToEnd(20);
    App->Enter();
    RunToEnd();
    const std::string shown = Shown();
    EXPECT_TRUE(Holds(shown, "sent 3 random characters\r\nof which 1 was repeated\r\n"));
    EXPECT_FALSE(Holds(shown, "actual overall speed"));
}

// --- Statistics ----------------------------------------------------------------------------------

// The formats of the speed and the time; a session across midnight reports its real span; a plain
// one its overall speed; one shorter than the clock 999.
TEST_F(Sessions, OverallSpeedAndSessionTimeOfASession) {
    EXPECT_EQ(
        Values(FormatOverallSpeed(61.87, false), FormatOverallSpeed(61.87, true),
               FormatOverallSpeed(999, false), FormatOverallSpeed(1234.5, false),
               FormatOverallSpeed(5.678, false), FormatOverallSpeed(99.96, false)),
        "61.90 CpM\r | 12.40 WpM\r | 999.00 CpM\r | 1230.00 CpM\r | 5.68 CpM\r | 100.00 CpM\r");
    EXPECT_EQ(Values(FormatSessionTime((3600 + 5 * 60 + 7) * 1000LL + 999), FormatSessionTime(0),
                     FormatSessionTime(30 * 3600 * 1000LL)),
              "01:05:07 | 00:00:00 | 30:00:00");
    Start();
    Items(5);
    NowMs = (23 * 3600 + 59 * 60 + 50) * 1000LL; // ten seconds before a clock of the day wraps
    App->StartSession();
    RunToEnd();
    const int64_t span = S().Times().SessionEnd - S().Times().SessionStart;
    EXPECT_GT(S().Times().SessionEnd, 24 * 3600 * 1000LL); // the session ended after midnight
    EXPECT_NEAR(span, 75 * 1000, 45 * 1000);
    EXPECT_TRUE(Holds(Shown(), "session time was: " + FormatSessionTime(span)));
    // 25 characters in well under two minutes at 30 CpM, not a span of nearly a day.
    EXPECT_NEAR(S().OverallSpeed(), 25.5, 5.5);

    App->ClearScreenClick();
    Items(3);
    Speeds(60, 40);
    P().CommitText(TCharField::StartText, "");
    App->StartSession();
    RunToEnd();
    const int64_t items = S().Times().ItemsEnd - S().Times().ItemsStart;
    ASSERT_GT(items, 0);
    EXPECT_EQ(S().SentCharCount(), 15);
    EXPECT_NEAR(S().OverallSpeed(), 15 / (static_cast<double>(items) / 60000.0), 1e-9);
    // Three groups of five at 60 CpM with their spaces: a little below 60.
    EXPECT_NEAR(S().OverallSpeed(), 53, 8);
    EXPECT_TRUE(Holds(Shown(), "sent 15 random characters\r\nactual overall speed was: " +
                                   FormatOverallSpeed(S().OverallSpeed(), false).substr(0, 5)));

    App->ClearScreenClick();
    Items(1);
    ClockRuns = false;
    App->StartSession();
    RunToEnd();
    EXPECT_DOUBLE_EQ(S().OverallSpeed(), 999.0);
    EXPECT_TRUE(Holds(Shown(), "actual overall speed was: 999.00 cpm\r\n"
                               "session time was: 00:00:00\r\n"));
}

// --- Speed test ----------------------------------------------------------------------------------

// The speed test measures its speed, and is aborted by the TX button and by Esc. It runs without
// extra spacing but used to leave the user's spacing off for good: played to its end, aborted, or
// with everything stopped. Then the sound test, which loops until stopped, and a session of a
// thousand items.
TEST_F(Sessions, SpeedAndSoundTests) {
    Start();
    App->SetNewSpeedVal("60");
    P().SetFarnsworth(TSpacing::Farnsworth);
    App->StartSpeedTest();
    EXPECT_EQ(Dialogs.back().Caption, "Test Morse Speed");
    EXPECT_EQ(Dialogs.back().Lines, (TLines{"Test Morse Speed with Standard Text?",
                                            "Paris Paris Paris Paris Paris Paris ", "",
                                            "Selected Speed is 60 CpM", "", ""}));
    // Farnsworth off, and the start and the speed locked.
    EXPECT_EQ(Values(NameOf(State()), App->View().PauseState == TPauseState::Waiting,
                     App->Settings().Tutor.Farnsworth, P().View().FarnsworthEnabled,
                     App->View().StartEnabled, App->View().SpeedUpDownEnabled),
              "speed test | 1 | 0 | 0 | 0 | 0");
    RunToEnd();
    EXPECT_EQ(State(), TSessionState::Idle);
    EXPECT_NEAR(S().OverallSpeed(), 60, 2.5);
    const auto at = Shown().find("\r\n\r\nactual speed was: ");
    ASSERT_NE(at, std::string::npos) << Shown();
    EXPECT_EQ(Shown().substr(at + 22),
              FormatOverallSpeed(S().OverallSpeed(), false).substr(0, 5) + " cpm\r\n");
    EXPECT_EQ(Values(P().View().FarnsworthEnabled, App->View().StartEnabled,
                     App->View().SpeedUpDownEnabled),
              "1 | 1 | 1");

    // A pause is reported with the speed; the TX button and Esc abort the test, also before its
    // first character (then no character will end: the test ends at once).
    App->ClearScreenClick();
    App->StartSpeedTest();
    Play(2000);
    App->PauseButtonClick(true);
    EXPECT_EQ(App->View().PauseState, TPauseState::Resume);
    Play(2000);
    App->PauseButtonClick(false);
    RunToEnd();
    EXPECT_TRUE(Holds(Shown(), " cpm\r\nbut <pause> had been pressed\r\n"));

    App->ClearScreenClick();
    App->StartSpeedTest();
    Play(2000);
    App->TXButtonClick(false);
    RunToEnd();
    EXPECT_EQ(Values(NameOf(State()), App->View().StartEnabled, P().View().FarnsworthEnabled),
              "idle | 1 | 1");
    EXPECT_TRUE(Holds(Shown(), "\r\n\r\nspeed test aborted\r\n"));
    EXPECT_FALSE(Holds(Shown(), "actual speed"));

    App->StartSpeedTest();
    Play(2000);
    App->Escape();
    RunToEnd();
    EXPECT_EQ(Values(NameOf(State()), App->View().ParameterControlsEnabled), "idle | 1");

    App->ClearScreenClick();
    App->StartSpeedTest();
    App->Escape();
    EXPECT_EQ(Values(NameOf(State()), App->View().SpeedEnabled), "idle | 1");
    EXPECT_TRUE(Holds(Shown(), "speed test aborted\r\n"));
    App->StartSpeedTest();
    App->TXButtonClick(false);
    EXPECT_EQ(State(), TSessionState::Idle);
    RunToEnd(5);
    EXPECT_FALSE(Busy());

    for (const TSpacing spacing : {TSpacing::Farnsworth, TSpacing::Wordsworth}) {
        P().SetFarnsworth(spacing);
        for (int end = 0; end < 3; ++end) {
            SCOPED_TRACE(Values(choices::Stored(spacing), end));
            App->StartSpeedTest();
            EXPECT_EQ(App->Engine().Spacing(), TSpacing::Plain);
            Play(1000);
            if (end == 1) App->Escape();
            if (end == 2) App->StopAllSending();
            RunToEnd();
            EXPECT_EQ(
                Values(App->Settings().Tutor.Spacing() == spacing,
                       App->Engine().Spacing() == spacing, App->View().SpeedLabel),
                Values(true, true, spacing == TSpacing::Farnsworth ? "Farnsworth" : "Wordsworth"));
        }
    }

    // The sound test.
    Sent.clear();
    Done.clear();
    App->ClearScreenClick();
    P().TestButtonClick();
    EXPECT_EQ(State(), TSessionState::SoundTest);
    // Locked but for the speed; on sound output the blip may be tried.
    EXPECT_EQ(Values(P().View().TestCaption, P().View().Locked, App->View().SpeedUpDownEnabled,
                     P().View().BlipEnabled),
              "Stop Test | 1 | 1 | 1");
    Play(20000);
    int tests = 0;
    for (const auto& p : Pieces())
        tests += p.Text == "test";
    EXPECT_GE(tests, 3);
    EXPECT_EQ(Shown().substr(0, 4), "test"); // cleared before each one
    EXPECT_LE(Shown().size(), 5u);
    P().TestButtonClick();
    EXPECT_EQ(State(), TSessionState::Idle);
    EXPECT_EQ(Values(P().View().TestCaption, P().View().Locked, App->Engine().HasChars()),
              "Test Sound and Speed | 0 | 0");

    P().SetBlip(true);
    P().TestButtonClick();
    EXPECT_EQ(App->Engine().PeekChar(), 't');
    Play(6000);
    App->Escape();
    EXPECT_EQ(Values(NameOf(State()), P().View().TestCaption), "idle | Test Sound and Speed");
    EXPECT_TRUE(Holds(Done, "test^ "));
    RunToEnd(5);
    EXPECT_FALSE(Busy());

    // A thousand items queue only one item at a time.
    P().SetBlip(false);
    Items(1000);
    Speeds(300, 40);
    P().ApplyEditField(TUpDown::SizeGroups, "3");
    P().CommitText(TCharField::StartText, "");
    P().CommitText(TCharField::StopText, "");
    App->StartSession();
    RunToEnd(3600);
    EXPECT_EQ(S().ItemsProduced(), 1000);
    EXPECT_EQ(S().SentCharCount(), 3000);
    // Never more than one group and its space waits in the type-ahead buffer.
    EXPECT_LE(S().MaxBufferFill(), 4);
}

// An export composes the session that F3 would start: the same items from the same seed, at the
// same speeds with the variable speed and the repetitions, between the start and end texts; the
// session itself is left untouched, and starts as it would have.
TEST_F(Sessions, AnExportComposesTheSameSessionAsF3) {
    Start();
    Items(4);
    Speeds(30, 60);
    P().SetVariSpeed(true);
    P().SetRepeat(1);
    P().SetFaster(2);
    TComposedPractice practice;
    std::string error;
    ASSERT_TRUE(App->ComposeExport(false, practice, error)) << error;
    EXPECT_EQ(Values(practice.Title, practice.Script.size(), practice.Spoken == TSpokenKind::Group),
              "Start Random Characters | 1 | 1");
    std::vector<TPiece> composed;
    for (const TPracticePiece& p : practice.Script[0].Pieces) {
        std::string text;
        for (const char c : p.Chars + ' ') {
            if (!IsSeparatorCode(static_cast<uint8_t>(c))) {
                text += c;
            } else if (!text.empty()) {
                composed.push_back({text, p.Cpm});
                text.clear();
            }
        }
    }
    EXPECT_EQ(S().State(), TSessionState::Idle);
    App->StartSession();
    RunToEnd();
    // The end text follows the last item at the end speed; in the session the last repetition's
    // speed is kept until then.
    EXPECT_EQ(composed, Pieces());
    EXPECT_EQ(Values(practice.Tone.Cpm, practice.Tone.ToneHz),
              Values(30, App->Engine().Frequency()));

    // Nothing to practise: the dialog's request.
    P().SetMorseMode(TTrainingMode::Words);
    EXPECT_FALSE(App->ComposeExport(false, practice, error));
    EXPECT_EQ(error, "Please load a file which contains at least 1 word!");
}
