// Tells its owner when the machine is about to suspend and when it has resumed, from logind's
// PrepareForSleep signal on the system bus. Without a bus it stays silent.
#pragma once

#include <QDBusConnection>

#include <functional>
#include <memory>

namespace brindle {

namespace detail {
class TSleepReceiver;
}

class TSleepWatcher {
public:
    explicit TSleepWatcher(const QDBusConnection& bus = QDBusConnection::systemBus());
    ~TSleepWatcher();
    TSleepWatcher(const TSleepWatcher&) = delete;
    TSleepWatcher& operator=(const TSleepWatcher&) = delete;

    // true: going to sleep; false: resumed. Called on the thread that made the watcher.
    std::function<void(bool goingToSleep)> OnSleep;

    // False when there was no bus to subscribe on.
    bool Watching() const { return Watching_; }

private:
    QDBusConnection Bus_;
    std::unique_ptr<detail::TSleepReceiver> Receiver_;
    bool Watching_ = false;
};

} // namespace brindle
