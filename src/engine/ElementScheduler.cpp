#include "engine/ElementScheduler.h"

#include "base/ControlCodes.h"
#include "engine/MorseTables.h"

namespace brindle {

namespace {

constexpr uint32_t kEndOfChar = 0x80000000u;

constexpr int Is(TTimedStep s) {
    return static_cast<int>(s);
}
constexpr int Is(TSampleStep s) {
    return static_cast<int>(s);
}

} // namespace

void TElementScheduler::Begin(bool resetCounter) {
    PttState_ = Hold_ = Aborted_ = false;
    State_ = Is(TSampleStep::Idle);
    StopRequested_ = StopAtEndFlag_ = false;
    if (resetCounter) Counter_ = 0;
}

void TElementScheduler::StartSending() {
    StopAtEndFlag_ = Hold_ = Aborted_ = false;
    if (Running_ && State_ == 0) State_ = Is(TSampleStep::PttOn);
}

void TElementScheduler::SetAutoStartStop(bool on) {
    AutoStartStop_ = on;
    if (!on) HoldCount_ = 0;
}

void TElementScheduler::Abort() {
    if (Aborted_) return;
    StopRequested_ = true;
    State_ = 0;
    Events_.SignalChanged(false, 0);
    Events_.CharSent(CurrentChar_);
    Events_.LastChar();
    if (PttState_) Events_.PttChanged(false);
    PttState_ = false;
    Aborted_ = true;
}

bool TElementScheduler::NoMoreElements() const {
    return ElementRegister_ == kEndOfChar || ElementRegister_ == 0;
}

void TElementScheduler::LoadNextChar() {
    CurrentChar_ = Buf_.Get();
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

void TElementScheduler::PttOff() {
    Events_.PttChanged(false);
    PttState_ = false;
}

// --- The timed machine ---------------------------------------------------------------------------

int TElementScheduler::TimedStep(const TCWTiming& t) {
    const bool abortedBefore = Aborted_;
    int next = t.DotMs; // [ms] until the next step
    switch (static_cast<TTimedStep>(State_)) {
    case TTimedStep::Idle:
        HoldCount_ = 0;
        if (StopRequested_ && Running_) {
            Events_.Stopped(true);
            return -1;
        }
        if (HasChars() && AutoStartStop_ && !Hold_) {
            LoadNextChar();
            State_ = Is(NoMoreElements() ? TTimedStep::Space : TTimedStep::FirstElement);
            next = t.PttLeadMs;
            PttState_ = true;
            Events_.PttChanged(true);
        }
        break;
    case TTimedStep::PttStart:
        State_ = Is(TTimedStep::BetweenChars);
        next = t.PttLeadMs;
        HoldCount_ = 0;
        PttState_ = true;
        Events_.PttChanged(true);
        break;
    case TTimedStep::BetweenChars:
        if (StopRequested_) {
            State_ = 0;
            PttOff();
            Events_.Stopped(true);
            return -1;
        }
        if ((AutoStartStop_ || StopAtEndFlag_) && !Hold_) ++HoldCount_;
        if (HoldCount_ >= t.HoldLimit) {
            State_ = 0;
            HoldCount_ = 0;
            PttOff();
        }
        break;
    case TTimedStep::FirstElement:
    case TTimedStep::NextElement: {
        const bool first = State_ == Is(TTimedStep::FirstElement);
        next = (ElementRegister_ & kEndOfChar) ? t.DahDownMs : t.DitDownMs;
        State_ = Is(TTimedStep::KeyUp);
        Events_.SignalChanged(true, next);
        if (first) Events_.CharStart(CurrentChar_);
        ElementRegister_ <<= 1;
        break;
    }
    case TTimedStep::KeyUp:
        next = t.GapMs;
        State_ = Is(NoMoreElements() ? TTimedStep::CharDone : TTimedStep::NextElement);
        Events_.SignalChanged(false, t.GapMs);
        break;
    case TTimedStep::CharDone:
        State_ = Is(TTimedStep::BetweenChars);
        next = t.CharGapExtraMs;
        Events_.CharSent(CurrentChar_);
        if (!HasChars()) Events_.LastChar();
        break;
    case TTimedStep::Space:
        State_ = Is(TTimedStep::BetweenChars);
        next = IsFixedPause(CurrentChar_) ? t.FixedPauseMs : t.WordGapExtraMs;
        Events_.CharStart(CurrentChar_);
        Events_.CharSent(CurrentChar_);
        if (!HasChars()) Events_.LastChar();
        break;
    default:
        // A state of the sample machine: the owner reports the states above 12.
        if (State_ >= 0 && State_ <= 12) State_ = 0;
        break;
    }
    if (State_ == Is(TTimedStep::BetweenChars) && HasChars() && !Hold_) {
        LoadNextChar();
        HoldCount_ = 0;
        State_ = Is(NoMoreElements() ? TTimedStep::Space : TTimedStep::FirstElement);
    }
    // An event handler may have stopped or aborted the engine: then no further step.
    if (!Running_ || (Aborted_ && !abortedBefore)) return -1;
    return next;
}

// --- The sample machine --------------------------------------------------------------------------

int TElementScheduler::StepAfterLoad() const {
    if (CurrentChar_ == BlipMark) return Is(TSampleStep::BeforeBlip);
    if (NoMoreElements()) return Is(TSampleStep::Space);
    return Is((ElementRegister_ & kEndOfChar) ? TSampleStep::DahRise : TSampleStep::DitRise);
}

int TElementScheduler::SampleBetweenChars(const TCWTiming& t, TToneRenderer& out, bool firstStep) {
    int wrote = 0;
    if (StopRequested_ && Running_) {
        State_ = 0;
        PttOff();
        Running_ = false;
        Events_.Stopped(false);
        return 1;
    }
    if (HasChars() && Counter_ == 0 && !Hold_) {
        LoadNextChar();
        if (ElementRegister_ == 0) {
            Events_.CharSent(CurrentChar_);
        } else if (CurrentChar_ == BlipMark) {
            State_ = Is(TSampleStep::BeforeBlip);
        } else {
            Events_.CharStart(CurrentChar_);
            State_ = StepAfterLoad();
        }
    } else {
        out.Silence();
        wrote = 1;
        if (++Counter_ >= t.DotSamples) {
            Counter_ = 0;
            if ((AutoStartStop_ || StopAtEndFlag_) && !Hold_) ++HoldCount_;
        }
    }
    if (firstStep && State_ == Is(TSampleStep::BetweenChars) && HoldCount_ >= t.HoldLimit) {
        State_ = 0;
        HoldCount_ = 0;
        PttOff();
    }
    return wrote;
}

int TElementScheduler::SampleStep(const TCWTiming& t, TToneRenderer& out, bool firstStep) {
    // A counter compares with >=, so a duration that shrinks within its step ends the step.
    const auto advance = [this](int length, TSampleStep then) {
        if (++Counter_ >= length) {
            State_ = Is(then);
            Counter_ = 0;
            return true;
        }
        return false;
    };
    switch (static_cast<TSampleStep>(State_)) {
    case TSampleStep::Idle:
        HoldCount_ = 0;
        if (StopRequested_ && Running_) {
            Running_ = false;
            Events_.Stopped(false);
            return 1;
        }
        out.Silence();
        if (++Counter_ >= t.DotSamples) Counter_ = 0;
        if (HasChars() && AutoStartStop_ && !Hold_ && Running_) {
            State_ = Is(TSampleStep::PttOn);
            Events_.PttChanged(true);
        }
        return 1;
    case TSampleStep::PttOn:
        PttState_ = true;
        HoldCount_ = 0;
        out.Silence();
        advance(t.DotSamples, TSampleStep::PttLead);
        return 1;
    case TSampleStep::PttLead:
        out.Silence();
        if (advance(t.PttLeadSamples, TSampleStep::PttLead)) {
            LoadNextChar();
            if (ElementRegister_ == 0) {
                State_ = Is(TSampleStep::BetweenChars);
                Events_.CharSent(CurrentChar_);
            } else {
                Events_.CharStart(CurrentChar_);
                State_ = StepAfterLoad();
            }
        }
        return 1;
    case TSampleStep::BetweenChars: return SampleBetweenChars(t, out, firstStep);
    case TSampleStep::DitRise:
    case TSampleStep::DahRise: {
        const bool dit = State_ == Is(TSampleStep::DitRise);
        out.StartElement(dit);
        if (t.SlopeLength >= 1) {
            out.Rise(Counter_);
            advance(t.SlopeLength, dit ? TSampleStep::DitSteady : TSampleStep::DahSteady);
            return 1;
        }
        State_ += 1;
        return 0;
    }
    case TSampleStep::DitSteady:
    case TSampleStep::DahSteady: {
        const bool dit = State_ == Is(TSampleStep::DitSteady);
        const TSampleStep fall = dit ? TSampleStep::DitFall : TSampleStep::DahFall;
        const int steady = dit ? t.DitDownSamples : t.DahSamples;
        if (steady <= 0) { // the edges take the whole element
            State_ = Is(fall);
            ElementRegister_ <<= 1;
            Counter_ = 0;
            return 0;
        }
        out.Steady();
        if (advance(steady, fall)) ElementRegister_ <<= 1;
        return 1;
    }
    case TSampleStep::DitFall:
    case TSampleStep::DahFall:
        if (t.SlopeLength >= 1) {
            out.Fall(Counter_, t.SlopeLength);
            advance(t.SlopeLength, TSampleStep::ElementGap);
            return 1;
        }
        State_ = Is(TSampleStep::ElementGap);
        return 0;
    case TSampleStep::ElementGap:
        out.Silence();
        if (++Counter_ >= t.GapSamples) {
            if (NoMoreElements())
                State_ = Is(TSampleStep::CharGap);
            else
                State_ = Is((ElementRegister_ & kEndOfChar) ? TSampleStep::DahRise
                                                            : TSampleStep::DitRise);
            Counter_ = 0;
        }
        return 1;
    case TSampleStep::CharGap:
    case TSampleStep::Space: {
        out.Silence();
        int length = t.CharGapExtraSamples;
        if (State_ == Is(TSampleStep::Space))
            length = IsFixedPause(CurrentChar_) ? t.FixedPauseSamples : t.WordGapExtraSamples;
        if (advance(length, TSampleStep::BetweenChars)) {
            Events_.CharSent(CurrentChar_);
            if (!HasChars()) Events_.LastChar();
        }
        return 1;
    }
    case TSampleStep::BeforeBlip:
        out.Silence();
        if (advance(2000, TSampleStep::Blip)) BlipIndex_ = 0;
        return 1;
    case TSampleStep::Blip:
        out.BlipSample(BlipIndex_++);
        advance(TBlipGen::BlipLength, TSampleStep::AfterBlip);
        return 1;
    case TSampleStep::AfterBlip:
        out.Silence();
        if (advance(2000, TSampleStep::BetweenChars)) Events_.CharSent(CurrentChar_);
        return 1;
    default: // not a state of this machine
        State_ = 0;
        Counter_ = 0;
        return 0;
    }
}

} // namespace brindle
