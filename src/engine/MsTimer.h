// The millisecond timer that drives the keying engine's timed mode. The program gives the engine
// the keying thread (ticks on a thread of its own); tests give it a virtual clock that they step.
#pragma once

#include "base/PriorityMutex.h"

#include <functional>

namespace brindle {

class IMsTimer {
public:
    virtual ~IMsTimer() = default;

    // Called on every tick; the engine installs its own handler.
    virtual void SetHandler(std::function<void()> handler) = 0;
    // Interval of the next tick [ms]; setting it while enabled restarts the count from now.
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    // Enabling starts counting one interval from now; disabling cancels the pending tick.
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;

    // True when the ticks run on a thread of their own (not the owner's): the engine then keeps
    // its state under its guard and hands its events to the owner's thread.
    virtual bool OwnThread() const { return false; }
    // The lock a tick runs under; taken before the timer checks that the tick is still due, so
    // that a tick cancelled by the owner while it was being woken never runs.
    virtual void SetGuard(TPriorityMutex* /*guard*/) {}

    // System timer resolution while the engine runs; no-ops where the platform has no such thing.
    virtual int PeriodMin() const { return 1; } // [ms]
    virtual void BeginPeriod(int /*ms*/) {}
    virtual void EndPeriod(int /*ms*/) {}
};

} // namespace brindle
