// The element scheduler: decides, step by step, what is on the air. It takes characters from the
// type-ahead buffer, walks their elements and spaces with the durations of TCWTiming, holds the
// PTT, and reports every step to its owner. Two machines share one state: the timed machine
// (one step per timer tick, keying lines; the owner sleeps the returned time) and the sample
// machine (one step per sample, giving its orders to the tone renderer).
#pragma once

#include "engine/Timing.h"
#include "engine/ToneRenderer.h"
#include "engine/TypeAhead.h"

#include <cstdint>

namespace brindle {

// The steps of the timed machine; the values are the shared state numbers.
enum class TTimedStep {
    Idle = 0,         // PTT off: text queued, auto start on, not held -> PTT on
    PttStart = 1,     // a start with text queued: PTT on, then the PTT lead
    BetweenChars = 3, // a queued char is loaded at once, else dot times count to the hold limit
    NextElement = 5,  // key on for each further element
    KeyUp = 8,        // key off for the element gap
    CharDone = 9,     // the character is sent, then the extra character gap
    Space = 10,       // a space or pause code
    FirstElement = 12 // key on for the first element of a character
};

// The steps of the sample machine; the values are the shared state numbers.
enum class TSampleStep {
    Idle = 0,         // silence until text is queued
    PttOn = 1,        // one dot time of silence with the PTT on
    PttLead = 2,      // the PTT lead, then the first character
    BetweenChars = 3, // silence counting dots; a queued char starts on a dot boundary
    ElementGap = 8,
    CharGap = 9, // the extra character gap
    Space = 10,  // the word gap extra, or the fixed pause of item ends and pauses
    DitRise = 20,
    DitSteady = 21,
    DitFall = 22,
    DahRise = 23,
    DahSteady = 24,
    DahFall = 25,
    BeforeBlip = 26,
    Blip = 27,
    AfterBlip = 28
};

// What the scheduler tells its owner, in the order it happens.
class ISchedulerEvents {
public:
    virtual ~ISchedulerEvents() = default;
    virtual void CharStart(uint8_t ch) = 0;
    virtual void CharSent(uint8_t ch) = 0;
    virtual void LastChar() = 0;
    virtual void PttChanged(bool on) = 0;
    virtual void SignalChanged(bool on, int durationMs) = 0;
    // A stop request completed: timed in the timed machine (the owner stops its timer), else in
    // the sample machine.
    virtual void Stopped(bool timed) = 0;
};

class TElementScheduler {
public:
    TElementScheduler(TTypeAhead& buffer, ISchedulerEvents& events)
        : Buf_(buffer), Events_(events) {}

    // --- Control (from the owner) ----------------------------------------------------------------
    // A start: nothing on the air, no stop asked for; resetCounter for the sample machine.
    void Begin(bool resetCounter);
    void RequestStop() { StopRequested_ = true; }
    void StartSending();
    void StopAtEnd() { StopAtEndFlag_ = true; }
    void SetHoldCount(int count) { HoldCount_ = count; }
    // Ends what is on the air now: key and PTT off, the current character reported sent and
    // last. Once only until the next start or StartSending.
    void Abort();
    void SetRunning(bool on) { Running_ = on; }
    bool Running() const { return Running_; }
    bool Hold() const { return Hold_; }
    void SetHold(bool on) { Hold_ = on; }
    bool AutoStartStop() const { return AutoStartStop_; }
    void SetAutoStartStop(bool on);
    bool Aborted() const { return Aborted_; }

    // --- State --------------------------------------------------------------------------------
    int State() const { return State_; }
    void SetState(int state) { State_ = state; }
    void ResetCounter() { Counter_ = 0; }
    int HoldCount() const { return HoldCount_; }
    bool PttState() const { return PttState_; }
    uint8_t CurrentChar() const { return CurrentChar_; }
    uint32_t ElementRegister() const { return ElementRegister_; }

    // One step of the timed machine; returns the time until the next step [ms], or -1 when the
    // machine stopped (or an event handler stopped or aborted the engine) and wants no tick.
    int TimedStep(const TCWTiming& t);
    // One step of the sample machine; returns 1 when it wrote a sample or completed a stop.
    // firstStep: the first step of a buffer (where the PTT hold ends).
    int SampleStep(const TCWTiming& t, TToneRenderer& out, bool firstStep);

private:
    bool HasChars() const { return Buf_.NotEmpty(); }
    bool NoMoreElements() const;
    void LoadNextChar();
    int StepAfterLoad() const;
    void PttOff();
    int SampleBetweenChars(const TCWTiming& t, TToneRenderer& out, bool firstStep);

    TTypeAhead& Buf_;
    ISchedulerEvents& Events_;
    bool Running_ = false, Hold_ = false, AutoStartStop_ = true;
    bool StopRequested_ = false, StopAtEndFlag_ = false, Aborted_ = false, PttState_ = false;
    int State_ = 0;   // a TTimedStep or TSampleStep value
    int Counter_ = 0; // [samples] in the current sample step
    int HoldCount_ = 0;
    int BlipIndex_ = 0;
    uint8_t CurrentChar_ = 0;
    uint32_t ElementRegister_ = 0;
};

} // namespace brindle
