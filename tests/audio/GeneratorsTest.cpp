#include "audio/BlipGen.h"
#include "audio/NoiseGen.h"
#include "audio/SineGen.h"
#include "audio/SineTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace brindle;

TEST(SinusTab, QuarterWaveLookupAndSizeLimits) {
    const TSinusTab tab(8000);
    ASSERT_TRUE(tab.Valid());
    std::vector<double> exact;
    for (const uint32_t p : {0, 2000, 4000, 6000, 8000 + 2000})
        exact.push_back(tab.Value(p));
    EXPECT_EQ(exact, (std::vector<double>{0.0, 1.0, 0.0, -1.0, 1.0}));
    EXPECT_TRUE(std::signbit(tab.Value(4000))); // -t[0]
    for (uint32_t p = 0; p < 8000; p += 37)
        EXPECT_NEAR(tab.Value(p), std::sin(p * 2 * M_PI / 8000), 4e-15) << p;
    // symmetric halves are exact mirrors
    EXPECT_EQ(tab.Value(1000), tab.Value(3000));
    EXPECT_EQ(tab.Value(5000), -tab.Value(1000));

    EXPECT_FALSE(TSinusTab(999).Valid());
    EXPECT_FALSE(TSinusTab(8001).Valid());
    EXPECT_EQ(TSinusTab(999).Value(10), 0.0);
    const TSinusTab odd(1001); // 3N/4 branch must stay inside the table
    ASSERT_TRUE(odd.Valid());
    for (uint32_t p = 0; p < 1001; ++p)
        EXPECT_LE(std::fabs(odd.Value(p)), 1.0);
}

TEST(SineGen, PhaseRunsByTheFrequency) {
    TSineGen g;
    g.SetFrequency(800);
    std::vector<uint32_t> phases;
    for (int i = 0; i < 11; ++i) {
        phases.push_back(g.Phase());
        g.Advance();
    }
    EXPECT_EQ(phases,
              (std::vector<uint32_t>{0, 800, 1600, 2400, 3200, 4000, 4800, 5600, 6400, 7200, 0}));
    g.SetSampleFreq(44100);
    EXPECT_EQ(g.SampleFreq(), 8000u);
    TSineGen h;
    h.SetLeveldB(-6);
    h.SetFrequency(2000);
    h.Advance(); // phase 2000: the peak
    EXPECT_NEAR(h.Value(), 0.501, 0.001);
    g.SetFrequency(0xFFFFFFFFu); // any value is stored; the phase never overflows
    g.Advance();
    EXPECT_LT(g.Phase(), 8000u);
}

TEST(BlipGen, WaveformAndLevel) {
    TBlipGen b;
    b.BuildBlip();
    EXPECT_EQ(b.Waveform(0), 0);
    int peakAt = 0;
    int32_t peak = 0;
    for (int k = 0; k < TBlipGen::BlipLength; ++k) {
        EXPECT_LT(std::abs(b.Waveform(k)), 32000) << k;
        if (std::abs(b.Waveform(k)) > peak) {
            peak = std::abs(b.Waveform(k));
            peakAt = k;
        }
    }
    EXPECT_NEAR(peakAt, 100, 25);
    EXPECT_LT(std::abs(b.Waveform(799)), 40); // decays to about 0.0008
    b.SetLeveldB(0);
    TBlipGen quiet;
    quiet.BuildBlip();
    quiet.SetLeveldB(-20);
    for (int k = 0; k < TBlipGen::BlipLength; ++k)
        EXPECT_EQ(quiet.BlipSample(k),
                  static_cast<int16_t>(b.Waveform(k) / 32767.0 * (32767.0 * std::pow(10.0, -1.0))));
    b.SetLeveldB(5);
    EXPECT_EQ(b.LeveldB(), 0.0);
    EXPECT_EQ(b.BlipSample(-1), 0);
    EXPECT_EQ(b.BlipSample(800), 0);
}

TEST(NoiseGen, LevelsMuteAndClipping) {
    TNoiseGen n(1);
    n.SetLeveldB(5);
    EXPECT_EQ(n.LeveldB(), 0);
    EXPECT_NEAR(n.LevelFactor(), 32767.0, 1e-9);
    n.SetLeveldB(-100);
    EXPECT_EQ(n.LeveldB(), -80);
    n.SetLeveldB(-20);
    const double factor = n.LevelFactor();
    n.Mute(true);
    EXPECT_EQ(n.LevelFactor(), 0.0);
    n.Mute(false);
    EXPECT_EQ(n.LevelFactor(), factor);

    n.SetLeveldB(0);
    n.SetNoiseType(TNoiseType::Constant);
    std::vector<int16_t> s(20000);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = i % 2 ? 32000 : -32000;
    n.AddNoise(s.data(), static_cast<int>(s.size() * 2));
    bool clippedHigh = false, clippedLow = false;
    for (const int16_t v : s) {
        EXPECT_GE(v, -32767);
        clippedHigh = clippedHigh || v == 32767;
        clippedLow = clippedLow || v == -32767;
    }
    EXPECT_TRUE(clippedHigh);
    EXPECT_TRUE(clippedLow);
    std::vector<int16_t> one{7};
    n.AddNoise(one.data(), 1); // below one sample: untouched
    EXPECT_EQ(one[0], 7);
}

// And the same seed gives the same noise.
TEST(NoiseGen, BothKindsHaveNearlyTheSameRms) {
    for (const auto type : {TNoiseType::Gaussian, TNoiseType::Constant}) {
        TNoiseGen n(12345), twin(12345);
        for (TNoiseGen* g : {&n, &twin}) {
            g->SetLeveldB(-20);
            g->SetNoiseType(type);
        }
        double sum = 0.0, sq = 0.0;
        const int count = 200000;
        for (int i = 0; i < count; ++i) {
            const double v = n.NextNoise();
            ASSERT_EQ(v, twin.NextNoise()) << i;
            sum += v;
            sq += v * v;
        }
        const double rms = std::sqrt(sq / count);
        EXPECT_NEAR(rms / n.LevelFactor(), type == TNoiseType::Gaussian ? 0.7071 : 0.7044, 0.01);
        EXPECT_NEAR(sum / count, 0.0, n.LevelFactor() * 0.01);
    }
}
