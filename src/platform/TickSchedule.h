// When the engine's timer ticks next, kept apart from any clock so that tests can step time.
// A tick that re-arms the timer from inside its handler counts the next interval from when the
// tick was due, not from when it ran, so dispatch delays do not add up over a text; after a stall
// of more than MaxLateNs it counts from now again rather than catching up with short elements.
#pragma once

#include <algorithm>
#include <cstdint>

namespace brindle {

class TTickSchedule {
public:
    static constexpr int64_t NsPerMs = 1'000'000;
    static constexpr int64_t MaxLateNs = 5 * NsPerMs; // later than this, a tick counts from now

    int Interval() const { return IntervalMs_; } // [ms]
    bool Enabled() const { return Enabled_; }
    int64_t Due() const { return Due_; } // [ns] of the next tick, while enabled
    // True once a due time was set since the running tick began (the handler re-armed).
    bool Rearmed() const { return Rearmed_; }

    // Each returns true when the due time changed and the platform timer must be armed again.
    bool SetInterval(int ms, int64_t now) {
        IntervalMs_ = ms < 1 ? 1 : ms;
        if (!Enabled_) return false;
        Plan(now);
        return true;
    }
    bool SetEnabled(bool on, int64_t now) {
        if (on == Enabled_) return false;
        Enabled_ = on;
        if (on) Plan(now);
        return on;
    }

    // A tick starts at now; the handler runs between BeginTick and EndTick.
    void BeginTick() {
        InTick_ = true;
        TickDue_ = Due_;
        Due_ += IntervalMs_ * NsPerMs; // periodic when the handler does not re-arm
        Rearmed_ = false;
    }
    // True when the timer must be armed for Due() (still enabled and not re-armed inside).
    bool EndTick(int64_t now) {
        InTick_ = false;
        if (!Enabled_ || Rearmed_) return false;
        if (Due_ < now - MaxLateNs) Due_ = now + IntervalMs_ * NsPerMs;
        return true;
    }

private:
    void Plan(int64_t now) {
        const bool fromTick = InTick_ && now - TickDue_ <= MaxLateNs;
        Due_ = (fromTick ? TickDue_ : now) + IntervalMs_ * NsPerMs;
        Rearmed_ = InTick_;
    }

    int IntervalMs_ = 1000;
    bool Enabled_ = false;
    bool InTick_ = false;
    bool Rearmed_ = false;
    int64_t TickDue_ = 0; // [ns] when the running tick was due
    int64_t Due_ = 0;     // [ns] when the next tick is due
};

// How long before a tick the keying thread wakes and spins the rest: sleeps wake up late, by
// tens of microseconds on an idle machine and by milliseconds on a virtual one whose processor
// was halted. A late wake widens the margin at once to cover it, up to MaxNs; it narrows back to
// MinNs slowly (a 64th of the excess per tick), so a machine that wakes on time spins little.
class TWakeMargin {
public:
    static constexpr int64_t MinNs = 500'000;
    static constexpr int64_t MaxNs = 3'000'000;
    static constexpr int64_t SlackNs = 250'000; // beyond the latest wake seen

    int64_t Ns() const { return Ns_; }
    // A wake meant for Ns() before the tick came lateNs after that.
    void Woke(int64_t lateNs) {
        Ns_ -= (Ns_ - MinNs) / 64;
        Ns_ = std::clamp(std::max(Ns_, lateNs + SlackNs), MinNs, MaxNs);
    }

private:
    int64_t Ns_ = MinNs;
};

} // namespace brindle
