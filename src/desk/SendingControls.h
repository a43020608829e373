// The TX and pause buttons and single mode: what the two buttons show, and how single mode holds
// the engine after each item until the user asks for the next one (or, sound first, for the item
// to be shown, then for the next), repeats an item once, and marks what was sent. No widgets; the
// main window draws the state through TDesk's view.
#pragma once

#include "base/Signal.h"
#include "desk/DeskTypes.h"

#include <cstdint>
#include <functional>

namespace brindle {

class TMorseEngine;
class TDisplayModel;
struct TSettings;

// What the sending controls work with: the settings (the display mode), the engine they hold and
// release, the display they mark, whether an output is active, and the session's state.
struct TSendingControlsNeeds {
    const TSettings& Settings;
    TMorseEngine& Engine;
    TDisplayModel& Display;
    std::function<bool()> OutputActive;
    std::function<TSessionState()> SessionState;
    std::function<bool()> SessionAllowsSingleMode;
    std::function<bool()> SessionVariesSpeed;
    std::function<TItemKind()> SessionItemKind;
};

class TSendingControls {
public:
    explicit TSendingControls(TSendingControlsNeeds needs) : N_(std::move(needs)) {}

    // --- What they tell --------------------------------------------------------------------------
    TSignal<> OnChanged;         // the main window's view may have changed
    TSignal<> OnPaused;          // the pause button went down outside single mode
    TSignal<> OnNextItemWanted;  // single mode: the user asks for the next item
    TSignal<> OnSingleModeSet;   // single mode began
    TSignal<> OnRepeatBack;      // an item repeated: the speed plan steps back to it
    TSignal<> OnRepeatsReleased; // single mode's last release: a repeating buffer stops

    // --- What the buttons and labels show ------------------------------------------------
    bool TXDown() const { return TXDown_; }
    TPauseState PauseState() const { return PauseState_; }
    bool SingleMode() const { return Single_; }
    bool RepeatingItem() const { return RepeatingItem_; }
    int ItemCharCount() const { return ItemCharCount_; } // characters of the item so far

    // --- The TX button -----------------------------------------------------------------------
    // The engine's PTT, or a TX click: the button and the pause button follow.
    void UpdateTXButton(bool down);
    void SetTXDown(bool down) { TXDown_ = down; }
    // The pause button's look; kept off without an active output.
    void SetPauseState(TPauseState state);

    // --- The pause button and single mode -----------------------------------------------------
    void PauseButtonClick(bool down);
    // Enter in single mode: resume as a release of the pause button does.
    void Next();
    void SetSingleMode();
    void StopSingleMode();
    // A session's text ran out: single mode ends without releasing a hold.
    void DropSingleMode();
    void RepeatSingleItem();
    // Esc: in sound-first single mode the item heard so far is shown.
    void ShowHeardItem();
    void ResetItem();
    // The session moved on to a new item: a repeat may be asked for again.
    void EndRepeat() { RepeatingItem_ = false; }
    // The speed the current item was sent at; a repeat is sent at it again.
    void NoteItemSpeed(int cpm) { ItemSpeed_ = cpm; }

    // --- The engine's events -----------------------------------------------------------------
    void CharSent(uint8_t ch);
    // The buffer ran empty outside a session.
    void LastChar();

private:
    // Single mode's step after an item (sound first: heard, shown; or a release on its way).
    enum class TStep { Heard, Shown, Releasing };
    void EndItem(bool showAsSent);
    bool ShowFirst() const; // display modes 0 and 2 show an item as it is sent

    TSendingControlsNeeds N_;
    bool TXDown_ = false;
    TPauseState PauseState_ = TPauseState::Off;
    bool Single_ = false;
    TStep Step_ = TStep::Heard;
    bool RepeatingItem_ = false;
    int ItemDisplayCount_ = 0; // display positions of the item so far
    int ItemCharCount_ = 0;
    int ItemSpeed_ = 0; // [CpM]
};

} // namespace brindle
