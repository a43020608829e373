#include "engine/MorseEngine.h"

#include "base/ControlCodes.h"

#include "base/Ranges.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace brindle {

namespace {

constexpr uint32_t kEndOfChar = 0x80000000u;
constexpr int kMaxPttTime = 10'000'000; // [ms]; keeps every derived duration inside int

double SteadyDayClock() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count() / 86400.0;
}

// Nearest integer, ties to even, of a value computed in extended precision.
int RoundExtended(long double v) {
    return static_cast<int>(std::lrint(v));
}

} // namespace

// --- Construction ----------------------------------------------------------------------------

TMorseEngine::TMorseEngine(IMsTimer* timer, TMessageSink sink)
    : Timer_(timer), Sink_(std::move(sink)), DayClock_(SteadyDayClock), Tone1_(Sink_),
      Tone2_(Sink_), Blip_(Sink_) {
    // The order matters: every setter recalculates with the values already set.
    SoundMode_ = false;
    Tone1_.SetFrequency(800);
    Tone2_.SetFrequency(800);
    Blip_.SetLeveldB(-10);
    Blip_.BuildBlip();
    AutoStartStop_ = true;
    SetFrequency(800);
    SetFrequency2(800);
    SetDiffFrequency(800);
    SetLogAmplitude(0);
    SetMaxSpeed(ranges::Speed.Max);
    SetMinSpeed(ranges::Speed.Min);
    SetSpeed(60);
    SetFWSpeed(60);
    SetTimePttStart(100);
    SetTimePttHold(1000);
    SetWeight(100);
    SetSlope(20);
    SetRatio(300);
    ExtraChars_ = true;
    Buf_.SetBufferSize(30000);
    Buf_.SetFillRest(1);
    if (Timer_) {
        TimerPeriodMin_ = Timer_->PeriodMin();
        Timer_->SetEnabled(false);
        Timer_->SetHandler([this] { OnCWTimer(); });
    }
    BlipOn_ = false;
}

TMorseEngine::~TMorseEngine() {
    if (Timer_) {
        Timer_->SetEnabled(false);
        Timer_->SetHandler({});
        if (PeriodBegun_) Timer_->EndPeriod(TimerPeriodMin_);
    }
}

// --- Property setters ------------------------------------------------------------------------

void TMorseEngine::SetAutoStartStop(bool on) {
    AutoStartStop_ = on;
    if (!on) HoldCount_ = 0;
}

void TMorseEngine::SetSpacing(TSpacing spacing) {
    if (spacing == Spacing_) return;
    Spacing_ = spacing;
    Recalculate();
}

void TMorseEngine::SetFrequency(int hz) {
    if (hz == Frequency_) return;
    Frequency_ = ranges::Frequency.Clamp(hz);
    Tone1_.SetFrequency(static_cast<uint32_t>(Frequency_));
    if (OnFreqChanged) OnFreqChanged(*this, Frequency_);
}

void TMorseEngine::SetFrequency2(int hz) {
    if (hz == Frequency2_) return;
    Frequency2_ = ranges::Frequency.Clamp(hz);
    Tone2_.SetFrequency(static_cast<uint32_t>(Frequency2_));
    if (OnFreq2Changed) OnFreq2Changed(*this, Frequency2_);
}

void TMorseEngine::SetDiffFrequency(int hz) {
    if (hz == DiffFrequency_) return;
    DiffFrequency_ = ranges::Frequency.Clamp(hz);
    if (OnDiffFreqChanged) OnDiffFreqChanged(*this, DiffFrequency_);
}

void TMorseEngine::SetSpeed(int cpm) {
    if (cpm == Speed_) return;
    if (cpm < MinSpeed_)
        cpm = MinSpeed_;
    else if (cpm > MaxSpeed_)
        cpm = MaxSpeed_;
    Speed_ = cpm;
    Recalculate();
    if (OnSpeedChanged) OnSpeedChanged(*this, Speed_);
}

