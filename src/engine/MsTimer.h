// The millisecond timer that drives the keying engine's timed mode. The program gives the engine
// a precise GUI-thread timer; tests give it a virtual clock that they step.
#pragma once

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

    // System timer resolution while the engine runs; no-ops where the platform has no such thing.
    virtual int PeriodMin() const { return 1; } // [ms]
    virtual void BeginPeriod(int /*ms*/) {}
    virtual void EndPeriod(int /*ms*/) {}
};

} // namespace brindle
