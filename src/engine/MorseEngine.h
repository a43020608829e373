// The Morse keying engine: the properties the user sets, the type-ahead buffer, and the events
// the windows listen to. The work is done by its parts: the durations come from Timing.h, the
// element scheduler (ElementScheduler.h) decides what is on the air, and in sound mode the tone
// renderer (ToneRenderer.h) turns that into samples of the buffers the sound output hands over.
// Timed mode steps the scheduler on a millisecond timer (serial keying), and calls the line
// keyer at each edge. When that timer ticks, or the sound output renders, on a thread other than
// the owner's, the engine's state is kept under its guard, and the events of the step are queued
// and delivered, in order, on the owner's thread through the post function. A rendering on such
// a thread that reports the last character sent renders silence, without moving the timeline on,
// until the owner has had the event: what the owner queues then follows at once, as it would have
// if the event had been raised in the rendering.
#pragma once

#include "base/MessageSink.h"
#include "engine/ElementScheduler.h"
#include "engine/LineKeyer.h"
#include "engine/MorseTables.h"
#include "engine/MsTimer.h"
#include "engine/Spacing.h"
#include "engine/Timing.h"
#include "engine/ToneRenderer.h"
#include "engine/TypeAhead.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace brindle {

// The phases of the engine's send machines, whichever keys: stopped; keying the PTT before the
// first character; running with nothing to send (or held); sending a character.
enum class TEnginePhase { Idle, PttLead, Waiting, CharOnAir };

class TMorseEngine : private ISchedulerEvents {
public:
    using TNotifyCWCharSent = std::function<void(TMorseEngine&, uint8_t ch)>;
    using TNotifyCharStart = std::function<void(TMorseEngine&, uint8_t ch)>;
    using TNotifyLastChar = std::function<void(TMorseEngine&)>;
    using TNotifyPTT = std::function<void(TMorseEngine&, bool pttOn)>;
    using TNotifyStart = std::function<void(TMorseEngine&)>;
    using TNotifyStop = std::function<void(TMorseEngine&)>;
    using TNotifySignalChanged = std::function<void(TMorseEngine&, bool signal, int durationMs)>;
    using TNotifyValChange = std::function<void(TMorseEngine&, int newVal)>;
    // Time of day as a fraction of a day; measures the duration of a timed step.
    using TDayClock = std::function<double()>;
    // Queues a call to the owner's thread.
    using TPost = std::function<void(std::function<void()>)>;

    static constexpr uint8_t BlipMark = brindle::BlipMark;
    static constexpr int ProsignCount = brindle::ProsignCount;

    // timer drives timed mode and must outlive the engine; it may be null for sound mode only.
    explicit TMorseEngine(IMsTimer* timer = nullptr, TMessageSink sink = {});
    ~TMorseEngine() override;
    TMorseEngine(const TMorseEngine&) = delete;
    TMorseEngine& operator=(const TMorseEngine&) = delete;

    // --- Morse tables -------------------------------------------------------------------------
    // The tables themselves are in MorseTables.h; these are the engine's names for them.
    static uint8_t FoldCase(uint8_t c) { return brindle::FoldCase(c); }
    static uint16_t CodeOf(uint8_t c) { return brindle::CodeOf(c); }
    static int ProsignIndex(std::string_view name) { return brindle::ProsignIndex(name); }
    static uint8_t ProsignCode(int index) { return brindle::ProsignCode(index); }
    static int ProsignOfCode(uint8_t c) { return brindle::ProsignOfCode(c); }
    static std::string_view ProsignName(int index) { return brindle::ProsignName(index); }
    static int ProsignNameLength(int index) { return brindle::ProsignNameLength(index); }
    // The character set the engine sends now (ExtraChars, BlipOn).
    TCharSet CharSet() const { return {ExtraChars_, BlipOn_}; }
    bool IsSendable(uint8_t c) const { return CharSet().IsSendable(c); }
    bool IsKnown(uint8_t c) const { return CharSet().IsKnown(c); }