void TMorseEngine::SetFWSpeed(int cpm) {
    if (cpm == FWSpeed_) return;
    FWSpeed_ = ranges::Speed.Clamp(cpm);
    Recalculate();
    if (OnFWSpeedChanged) OnFWSpeedChanged(*this, FWSpeed_);
}

void TMorseEngine::SetLogAmplitude(int dB) {
    // No early return on an equal value: Mute(false) sets the level again to undo the mute.
    LogAmplitude_ = std::min(dB, ranges::OutputLevel.Max);
    ApplyLogAmplitude();
}

void TMorseEngine::ApplyLogAmplitude() {
    Amplitude_ = 32500.0 * std::pow(10.0, LogAmplitude_ / 20.0);
    SlopeStep_ = Amplitude_ / (T_.SlopeLength + 1);
    Blip_.SetLeveldB(LogAmplitude_);
}

void TMorseEngine::SetMaxSpeed(int cpm) {
    if (cpm != MaxSpeed_) MaxSpeed_ = ranges::Speed.Clamp(cpm);
}

void TMorseEngine::SetMinSpeed(int cpm) {
    if (cpm != MinSpeed_) MinSpeed_ = ranges::Speed.Clamp(cpm);
}

void TMorseEngine::SetWeight(int percent) {
    if (percent == Weight_) return;
    Weight_ = ranges::Weight.Clamp(percent);
    Recalculate();
    if (OnWeightChanged) OnWeightChanged(*this, Weight_);
}

void TMorseEngine::SetRatio(int percent) {
    if (percent == Ratio_) return;
    Ratio_ = ranges::Ratio.Clamp(percent);
    Recalculate();
    if (OnRatioChanged) OnRatioChanged(*this, Ratio_);
}

void TMorseEngine::SetSlope(int samples) {
    if (samples == Slope_) return;
    // Bounds come from the unshortened durations at the current speed and weight.
    Slope_ = 0;
    Recalculate();
    samples = ranges::Slope.Clamp(samples);
    samples = std::min(samples, T_.DitDownSamples - 1);
    samples = std::min(samples, T_.GapSamples);
    Slope_ = std::max(samples, 0);
    Recalculate();
    if (OnSlopeChanged) OnSlopeChanged(*this, Slope_);
}

void TMorseEngine::SetTimePttStart(int ms) {
    if (ms == TimePttStart_) return;
    TimePttStart_ = std::clamp(ms, 0, kMaxPttTime);
    Recalculate();
}

void TMorseEngine::SetTimePttHold(int ms) {
    if (ms == TimePttHold_) return;
    TimePttHold_ = std::clamp(ms, 0, kMaxPttTime);
    Recalculate();
}

// --- Timing ----------------------------------------------------------------------------------

