#include "desk/SendingControls.h"

#include "base/ControlCodes.h"
#include "desk/Sender.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "settings/Settings.h"

namespace brindle {

bool TSendingControls::ShowFirst() const {
    return N_.Settings.Tutor.Display() != TDisplayMode::SoundFirst;
}

void TSendingControls::SetPauseState(TPauseState state) {
    if (!N_.OutputActive()) return;
    PauseState_ = state;
}

void TSendingControls::UpdateTXButton(bool down) {
    auto& cw = N_.Engine;
    if (down) {
        TXDown_ = true;
        const bool locked = N_.SessionState() == TSessionState::SpeedTest || Single_;
        SetPauseState(locked ? TPauseState::Waiting : TPauseState::Pause);
    } else if (!cw.AutoStartStop()) {
        TXDown_ = false;
        SetPauseState(TPauseState::Off);
    } else if (!cw.Hold()) {
        TXDown_ = false;
        SetPauseState(TPauseState::Pause);
    }
    OnChanged();
}

void TSendingControls::ResetItem() {
    ItemDisplayCount_ = 0;
    ItemCharCount_ = 0;
}

void TSendingControls::PauseButtonClick(bool down) {
    auto& cw = N_.Engine;
    if (down) {
        if (!Single_) {
            cw.SetHold(true);
            SetPauseState(TPauseState::Resume);
            OnPaused();
        } else {
            SetPauseState(TPauseState::Off);
        }
    } else if (cw.Hold()) {
        if (ShowFirst()) {
            if (Single_) {
                SetPauseState(TPauseState::Waiting);
                OnNextItemWanted();
            } else {
                SetPauseState(TPauseState::Pause);
            }
            ResetItem();
            cw.SetHold(false);
        } else if (Single_) {
            // Sound first: the first release shows the item heard, the second sends the next.
            if (Step_ != TStep::Shown) N_.Display.MarkSent(ItemDisplayCount_);
            if (Step_ == TStep::Heard) {
                SetPauseState(TPauseState::Resume);
                Step_ = TStep::Shown;
            } else {
                SetPauseState(TPauseState::Waiting);
                OnNextItemWanted();
                ResetItem();
                Step_ = TStep::Heard;
                cw.SetHold(false);
            }
        } else {
            SetPauseState(TPauseState::Pause);
        }
    } else if (!Single_) {
        SetPauseState(TPauseState::Pause);
    } else if (Step_ == TStep::Releasing) {
        N_.Display.MarkSent(ItemDisplayCount_);
    }
    // A release ends the hold unless the sound-first mode waits for the next press.
    if (!down && Step_ == TStep::Heard) cw.SetHold(false);
    OnChanged();
}

void TSendingControls::Next() {
    if (PauseState_ == TPauseState::Resume || PauseState_ == TPauseState::Show)
        PauseState_ = TPauseState::Pause;
    PauseButtonClick(false);
}

void TSendingControls::SetSingleMode() {
    if (Single_ || !N_.SessionAllowsSingleMode()) return;
    auto& cw = N_.Engine;
    Single_ = true;
    Step_ = TStep::Heard;
    OnSingleModeSet();
    cw.SetHold(false);
    SetPauseState(TPauseState::Waiting);
    ResetItem();
    if (cw.HasChars() && !cw.Hold() && cw.AutoStartStop()) cw.StartSending();
    OnChanged();
}

void TSendingControls::StopSingleMode() {
    const TSessionState state = N_.SessionState();
    if (Single_ && (state == TSessionState::StartText || state == TSessionState::Items ||
                    state == TSessionState::Repeating)) {
        Step_ = TStep::Releasing;
        PauseButtonClick(false);
        SetPauseState(TPauseState::Pause);
    }
    Single_ = false;
    N_.Engine.SetHold(false);
    OnChanged();
}

void TSendingControls::DropSingleMode() {
    if (!Single_) return;
    Single_ = false;
    SetPauseState(TPauseState::Pause);
}

void TSendingControls::RepeatSingleItem() {
    auto& cw = N_.Engine;
    // Only while the engine holds between two items, and only once per item.
    if (!cw.Hold() || RepeatingItem_) return;
    const TSessionState state = N_.SessionState();
    if (state != TSessionState::Idle && state != TSessionState::Items &&
        state != TSessionState::ItemsDone && state != TSessionState::Repeating)
        return;
    cw.RewindBuffer(ItemCharCount_);
    if (ShowFirst()) N_.Display.UnmarkSent(ItemDisplayCount_);
    ResetItem();
    if (N_.SessionVariesSpeed() && state != TSessionState::Idle &&
        state != TSessionState::Repeating)
        OnRepeatBack();
    if (state != TSessionState::Idle) cw.SetSpeed(ItemSpeed_);
    SetPauseState(TPauseState::Waiting);
    RepeatingItem_ = true;
    cw.SetHold(false);
    OnChanged();
}

void TSendingControls::ShowHeardItem() {
    if (ShowFirst() || Step_ != TStep::Heard) return;
    N_.Display.MarkSent(ItemDisplayCount_);
    ResetItem();
}

// --- The engine's events -------------------------------------------------------------------------

void TSendingControls::EndItem(bool showAsSent) {
    N_.Engine.SetHold(true);
    SetPauseState(showAsSent || Step_ == TStep::Shown ? TPauseState::Resume : TPauseState::Show);
    RepeatingItem_ = false;
}

void TSendingControls::CharSent(uint8_t ch) {
    auto& cw = N_.Engine;
    const int width = TSender::DisplayWidth(ch) + (ch == NewLineCode || ch == ItemEndCode ? 1 : 0);
    ++ItemCharCount_;
    ItemDisplayCount_ += width;
    const bool showAsSent = ShowFirst();
    if (showAsSent) N_.Display.MarkSent(width);
    if (N_.SessionItemKind() == TItemKind::Phrases) {
        if (ch == NewLineCode || IsFixedPause(ch)) EndItem(showAsSent);
        OnChanged();
        return;
    }
    if (IsSeparatorCode(ch)) {
        EndItem(showAsSent);
        // Further separators go at once, so the next item starts with its first character.
        while (cw.HasChars() && IsSeparatorCode(cw.PeekChar())) {
            const uint8_t next = cw.GetChar();
            const int w = next == NewLineCode || next == ItemEndCode ? 2 : 1;
            ++ItemCharCount_;
            ItemDisplayCount_ += w;
            N_.Display.MarkSent(w);
        }
    } else if (!cw.HasChars()) {
        // The last item also ends with a pause.
        if (cw.PutChar(PauseCode)) N_.Display.AddChar(' ');
    }
    OnChanged();
}

void TSendingControls::LastChar() {
    auto& cw = N_.Engine;
    ItemSpeed_ = cw.Speed();
    if (!Single_) return;
    if (!ShowFirst()) {
        if (Step_ != TStep::Heard && RepeatingItem_) {
            cw.SetHold(false);
            Step_ = TStep::Heard;
            RepeatingItem_ = false;
        }
    } else if (Step_ == TStep::Heard) {
        SetPauseState(TPauseState::Resume);
    } else {
        cw.SetHold(false);
        Step_ = TStep::Heard;
        cw.StopAtEnd();
        OnRepeatsReleased();
        TXDown_ = false;
    }
}

} // namespace brindle