    // --- Properties ---------------------------------------------------------------------------
    bool AutoStartStop() const { return Sched_.AutoStartStop(); }
    void SetAutoStartStop(bool on);
    bool SoundMode() const { return SoundMode_; }
    void SetSoundMode(bool on) { SoundMode_ = on; }
    int Buffersize() const { return Buf_.BufferSize(); }
    void SetBuffersize(int size) { Buf_.SetBufferSize(size); }
    bool ExtraChars() const { return ExtraChars_; }
    void SetExtraChars(bool on) { ExtraChars_ = on; }
    TSpacing Spacing() const { return Spacing_; }
    void SetSpacing(TSpacing spacing);
    int Frequency() const { return Frequency_; } // [Hz]
    void SetFrequency(int hz);
    int Frequency2() const { return Frequency2_; } // [Hz]
    void SetFrequency2(int hz);
    int DiffFrequency() const { return DiffFrequency_; } // [Hz]
    void SetDiffFrequency(int hz);
    bool DiffFreqOn() const { return DiffFreqOn_; }
    void SetDiffFreqOn(bool on) {
        const auto guard = Lock();
        DiffFreqOn_ = on;
        ApplyElementTones();
    }
    int Speed() const { return Speed_; } // [CpM]
    void SetSpeed(int cpm);
    int FWSpeed() const { return FWSpeed_; } // [CpM]
    void SetFWSpeed(int cpm);
    int LogAmplitude() const { return LogAmplitude_; } // [dB]
    void SetLogAmplitude(int dB);
    int MaxSpeed() const { return MaxSpeed_; } // [CpM]
    void SetMaxSpeed(int cpm);
    int MinSpeed() const { return MinSpeed_; } // [CpM]
    void SetMinSpeed(int cpm);
    int Weight() const { return Weight_; } // [%]
    void SetWeight(int percent);
    int Ratio() const { return Ratio_; } // [% of a dot]
    void SetRatio(int percent);
    int Slope() const { return Slope_; } // [samples]
    void SetSlope(int samples);
    int TimePttStart() const { return TimePttStart_; } // [ms]
    void SetTimePttStart(int ms);
    int TimePttHold() const { return TimePttHold_; } // [ms]
    void SetTimePttHold(int ms);
    bool Stereo() const { return Renderer_.Stereo(); }
    void SetStereo(bool on) {
        const auto guard = Lock();
        Renderer_.SetStereo(on);
    }

    bool Running() const {
        const auto guard = Lock();
        return Sched_.Running();
    }
    bool Hold() const {
        const auto guard = Lock();
        return Sched_.Hold();
    }
    void SetHold(bool on) {
        const auto guard = Lock();
        Sched_.SetHold(on);
    }
    bool BlipOn() const { return BlipOn_; }
    void SetBlipOn(bool on) { BlipOn_ = on; }

    // --- Events -------------------------------------------------------------------------------
    TNotifyCWCharSent OnCharSent;
    TNotifyCharStart OnCharStart;
    TNotifyLastChar OnLastChar;
    TNotifyPTT OnPttChanged;
    TNotifyStart OnStart;
    TNotifyStop OnStop;
    TNotifySignalChanged OnSignalChanged;
    TNotifyValChange OnFreqChanged, OnFreq2Changed, OnDiffFreqChanged, OnSpeedChanged,
        OnFWSpeedChanged, OnWeightChanged, OnRatioChanged, OnSlopeChanged;

