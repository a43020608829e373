#include "engine/MorseEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <tuple>

using brindle::TMorseEngine;
using brindle::TSpacing;

namespace {

// Every duration of a timing: ms/samples where both exist.
std::string Describe(const brindle::TCWTiming& t) {
    std::ostringstream o;
    o << "dot " << t.DotMs << "/" << t.DotSamples << " fw " << t.FwUnitMs << "/" << t.FwUnitSamples
      << " gap " << t.GapMs << "/" << t.GapSamples << " dit " << t.DitDownMs << "/"
      << t.DitDownSamples << " dah " << t.DahDownMs << "/" << t.DahSamples << " char "
      << t.CharGapExtraMs << "/" << t.CharGapExtraSamples << " word " << t.WordGapExtraMs << "/"
      << t.WordGapExtraSamples << " ptt " << t.PttLeadMs << "/" << t.PttLeadSamples << " hold "
      << t.HoldLimit << " pause " << t.FixedPauseMs << "/" << t.FixedPauseSamples;
    return o.str();
}

} // namespace

// Fixed pauses are 4 dots whatever the spacing.
TEST(Timing, WorkedValues) {
    const std::tuple<int, int, int, std::string> cases[] = {
        {60, 60, 0,
         "dot 100/800 fw 0/0 gap 100/781 dit 100/779 dah 300/2400 char 200/1600 word 400/3200 "
         "ptt 200/800 hold 11 pause 400/3200"},
        {50, 100, 1,
         "dot 60/480 fw 218/1743 gap 60/461 dit 60/459 dah 180/1440 char 594/4749 word 872/6972 "
         "ptt 120/800 hold 17 pause 240/1920"},
        {50, 100, 2,
         "dot 60/480 fw 489/3909 gap 60/461 dit 60/459 dah 180/1440 char 120/960 word 3243/25923 "
         "ptt 120/800 hold 17 pause 240/1920"},
    };
    for (const auto& [speed, fw, mode, expected] : cases) {
        TMorseEngine e;
        e.SetFWSpeed(fw);
        e.SetSpeed(speed);
        e.SetSpacing(static_cast<TSpacing>(mode));
        EXPECT_EQ(Describe(e.Timing()), expected) << "mode " << mode;
    }
}

TEST(Timing, WeightAndSpeedLimits) {
    TMorseEngine e;
    e.SetWeight(150);
    EXPECT_EQ(e.Timing().GapMs, 80);
    EXPECT_EQ(e.Timing().DitDownMs, 120);
    EXPECT_EQ(e.Timing().DahDownMs, 320);
    e.SetSlope(0);
    EXPECT_EQ(e.Timing().GapSamples, 640);
    EXPECT_EQ(e.Timing().DitDownSamples, 960);

    TMorseEngine fast;
    fast.SetSpeed(300);
    EXPECT_EQ(fast.Timing().DotMs, 20);
    EXPECT_EQ(fast.Timing().DotSamples, 160);
    TMorseEngine slow;
    slow.SetSpeed(10);
    EXPECT_EQ(slow.Timing().DotMs, 600);
    EXPECT_EQ(slow.Timing().DotSamples, 4800);
    EXPECT_EQ(slow.Timing().PttLeadSamples, 4800); // 800 is less than one dot
}

TEST(Timing, SpacingAtOrAboveCharacterSpeedIsStandard) {
    for (const int mode : {1, 2}) {
        for (const int speed : {100, 150}) {
            TMorseEngine plain;
            plain.SetSpeed(speed);
            TMorseEngine spaced;
            spaced.SetFWSpeed(100);
            spaced.SetSpeed(speed);
            spaced.SetSpacing(static_cast<TSpacing>(mode));
            EXPECT_EQ(spaced.Timing().CharGapExtraSamples, plain.Timing().CharGapExtraSamples);
            EXPECT_EQ(spaced.Timing().WordGapExtraMs, plain.Timing().WordGapExtraMs);
            EXPECT_EQ(spaced.Timing().DotMs, plain.Timing().DotMs);
        }
    }
}

