// The engine's millisecond timer on the GUI thread: a precise QTimer with whole-millisecond
// intervals. Linux has no system timer period to raise, so the period calls do nothing.
#pragma once

#include "engine/MsTimer.h"

#include <QTimer>

namespace brindle {

class TQtMsTimer : public IMsTimer {
public:
    TQtMsTimer();

    void SetHandler(std::function<void()> handler) override { Handler_ = std::move(handler); }
    void SetInterval(int ms) override;
    int Interval() const override { return Timer_.interval(); }
    void SetEnabled(bool on) override;
    bool Enabled() const override { return Timer_.isActive(); }

private:
    QTimer Timer_;
    std::function<void()> Handler_;
};

// Runs fn later on the GUI thread (the thread of the application object), from any thread.
void PostToGuiThread(std::function<void()> fn);

} // namespace brindle
