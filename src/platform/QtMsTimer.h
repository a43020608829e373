// The engine's millisecond timer on the GUI thread: a precise single-shot QTimer armed for the
// due times that TTickSchedule plans. Qt counts whole milliseconds, so the timer wakes up to a
// millisecond early and the tick sleeps the rest. Linux has no system timer period to raise, so
// the period calls do nothing.
#pragma once

#include "engine/MsTimer.h"
#include "platform/GuiPost.h"
#include "platform/TickSchedule.h"

#include <QElapsedTimer>
#include <QTimer>

namespace brindle {

class TQtMsTimer : public IMsTimer {
public:
    TQtMsTimer();

    void SetHandler(std::function<void()> handler) override { Handler_ = std::move(handler); }
    void SetInterval(int ms) override;
    int Interval() const override { return Schedule_.Interval(); }
    void SetEnabled(bool on) override;
    bool Enabled() const override { return Schedule_.Enabled(); }

private:
    void Fire();
    void Arm(); // starts the single shot for the schedule's due time
    qint64 Now() const { return Clock_.nsecsElapsed(); }

    QTimer Timer_;
    QElapsedTimer Clock_;
    std::function<void()> Handler_;
    TTickSchedule Schedule_;
};

} // namespace brindle
