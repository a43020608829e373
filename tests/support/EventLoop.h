// Runs the Qt event loop until a condition holds or a time limit passes (the limit only guards
// against a hang; tests assert the condition, never the time taken).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace brindle::test {

inline bool RunUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

inline void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
}

} // namespace brindle::test
