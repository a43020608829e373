// The engine's millisecond timer on the GUI thread. A tick that re-arms the timer from inside its
// handler counts the next interval from when the tick was due, not from when it ran, so handler
// and dispatch delays do not add up over a text; after a stall of more than a few milliseconds it
// counts from now again rather than catching up with shortened elements. Linux has no system
// timer period to raise, so the period calls do nothing.
#pragma once

#include "engine/MsTimer.h"
#include "platform/GuiPost.h"

#include <QElapsedTimer>
#include <QTimer>

namespace brindle {

class TQtMsTimer : public IMsTimer {
public:
    TQtMsTimer();

    void SetHandler(std::function<void()> handler) override { Handler_ = std::move(handler); }
    void SetInterval(int ms) override;
    int Interval() const override { return IntervalMs_; }
    void SetEnabled(bool on) override;
    bool Enabled() const override { return Enabled_; }

private:
    void Fire();
    void Arm(); // starts the single shot for Due_
    qint64 Now() const { return Clock_.nsecsElapsed(); }
    qint64 Base() const; // where the next interval counts from [ns]

    QTimer Timer_;
    QElapsedTimer Clock_;
    std::function<void()> Handler_;
    int IntervalMs_ = 1000;
    bool Enabled_ = false;
    bool InTick_ = false;
    bool Armed_ = false;
    qint64 TickDue_ = 0; // [ns] when the running tick was due
    qint64 Due_ = 0;     // [ns] when the next tick is due
};

} // namespace brindle
