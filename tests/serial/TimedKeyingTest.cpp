// The engine's timed mode on the keying thread keys the serial lines: RTS is the key, DTR is PTT.
// Sequences and states only; the timing figures come from the benchmark.
#include "engine/MorseEngine.h"
#include "platform/GuiPost.h"
#include "platform/KeyingThread.h"
#include "serial/ComKeying.h"
#include "serial/SerialLines.h"
#include "support/EventLoop.h"
#include "support/SerialShim.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <chrono>
#include <thread>

using namespace brindle;
using brindle::test::RunUntil;

namespace {

// A connected keyer on a pseudo-terminal, with the shim's log emptied.
class TimedKeying : public ::testing::Test {
protected:
    void SetUp() override {
        if (!shim.Active()) GTEST_SKIP() << "needs the serial shim (LD_PRELOAD)";
        com.SetPortPath([this](int) { return pty.SlavePath; });
        ASSERT_TRUE(com.Connect());
        shim.ClearLog();
    }
    void TearDown() override { com.Disconnect(); }
    test::TSerialShim shim;
    test::TPty pty;
    TSerialLines com{{}, PostToGuiThread};
    std::thread::id testThread = std::this_thread::get_id();
};

} // namespace

// The test's thread is the GUI thread: it stays blocked until the whole word has been keyed, and
// the keying goes on without it; the events wait and arrive in order.
TEST_F(TimedKeying, ParisKeysRtsWithDtrAsPttWhileTheGuiThreadSleeps) {
    TKeyingThread timer;
    std::vector<std::string> messages, events;
    TMorseEngine engine(&timer, [&](const TMessage& m) { messages.push_back(m.Text); });
    engine.SetSpeed(300);
    engine.SetTimePttHold(0);
    TComKeying keying(com);
    keying.SetActive(true);
    keying.SetPttOnCom(true);
    engine.SetLineKeyer(&keying);
    engine.SetEventPost(PostToGuiThread);
    const auto onGui = [&] { return std::this_thread::get_id() == testThread; };
    engine.OnCharSent = [&](TMorseEngine&, uint8_t ch) {
        events.push_back(onGui() ? std::string(1, static_cast<char>(ch)) : "elsewhere");
    };
    engine.OnPttChanged = [&](TMorseEngine&, bool on) { events.push_back(on ? "on" : "off"); };
    for (const char c : std::string("paris"))
        engine.PutChar(static_cast<uint8_t>(c));
    engine.Start();
    // This thread stays blocked, running no events, until the port shows the word keyed.
    const auto keyed = [&] {
        const auto log = shim.Log();
        return log.size() >= 30 && !log.back().Dtr;
    };
    for (int i = 0; i < 3000 && !keyed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(keyed()) << "the word was not keyed while the GUI thread was blocked";
    EXPECT_TRUE(events.empty()) << "an event ran off the GUI thread";
    ASSERT_TRUE(RunUntil([&] { return !events.empty() && events.back() == "off"; }, 20000));
    engine.StopAfterChar();
    ASSERT_TRUE(RunUntil([&] { return !engine.Running(); }, 5000));

    const auto log = shim.Log();
    // DTR on, 14 elements as 28 RTS changes, DTR off: all while the GUI thread slept.
    ASSERT_EQ(log.size(), 30u);
    EXPECT_TRUE(log.front().Dtr && !log.front().Rts);
    for (std::size_t i = 1; i <= 28; ++i) {
        EXPECT_EQ(log[i].Rts, i % 2 == 1) << i;
        EXPECT_TRUE(log[i].Dtr) << i;
        EXPECT_GT(log[i].Ns, log[i - 1].Ns);
    }
    EXPECT_FALSE(log.back().Dtr || log.back().Rts);
    EXPECT_EQ(events, (std::vector<std::string>{"on", "p", "a", "r", "i", "s", "off"}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(TimedKeying, DtrStaysOffWithoutPttOnCom) {
    TComKeying keying(com);
    keying.SetPttOnCom(true);
    keying.Ptt(true); // not the output yet: nothing moves
    keying.Key(true);
    EXPECT_TRUE(shim.Log().empty());
    keying.SetActive(true);
    keying.SetPttOnCom(false); // PTT on the port not wanted
    keying.Ptt(true);
    keying.Key(true);
    const auto log = shim.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].Rts);
    EXPECT_FALSE(log[0].Dtr);
}
