#include "desk/SendingControls.h"

#include "base/ControlCodes.h"
#include "desk/Buffers.h"
#include "desk/DeskCore.h"
#include "desk/OutputSwitch.h"
#include "desk/Sender.h"
#include "desk/Session.h"

namespace brindle {

bool TSendingControls::ShowFirst() const {
    return Core_.Settings.Tutor.Display() != TDisplayMode::SoundFirst;
}

void TSendingControls::SetPauseState(TPauseState state) {
    if (!IsActive(Core_.Output->Device())) return;
    PauseState_ = state;
}

void TSendingControls::UpdateTXButton(bool down) {
    auto& cw = Core_.CW;
    if (down) {
        TXDown_ = true;
        const bool locked = Core_.Session->State() == TSessionState::SpeedTest || Single_;
        SetPauseState(locked ? TPauseState::Waiting : TPauseState::Pause);
    } else if (!cw.AutoStartStop()) {
        TXDown_ = false;
        SetPauseState(TPauseState::Off);
    } else if (!cw.Hold()) {
        TXDown_ = false;
        SetPauseState(TPauseState::Pause);
    }
    Core_.Requests.ViewChanged();
}

void TSendingControls::ResetItem() {
    ItemDisplayCount_ = 0;
    ItemCharCount_ = 0;
}

void TSendingControls::PauseButtonClick(bool down) {
    auto& cw = Core_.CW;
    if (down) {
        if (!Single_) {
            cw.SetHold(true);
            SetPauseState(TPauseState::Resume);
            Core_.Session->NotePause();
        } else {
            SetPauseState(TPauseState::Off);
        }
    } else if (cw.Hold()) {
        if (ShowFirst()) {
            if (Single_) {
                SetPauseState(TPauseState::Waiting);
                Core_.Session->StepToNextItem();
            } else {
                SetPauseState(TPauseState::Pause);
            }
            ResetItem();
            cw.SetHold(false);
        } else if (Single_) {
            // Sound first: the first release shows the item heard, the second sends the next.
            if (Step_ != TStep::Shown) Core_.Display.MarkSent(ItemDisplayCount_);
            if (Step_ == TStep::Heard) {
                SetPauseState(TPauseState::Resume);
                Step_ = TStep::Shown;
            } else {
                SetPauseState(TPauseState::Waiting);
                Core_.Session->StepToNextItem();
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
        Core_.Display.MarkSent(ItemDisplayCount_);
    }
    // A release ends the hold unless the sound-first mode waits for the next press.
    if (!down && Step_ == TStep::Heard) cw.SetHold(false);
    Core_.Requests.ViewChanged();
}

void TSendingControls::Next() {
    if (PauseState_ == TPauseState::Resume || PauseState_ == TPauseState::Show)
        PauseState_ = TPauseState::Pause;
    PauseButtonClick(false);
}

void TSendingControls::SetSingleMode() {
    if (Single_ || !Core_.Session->AllowsSingleMode()) return;
    auto& cw = Core_.CW;
    Single_ = true;
    Step_ = TStep::Heard;
    Core_.Session->NoteRepeats();
    cw.SetHold(false);
    SetPauseState(TPauseState::Waiting);
    ResetItem();
    if (cw.HasChars() && !cw.Hold() && cw.AutoStartStop()) cw.StartSending();
    Core_.Requests.ViewChanged();
}

void TSendingControls::StopSingleMode() {
    const TSessionState state = Core_.Session->State();
    if (Single_ && (state == TSessionState::StartText || state == TSessionState::Items ||
                    state == TSessionState::Repeating)) {
        Step_ = TStep::Releasing;
        PauseButtonClick(false);
        SetPauseState(TPauseState::Pause);
    }
    Single_ = false;
    Core_.CW.SetHold(false);
    Core_.Requests.ViewChanged();
}

void TSendingControls::DropSingleMode() {
    if (!Single_) return;
    Single_ = false;
    SetPauseState(TPauseState::Pause);
}

void TSendingControls::RepeatSingleItem() {
    auto& cw = Core_.CW;
    // Only while the engine holds between two items, and only once per item.
    if (!cw.Hold() || RepeatingItem_) return;
    const TSessionState state = Core_.Session->State();
    if (state != TSessionState::Idle && state != TSessionState::Items &&
        state != TSessionState::ItemsDone && state != TSessionState::Repeating)
        return;
    cw.RewindBuffer(ItemCharCount_);
    if (ShowFirst()) Core_.Display.UnmarkSent(ItemDisplayCount_);
    ResetItem();
    if (Core_.Session->VariesSpeed() && state != TSessionState::Idle &&
        state != TSessionState::Repeating)
        Core_.Session->StepBackSpeedPlan();
    if (state != TSessionState::Idle) cw.SetSpeed(ItemSpeed_);
    SetPauseState(TPauseState::Waiting);
    RepeatingItem_ = true;
    cw.SetHold(false);
    Core_.Requests.ViewChanged();
}

void TSendingControls::ShowHeardItem() {
    if (ShowFirst() || Step_ != TStep::Heard) return;
    Core_.Display.MarkSent(ItemDisplayCount_);
    ResetItem();
}

// --- The engine's events -------------------------------------------------------------------------

void TSendingControls::EndItem(bool showAsSent) {
    Core_.CW.SetHold(true);
    SetPauseState(showAsSent || Step_ == TStep::Shown ? TPauseState::Resume : TPauseState::Show);
    RepeatingItem_ = false;
}

void TSendingControls::CharSent(uint8_t ch) {
    auto& cw = Core_.CW;
    const int width = TSender::DisplayWidth(ch) + (ch == NewLineCode || ch == ItemEndCode ? 1 : 0);
    ++ItemCharCount_;
    ItemDisplayCount_ += width;
    const bool showAsSent = ShowFirst();
    if (showAsSent) Core_.Display.MarkSent(width);
    if (Core_.Session->ItemKind() == TItemKind::Phrases) {
        if (ch == NewLineCode || IsFixedPause(ch)) EndItem(showAsSent);
        Core_.Requests.ViewChanged();
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
            Core_.Display.MarkSent(w);
        }
    } else if (!cw.HasChars()) {
        // The last item also ends with a pause.
        if (cw.PutChar(PauseCode)) Core_.Display.AddChar(' ');
    }
    Core_.Requests.ViewChanged();
}

void TSendingControls::LastChar() {
    auto& cw = Core_.CW;
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
        Core_.Buffers->ReleaseRepeatButtons();
        TXDown_ = false;
    }
}

} // namespace brindle
