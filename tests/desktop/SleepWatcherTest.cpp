// The suspend notification against a private message bus, where a second connection plays
// logind by owning its name and sending PrepareForSleep.
#include "platform/desktop/SleepWatcher.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace brindle {
namespace {

using test::Flush;
using test::kBusLimitMs;
using test::kLogind;
using test::SendSleep;
using test::TPrivateBus;
constexpr int kLimitMs = kBusLimitMs;

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

// Both edges arrive in order; the same signal from another sender is ignored.
TEST_F(SleepWatcherTest, BothEdgesArriveInOrderFromLogindOnlyAndOnlyToLiveHandlers) {
    std::vector<bool> seen;
    auto watcher = MakeWatcher(seen);
    ASSERT_TRUE(watcher->Watching());

    QDBusConnection impostor = Bus_.Connect(QStringLiteral("brindle-test-impostor"));
    ASSERT_TRUE(impostor.isConnected());
    SendSleep(impostor, true);
    Flush(impostor);
    // Routed after the impostor's signal, so it would have arrived first had it been taken.
    SendSleep(Logind_, false);
    SendSleep(Logind_, true);
    ASSERT_TRUE(test::RunUntil([&] { return seen.size() >= 2; }, kLimitMs));
    test::RunFor(50);
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    watcher.reset();

    // A watcher that is gone is no longer called; one without a handler yet drops the signal.
    auto gone = std::make_shared<int>(0);
    {
        TSleepWatcher w(Client_);
        ASSERT_TRUE(w.Watching());
        w.OnSleep = [gone](bool) { ++*gone; };
    }
    TSleepWatcher late(Client_);
    std::vector<bool> witness;
    auto other = MakeWatcher(witness);
    SendSleep(Logind_, true);
    ASSERT_TRUE(test::RunUntil([&] { return !witness.empty(); }, kLimitMs));
    test::RunFor(50);
    EXPECT_EQ(std::make_pair(*gone, seen.size()), std::make_pair(0, std::size_t{2}));
    seen.clear();
    late.OnSleep = [&seen](bool goingToSleep) { seen.push_back(goingToSleep); };
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
