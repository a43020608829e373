// Real-time priority through rtkit, against a private message bus where a second connection plays
// rtkit. The request is made from a thread of its own, as the keying thread makes it, while this
// thread runs the event loop that answers it.
#include "platform/desktop/Realtime.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <QDBusVirtualObject>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace brindle {
namespace {

class TFakeRtkit : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        if (m.member() != QStringLiteral("MakeThreadRealtime") || m.arguments().size() != 2)
            return false;
        Calls.emplace_back(m.arguments()[0].toULongLong(), m.arguments()[1].toUInt());
        bus.send(Refuse
                     ? m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                          QStringLiteral("Operation not permitted"))
                     : m.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
    bool Refuse = false;
    std::vector<std::pair<qulonglong, uint>> Calls;
};

// Asks from another thread and runs the event loop here until the answer came.
std::pair<bool, std::string> Ask(const QDBusConnection& bus, pid_t tid, int priority) {
    std::atomic<bool> done = false;
    std::pair<bool, std::string> result;
    std::thread asker([&] {
        result.first = AskRealtimeKit(bus, tid, priority, result.second);
        done = true;
    });
    test::RunUntil([&] { return done.load(); }, test::kBusLimitMs);
    asker.join();
    return result;
}

} // namespace

TEST(Realtime, AsksRtkitForTheThreadAndSaysWhyNot) {
    test::TPrivateBus bus;
    ASSERT_FALSE(bus.Address.isEmpty()) << "dbus-daemon did not start";
    const QDBusConnection client = bus.Connect(QStringLiteral("brindle-test"));
    ASSERT_TRUE(client.isConnected());
    const auto absent = Ask(client, 4242, 15); // nobody owns the name
    EXPECT_FALSE(absent.first);
    EXPECT_NE(absent.second.find("org.freedesktop.RealtimeKit1"), std::string::npos)
        << absent.second;

    QDBusConnection service = bus.Connect(QStringLiteral("brindle-test-rtkit"));
    TFakeRtkit rtkit;
    ASSERT_TRUE(
        service.registerVirtualObject(QStringLiteral("/org/freedesktop/RealtimeKit1"), &rtkit));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.RealtimeKit1")));
    EXPECT_EQ(Ask(client, 4242, 15), std::make_pair(true, std::string()));
    rtkit.Refuse = true;
    EXPECT_EQ(Ask(client, 4243, 15),
              std::make_pair(false, std::string("rtkit: Operation not permitted")));
    EXPECT_EQ(rtkit.Calls, (std::vector<std::pair<qulonglong, uint>>{{4242, 15}, {4243, 15}}));

    std::string why;
    EXPECT_FALSE(AskRealtimeKit(QDBusConnection(QStringLiteral("nowhere")), 1, 15, why));
    EXPECT_EQ(why, "no system bus");
}

} // namespace brindle
