#include "platform/QtMsTimer.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace brindle {

TQtMsTimer::TQtMsTimer() {
    Timer_.setTimerType(Qt::PreciseTimer);
    Timer_.setSingleShot(false);
    QObject::connect(&Timer_, &QTimer::timeout, &Timer_, [this] {
        if (Handler_) Handler_();
    });
}

void TQtMsTimer::SetInterval(int ms) {
    // QTimer::setInterval restarts a running timer, as the engine expects.
    Timer_.setInterval(ms < 1 ? 1 : ms);
}

void TQtMsTimer::SetEnabled(bool on) {
    if (on && !Timer_.isActive())
        Timer_.start();
    else if (!on)
        Timer_.stop();
}

void PostToGuiThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

} // namespace brindle
