// Timed mode on a virtual millisecond clock: every timeline here is exact.
#include "engine/MorseEngine.h"
#include "support/KeyRuns.h"
#include "support/VirtualTimer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using brindle::TEnginePhase;
using brindle::TMessage;
using brindle::TMorseEngine;
using brindle::test::TEventLog;
using brindle::test::TVirtualTimer;
using Lines = std::vector<std::string>;

namespace {

class TimedMachine : public ::testing::Test {
protected:
    void SetUp() override {
        Log.Attach(Engine, [this] { return Timer.Now(); });
    }
    void Queue(const std::string& text) {
        for (const char c : text)
            ASSERT_TRUE(Engine.PutChar(static_cast<uint8_t>(c)));
    }
    // Queues text, starts and runs the clock ms on.
    void Send(const std::string& text, int ms) {
        Queue(text);
        Engine.Start();
        Timer.Advance(ms);
    }
    TVirtualTimer Timer;
    std::vector<std::string> Messages;
    TMorseEngine Engine{&Timer, [this](const TMessage& m) { Messages.push_back(m.Text); }};
    TEventLog Log;
};

} // namespace

TEST_F(TimedMachine, TwoLettersEAtTheDefaults) {
    Send("ee", 5000);
    const Lines expected = {"0 start",    "100 ptt on", "300 down 100", "300 start e",
                            "400 up 100", "500 sent e", "700 down 100", "700 start e",
                            "800 up 100", "900 sent e", "900 last",     "2100 ptt off"};
    EXPECT_EQ(Log.Lines, expected);
    EXPECT_TRUE(Engine.Running());
    EXPECT_TRUE(Engine.IsIdle());
    EXPECT_TRUE(Messages.empty());
}

TEST_F(TimedMachine, DahsAndWordSpaceAndFixedPause) {
    Queue("t e");
    Engine.PutChar(254);
    Send("e", 3000);
    const Lines expected = {
        "0 start",        "100 ptt on",      "300 down 300",   "300 start t", "600 up 100",
        "700 sent t",     "900 start space", "900 sent space", // word space: 200 + 400 ms
        "1300 down 100",  "1300 start e",    "1400 up 100",    "1500 sent e", "1700 start #254",
        "1700 sent #254", // fixed pause: 4 dots
        "2100 down 100",  "2100 start e",    "2200 up 100",    "2300 sent e", "2300 last"};
    EXPECT_EQ(Log.Lines, expected);
}

TEST_F(TimedMachine, PttLeadAndHoldTimes) {
    Engine.SetTimePttStart(250); // rounded up to whole dots, at least one more: 300 ms
    Engine.SetTimePttHold(0);    // one dot period
    Send("e", 2000);
    const Lines expected = {"0 start",    "100 ptt on", "400 down 100", "400 start e",
                            "500 up 100", "600 sent e", "600 last",     "800 ptt off"};
    EXPECT_EQ(Log.Lines, expected);
}

TEST_F(TimedMachine, StopAfterCharFinishesTheText) {
    Send("ee", 300);
    EXPECT_TRUE(Engine.StopAfterChar());
    Timer.Advance(2000);
    const Lines tail(Log.Lines.end() - 4, Log.Lines.end());
    const Lines expected = {"900 sent e", "900 last", "1100 ptt off", "1100 stop"};
    EXPECT_EQ(tail, expected);
    EXPECT_FALSE(Engine.Running());
    EXPECT_FALSE(Timer.Enabled());
    EXPECT_EQ(Timer.PeriodsBegun, 1);
    EXPECT_EQ(Timer.PeriodsEnded, 1);
}

TEST_F(TimedMachine, StopAfterCharWithHoldStopsAfterTheCurrentCharacter) {
    Send("ee", 300);
    Engine.SetHold(true);
    Engine.StopAfterChar();
    Timer.Advance(2000);
    const Lines tail(Log.Lines.end() - 3, Log.Lines.end());
    const Lines expected = {"500 sent e", "700 ptt off", "700 stop"};
    EXPECT_EQ(tail, expected);
    EXPECT_TRUE(Engine.HasChars());       // the second e was never taken
    EXPECT_FALSE(Engine.StopAfterChar()); // not running any more
}