void TMorseEngine::Recalculate() {
    const bool spaced = Spacing_ != TSpacing::Plain && Speed_ < FWSpeed_;
    const int v = spaced ? FWSpeed_ : std::max(Speed_, 1);
    T_.DotMs = 6000 / v;
    T_.DotSamples = 48000 / v;
    T_.FwUnitMs = T_.FwUnitSamples = 0;
    if (spaced) {
        // Extended precision, ties to even: double gives other integers for a few speed pairs.
        const long double stretch =
            300000.0L / Speed_ -
            (Spacing_ == TSpacing::Farnsworth ? 186000.0L : 258000.0L) / FWSpeed_;
        const long double units = Spacing_ == TSpacing::Farnsworth ? 19.0L : 7.0L;
        T_.FwUnitMs = RoundExtended(stretch / units);
        T_.FwUnitSamples = RoundExtended(stretch * 8.0L / units);
    }
    if (!spaced) {
        T_.CharGapExtraMs = 2 * T_.DotMs;
        T_.CharGapExtraSamples = 2 * T_.DotSamples;
        T_.WordGapExtraMs = 4 * T_.DotMs;
        T_.WordGapExtraSamples = 4 * T_.DotSamples;
    } else if (Spacing_ == TSpacing::Farnsworth) {
        T_.CharGapExtraMs = 3 * T_.FwUnitMs - T_.DotMs;
        T_.CharGapExtraSamples = 3 * T_.FwUnitSamples - T_.DotSamples;
        T_.WordGapExtraMs = 4 * T_.FwUnitMs;
        T_.WordGapExtraSamples = 4 * T_.FwUnitSamples;
    } else {
        T_.CharGapExtraMs = 2 * T_.DotMs;
        T_.CharGapExtraSamples = 2 * T_.DotSamples;
        T_.WordGapExtraMs = 7 * T_.FwUnitMs - 3 * T_.DotMs;
        T_.WordGapExtraSamples = 7 * T_.FwUnitSamples - 3 * T_.DotSamples;
    }
    if (T_.DotMs == 0) T_.DotMs = 1;
    T_.FixedPauseMs = 4 * T_.DotMs;
    T_.FixedPauseSamples = 4 * T_.DotSamples;

    T_.GapMs = 2 * T_.DotMs * 100 / (Weight_ + 100);
    T_.DitDownMs = 2 * T_.DotMs - T_.GapMs;
    T_.DahDownMs = T_.DitDownMs + 2 * T_.DotMs;
    T_.PttLeadMs = (TimePttStart_ / T_.DotMs + 1) * T_.DotMs;
    T_.HoldLimit = TimePttHold_ == 0 ? 1 : TimePttHold_ / T_.DotMs + 1;

    T_.GapSamples = 2 * T_.DotSamples * 100 / (Weight_ + 100);
    T_.DitDownSamples = 2 * T_.DotSamples - T_.GapSamples;
    T_.DahSamples = T_.DotSamples * Ratio_ / 100;
    T_.PttLeadSamples = TimePttStart_ * 8;
    if (T_.PttLeadSamples < T_.DotSamples) T_.PttLeadSamples = T_.DotSamples;

    // A slope set at a lower speed may no longer fit: apply at most what keeps every duration
    // non-negative (the stored Slope stays as the user set it).
    int slope = std::min({Slope_, T_.DitDownSamples - 1, T_.GapSamples});
    T_.SlopeLength = std::max(slope, 0);
    if (T_.SlopeLength > 0) {
        T_.DitDownSamples -= T_.SlopeLength + 1;
        T_.GapSamples -= T_.SlopeLength - 1;
    }
    SlopeStep_ = Amplitude_ / (T_.SlopeLength + 1);
}

// --- Control ---------------------------------------------------------------------------------

bool TMorseEngine::Start() {
    Recalculate();
    PttState_ = Hold_ = Aborted_ = false;
    SendState_ = 0;
    StopRequested_ = StopAtEndFlag_ = false;
    if (SoundMode_) {
        StateCounter_ = 0;
    } else if (Timer_) {
        if (!PeriodBegun_) {
            Timer_->BeginPeriod(TimerPeriodMin_);
            PeriodBegun_ = true;
        }
        Timer_->SetInterval(T_.DotMs);
        Timer_->SetEnabled(true);
    }
    Running_ = true;
    if (OnStart) OnStart(*this);
    return true;
}

bool TMorseEngine::StopAfterChar() {
    if (!Running_) return false;
    StopRequested_ = true;
    return true;
}

void TMorseEngine::StopNow() {
    if (Timer_) {
        Timer_->SetEnabled(false);
        if (PeriodBegun_) {
            Timer_->EndPeriod(TimerPeriodMin_);
            PeriodBegun_ = false;
        }
    }
    Running_ = false;
    if (OnStop) OnStop(*this);
}

bool TMorseEngine::StartSending() {
    StopAtEndFlag_ = Hold_ = Aborted_ = false;
    if (Running_ && SendState_ == 0) SendState_ = 1;
    return Running_;
}

bool TMorseEngine::StopAtEnd() {
    if (Running_) StopAtEndFlag_ = true;
    return Running_;
}

