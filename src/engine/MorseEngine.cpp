#include "engine/MorseEngine.h"

#include "base/Ranges.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace brindle {

namespace {

constexpr int kMaxPttTime = 10'000'000; // [ms]; keeps every derived duration inside int

double SteadyDayClock() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count() / 86400.0;
}

} // namespace

// --- Construction ----------------------------------------------------------------------------

TMorseEngine::TMorseEngine(IMsTimer* timer, TMessageSink sink)
    : Timer_(timer), Sink_(std::move(sink)), DayClock_(SteadyDayClock), Renderer_(Sink_) {
    // The order matters: every setter recalculates with the values already set.
    SoundMode_ = false;
    Sched_.SetAutoStartStop(true);
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
        Timer_->SetGuard(&Guard_);
        Timer_->SetEnabled(false);
        Timer_->SetHandler([this] { OnCWTimer(); });
    }
    Queue_.reserve(1024); // a step on the timer's thread queues without allocating
    BlipOn_ = false;
}

// A tick running on the timer's own thread is waited for (SetHandler takes the guard).
TMorseEngine::~TMorseEngine() {
    if (Timer_) {
        Timer_->SetEnabled(false);
        Timer_->SetHandler({});
        Timer_->SetGuard(nullptr);
        if (PeriodBegun_) Timer_->EndPeriod(TimerPeriodMin_);
    }
}

// --- Property setters ------------------------------------------------------------------------

void TMorseEngine::SetAutoStartStop(bool on) {
    const auto guard = Lock();
    Sched_.SetAutoStartStop(on);
}

void TMorseEngine::SetSpacing(TSpacing spacing) {
    const auto guard = Lock();
    if (spacing == Spacing_) return;
    Spacing_ = spacing;
    Recalculate();
}

void TMorseEngine::SetFrequency(int hz) {
    const auto guard = Lock();
    if (hz == Frequency_) return;
    Frequency_ = ranges::Frequency.Clamp(hz);
    Renderer_.Tone1().SetFrequency(static_cast<uint32_t>(Frequency_));
    ApplyElementTones();
    if (OnFreqChanged) OnFreqChanged(*this, Frequency_);
}

void TMorseEngine::SetFrequency2(int hz) {
    const auto guard = Lock();
    if (hz == Frequency2_) return;
    Frequency2_ = ranges::Frequency.Clamp(hz);
    Renderer_.Tone2().SetFrequency(static_cast<uint32_t>(Frequency2_));
    if (OnFreq2Changed) OnFreq2Changed(*this, Frequency2_);
}

void TMorseEngine::SetDiffFrequency(int hz) {
    const auto guard = Lock();
    if (hz == DiffFrequency_) return;
    DiffFrequency_ = ranges::Frequency.Clamp(hz);
    ApplyElementTones();
    if (OnDiffFreqChanged) OnDiffFreqChanged(*this, DiffFrequency_);
}

void TMorseEngine::SetSpeed(int cpm) {
    const auto guard = Lock();
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
    const auto guard = Lock();
    if (cpm == FWSpeed_) return;
    FWSpeed_ = ranges::Speed.Clamp(cpm);
    Recalculate();
    if (OnFWSpeedChanged) OnFWSpeedChanged(*this, FWSpeed_);
}

void TMorseEngine::SetLogAmplitude(int dB) {
    // No early return on an equal value: Mute(false) sets the level again to undo the mute.
    const auto guard = Lock();
    LogAmplitude_ = std::min(dB, ranges::OutputLevel.Max);
    ApplyLogAmplitude();
}

void TMorseEngine::ApplyLogAmplitude() {
    Renderer_.SetLevel(LogAmplitude_, T_.SlopeLength);
}

void TMorseEngine::SetMaxSpeed(int cpm) {
    if (cpm != MaxSpeed_) MaxSpeed_ = ranges::Speed.Clamp(cpm);
}

void TMorseEngine::SetMinSpeed(int cpm) {
    if (cpm != MinSpeed_) MinSpeed_ = ranges::Speed.Clamp(cpm);
}

void TMorseEngine::SetWeight(int percent) {
    const auto guard = Lock();
    if (percent == Weight_) return;
    Weight_ = ranges::Weight.Clamp(percent);
    Recalculate();
    if (OnWeightChanged) OnWeightChanged(*this, Weight_);
}

void TMorseEngine::SetRatio(int percent) {
    const auto guard = Lock();
    if (percent == Ratio_) return;
    Ratio_ = ranges::Ratio.Clamp(percent);
    Recalculate();
    if (OnRatioChanged) OnRatioChanged(*this, Ratio_);
}

