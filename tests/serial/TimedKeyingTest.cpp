// The engine's timed mode on the real GUI-thread timer keys the serial lines: RTS is the key,
// DTR is PTT. Sequences and states only; the timing figures come from the benchmark.
#include "engine/MorseEngine.h"
#include "platform/QtMsTimer.h"
#include "serial/ComKeying.h"
#include "serial/SerialLines.h"
#include "support/EventLoop.h"
#include "support/SerialShim.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

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
};

} // namespace

TEST_F(TimedKeying, ParisKeysRtsWithDtrAsPtt) {
    TQtMsTimer timer;
    std::vector<std::string> messages;
    TMorseEngine engine(&timer, [&](const TMessage& m) { messages.push_back(m.Text); });
    engine.SetSpeed(300);
    engine.SetTimePttHold(0);
    bool pttOff = false;
    TComKeying keying(com);
    keying.SetActive(true);
    engine.OnSignalChanged = [&](TMorseEngine&, bool on, int) { keying.SignalChanged(on); };
    engine.OnPttChanged = [&](TMorseEngine&, bool on) {
        keying.PttChanged(on, true);
        pttOff = !on;
    };
    for (const char c : std::string("paris"))
        engine.PutChar(static_cast<uint8_t>(c));
    engine.Start();
    ASSERT_TRUE(RunUntil([&] { return pttOff; }, 20000));
    engine.StopAfterChar();
    ASSERT_TRUE(RunUntil([&] { return !engine.Running(); }, 5000));

    const auto log = shim.Log();
    // DTR on, 14 elements as 28 RTS changes, DTR off.
    ASSERT_EQ(log.size(), 30u);
    EXPECT_TRUE(log.front().Dtr && !log.front().Rts);
    for (std::size_t i = 1; i <= 28; ++i) {
        EXPECT_EQ(log[i].Rts, i % 2 == 1) << i;
        EXPECT_TRUE(log[i].Dtr) << i;
        EXPECT_GT(log[i].Ns, log[i - 1].Ns);
    }
    EXPECT_FALSE(log.back().Dtr || log.back().Rts);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TimedKeying, DtrStaysOffWithoutPttOnCom) {
    TComKeying keying(com);
    keying.PttChanged(true, true); // not the output yet: nothing moves
    keying.SignalChanged(true);
    EXPECT_TRUE(shim.Log().empty());
    keying.SetActive(true);
    keying.PttChanged(true, false); // PTT on the port not wanted
    keying.SignalChanged(true);
    const auto log = shim.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].Rts);
    EXPECT_FALSE(log[0].Dtr);
}