TEST(Timing, SettersCompareClampStoreAndNotify) {
    TMorseEngine e;
    std::vector<std::pair<std::string, int>> events;
    auto log = [&](const char* name) {
        return [&events, name](TMorseEngine&, int v) { events.emplace_back(name, v); };
    };
    e.OnSpeedChanged = log("speed");
    e.OnFreqChanged = log("freq");
    e.OnSlopeChanged = log("slope");
    e.OnWeightChanged = log("weight");
    e.SetSpeed(60); // unchanged: nothing happens
    EXPECT_TRUE(events.empty());
    e.SetMinSpeed(40);
    e.SetSpeed(20);
    EXPECT_EQ(e.Speed(), 40);
    e.SetMaxSpeed(100);
    e.SetSpeed(250);
    EXPECT_EQ(e.Speed(), 100);
    EXPECT_EQ(e.Timing().DotMs, 60);
    e.SetFrequency(50);
    EXPECT_EQ(e.Frequency(), 100);
    EXPECT_EQ(e.Tone1().Frequency(), 100u);
    e.SetFrequency(5000);
    EXPECT_EQ(e.Frequency(), 2000);
    e.SetWeight(1000);
    EXPECT_EQ(e.Weight(), 300);
    const std::vector<std::pair<std::string, int>> expected = {
        {"speed", 40}, {"speed", 100}, {"freq", 100}, {"freq", 2000}, {"weight", 300}};
    EXPECT_EQ(events, expected);

    e.SetTimePttStart(-5);
    EXPECT_EQ(e.TimePttStart(), 0);
    e.SetTimePttHold(0);
    EXPECT_EQ(e.Timing().HoldLimit, 1);
    e.SetLogAmplitude(3);
    EXPECT_EQ(e.LogAmplitude(), 0);
    e.SetRatio(100);
    EXPECT_EQ(e.Ratio(), 150);
}

TEST(Timing, SlopeBoundsWhenSet) {
    TMorseEngine e;
    e.SetSlope(0);
    EXPECT_EQ(e.Timing().DitDownSamples, 800);
    EXPECT_EQ(e.Timing().GapSamples, 800);
    EXPECT_EQ(e.Timing().SlopeLength, 0);
    e.SetWeight(300); // gap 400, dit down 1200
    e.SetSlope(450);
    EXPECT_EQ(e.Slope(), 400); // cut to the gap
    e.SetSlope(900);
    EXPECT_EQ(e.Slope(), 400);
    TMorseEngine f;
    f.SetSpeed(120); // dot 400 samples
    f.SetSlope(500);
    EXPECT_EQ(f.Slope(), 399); // dit down - 1
    EXPECT_EQ(f.Timing().DitDownSamples, 0);
    EXPECT_EQ(f.Timing().GapSamples, 2);
}

// The spacing unit is computed in extended precision with ties to even. Double precision gives
// other integers at exactly these points, so the engine computes in long double.
TEST(Timing, SpacingUnitNeedsExtendedPrecision) {
    if (std::numeric_limits<long double>::digits != 64)
        GTEST_SKIP() << "long double is not the 80-bit extended type here";
    auto unit = [](auto zero, int s, int f, int mode, bool samples) {
        using F = decltype(zero);
        const F stretch = F(300000) / s - F(mode == 1 ? 186000 : 258000) / f;
        const F units = mode == 1 ? F(19) : F(7);
        return std::lrint(samples ? stretch * 8 / units : stretch / units);
    };
    std::set<std::tuple<int, int, int, bool>> differ;
    TMorseEngine e;
    for (int f = 10; f <= 300; ++f) {
        for (int s = 10; s < f; ++s) {
            for (const int mode : {1, 2}) {
                e.SetFWSpeed(f);
                e.SetSpeed(s);
                e.SetSpacing(static_cast<TSpacing>(mode));
                for (const bool samples : {false, true}) {
                    const long engine = samples ? e.Timing().FwUnitSamples : e.Timing().FwUnitMs;
                    ASSERT_EQ(engine, unit(0.0L, s, f, mode, samples)) << s << " " << f;
                    if (unit(0.0, s, f, mode, samples) != engine)
                        differ.insert({s, f, mode, samples});
                }
            }
        }
    }
    const std::set<std::tuple<int, int, int, bool>> expected = {{36, 288, 2, false},
                                                                {225, 288, 2, false}};
    EXPECT_EQ(differ, expected);
    e.SetFWSpeed(288);
    e.SetSpacing(TSpacing::Wordsworth);
    e.SetSpeed(36);
    EXPECT_EQ(e.Timing().FwUnitMs, 1062); // a tie of the exact value, to even
    e.SetSpeed(225);
    EXPECT_EQ(e.Timing().FwUnitMs, 63); // extended rounding lands just above the tie
}