TEST_F(TimedMachine, AbortTwiceFiresItsEventsOnce) {
    Send("eee", 350);
    Engine.Abort();
    const Lines expected = {"0 start",  "100 ptt on", "300 down 100", "300 start e",
                            "350 up 0", "350 sent e", "350 last",     "350 ptt off"};
    EXPECT_EQ(Log.Lines, expected);
    EXPECT_FALSE(Engine.HasChars());
    EXPECT_FALSE(Timer.Enabled());
    Engine.PutChar('e');
    Engine.Abort();
    EXPECT_EQ(Log.Lines, expected);  // no events the second time
    EXPECT_FALSE(Engine.HasChars()); // but the buffer is emptied
}

TEST_F(TimedMachine, ManualStartAndStopWithoutAutoStartStop) {
    Engine.SetAutoStartStop(false);
    Send("e", 1000);
    EXPECT_EQ(Log.Lines, Lines{"0 start"}); // nothing is sent on its own
    EXPECT_TRUE(Engine.StartSending());
    Timer.Advance(10000); // PTT stays on after the text
    const Lines expected = {"0 start",     "1100 ptt on", "1300 down 100", "1300 start e",
                            "1400 up 100", "1500 sent e", "1500 last"};
    EXPECT_EQ(Log.Lines, expected);
    EXPECT_TRUE(Engine.PttState());
    EXPECT_TRUE(Engine.StopAtEnd()); // now the hold runs out: 11 dot periods
    Timer.Advance(1100);
    EXPECT_EQ(Log.Lines.back(), "12100 ptt off");
}

TEST_F(TimedMachine, StopAtEndNowSwitchesPttOffAtTheNextCheck) {
    Engine.SetAutoStartStop(false);
    Queue("e");
    Engine.Start();
    Engine.StartSending();
    Timer.Advance(3000);
    Engine.StopAtEndNow();
    Timer.Advance(100);
    EXPECT_EQ(Log.Lines.back(), "3100 ptt off");
}

TEST_F(TimedMachine, CharacterQueuedWhileWaitingInStateThree) {
    Send("e", 750); // e sent at 500; state-3 ticks at 700, 800, ...
    EXPECT_EQ(Engine.Phase(), TEnginePhase::Waiting);
    Queue("t");
    Timer.Advance(600);
    const Lines tail(Log.Lines.end() - 5, Log.Lines.end());
    // taken at the 800 tick, keyed one dot later
    const Lines expected = {"900 down 300", "900 start t", "1200 up 100", "1300 sent t",
                            "1300 last"};
    EXPECT_EQ(tail, expected);
}

TEST_F(TimedMachine, HoldKeepsTheIdleEngineFromStarting) {
    Engine.Start();
    Engine.SetHold(true);
    Queue("e");
    Timer.Advance(3000);
    EXPECT_EQ(Log.Lines, Lines{"0 start"});
    Engine.SetHold(false);
    Timer.Advance(100);
    EXPECT_EQ(Log.Lines.back(), "3100 ptt on");
}

TEST_F(TimedMachine, SlowStepIsReported) {
    double now = 0.0;
    Engine.SetDayClock([&now] { return now += 0.003; }); // each step takes 0.003 day
    Engine.Start();
    Timer.Advance(100);
    EXPECT_TRUE(Messages.empty());
    Engine.SetDayClock([&now] { return now += 0.006; });
    Timer.Advance(100);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "CW loop time error: 0.006");
}

TEST_F(TimedMachine, ExactDurationsAtHighSpeedWithWeight) {
    Engine.SetSpeed(300);
    Engine.SetWeight(150);
    Engine.SetTimePttStart(0);
    Send("a", 1500);
    // dot 20 ms: dit down 24, gap 16, dah down 64; PTT lead one dot; hold 51 dot periods
    const Lines expected = {"0 start",    "20 ptt on", "40 down 24", "40 start a", "64 up 16",
                            "80 down 64", "144 up 16", "160 sent a", "160 last",   "1200 ptt off"};
    EXPECT_EQ(Log.Lines, expected);
}

// A speed change while a dah is keyed: the dah keeps the duration it started with, and every
// later element and space has the new durations.
TEST_F(TimedMachine, SpeedChangeInTheMiddleOfAnElement) {
    Send("tt", 450); // the first dah started at 300 for 300 ms
    Engine.SetSpeed(120);
    Timer.Advance(1000);
    const Lines expected = {"0 start",   "100 ptt on", "300 down 300", "300 start t",
                            "600 up 50", "650 sent t", "750 down 150", "750 start t",
                            "900 up 50", "950 sent t", "950 last"};
    EXPECT_EQ(Log.Lines, expected);
}
