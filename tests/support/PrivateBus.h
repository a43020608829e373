// A dbus-daemon of our own for one test, and a second connection on it that plays logind by
// owning its name and sending PrepareForSleep.
#pragma once

#include "support/TempDir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <vector>

namespace brindle::test {

constexpr int kBusLimitMs = 10000;
inline const QString kLogind = QStringLiteral("org.freedesktop.login1");

// A dbus-daemon of our own for one test, stopped with the object.
class TPrivateBus {
public:
    TPrivateBus() {
        Daemon_.setProgram(QStringLiteral("dbus-daemon"));
        Daemon_.setArguments(
            {QStringLiteral("--session"), QStringLiteral("--nofork"),
             QStringLiteral("--print-address=1"),
             QStringLiteral("--address=unix:dir=") + QString::fromStdString(Dir_.Path.string())});
        Daemon_.start();
        if (!Daemon_.waitForStarted(kBusLimitMs)) return;
        while (!Daemon_.canReadLine() && Daemon_.waitForReadyRead(kBusLimitMs)) {}
        Address = QString::fromUtf8(Daemon_.readLine()).trimmed();
    }
    ~TPrivateBus() {
        for (const auto& name : Names_)
            QDBusConnection::disconnectFromBus(name);
        Daemon_.kill();
        Daemon_.waitForFinished(kBusLimitMs);
    }
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    QDBusConnection Connect(const QString& name) {
        Names_.push_back(name);
        return QDBusConnection::connectToBus(Address, name);
    }

    QString Address;

private:
    TTempDir Dir_{"brindle-bus"};
    QProcess Daemon_;
    std::vector<QString> Names_;
};

inline void SendSleep(const QDBusConnection& from, bool start) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << start;
    ASSERT_TRUE(from.send(signal));
}

// A round trip to the daemon: everything this connection sent before has been routed.
inline void Flush(const QDBusConnection& from) {
    ASSERT_TRUE(from.interface()->registeredServiceNames().isValid());
}

} // namespace brindle::test