void TMorseEngine::StopAtEndNow() {
    HoldCount_ = T_.HoldLimit;
    StopAtEnd();
}

bool TMorseEngine::Abort() {
    if (!Aborted_) {
        StopRequested_ = true;
        SendState_ = 0;
        if (!SoundMode_ && Timer_) Timer_->SetEnabled(false);
        if (OnSignalChanged) OnSignalChanged(*this, false, 0);
        if (OnCharSent) OnCharSent(*this, CurrentChar_);
        if (OnLastChar) OnLastChar(*this);
        if (PttState_ && OnPttChanged) OnPttChanged(*this, false);
        PttState_ = false;
        Aborted_ = true;
    }
    ClearBuffer();
    return true;
}

void TMorseEngine::Mute(bool on) {
    if (on) {
        Amplitude_ = 0.0;
        SlopeStep_ = 0.0;
    } else {
        SetLogAmplitude(LogAmplitude_);
    }
}

int TMorseEngine::RemoveUnsent() {
    int positions = 0;
    while (HasChars()) {
        const uint8_t c = Buf_.Unput();
        positions += c == '{' ? 5 : (ProsignOfCode(c) != 0 ? 4 : 1);
    }
    return positions;
}

void TMorseEngine::LoadNextChar() {
    CurrentChar_ = GetChar();
    const uint16_t k = CodeOf(CurrentChar_);
    if (k == 0) {
        ElementRegister_ = 0;
        CurrentChar_ = 0;
        return;
    }
    uint32_t r = static_cast<uint32_t>(k) * 2u + 1u;
    while ((r & kEndOfChar) == 0)
        r <<= 1;
    ElementRegister_ = r << 1;
}

// --- Timed mode ------------------------------------------------------------------------------

void TMorseEngine::OnCWTimer() {
    if (Timer_) Timer_->SetEnabled(false);
    const double started = DayClock_();
    TimerStep();
    if (SendState_ < 0 || SendState_ > 12) {
        ShowMessage(Sink_, TSeverity::Error, "COM MState error: " + std::to_string(SendState_));
        SendState_ = 0;
    }
    const double took = DayClock_() - started; // [days]
    if (took > 0.005) {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", took);
        ShowMessage(Sink_, TSeverity::Error, std::string("CW loop time error: ") + text);
    }
}

void TMorseEngine::SetNextTick(int ms) {
    if (!Timer_) return;
    Timer_->SetInterval(std::max(ms, 1));
    Timer_->SetEnabled(true);
}

