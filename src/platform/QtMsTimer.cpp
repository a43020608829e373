#include "platform/QtMsTimer.h"

#include <cerrno>
#include <ctime>

namespace brindle {

namespace {
constexpr qint64 kNsPerMs = 1'000'000;
constexpr qint64 kMaxLateNs = 5 * kNsPerMs; // later than this, a tick counts from now
} // namespace

TQtMsTimer::TQtMsTimer() {
    Clock_.start();
    Timer_.setTimerType(Qt::PreciseTimer);
    Timer_.setSingleShot(true);
    QObject::connect(&Timer_, &QTimer::timeout, &Timer_, [this] { Fire(); });
}

qint64 TQtMsTimer::Base() const {
    const qint64 now = Now();
    if (InTick_ && now - TickDue_ <= kMaxLateNs) return TickDue_;
    return now;
}

void TQtMsTimer::Arm() {
    Armed_ = true;
    // Qt counts in whole milliseconds: wake up to a millisecond early, Fire sleeps the rest.
    const qint64 remaining = Due_ - Now();
    const qint64 ms = remaining <= 0 ? 0 : remaining / kNsPerMs;
    Timer_.start(static_cast<int>(ms));
}

void TQtMsTimer::SetInterval(int ms) {
    IntervalMs_ = ms < 1 ? 1 : ms;
    if (Enabled_) { // a running timer starts counting the new interval
        Due_ = Base() + IntervalMs_ * kNsPerMs;
        Arm();
    }
}

void TQtMsTimer::SetEnabled(bool on) {
    if (on && !Enabled_) {
        Enabled_ = true;
        Due_ = Base() + IntervalMs_ * kNsPerMs;
        Arm();
    } else if (!on) {
        Enabled_ = false;
        Armed_ = false;
        Timer_.stop();
    }
}

void TQtMsTimer::Fire() {
    if (!Enabled_) return;
    const qint64 early = Due_ - Now();
    if (early > 0) { // less than a millisecond: sleep it away rather than tick early
        timespec ts{0, static_cast<long>(early)};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
    }
    InTick_ = true;
    TickDue_ = Due_;
    Due_ += IntervalMs_ * kNsPerMs; // periodic when the handler does not re-arm
    Armed_ = false;
    if (Handler_) Handler_();
    InTick_ = false;
    if (Enabled_ && !Armed_) {
        if (Due_ < Now() - kMaxLateNs) Due_ = Now() + IntervalMs_ * kNsPerMs;
        Arm();
    }
}

} // namespace brindle
