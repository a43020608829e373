// The suspend notification against a private message bus, where a second connection plays
// logind by owning its name and sending PrepareForSleep.
#include "platform/desktop/SleepWatcher.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace brindle {
namespace {

constexpr int kLimitMs = 10000;
const QString kLogind = QStringLiteral("org.freedesktop.login1");

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
        if (!Daemon_.waitForStarted(kLimitMs)) return;
        while (!Daemon_.canReadLine() && Daemon_.waitForReadyRead(kLimitMs)) {}
        Address = QString::fromUtf8(Daemon_.readLine()).trimmed();
    }
    ~TPrivateBus() {
        for (const auto& name : Names_)
            QDBusConnection::disconnectFromBus(name);
        Daemon_.kill();
        Daemon_.waitForFinished(kLimitMs);
    }
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    QDBusConnection Connect(const QString& name) {
        Names_.push_back(name);
        return QDBusConnection::connectToBus(Address, name);
    }

    QString Address;

private:
    test::TTempDir Dir_{"brindle-bus"};
    QProcess Daemon_;
    std::vector<QString> Names_;
};

void SendSleep(const QDBusConnection& from, bool start) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << start;
    ASSERT_TRUE(from.send(signal));
}

// A round trip to the daemon: everything this connection sent before has been routed.
void Flush(const QDBusConnection& from) {
    ASSERT_TRUE(from.interface()->registeredServiceNames().isValid());
}

class SleepWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Bus_.Address.isEmpty()) << "dbus-daemon did not start";
        Logind_ = Bus_.Connect(QStringLiteral("brindle-test-logind"));
        ASSERT_TRUE(Logind_.isConnected());
        ASSERT_TRUE(Logind_.registerService(kLogind));
        Client_ = Bus_.Connect(QStringLiteral("brindle-test"));
        ASSERT_TRUE(Client_.isConnected());
    }

    std::unique_ptr<TSleepWatcher> MakeWatcher(std::vector<bool>& seen) {
        auto watcher = std::make_unique<TSleepWatcher>(Client_);
        watcher->OnSleep = [&seen](bool goingToSleep) { seen.push_back(goingToSleep); };
        return watcher;
    }

    TPrivateBus Bus_;
    QDBusConnection Logind_{QString()};
    QDBusConnection Client_{QString()};
};

TEST_F(SleepWatcherTest, BothEdgesArriveInOrder) {
    std::vector<bool> seen;
    auto watcher = MakeWatcher(seen);
    ASSERT_TRUE(watcher->Watching());

    SendSleep(Logind_, true);
    SendSleep(Logind_, false);
    ASSERT_TRUE(test::RunUntil([&] { return seen.size() >= 2; }, kLimitMs));
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));

    SendSleep(Logind_, true);
    ASSERT_TRUE(test::RunUntil([&] { return seen.size() >= 3; }, kLimitMs));
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
}

TEST_F(SleepWatcherTest, SignalFromAnotherSenderIsIgnored) {
    std::vector<bool> seen;
    auto watcher = MakeWatcher(seen);
    ASSERT_TRUE(watcher->Watching());

    QDBusConnection impostor = Bus_.Connect(QStringLiteral("brindle-test-impostor"));
    ASSERT_TRUE(impostor.isConnected());
    SendSleep(impostor, true);
    Flush(impostor);
    // Routed after the impostor's signal, so it would have arrived first had it been taken.
    SendSleep(Logind_, false);
    ASSERT_TRUE(test::RunUntil([&] { return !seen.empty(); }, kLimitMs));
    test::RunFor(50);
    EXPECT_EQ(seen, (std::vector<bool>{false}));
}

TEST_F(SleepWatcherTest, DestroyedWatcherIsNoLongerCalled) {
    auto gone = std::make_shared<int>(0);
    {
        TSleepWatcher watcher(Client_);
        ASSERT_TRUE(watcher.Watching());
        watcher.OnSleep = [gone](bool) { ++*gone; };
    }
    std::vector<bool> witness;
    auto other = MakeWatcher(witness);

    SendSleep(Logind_, true);
    ASSERT_TRUE(test::RunUntil([&] { return !witness.empty(); }, kLimitMs));
    test::RunFor(50);
    EXPECT_EQ(*gone, 0);
}

TEST_F(SleepWatcherTest, SignalBeforeAHandlerIsSetIsDropped) {
    TSleepWatcher watcher(Client_);
    std::vector<bool> witness;
    auto other = MakeWatcher(witness);

    SendSleep(Logind_, true);
    ASSERT_TRUE(test::RunUntil([&] { return !witness.empty(); }, kLimitMs));
    test::RunFor(50);

    std::vector<bool> seen;
    watcher.OnSleep = [&seen](bool goingToSleep) { seen.push_back(goingToSleep); };
    SendSleep(Logind_, false);
    ASSERT_TRUE(test::RunUntil([&] { return !seen.empty(); }, kLimitMs));
    EXPECT_EQ(seen, (std::vector<bool>{false}));
}

std::vector<QString> gMessages;

void Collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    gMessages.push_back(text);
}

TEST(SleepWatcherNoBusTest, DisconnectedBusIsQuiet) {
    const QString name = QStringLiteral("brindle-test-nobus");
    QDBusConnection bus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/brindle-bus"), name);
    ASSERT_FALSE(bus.isConnected());

    gMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    bool called = false;
    {
        TSleepWatcher watcher(bus);
        watcher.OnSleep = [&called](bool) { called = true; };
        EXPECT_FALSE(watcher.Watching());
        test::RunFor(50);
    }
    qInstallMessageHandler(previous);
    QDBusConnection::disconnectFromBus(name);

    EXPECT_FALSE(called);
    EXPECT_TRUE(gMessages.empty()) << gMessages.front().toStdString();
}

} // namespace
} // namespace brindle