// The two send machines. SendState_ is shared: the timed machine (keying a port, one step per
// timer tick) uses 0, 1, 3, 5, 8, 9, 10 and 12; the sample machine (sound, one step per sample)
// uses 0, 1, 2, 3, 8, 9, 10 and 20 to 28. A switch of mode can leave a state the other machine
// does not know: the timed machine reports one above 12 ("COM MState error") and starts again
// from 0, the sample machine starts again from 0 silently.
//
// Timed machine (TimerStep); "next" is the time until the following tick.
//   state  waits for / does                                         goes to
//   0      idle, PTT off: text queued, auto start on, not held ->   12 (char) / 10 (space, pause)
//          PTT on; a stop request ends the run here                 with next = PTT lead
//   1      a start with text queued: PTT on                         3 after the PTT lead
//   3      between characters: a queued char is loaded at once     12 / 10; after HoldLimit idle
//          (same tick); otherwise counts dot times                  dots (auto stop): 0, PTT off
//   12     first element of a char: key on, OnCharStart             8 after the element
//   5      each further element: key on                             8 after the element
//   8      key off                                                  5 (more elements) / 9, after
//                                                                   the element gap
//   9      char done: OnCharSent, OnLastChar when nothing queued    3 after the extra char gap
//   10     space or pause code: OnCharStart, OnCharSent             3 after the word gap extra (or
//                                                                   the fixed pause of item ends
//                                                                   and pauses)
//
// Sample machine (SoundStep); StateCounter_ counts samples within a state.
//   state  waits for / does                                         goes to
//   0      idle, silence: text queued, auto start, running ->       1, PTT on
//          a stop request completes here (OnStop)
//   1      one dot time of silence (PTT on)                         2
//   2      the PTT lead: load the first char, OnCharStart           20/23 (dit/dah), 10 (space),
//                                                                   26 (blip), 3 (no code)
//   3      between characters: a queued char when the counter is   20/23/10/26; after HoldLimit
//          at a dot boundary; otherwise silence, counting dots      idle dots: 0, PTT off
//   20/23  rising edge of a dit/dah (SlopeLength samples)           21/24
//   21/24  steady tone of a dit/dah                                 22/25
//   22/25  falling edge                                             8
//   8      the element gap                                          20/23 (more elements) / 9
//   9      the extra character gap, then OnCharSent, OnLastChar     3
//   10     the word gap extra or fixed pause, then OnCharSent       3
//   26     2000 samples of silence before a blip                    27
//   27     the blip (BlipLength samples)                            28
//   28     2000 samples of silence, then OnCharSent                 3
void TMorseEngine::TimerStep() {
    const bool abortedBefore = Aborted_;
    int next = T_.DotMs; // [ms] until the next tick
    switch (SendState_) {
    case 0:
        HoldCount_ = 0;
        if (StopRequested_ && Running_) {
            StopNow();
            return;
        }
        if (HasChars() && AutoStartStop_ && !Hold_) {
            LoadNextChar();
            SendState_ = (ElementRegister_ == kEndOfChar || ElementRegister_ == 0) ? 10 : 12;
            next = T_.PttLeadMs;
            PttState_ = true;
            if (OnPttChanged) OnPttChanged(*this, true);
        }
        break;
    case 1:
        SendState_ = 3;
        next = T_.PttLeadMs;
        HoldCount_ = 0;
        PttState_ = true;
        if (OnPttChanged) OnPttChanged(*this, true);
        break;
    case 3:
        if (StopRequested_) {
            SendState_ = 0;
            if (OnPttChanged) OnPttChanged(*this, false);
            PttState_ = false;
            StopNow();
            return;
        }
        if ((AutoStartStop_ || StopAtEndFlag_) && !Hold_) ++HoldCount_;
        if (HoldCount_ >= T_.HoldLimit) {
            SendState_ = 0;
            HoldCount_ = 0;
            if (OnPttChanged) OnPttChanged(*this, false);
            PttState_ = false;
        }
        break;
    case 12:
    case 5: {
        const bool first = SendState_ == 12;
        next = (ElementRegister_ & kEndOfChar) ? T_.DahDownMs : T_.DitDownMs;
        SendState_ = 8;
        if (OnSignalChanged) OnSignalChanged(*this, true, next);
        if (first && OnCharStart) OnCharStart(*this, CurrentChar_);
        ElementRegister_ <<= 1;
        break;
    }
    case 8:
        next = T_.GapMs;
        SendState_ = (ElementRegister_ == kEndOfChar || ElementRegister_ == 0) ? 9 : 5;
        if (OnSignalChanged) OnSignalChanged(*this, false, T_.GapMs);
        break;
    case 9:
        SendState_ = 3;
        next = T_.CharGapExtraMs;
        if (OnCharSent) OnCharSent(*this, CurrentChar_);
        if (!HasChars() && OnLastChar) OnLastChar(*this);
        break;
    case 10:
        SendState_ = 3;
        next = IsFixedPause(CurrentChar_) ? T_.FixedPauseMs : T_.WordGapExtraMs;
        if (OnCharStart) OnCharStart(*this, CurrentChar_);
        if (OnCharSent) OnCharSent(*this, CurrentChar_);
        if (!HasChars() && OnLastChar) OnLastChar(*this);
        break;
    default:
        if (SendState_ >= 0 && SendState_ <= 12) SendState_ = 0; // not a state of this machine
        break;
    }
    if (SendState_ == 3 && HasChars() && !Hold_) {
        LoadNextChar();
        HoldCount_ = 0;
        SendState_ = (ElementRegister_ == kEndOfChar || ElementRegister_ == 0) ? 10 : 12;
    }
    // An event handler may have stopped or aborted the engine: then no further tick.
    if (!Running_ || (Aborted_ && !abortedBefore)) return;
    SetNextTick(next);
}