    // --- Operations ---------------------------------------------------------------------------
    void Recalculate();
    bool Start();
    bool StopAfterChar();
    void StopNow();
    bool StartSending();
    bool StopAtEnd();
    void StopAtEndNow();
    bool Abort();
    bool IsIdle() const { return SendState() == 0; }
    // What the engine is doing now, read from the state of its send machine.
    TEnginePhase Phase() const {
        const int s = SendState();
        return s == 0   ? TEnginePhase::Idle
               : s < 3  ? TEnginePhase::PttLead
               : s == 3 ? TEnginePhase::Waiting
                        : TEnginePhase::CharOnAir;
    }
    // A character is on the air: past the PTT lead, between its first and its last edge or in
    // the space after it.
    bool CharOnAir() const { return Phase() == TEnginePhase::CharOnAir; }
    // Sound mode: fills byteCount bytes of 16-bit samples with the next stretch of keyed signal.
    void RenderBuffer(int16_t* buffer, int byteCount);
    void Mute(bool on);

    // --- Type-ahead buffer --------------------------------------------------------------------
    bool PutChar(uint8_t c) {
        const auto guard = Lock();
        return IsSendable(c) && Buf_.Put(c);
    }
    bool PutCode(uint8_t c) {
        const auto guard = Lock();
        return IsKnown(c) && Buf_.Put(c);
    }
    uint8_t GetChar() {
        const auto guard = Lock();
        return Buf_.Get();
    }
    uint8_t PeekChar() const {
        const auto guard = Lock();
        return Buf_.Peek();
    }
    uint8_t UnputChar() {
        const auto guard = Lock();
        return Buf_.Unput();
    }
    void RewindBuffer(int count) {
        const auto guard = Lock();
        Buf_.MoveBack(count);
    }
    bool HasChars() const {
        const auto guard = Lock();
        return Buf_.NotEmpty();
    }
    int BufferCount() const { // characters queued
        const auto guard = Lock();
        return Buf_.Count();
    }
    std::string QueuedText() const { // next to send first
        const auto guard = Lock();
        return Buf_.Contents();
    }
    int ClearBuffer() {
        const auto guard = Lock();
        return Buf_.Clear();
    }
    // Empties the buffer from the newest end; returns the display positions the removed
    // characters took (1 each, 4 per prosign code, 5 for "{").
    int RemoveUnsent();

    // --- State read by the owner and by tests -------------------------------------------------
    const TCWTiming& Timing() const { return T_; }
    int SendState() const {
        const auto guard = Lock();
        return Sched_.State();
    }
    int HoldCount() const {
        const auto guard = Lock();
        return Sched_.HoldCount();
    }
    bool PttState() const {
        const auto guard = Lock();
        return Sched_.PttState();
    }
    uint8_t CurrentChar() const {
        const auto guard = Lock();
        return Sched_.CurrentChar();
    }
    uint32_t ElementRegister() const {
        const auto guard = Lock();
        return Sched_.ElementRegister();
    }
    double Amplitude() const {
        const auto guard = Lock();
        return Renderer_.Amplitude();
    }
    double SlopeStep() const {
        const auto guard = Lock();
        return Renderer_.SlopeStep();
    }
    // Samples rendered since the engine was made (the position on the sound output's timeline).
    int64_t RenderedSamples() const {
        const auto guard = Lock();
        return Rendered_;
    }
    // While a queued event of a rendering is delivered: the sample at which it happened; -1 for
    // an event raised at once or from a timed step.
    int64_t EventSample() const { return EventSample_; }
    // Silent samples rendered while waiting for the owner to take the last character sent.
    int64_t HeldSamples() const {
        const auto guard = Lock();
        return Held_;
    }
    // Keyed samples written so far by the RenderBuffer call in progress (0 outside a call); lets
    // an event handler tell where in the buffer it fired.
    int RenderedInCall() const { return Renderer_.Written(); }
    TSineGen& Tone1() { return Renderer_.Tone1(); }
    TSineGen& Tone2() { return Renderer_.Tone2(); }
    TBlipGen& Blip() { return Renderer_.Blip(); }
    void SetDayClock(TDayClock clock) { DayClock_ = std::move(clock); }
    // The engine's own timer handler (one timed step).
    void OnCWTimer();

