// A practice session from its confirmation to its summary, and the speed and sound tests. Composes
// the session dialog from the parameters, feeds the engine one piece at a time (the start text,
// each item with its repetitions, the end text) at the engine's last-character events, runs the
// speed plan, counts what was sent and writes the summary into the display. Holds the practice
// material the File menu loads. No widgets: the dialog is asked through the platform; "now" comes
// from an injected monotonic clock and the random groups from an injected seed, so tests run a
// session exactly.
//
// clang-format off
// The session state, and what moves it (every "last char" is the engine's last-character event,
// which finds the type-ahead buffer empty):
//
//   Idle ──StartSession, OK──▶ StartText ──last char──▶ Items ──last char, repeats left──▶ Repeating
//                                  │                     │  ▲                                 │
//                                  │                     │  └──last char, repeats done────────┘
//                                  │ Esc, TX up          │ last char, all items produced;
//                                  ▼                     ▼ Esc, TX up
//                              ItemsDone ◀───────────────┘   (Repeating too, on Esc or TX up)
//                                  │ last char: the end-of-item code has been sent
//                                  ▼
//                               EndText ──last char──▶ Idle, with the summary
//
//   Idle ──StartSpeedTest, OK──▶ SpeedTest ──last char──▶ Idle, with the speed
//                                    │ Esc, TX up
//                                    ▼
//                             SpeedTestAborted ──last char, or nothing on the air──▶ Idle
//
//   Idle ──test button──▶ SoundTest ──last char──▶ SoundTest ("test" again)
//                            │ test button, Esc, TX up
//                            ▼
//                           Idle
//
//   Any state ──StopAllSending (Delete, an output switch, suspend, a lost sound output)──▶ Idle
//
// In single mode the user's "next" (pause release, Enter, Space) steps from StartText and Items
// instead of the last-character event.
// clang-format on
#pragma once

#include "base/Signal.h"
#include "desk/CopyPractice.h"
#include "desk/DeskTypes.h"
#include "desk/ExportRun.h"
#include "practice/PracticeMaterial.h"
#include "practice/RandomChars.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

class TMorseEngine;
class TDisplayModel;
class TOutputSwitch;
class TParameters;
class TSender;
class TSendingControls;
class TSoundOut;
struct TSettings;
struct TQueueStyle;

// What the session dialog shows: its caption and its six lines, from the top; for copy practice
// also a line saying so and the choice of pacing, which the dialog gives back.
struct TSessionDialog {
    std::string Caption;
    std::array<std::string, 6> Lines;
    bool CopyPractice = false;
    std::string CopyLine;
    TCopyPacing Pacing = TCopyPacing::Continuous;
    bool operator==(const TSessionDialog&) const = default;
};

// A session the course sets up instead of the parameters window: its characters with the share
// of the draws each gets, or the lesson's words, Q-codes or phrases; the number of items; the
// group size; the speeds. No repetitions, no variable speed, no blip.
struct TSessionPlan {
    std::string Caption;              // of the dialog
    std::array<std::string, 4> Lines; // the dialog's first lines (UTF-8)
    TItemKind Kind = TItemKind::Groups;
    std::string Chars;                // engine form
    std::vector<double> Shares;       // one per character of Chars; empty: all alike
    std::vector<std::string> Entries; // the words, Q-codes or phrases of the lesson
    int Items = 1;
    int GroupSize = 5; // 0: random, RandomGroupSizes of the course
    int CharCpm = 0;   // [CpM] character speed
    int EffCpm = 0;    // [CpM] effective speed
    std::optional<TCourseLesson> Course;
    // A character never practised before, played on its own before the start text (0: none).
    uint8_t Introduce = 0;
};

// How often a new character is played on its own before its first lesson.
inline constexpr int IntroductionRepeats = 6;

// The factor of an "Increment Speed" entry: the number its last four characters form.
double FasterFactor(int fasterIndex);
// A speed in CpM (WpM: divided by 5) rounded to 3 significant digits, with 2 decimals and a
// decimal point whatever the locale, then " CpM" or " WpM" and a line break: "61.90 CpM\r".
std::string FormatOverallSpeed(double cpm, bool showWpM);
// How long a practice takes, in the session dialog's words: "it takes about 12 minutes".
std::string AboutHowLong(int64_t ms);
// The shown character set cut for the dialog's lines 2 and 3: at 45 characters, or just before a
// "<" among the characters 41 to 45, so that no prosign is cut; line 3 takes 90 at most.
void CutCharacterLines(const std::string& shown, std::string& line2, std::string& line3);

class TSession {
public:
    using TClock = std::function<int64_t()>; // monotonic [ms]