// --- Sound mode ------------------------------------------------------------------------------

uint8_t TMorseEngine::SoundStateForChar() const {
    if (CurrentChar_ == BlipMark) return 26;
    if (ElementRegister_ == kEndOfChar || ElementRegister_ == 0) return 10;
    return (ElementRegister_ & kEndOfChar) ? 23 : 20;
}

void TMorseEngine::RenderBuffer(int16_t* buffer, int byteCount) {
    // A handler that runs the event loop may get here again while a buffer is being rendered:
    // that nested call renders nothing, so the outer one keeps its output and position.
    if (buffer == nullptr || byteCount < 2 || RenderOut_ != nullptr) return;
    int n = byteCount / 2;
    RenderStride_ = 1;
    RenderPos_ = 0;
    if (Stereo_) {
        n /= 2;
        RenderStride_ = 2;
        for (int i = 0; i < n; ++i) {
            buffer[2 * i] = static_cast<int16_t>(Tone2_.Value() * Amplitude_);
            Tone2_.Advance();
        }
        RenderPos_ = 1;
    }
    const int end = RenderPos_ + n * RenderStride_;
    RenderOut_ = buffer;
    RenderWritten_ = 0;
    int counted = 0;
    bool first = true;
    while (counted < n) {
        counted += SoundStep(first);
        first = false;
    }
    // A stop completion counts as a step without writing: silence the positions it left.
    for (int p = RenderPos_; p < end; p += RenderStride_)
        buffer[p] = 0;
    RenderOut_ = nullptr;
    RenderWritten_ = 0;
}