    // --- Threads ------------------------------------------------------------------------------
    // Where the key and the PTT go at each edge (null: nowhere); set before keying starts.
    void SetLineKeyer(ILineKeyer* keyer) {
        const auto guard = Lock();
        LineKeyer_ = keyer;
    }
    // How events of a step on the timer's own thread reach the owner's thread.
    void SetEventPost(TPost post) { Post_ = std::move(post); }
    // Delivers the queued events of steps on the timer's thread, oldest first. Runs by itself
    // from the post function; an event raised on the owner's thread delivers them first.
    void DeliverQueuedEvents();

private:
    // An event of a step on the timer's own thread, waiting for the owner's thread.
    struct TQueuedEvent {
        enum class TKind { CharStart, CharSent, LastChar, Ptt, Signal, Stop, Message } Kind;
        uint8_t Char = 0;
        bool On = false;
        int Ms = 0;
        std::string Text = {};
        int64_t Sample = -1; // of a rendering: where in the sound it happened
    };
    std::unique_lock<TPriorityMutex> Lock() const {
        return std::unique_lock<TPriorityMutex>(Guard_);
    }
    // True when the event is queued for the owner's thread rather than raised here.
    bool Queued(TQueuedEvent event);
    void Deliver(const TQueuedEvent& event);
    void Report(const std::string& text);

    // What the scheduler reports, passed on as the engine's events.
    void CharStart(uint8_t ch) override;
    void CharSent(uint8_t ch) override;
    void LastChar() override;
    void PttChanged(bool on) override;
    void SignalChanged(bool on, int durationMs) override;
    void Stopped(bool timed) override;

    TTimingInputs TimingInputs() const;
    void ApplyLogAmplitude();
    void SetNextTick(int ms);
    void ApplyElementTones() { Renderer_.SetElementTones(DiffFreqOn_, DiffFrequency_, Frequency_); }

    IMsTimer* Timer_ = nullptr;
    TMessageSink Sink_;
    TDayClock DayClock_;
    TToneRenderer Renderer_;
    TTypeAhead Buf_;
    TElementScheduler Sched_{Buf_, *this};

    bool SoundMode_ = false;
    bool ExtraChars_ = true;
    TSpacing Spacing_ = TSpacing::Plain;
    int Frequency_ = 0, Frequency2_ = 0, DiffFrequency_ = 0;
    bool DiffFreqOn_ = false;
    int Speed_ = 0, FWSpeed_ = 0;
    int LogAmplitude_ = 0;
    int MaxSpeed_ = 300, MinSpeed_ = 10;
    int Weight_ = 0, Ratio_ = 0, Slope_ = 0;
    int TimePttStart_ = 0, TimePttHold_ = 0;
    bool BlipOn_ = false;

    TCWTiming T_;
    int TimerPeriodMin_ = 1; // [ms]
    bool PeriodBegun_ = false;

    mutable TPriorityMutex Guard_;
    ILineKeyer* LineKeyer_ = nullptr;
    TPost Post_;
    bool InThreadStep_ = false; // a step on the timer's or the sound's thread is running
    bool InRendering_ = false;  // that step is a rendering
    bool AwaitOwner_ = false;   // a rendering waits for the owner to take the last char
    int64_t Rendered_ = 0;      // [samples] rendered since the engine was made
    int64_t Held_ = 0;          // [samples] of silence while waiting for the owner
    int64_t EventSample_ = -1;  // of the queued event being delivered (owner's thread)
    std::thread::id Owner_ = std::this_thread::get_id();
    std::vector<TQueuedEvent> Queue_; // events of such steps, oldest first
    bool DeliveryPosted_ = false;     // a delivery is on its way to the owner's thread
    std::shared_ptr<int> Alive_ = std::make_shared<int>(0); // posted deliveries check it
};

} // namespace brindle