void TMorseEngine::SetSlope(int samples) {
    const auto guard = Lock();
    if (samples == Slope_) return;
    // Bounds come from the unshortened durations at the current speed and weight.
    Slope_ = FitSlope(TimingInputs(), samples);
    Recalculate();
    if (OnSlopeChanged) OnSlopeChanged(*this, Slope_);
}

void TMorseEngine::SetTimePttStart(int ms) {
    const auto guard = Lock();
    if (ms == TimePttStart_) return;
    TimePttStart_ = std::clamp(ms, 0, kMaxPttTime);
    Recalculate();
}

void TMorseEngine::SetTimePttHold(int ms) {
    const auto guard = Lock();
    if (ms == TimePttHold_) return;
    TimePttHold_ = std::clamp(ms, 0, kMaxPttTime);
    Recalculate();
}

// --- Timing ----------------------------------------------------------------------------------

TTimingInputs TMorseEngine::TimingInputs() const {
    return {Speed_, FWSpeed_, Spacing_, Weight_, Ratio_, Slope_, TimePttStart_, TimePttHold_};
}

void TMorseEngine::Recalculate() {
    T_ = ComputeTiming(TimingInputs());
    Renderer_.SetSlopeLength(T_.SlopeLength);
}

// --- Control ---------------------------------------------------------------------------------

bool TMorseEngine::Start() {
    const auto guard = Lock();
    Recalculate();
    AwaitOwner_ = false;
    Sched_.Begin(SoundMode_);
    if (!SoundMode_ && Timer_) {
        if (!PeriodBegun_) {
            Timer_->BeginPeriod(TimerPeriodMin_);
            PeriodBegun_ = true;
        }
        Timer_->SetInterval(T_.DotMs);
        Timer_->SetEnabled(true);
    }
    Sched_.SetRunning(true);
    if (OnStart) OnStart(*this);
    return true;
}

bool TMorseEngine::StopAfterChar() {
    const auto guard = Lock();
    if (!Running()) return false;
    Sched_.RequestStop();
    return true;
}

void TMorseEngine::StopNow() {
    const auto guard = Lock();
    if (Timer_) {
        Timer_->SetEnabled(false);
        if (PeriodBegun_) {
            Timer_->EndPeriod(TimerPeriodMin_);
            PeriodBegun_ = false;
        }
    }
    Sched_.SetRunning(false);
    if (!Queued({TQueuedEvent::TKind::Stop})) Deliver({TQueuedEvent::TKind::Stop});
}

bool TMorseEngine::StartSending() {
    const auto guard = Lock();
    Sched_.StartSending();
    return Running();
}

bool TMorseEngine::StopAtEnd() {
    const auto guard = Lock();
    if (Running()) Sched_.StopAtEnd();
    return Running();
}

void TMorseEngine::StopAtEndNow() {
    const auto guard = Lock();
    Sched_.SetHoldCount(T_.HoldLimit);
    StopAtEnd();
}

bool TMorseEngine::Abort() {
    const auto guard = Lock();
    if (!Sched_.Aborted()) {
        if (!SoundMode_ && Timer_) Timer_->SetEnabled(false);
        Renderer_.Cut();
        Sched_.Abort();
    }
    AwaitOwner_ = false;
    ClearBuffer();
    return true;
}

void TMorseEngine::Mute(bool on) {
    const auto guard = Lock();
    if (on)
        Renderer_.SetMuted(true);
    else
        SetLogAmplitude(LogAmplitude_);
}

int TMorseEngine::RemoveUnsent() {
    const auto guard = Lock();
    int positions = 0;
    while (HasChars()) {
        const uint8_t c = Buf_.Unput();
        positions += c == '{' ? 5 : (ProsignOfCode(c) != 0 ? 4 : 1);
    }
    return positions;
}

// --- Timed mode ------------------------------------------------------------------------------

void TMorseEngine::OnCWTimer() {
    const auto guard = Lock();
    if (Timer_) Timer_->SetEnabled(false);
    InThreadStep_ = Timer_ && Timer_->OwnThread();
    const double started = DayClock_();
    const int next = Sched_.TimedStep(T_);
    if (next >= 0) SetNextTick(next);
    if (SendState() < 0 || SendState() > 12) {
        Report("COM MState error: " + std::to_string(SendState()));
        Sched_.SetState(0);
    }
    const double took = DayClock_() - started; // [days]
    if (took > 0.005) {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", took);
        Report(std::string("CW loop time error: ") + text);
    }
    InThreadStep_ = false;
}

void TMorseEngine::Report(const std::string& text) {
    if (!Queued({TQueuedEvent::TKind::Message, 0, false, 0, text}))
        ShowMessage(Sink_, TSeverity::Error, text);
}

void TMorseEngine::SetNextTick(int ms) {
    if (!Timer_) return;
    Timer_->SetInterval(std::max(ms, 1));
    Timer_->SetEnabled(true);
}

