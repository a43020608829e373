#include "platform/desktop/Realtime.h"

#include <sys/resource.h>

#include <QDBusMessage>
#include <QVariant>

namespace brindle {

namespace {

constexpr rlim_t kRtTimeUs = 200'000; // rtkit's default ceiling for RLIMIT_RTTIME
constexpr int kCallLimitMs = 2000;

void LimitRealtimeRun() {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= kRtTimeUs) return;
    limit.rlim_cur = limit.rlim_max = kRtTimeUs;
    setrlimit(RLIMIT_RTTIME, &limit);
}

} // namespace

bool AskRealtimeKit(const QDBusConnection& bus, pid_t tid, int priority, std::string& why) {
    if (!bus.isConnected()) {
        why = "no system bus";
        return false;
    }
    LimitRealtimeRun();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.RealtimeKit1"),
        QStringLiteral("/org/freedesktop/RealtimeKit1"),
        QStringLiteral("org.freedesktop.RealtimeKit1"), QStringLiteral("MakeThreadRealtime"));
    call << QVariant::fromValue(static_cast<qulonglong>(tid))
         << QVariant::fromValue(static_cast<uint>(priority));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallLimitMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    why = "rtkit: " +
          (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()).toStdString();
    return false;
}

bool AskRealtimeKit(pid_t tid, int priority, std::string& why) {
    return AskRealtimeKit(QDBusConnection::systemBus(), tid, priority, why);
}

} // namespace brindle