    // What a session works with: the settings and the parameters window's fields it composes
    // from, the engine it feeds through the sender, the display its summary goes to, the
    // sending controls of single mode, the output and the copy practice it asks, the sound
    // output it checks, the questions and lines it puts to the user, and the calls for later.
    struct TNeeds {
        TSettings& Settings;
        TMorseEngine& Engine;
        TDisplayModel& Display;
        const TSoundOut& Sound;
        TSender& Sender;
        TSendingControls& Controls;
        TParameters& Params;
        const TOutputSwitch& Output;
        const TCopyPractice& Copy;
        TMessageSink Messages;
        std::function<void(const std::string&)> Status;
        std::function<bool(TSessionDialog&)> AskSession;
        std::function<void(int ms, std::function<void()> call)> Later;
        std::function<bool()> Closing; // the program is closing: nothing starts
    };

    TSession(TNeeds needs, TClock clock, TRandomChars::TSeedClock seed);

    TSignal<> OnChanged;      // the main window's view may have changed
    TSignal<> OnSummaryShown; // a summary was written at the display's end

    // --- What happens to a copy practice's items ----------------------------------------------
    // The facade connects these to the copy practice.
    TSignal<TCopyPacing, const TPracticeStart&> OnPracticeBegins;
    TSignal<const std::string&> OnItemQueued; // an item produced, before its repetitions
    TSignal<> OnItemHeard;                    // an item and its repetitions have been sent
    TSignal<> OnItemsDone;                    // the last item has been sent
    TSignal<int64_t> OnPracticeSent;          // the end text too, after spanMs
    TSignal<int64_t> OnPracticeStopped;       // stopped before its end, after spanMs

    // --- State ------------------------------------------------------------------------------
    TSessionState State() const { return State_; }
    bool Idle() const { return State_ == TSessionState::Idle; }
    TItemKind ItemKind() const { return ItemKind_; }
    // A session or test runs: the parameters that would change it are locked.
    bool LocksParameters() const { return LocksParameters_; }
    // The speed arrows are locked (variable speed, repeats or single mode drive the speed).
    bool LocksSpeedArrows() const { return LocksSpeedArrows_; }
    // The speed box is locked (the speed test).
    bool LocksSpeedBox() const {
        return State_ == TSessionState::SpeedTest || State_ == TSessionState::SpeedTestAborted;
    }
    // What the speed box shows while the dialog asks (the start speed), else nothing.
    const std::optional<std::string>& DialogSpeedText() const { return DialogSpeedText_; }
    // Single mode may be set while nothing or only the start text and items run.
    bool AllowsSingleMode() const;
    // How text goes into the type-ahead buffer now.
    TQueueStyle QueueStyle() const;
    // The injected clock. [ms]
    int64_t NowMs() const { return Clock_(); }

    // --- Commands ---------------------------------------------------------------------------
    // F3, the Work menu and the start button: the dialog, and on OK the session starts. With
    // copy, F11: the same session as copy practice. With a plan: the course's lesson.
    void StartSession(bool copy = false, const TSessionPlan* plan = nullptr);
    // The practice that StartSession would start (with a plan: the course's lesson), composed
    // without sending it and without asking: the start text, the items with their repetitions at
    // their speeds, the end text, and the engine's tone at the session's speeds. The session is
    // left as it was. False with the dialog's request (for example "Please load a file which
    // contains at least 1 word!") when there is nothing to practise.
    bool ComposeExport(const TSessionPlan* plan, TComposedPractice& practice, std::string& error);
    // The speed steps from item to item (variable speed) in the session under way.
    bool VariesSpeed() const { return !Idle() && Rules_.Varispeed; }
    // The Work menu's "Speed Test".
    void StartSpeedTest();
    // The parameters window's test button; the button, Esc and the TX button stop it.
    void ToggleSoundTest();
    void StopSoundTest();
    // Loads words, phrases or a text for the sessions; false (after the message) when the file
    // could not be read, and then nothing has changed.
    bool LoadMaterial(TMaterialKind kind, const std::string& path);
    // At start: the word, phrase and text lists of the last run, read again without a word when
    // their files are still there (they are looked for in the folder of the last file opened).
    void ReloadMaterial();
    TOpenRequest OpenRequest(TMaterialKind kind) const;
    // A new character is being played on its own before the lesson's start text.
    bool Introducing() const { return Introducing_; }
    // Return in the copy field while it plays: on to the lesson at once.
    void SkipIntroduction();
    // Esc: what was removed from the buffer is known; the session ends with its end text.
    void Escape(bool removedAny);
    // The TX button went up.
    void TXReleased();
    // StopAllSending: back to idle at once, the counts cleared.
    void Stop();
    // A speed test aborted before its first character has no character whose end could raise
    // the last-character event: it is finished here.
    void FinishAbortWhenNothingIsSent();

