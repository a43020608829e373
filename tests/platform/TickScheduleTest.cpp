// The timer driver's due times on a stepped clock. The engine re-arms from inside each tick the
// way OnCWTimer does: disable, set the next interval, enable.
#include "platform/TickSchedule.h"

#include <gtest/gtest.h>

using brindle::TTickSchedule;

namespace {

constexpr int64_t Ms = TTickSchedule::NsPerMs;

class TickSchedule : public ::testing::Test {
protected:
    // Runs one tick that starts lateNs after it was due; the handler re-arms for nextMs (0: the
    // handler leaves the timer alone). Returns whether the platform timer is armed afterwards.
    bool Tick(int64_t lateNs, int nextMs) {
        Now = S.Due() + lateNs;
        S.BeginTick();
        bool armed = false;
        if (nextMs > 0) {
            S.SetEnabled(false, Now);
            S.SetInterval(nextMs, Now);
            armed = S.SetEnabled(true, Now);
        }
        return S.EndTick(Now) || armed;
    }
    TTickSchedule S;
    int64_t Now = 1000 * Ms;
};

} // namespace

TEST_F(TickSchedule, LateTicksDoNotAddUpOverATextAndAStallCountsFromNow) {
    S.SetInterval(100, Now);
    ASSERT_TRUE(S.SetEnabled(true, Now));
    EXPECT_EQ(S.Due(), Now + 100 * Ms);
    const int64_t start = S.Due();
    // Every tick runs 3 ms late; each next one still counts from when its tick was due.
    int64_t planned = start;
    for (const int next : {300, 100, 100, 300, 100}) {
        EXPECT_TRUE(Tick(3 * Ms, next));
        planned += next * Ms;
        EXPECT_EQ(S.Due(), planned);
    }
    EXPECT_EQ(S.Due(), start + 900 * Ms);
    // A stall counts from now instead of shortening elements.
    EXPECT_TRUE(Tick(5 * Ms, 100)); // at the limit: still counted from the due time
    const int64_t due = S.Due();
    EXPECT_EQ(due, Now - 5 * Ms + 100 * Ms);
    EXPECT_TRUE(Tick(40 * Ms, 60)); // a 40 ms stall: the next element keeps its 60 ms
    EXPECT_EQ(S.Due(), Now + 60 * Ms);
}

TEST_F(TickSchedule, PeriodicWithoutRearmingAndStoppedFromTheHandler) {
    S.SetInterval(50, Now);
    S.SetEnabled(true, Now);
    const int64_t first = S.Due();
    EXPECT_TRUE(Tick(2 * Ms, 0)); // the handler does nothing: periodic from the due time
    EXPECT_EQ(S.Due(), first + 50 * Ms);
    EXPECT_TRUE(Tick(60 * Ms, 0)); // more than a period behind: from now
    EXPECT_EQ(S.Due(), Now + 50 * Ms);
    // The handler stops the timer: nothing is armed.
    Now = S.Due();
    S.BeginTick();
    S.SetEnabled(false, Now);
    EXPECT_FALSE(S.EndTick(Now));
    EXPECT_FALSE(S.Enabled());
    // Enabling outside a tick counts from now, whatever the last tick was.
    Now += 500 * Ms;
    EXPECT_TRUE(S.SetEnabled(true, Now));
    EXPECT_EQ(S.Due(), Now + 50 * Ms);
    EXPECT_FALSE(S.SetEnabled(true, Now)); // already enabled: no new due time
    EXPECT_TRUE(S.SetInterval(0, Now));    // below 1 ms: 1 ms
    EXPECT_EQ(S.Due(), Now + Ms);
}

// A late wake widens the spin before the next ticks at once to cover it, never beyond the cap;
// ticks that wake on time narrow it back to the minimum, slowly.
TEST(WakeMargin, WidensAtOnceAndNarrowsSlowly) {
    brindle::TWakeMargin m;
    EXPECT_EQ(m.Ns(), brindle::TWakeMargin::MinNs);
    m.Woke(100'000); // well within the minimum
    EXPECT_EQ(m.Ns(), brindle::TWakeMargin::MinNs);
    m.Woke(Ms + Ms / 2);
    EXPECT_EQ(m.Ns(), Ms + Ms / 2 + brindle::TWakeMargin::SlackNs);
    m.Woke(20 * Ms);
    EXPECT_EQ(m.Ns(), brindle::TWakeMargin::MaxNs);
    int ticks = 0;
    for (int64_t last = m.Ns(); m.Ns() > brindle::TWakeMargin::MinNs + Ms / 10; last = m.Ns()) {
        m.Woke(0);
        ASSERT_LT(m.Ns(), last);
        ++ticks;
    }
    EXPECT_GT(ticks, 64); // seconds of on-time ticks at any speed, not one
    EXPECT_LT(ticks, 400);
}