// One step of the sample machine; returns 1 when it wrote a sample or completed a stop.
int TMorseEngine::SoundStep(bool firstStep) {
    switch (SendState_) {
    case 0:
        HoldCount_ = 0;
        if (StopRequested_ && Running_) {
            Running_ = false;
            if (OnStop) OnStop(*this);
            return 1;
        }
        Silent();
        if (++StateCounter_ >= T_.DotSamples) StateCounter_ = 0;
        if (HasChars() && AutoStartStop_ && !Hold_ && Running_) {
            SendState_ = 1;
            if (OnPttChanged) OnPttChanged(*this, true);
        }
        return 1;
    case 1:
        PttState_ = true;
        HoldCount_ = 0;
        Silent();
        if (++StateCounter_ >= T_.DotSamples) {
            StateCounter_ = 0;
            SendState_ = 2;
        }
        return 1;
    case 2:
        Silent();
        if (++StateCounter_ >= T_.PttLeadSamples) {
            StateCounter_ = 0;
            LoadNextChar();
            if (ElementRegister_ == 0) {
                SendState_ = 3;
                if (OnCharSent) OnCharSent(*this, CurrentChar_);
            } else {
                if (OnCharStart) OnCharStart(*this, CurrentChar_);
                SendState_ = SoundStateForChar();
            }
        }
        return 1;
    case 3: {
        int wrote = 0;
        if (StopRequested_ && Running_) {
            SendState_ = 0;
            if (OnPttChanged) OnPttChanged(*this, false);
            PttState_ = false;
            Running_ = false;
            if (OnStop) OnStop(*this);
            return 1;
        }
        if (HasChars() && StateCounter_ == 0 && !Hold_) {
            LoadNextChar();
            if (ElementRegister_ == 0) {
                if (OnCharSent) OnCharSent(*this, CurrentChar_);
            } else if (CurrentChar_ == BlipMark) {
                SendState_ = 26;
            } else {
                if (OnCharStart) OnCharStart(*this, CurrentChar_);
                SendState_ = SoundStateForChar();
            }
        } else {
            Silent();
            wrote = 1;
            if (++StateCounter_ >= T_.DotSamples) {
                StateCounter_ = 0;
                if ((AutoStartStop_ || StopAtEndFlag_) && !Hold_) ++HoldCount_;
            }
        }
        if (firstStep && SendState_ == 3 && HoldCount_ >= T_.HoldLimit) {
            SendState_ = 0;
            HoldCount_ = 0;
            if (OnPttChanged) OnPttChanged(*this, false);
            PttState_ = false;
        }
        return wrote;
    }
    case 20:
    case 23:
        if (DiffFreqOn_)
            Tone1_.SetFrequency(
                static_cast<uint32_t>(SendState_ == 20 ? DiffFrequency_ : Frequency_));
        if (T_.SlopeLength >= 1) {
            const double v = Tone1_.Value() * SlopeStep_;
            Tone1_.Advance();
            Emit(static_cast<int16_t>((StateCounter_ + 1) * v));
            if (++StateCounter_ >= T_.SlopeLength) {
                SendState_ += 1;
                StateCounter_ = 0;
            }
            return 1;
        }
        SendState_ += 1;
        return 0;
    case 21:
    case 24: {
        const int steady = SendState_ == 21 ? T_.DitDownSamples : T_.DahSamples;
        if (steady <= 0) { // the edges take the whole element
            SendState_ += 1;
            ElementRegister_ <<= 1;
            StateCounter_ = 0;
            return 0;
        }
        Emit(static_cast<int16_t>(Tone1_.Value() * Amplitude_));
        Tone1_.Advance();
        if (++StateCounter_ >= steady) {
            SendState_ += 1;
            ElementRegister_ <<= 1;
            StateCounter_ = 0;
        }
        return 1;
    }
    case 22:
    case 25:
        if (T_.SlopeLength >= 1) {
            const double v = Tone1_.Value() * SlopeStep_;
            Tone1_.Advance();
            Emit(static_cast<int16_t>((T_.SlopeLength - StateCounter_) * v));
            if (++StateCounter_ >= T_.SlopeLength) {
                SendState_ = 8;
                StateCounter_ = 0;
            }
            return 1;
        }
        SendState_ = 8;
        return 0;
    case 8:
        Silent();
        if (++StateCounter_ >= T_.GapSamples) {
            if (ElementRegister_ == kEndOfChar || ElementRegister_ == 0)
                SendState_ = 9;
            else
                SendState_ = (ElementRegister_ & kEndOfChar) ? 23 : 20;
            StateCounter_ = 0;
        }
        return 1;
    case 9:
    case 10: {
        Silent();
        int length = T_.CharGapExtraSamples;
        if (SendState_ == 10)
            length = IsFixedPause(CurrentChar_) ? T_.FixedPauseSamples : T_.WordGapExtraSamples;
        if (++StateCounter_ >= length) {
            SendState_ = 3;
            StateCounter_ = 0;
            if (OnCharSent) OnCharSent(*this, CurrentChar_);
            if (!HasChars() && OnLastChar) OnLastChar(*this);
        }
        return 1;
    }
    case 26:
        Silent();
        if (++StateCounter_ >= 2000) {
            BlipIndex_ = 0;
            SendState_ = 27;
            StateCounter_ = 0;
        }
        return 1;
    case 27:
        Tone1_.Advance();
        Emit(Blip_.BlipSample(BlipIndex_++));
        if (++StateCounter_ >= TBlipGen::BlipLength) {
            SendState_ = 28;
            StateCounter_ = 0;
        }
        return 1;
    case 28:
        Silent();
        if (++StateCounter_ >= 2000) {
            SendState_ = 3;
            StateCounter_ = 0;
            if (OnCharSent) OnCharSent(*this, CurrentChar_);
        }
        return 1;
    default: // not a state of this machine
        SendState_ = 0;
        StateCounter_ = 0;
        return 0;
    }
}

} // namespace brindle