    // --- Events -----------------------------------------------------------------------------
    // The engine's last-character event; false when no session runs (the caller goes on).
    bool LastChar();
    // The engine started a character: counted for the summary.
    void CharStarted(uint8_t ch);
    // Single mode: the user asks for the next item.
    void StepToNextItem();
    // Single mode: an item is repeated; the speed plan does not advance for it.
    void StepBackSpeedPlan();
    // The TX button went down: the measured stretch starts again.
    void RestartTimes();
    // The pause button was pressed or the exit cancelled: the summary gives no overall speed.
    void NotePause() { PauseRequested_ = true; }
    // Single mode was set: items may be repeated.
    void NoteRepeats() { RepeatsInSession_ = true; }
    // A file was loaded to the screen or as the text: the counts start again.
    void ResetCounts();

    // --- Statistics and material -------------------------------------------------------------
    // When the session and its items started and ended, on the injected clock. [ms]
    struct TTimes {
        int64_t SessionStart = 0, ItemsStart = 0, ItemsEnd = 0, SessionEnd = 0;
    };
    const TTimes& Times() const { return Times_; }
    int ItemsProduced() const { return ItemsProduced_; }
    bool StartTextEmpty() const { return StartTextEmpty_; }
    int SentCharCount() const { return SentCharCount_; }
    int SessionCharCount() const { return SessionCharCount_; }
    int RepeatedCharCount() const { return RepeatedCharCount_; }
    double OverallSpeed() const { return OverallSpeed_; } // [CpM]
    int EndSpeed() const { return EndSpeed_; }            // [CpM]
    // The most characters queued at once since the session started.
    int MaxBufferFill() const { return MaxBufferFill_; }
    // The dialog as last composed.
    const TSessionDialog& Dialog() const { return Dialog_; }
    const TPracticeMaterial& Material() const { return Material_; }
    TRandomChars& Random() { return Random_; }

private:
    int64_t Now() const { return Clock_(); }
    // The user steps from item to item: single mode, or copy practice item by item.
    bool StepsByUser() const;
    bool ItemsDone() const;
    bool ComposeDialog(std::string& chars);
    void SetUpRulesAndDraws(const std::string& chars);
    // The session the dialog offers, at its speeds, from the items' mean length. [ms]
    int64_t EstimatedPracticeMs() const;
    std::string NewItem();
    void Queue(const std::string& text);
    void ApplyCurrentSpeed();
    void ProduceItem();
    void AdvanceSession();
    void SessionDone();
    void SpeedTestDone();
    void SpeedTestAborted();
    void SoundTestNext();
    void EndSpeedTest();
    void ComputeOverallSpeed();
    void Unlock();
    void Info(const std::string& text);
    void Changed();

    TNeeds N_;
    TClock Clock_;
    TRandomChars Random_;
    TSessionDialog Dialog_;
    TPracticeMaterial Material_;

    TSessionState State_ = TSessionState::Idle;
    TItemKind ItemKind_ = TItemKind::None;
    bool LocksParameters_ = false;
    bool LocksSpeedArrows_ = false;
    std::optional<std::string> DialogSpeedText_;
    bool PauseRequested_ = false;
    TSpacing SpacingBeforeTest_ = TSpacing::Plain; // the spacing the speed test puts back
    bool RepeatsInSession_ = false;
    bool Copy_ = false; // this session is copy practice
    // The rules of the session under way: the parameters', or a plan's.
    struct TRules {
        bool Varispeed = false;
        int Repeat = 0; // more times each item is sent
        int Faster = 0;
        bool Blip = false;
    };
    TRules Rules_;
    std::optional<TSessionPlan> Plan_;
    // The engine's speeds as the user had them, given back after a planned session.
    struct TEngineSpeeds {
        int Speed = 0, FWSpeed = 0;
        TSpacing Spacing = TSpacing::Plain;
    };
    std::optional<TEngineSpeeds> SpeedsBefore_;
    void RestoreSpeeds();
    bool ComposePlanDialog();
    int SessionCharCount_ = 0;  // characters of the items started
    int RepeatedCharCount_ = 0; // of which in repeated items
    int SentCharCount_ = 0;

    int ItemsProduced_ = 0;
    int RepeatsLeft_ = 0;
    std::string LastItem_; // engine form, without the space or word-space separator
    int TextWordsFetched_ = 0;
    std::size_t TextPos_ = 0; // 0-based in Material_.Text
    int StartSpeed_ = 0;      // [CpM]
    int EndSpeed_ = 0;        // [CpM]
    double CurrentSpeed_ = 0; // [CpM]
    double SpeedStep_ = 0;    // [CpM] per item
    bool StartTextEmpty_ = false;
    bool Introducing_ = false;
    void QueueStartText();
    bool EndTextEmpty_ = false;
    TTimes Times_;
    double OverallSpeed_ = 0; // [CpM]
    int MaxBufferFill_ = 0;
};

} // namespace brindle
