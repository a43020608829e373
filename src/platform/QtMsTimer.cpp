#include "platform/QtMsTimer.h"

#include <cerrno>
#include <ctime>

namespace brindle {

TQtMsTimer::TQtMsTimer() {
    Clock_.start();
    Timer_.setTimerType(Qt::PreciseTimer);
    Timer_.setSingleShot(true);
    QObject::connect(&Timer_, &QTimer::timeout, &Timer_, [this] { Fire(); });
}

void TQtMsTimer::Arm() {
    const qint64 remaining = Schedule_.Due() - Now();
    const qint64 ms = remaining <= 0 ? 0 : remaining / TTickSchedule::NsPerMs;
    Timer_.start(static_cast<int>(ms));
}

void TQtMsTimer::SetInterval(int ms) {
    if (Schedule_.SetInterval(ms, Now())) Arm();
}

void TQtMsTimer::SetEnabled(bool on) {
    if (Schedule_.SetEnabled(on, Now())) Arm();
    if (!on) Timer_.stop();
}

void TQtMsTimer::Fire() {
    if (!Schedule_.Enabled()) return;
    const qint64 early = Schedule_.Due() - Now();
    if (early > 0) { // less than a millisecond: sleep it away rather than tick early
        timespec ts{0, static_cast<long>(early)};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
    }
    Schedule_.BeginTick();
    if (Handler_) Handler_();
    if (Schedule_.EndTick(Now())) Arm();
}

} // namespace brindle
