// Band conditions measured from the samples they make: the fading's envelope is Rayleigh with
// the spread of its preset, the crashes come at their rate, the band noise lies around the tone;
// the same seed gives the same samples, and with everything off nothing changes.
#include "conditions/BandConditions.h"
#include "support/Goertzel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace brindle;

namespace {

constexpr int kRate = 8000;

// A steady level of 16000 on the keyed channel, through the conditions.
std::vector<int16_t> Through(const TBandConditionsSpec& spec, std::size_t frames,
                             int16_t level = 16000) {
    std::vector<int16_t> s(frames, level);
    TBandConditions band(spec, 700, kRate);
    band.Process(s.data(), s.size(), 1);
    return s;
}

// The autocorrelation coefficient of x at a lag.
double Correlation(const std::vector<double>& x, std::size_t lag) {
    double mean = 0;
    for (double v : x)
        mean += v;
    mean /= static_cast<double>(x.size());
    double num = 0, den = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        den += (x[i] - mean) * (x[i] - mean);
        if (i + lag < x.size()) num += (x[i] - mean) * (x[i + lag] - mean);
    }
    return num / den;
}

} // namespace

TEST(BandConditions, FadingIsRayleighWithThePresetsSpread) {
    // 20 minutes of "fast" fading, one gain a second (independent at 1 Hz): Kolmogorov-Smirnov
    // against the Rayleigh distribution of unit mean power, F(r) = 1 - exp(-r^2).
    TBandConditionsSpec fast;
    fast.QsbHz = QsbFastHz;
    fast.QsbDepthDb = 60;
    fast.Seed = 11;
    const std::vector<int16_t> s = Through(fast, 1200u * kRate);
    std::vector<double> r;
    for (std::size_t k = 0; k < s.size(); k += kRate)
        r.push_back(s[k] / 16000.0);
    std::sort(r.begin(), r.end());
    double d = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const double f = 1 - std::exp(-r[i] * r[i]);
        d = std::max({d, std::fabs(f - static_cast<double>(i) / r.size()),
                      std::fabs(f - static_cast<double>(i + 1) / r.size())});
    }
    EXPECT_LT(d, 1.63 / std::sqrt(static_cast<double>(r.size()))); // 1 % level
    // No fade goes deeper than the depth asked.
    TBandConditionsSpec shallow = fast;
    shallow.QsbDepthDb = 10;
    const std::vector<int16_t> limited = Through(shallow, 120u * kRate);
    EXPECT_GE(*std::min_element(limited.begin(), limited.end()), 16000 * 0.316 - 1);

    // The spread: the power's correlation at the lag 1 / (2 pi f) is exp(-2) for a channel of
    // that Doppler spread; the slow preset is still far more alike there.
    auto powerCorrelationAt = [](const std::vector<int16_t>& x, double lagSeconds) {
        std::vector<double> p;
        for (std::size_t k = 0; k < x.size(); k += 80) // 10 ms
            p.push_back(static_cast<double>(x[k]) * x[k]);
        return Correlation(p, static_cast<std::size_t>(lagSeconds * 100));
    };
    const double lag = 1 / (2 * std::numbers::pi * QsbFastHz);
    EXPECT_NEAR(powerCorrelationAt(s, lag), std::exp(-2.0), 0.05);
    TBandConditionsSpec slow = fast;
    slow.QsbHz = QsbSlowHz;
    EXPECT_GT(powerCorrelationAt(Through(slow, 1200u * kRate), lag), 0.8);
}

TEST(BandConditions, CrashesComeAtTheirRateAndBandNoiseLiesAroundTheTone) {
    // Ten minutes at one crash a second: onsets found in the samples, as a jump of the 2 ms
    // peak to four times the one before.
    TBandConditionsSpec qrn;
    qrn.QrnPerSecond = 1;
    qrn.QrnLevelDb = -10;
    qrn.Seed = 5;
    std::vector<int16_t> s(600u * kRate, 0);
    TBandConditions band(qrn, 700, kRate);
    band.Process(s.data(), s.size(), 1);
    std::vector<int> peaks;
    for (std::size_t k = 0; k < s.size(); k += 16) {
        int m = 0;
        for (std::size_t j = k; j < k + 16; ++j)
            m = std::max(m, std::abs(static_cast<int>(s[j])));
        peaks.push_back(m);
    }
    int onsets = 0;
    for (std::size_t b = 2; b < peaks.size(); ++b)
        onsets += peaks[b] > 500 && peaks[b] > 4 * std::max(peaks[b - 1], peaks[b - 2]);
    EXPECT_NEAR(onsets, 600, 60);
    EXPECT_NEAR(static_cast<double>(band.Crashes()), 600, 60);

    // Noise through a 300 Hz filter at 700 Hz: its power is at the tone, and its level keeps the
    // white noise's density in the band (-20 dB: 0.7071 x 3277 over sqrt(4000 / 300)).
    TBandConditionsSpec noise;
    noise.BandNoiseWidthHz = 300;
    noise.NoiseDb = -20;
    const std::vector<int16_t> n = Through(noise, 10u * kRate, 0);
    EXPECT_GT(test::GoertzelPower(n, 700), 100 * test::GoertzelPower(n, 2200));
    EXPECT_GT(test::GoertzelPower(n, 700), 100 * test::GoertzelPower(n, 150));
    double sum = 0;
    for (const int16_t v : n)
        sum += static_cast<double>(v) * v;
    EXPECT_NEAR(std::sqrt(sum / n.size()), 0.7071 * 3277 * std::sqrt(300.0 / 4000), 120);
}

TEST(BandConditions, TheSameSeedTheSameSamplesAndOffChangesNothing) {
    TBandConditionsSpec all;
    all.QsbHz = QsbFlutterHz;
    all.QrnPerSecond = 3;
    all.BandNoiseWidthHz = 500;
    for (const uint32_t seed : {0u, 4294967295u}) {
        all.Seed = seed;
        EXPECT_EQ(Through(all, kRate), Through(all, kRate)) << seed;
    }
    TBandConditionsSpec other = all;
    other.Seed = 1;
    EXPECT_NE(Through(all, kRate), Through(other, kRate));
    // Off: the keyed channel and the reference beside it are as they were.
    std::vector<int16_t> stereo{100, -200, 300, -400};
    TBandConditions off(TBandConditionsSpec{}, 700, kRate);
    off.Process(stereo.data(), 2, 2);
    EXPECT_EQ(stereo, (std::vector<int16_t>{100, -200, 300, -400}));
}