// --- Sound mode ------------------------------------------------------------------------------

void TMorseEngine::RenderBuffer(int16_t* buffer, int byteCount) {
    const auto guard = Lock();
    // A handler that runs the event loop may get here again while a buffer is being rendered:
    // that nested call renders nothing, so the outer one keeps its output and position.
    if (Renderer_.Rendering()) return;
    const int n = Renderer_.Begin(buffer, byteCount);
    if (n == 0) return;
    InThreadStep_ = InRendering_ = std::this_thread::get_id() != Owner_;
    int counted = 0;
    bool first = true;
    while (counted < n) {
        if (AwaitOwner_) { // the owner has not yet taken the last character sent
            Renderer_.Hold(n - counted);
            Held_ += n - counted;
            break;
        }
        counted += Sched_.SampleStep(T_, Renderer_, first);
        first = false;
    }
    Renderer_.End();
    Rendered_ += n;
    InThreadStep_ = InRendering_ = false;
}

// --- What the scheduler reports --------------------------------------------------------------

// Outside a step on the timer's own thread an event is raised at once, after the events still
// queued, so that the owner sees them all in the order they happened.
bool TMorseEngine::Queued(TQueuedEvent event) {
    if (!InThreadStep_ || !Post_) {
        if (!Queue_.empty()) DeliverQueuedEvents();
        return false;
    }
    if (InRendering_) event.Sample = Rendered_ + Renderer_.Written();
    Queue_.push_back(std::move(event));
    if (!DeliveryPosted_) {
        DeliveryPosted_ = true;
        Post_([this, alive = std::weak_ptr<int>(Alive_)] {
            if (alive.lock()) DeliverQueuedEvents();
        });
    }
    return true;
}

// One event at a time, the guard released while it is delivered: a handler may raise an event
// itself, which delivers the rest first.
void TMorseEngine::DeliverQueuedEvents() {
    for (;;) {
        TQueuedEvent event;
        {
            const auto guard = Lock();
            DeliveryPosted_ = false;
            if (Queue_.empty()) return;
            event = std::move(Queue_.front());
            Queue_.erase(Queue_.begin());
        }
        EventSample_ = event.Sample;
        Deliver(event);
        EventSample_ = -1;
        if (event.Kind == TQueuedEvent::TKind::LastChar) {
            const auto guard = Lock();
            AwaitOwner_ = false; // what the handler queued follows at once
        }
    }
}

void TMorseEngine::Deliver(const TQueuedEvent& e) {
    using K = TQueuedEvent::TKind;
    switch (e.Kind) {
    case K::CharStart:
        if (OnCharStart) OnCharStart(*this, e.Char);
        break;
    case K::CharSent:
        if (OnCharSent) OnCharSent(*this, e.Char);
        break;
    case K::LastChar:
        if (OnLastChar) OnLastChar(*this);
        break;
    case K::Ptt:
        if (OnPttChanged) OnPttChanged(*this, e.On);
        break;
    case K::Signal:
        if (OnSignalChanged) OnSignalChanged(*this, e.On, e.Ms);
        break;
    case K::Stop:
        if (OnStop) OnStop(*this);
        break;
    case K::Message: ShowMessage(Sink_, TSeverity::Error, e.Text); break;
    }
}

void TMorseEngine::CharStart(uint8_t ch) {
    if (!Queued({TQueuedEvent::TKind::CharStart, ch}))
        Deliver({TQueuedEvent::TKind::CharStart, ch});
}

void TMorseEngine::CharSent(uint8_t ch) {
    if (!Queued({TQueuedEvent::TKind::CharSent, ch})) Deliver({TQueuedEvent::TKind::CharSent, ch});
}

void TMorseEngine::LastChar() {
    if (Queued({TQueuedEvent::TKind::LastChar})) {
        if (InRendering_ && OnLastChar) AwaitOwner_ = true;
    } else {
        Deliver({TQueuedEvent::TKind::LastChar});
    }
}

void TMorseEngine::PttChanged(bool on) {
    if (LineKeyer_) LineKeyer_->Ptt(on);
    const TQueuedEvent e{TQueuedEvent::TKind::Ptt, 0, on};
    if (!Queued(e)) Deliver(e);
}

void TMorseEngine::SignalChanged(bool on, int durationMs) {
    if (LineKeyer_) LineKeyer_->Key(on);
    const TQueuedEvent e{TQueuedEvent::TKind::Signal, 0, on, durationMs};
    if (!Queued(e)) Deliver(e);
}

void TMorseEngine::Stopped(bool timed) {
    if (timed) {
        StopNow();
    } else if (!Queued({TQueuedEvent::TKind::Stop})) {
        Deliver({TQueuedEvent::TKind::Stop});
    }
}

} // namespace brindle
