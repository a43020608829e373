#include "platform/desktop/SleepWatcher.h"

#include <QObject>

#include <utility>

namespace brindle {

namespace detail {

// QtDBus delivers signals only to slots, so the public class keeps this small receiver.
class TSleepReceiver : public QObject {
    Q_OBJECT
public:
    explicit TSleepReceiver(std::function<void(bool)> onSignal) : OnSignal_(std::move(onSignal)) {}

public slots:
    void PrepareForSleep(bool start) { OnSignal_(start); }

private:
    std::function<void(bool)> OnSignal_;
};

} // namespace detail

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kMember = QStringLiteral("PrepareForSleep");

} // namespace

TSleepWatcher::TSleepWatcher(const QDBusConnection& bus)
    : Bus_(bus), Receiver_(std::make_unique<detail::TSleepReceiver>([this](bool start) {
          if (OnSleep) OnSleep(start);
      })) {
    // Many sessions (containers, remote desktops) have no system bus; that is not an error.
    if (!Bus_.isConnected()) return;
    // Naming the service makes QtDBus accept the signal only from logind's own connection.
    Watching_ = Bus_.connect(kService, kPath, kInterface, kMember, Receiver_.get(),
                             SLOT(PrepareForSleep(bool)));
}

TSleepWatcher::~TSleepWatcher() {
    if (Watching_)
        Bus_.disconnect(kService, kPath, kInterface, kMember, Receiver_.get(),
                        SLOT(PrepareForSleep(bool)));
}

} // namespace brindle

#include "SleepWatcher.moc"
