// Copy practice: a practice session whose text is hidden while the learner types what they hear
// into a copy field. Continuous pacing runs the session as usual; item by item, each item waits
// for Return. The copy is checked character by character (the alignment of src/learn), the result
// is written into the display, and every item heard and the copy as typed go into the practice
// history as the practice runs (batched, at most a second behind), so that a crash loses nothing
// typed. Only what was heard is scored. No widgets; nothing here runs inside the engine's events.
#pragma once

#include "base/Signal.h"
#include "desk/DeskTypes.h"
#include "learn/CopyCheck.h"
#include "learn/HistoryStore.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

class TMorseEngine;
class TDisplayModel;
class TSoundOut;
struct TSettings;

enum class TCopyPacing { Continuous, ItemByItem };

// The kind of a practice as the history names it ("groups", "words", "qcodes", ...).
std::string CopyKindName(TItemKind kind);

// A checked practice as the learner sees it.
struct TCopyResult {
    TCopyCheck Check;
    bool Aborted = false;
    bool Counts = false; // towards a course pass: see PracticeCounts
    int CharCpm = 0;     // [CpM] character speed
    int EffCpm = 0;      // [CpM] effective speed
    int64_t SpanMs = 0;
};

// What the copy practice works with: the engine and the sound output it reads the time a
// character is heard from, the display it writes marks and results into, the settings (the
// speed unit), the history, the session's clock and the calls for later.
struct TCopyPracticeNeeds {
    const TMorseEngine& Engine;
    const TSoundOut& Sound;
    TDisplayModel& Display;
    const TSettings& Settings;
    std::function<THistoryStore&()> History;
    std::function<int64_t()> NowMs;
    std::function<void(int ms, std::function<void()> call)> Later;
};

class TCopyPractice {
public:
    explicit TCopyPractice(TCopyPracticeNeeds needs) : N_(std::move(needs)) {}

    // --- What it tells ---------------------------------------------------------------------------
    TSignal<> OnChanged;        // the main window's view may have changed
    TSignal<> OnNextItemWanted; // item by item: the item is checked, the session goes on
    TSignal<> OnStopSending;    // checked or aborted while the session still sends
    TSignal<> OnResultShown;    // the result was written at the display's end
    // A course practice that counts or not, checked (not aborted).
    TSignal<THistoryStore::TPracticeId, const TCourseLesson&, const TCopyResult&> OnCourseChecked;

    // --- State ------------------------------------------------------------------------------
    // From the session's start until the copy is checked or the practice aborted.
    bool Running() const { return Running_; }
    TCopyPacing Pacing() const { return Pacing_; }
    // Item by item: an item has been heard and waits for its copy and Return.
    bool WaitingForReturn() const { return Waiting_; }
    // Every item has been sent (the session's items are done).
    bool AllSent() const { return AllSent_; }
    const std::string& Copy() const { return Copy_; } // UTF-8, as the field shows it
    int ItemsSent() const { return static_cast<int>(Heard_); }
    // The most the copy field takes in this practice [bytes of UTF-8]: a few times the text
    // planned, so that a paste can never flood the check.
    std::size_t CopyLimit() const;
    // Whether a practice of this length counts towards a pass: it was not aborted, something was
    // copied, and at least 90 % of its planned items were heard.
    static bool PracticeCounts(bool aborted, bool copied, int heardItems, int plannedItems);
    static constexpr int CountingPercent = 90;
    static constexpr int FlushMs = 1000; // [ms] the history is at most this far behind
    const std::optional<TCopyResult>& LastResult() const { return Result_; }
    // The last practice's copy stays in view, read-only, until Dismiss or the next practice.
    bool ResultOnView() const { return ResultOnView_; }
    void Dismiss() { ResultOnView_ = false; }
    int Serial() const { return Serial_; } // practices begun
    // How the practice under way (or the last) started.
    const TPracticeStart& Start() const { return Start_; }

    // --- From the session --------------------------------------------------------------------
    void Begin(TCopyPacing pacing, const TPracticeStart& start);
    // A new item was queued (engine form, without its separator); its repetitions are not new.
    void ItemQueued(const std::string& item);
    // The engine has sent the last item queued, with its repetitions.
    void ItemHeard();
    // The session's items are done (the end text follows).
    void ItemsDone() { AllSent_ = true; }
    // The engine sent a character: the moment the item's last element was heard is kept.
    void CharSent(uint8_t ch);
    void SetSpan(int64_t spanMs) { SpanMs_ = spanMs; }
    // The session has sent everything, after spanMs. Item by item every item has been checked:
    // the result is shown from the event loop rather than inside the engine's event. A copy
    // typed on the run is checked by the learner (Ctrl+Return, the Check button, Return on an
    // empty line).
    void SessionEnded(int64_t spanMs);

    // --- The learner -----------------------------------------------------------------------------
    // The copy field's whole text as typed; false (and nothing kept) when it is over the limit.
    bool SetCopy(const std::string& utf8);
    // A key that types into the copy field (the first one of an answer is its reaction time).
    void KeyTyped();
    // Return in the copy field: item by item it checks the item and asks for the next; after
    // the last item, on an empty line, it checks the copy. True when it did either.
    bool Return(bool onEmptyLine);
    // Ctrl+Return or the Check button: the practice ends and the copy is checked.
    void Check();
    // Esc, or the TX button let up: the practice is aborted; what was heard so far is kept,
    // scored and marked aborted; nothing more is sent.
    void Abort();
    // Everything stopped from elsewhere (Delete, an output switch, suspend, a lost output, the
    // close): kept as aborted, without a result in the display (it is being cleared).
    void Interrupted();

private:
    std::string CopyInEngineForm(const std::string& utf8) const;
    void WriteItem(std::size_t index, const TCheckedItem& item, const TItemTiming& timing);
    void CheckPendingItem();
    void Finish(bool aborted);
    void ShowResult();
    int64_t Now() const;
    // The copy not yet checked goes to the history's queue, and the queue to the file.
    void SaveCopy();
    void FlushSoon();

    TCopyPracticeNeeds N_;
    bool Running_ = false;
    TCopyPacing Pacing_ = TCopyPacing::Continuous;
    std::vector<std::string> Items_; // queued so far (engine form)
    std::size_t Heard_ = 0;          // items heard so far
    std::size_t Added_ = 0;          // items heard and added to the history
    TCopyChecker Checker_;           // continuous: the heard items and the copy
    bool CopyUnsaved_ = false;
    bool ResultOnView_ = false;
    int Serial_ = 0;
    bool FlushQueued_ = false;
    int64_t BeganAtMs_ = 0;
    std::vector<std::optional<TCheckedItem>> Written_; // as written to the history
    std::vector<TCheckedItem> Checked_;                // item by item: checked so far
    std::vector<TExtraChar> CheckedExtra_;             // their extra characters
    std::string Copy_;
    std::size_t ItemCopyFrom_ = 0; // item by item: where the copy of the waiting item starts
    bool Waiting_ = false;
    bool AllSent_ = false;
    int64_t HeardAtMs_ = 0;                      // when the last item's last element was heard
    int64_t LastCharHeardAtMs_ = 0;              // the same for the latest character sent
    std::optional<int64_t> FirstKeyAtMs_;        // the first key of the waiting item's answer
    std::vector<std::optional<int>> ReactionMs_; // per item, item by item only
    THistoryStore::TPracticeId Practice_ = 0;
    TPracticeStart Start_;
    int64_t SpanMs_ = 0;
    std::optional<TCopyResult> Result_;
};

} // namespace brindle
