// A millisecond timer on a virtual clock: tests step the clock and ticks fire at exact times.
#pragma once

#include "engine/MsTimer.h"

#include <cstdint>
#include <functional>

namespace brindle::test {

class TVirtualTimer : public IMsTimer {
public:
    void SetHandler(std::function<void()> handler) override { Handler_ = std::move(handler); }
    void SetInterval(int ms) override {
        Interval_ = ms;
        if (Enabled_) Due_ = Now_ + Interval_;
    }
    int Interval() const override { return Interval_; }
    void SetEnabled(bool on) override {
        if (on && !Enabled_) Due_ = Now_ + Interval_;
        Enabled_ = on;
    }
    bool Enabled() const override { return Enabled_; }
    void BeginPeriod(int) override { ++PeriodsBegun; }
    void EndPeriod(int) override { ++PeriodsEnded; }

    int64_t Now() const { return Now_; } // [ms]
    // Advances the clock by ms, firing every tick that falls due on the way.
    void Advance(int64_t ms) {
        const int64_t until = Now_ + ms;
        while (Enabled_ && Due_ <= until) {
            Now_ = Due_;
            if (Handler_) Handler_();
            if (++Ticks > 10'000'000) break; // a runaway machine must not hang the test
        }
        Now_ = until;
    }
    // Runs until the next tick has fired; false when no tick is pending.
    bool Step() {
        if (!Enabled_) return false;
        Advance(Due_ - Now_);
        return true;
    }

    int64_t Ticks = 0;
    int PeriodsBegun = 0;
    int PeriodsEnded = 0;

private:
    std::function<void()> Handler_;
    int Interval_ = 1000;
    bool Enabled_ = false;
    int64_t Now_ = 0;
    int64_t Due_ = 0;
};

} // namespace brindle::test
