#include "conditions/BandConditions.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brindle {

namespace {

constexpr double Pi = std::numbers::pi;

double FromDb(double db) {
    return std::pow(10.0, db / 20.0);
}

} // namespace

TBandConditions::TBandConditions(const TBandConditionsSpec& spec, int toneHz, int sampleRate)
    : Spec_(spec), SampleRate_(sampleRate), Random_(spec.Seed) {
    if (Spec_.QsbHz > 0) {
        // A one-pole low-pass at the Doppler spread, on the fading's own step; its output's
        // variance a / (2 - a) is normalised to 1, so that I^2 + Q^2 has the mean 2.
        const double stepRate = static_cast<double>(sampleRate) / kFadeStep;
        FadeA_ = 1.0 - std::exp(-2.0 * Pi * Spec_.QsbHz / stepRate);
        FadeNorm_ = 1.0 / std::sqrt(FadeA_ / (2.0 - FadeA_));
        FadeFloor_ = FromDb(-Spec_.QsbDepthDb);
        // Started in the stationary state: no warm-up.
        FadeI_ = Random_.NextGaussian() / FadeNorm_;
        FadeQ_ = Random_.NextGaussian() / FadeNorm_;
        FadeGain_ = FadePrevGain_ =
            std::max(FadeFloor_, std::hypot(FadeI_, FadeQ_) * FadeNorm_ / std::sqrt(2.0));
    }
    if (Spec_.QrnPerSecond > 0) {
        UntilNextCrash_ = -std::log(1.0 - Random_.NextDouble()) * sampleRate / Spec_.QrnPerSecond;
    }
    if (Spec_.BandNoiseWidthHz > 0) {
        // A band-pass biquad (constant peak gain) centred on the tone, as wide as asked.
        const double w0 = 2.0 * Pi * std::clamp(toneHz, 50, sampleRate / 2 - 50) / sampleRate;
        const double q = std::max(0.3, static_cast<double>(toneHz) / Spec_.BandNoiseWidthHz);
        const double alpha = std::sin(w0) / (2.0 * q);
        const double a0 = 1.0 + alpha;
        B0_ = alpha / a0;
        B2_ = -alpha / a0;
        A1_ = -2.0 * std::cos(w0) / a0;
        A2_ = (1.0 - alpha) / a0;
        // The white noise's density at NoiseDb (the noise generator's Gaussian: 0.7071 of the
        // level), through the filter: unit-variance noise comes out with the variance
        // (pi / 2) x width / (rate / 2), the filter's noise bandwidth, so the band keeps the
        // density the white noise had in it.
        NoiseScale_ = 32767.0 * FromDb(Spec_.NoiseDb) * 0.7071 / std::sqrt(Pi / 2.0);
    }
}

double TBandConditions::NextFadingGain() {
    if (Spec_.QsbHz <= 0) return 1.0;
    if (FadePhase_ == 0) {
        FadeI_ += FadeA_ * (Random_.NextGaussian() - FadeI_);
        FadeQ_ += FadeA_ * (Random_.NextGaussian() - FadeQ_);
        FadePrevGain_ = FadeGain_;
        FadeGain_ = std::max(FadeFloor_, std::hypot(FadeI_, FadeQ_) * FadeNorm_ / std::sqrt(2.0));
    }
    const double t = static_cast<double>(FadePhase_) / kFadeStep;
    FadePhase_ = (FadePhase_ + 1) % kFadeStep;
    return FadePrevGain_ + (FadeGain_ - FadePrevGain_) * t;
}

double TBandConditions::NextCrash() {
    if (Spec_.QrnPerSecond <= 0) return 0.0;
    UntilNextCrash_ -= 1.0;
    while (UntilNextCrash_ <= 0) {
        // A crash: up to the level asked, decaying in 5 to 40 ms.
        const double tau = (0.005 + 0.035 * Random_.NextDouble()) * SampleRate_;
        Active_.push_back({32767.0 * FromDb(Spec_.QrnLevelDb) * (0.3 + 0.7 * Random_.NextDouble()),
                           std::exp(-1.0 / tau)});
        ++Crashes_;
        UntilNextCrash_ += -std::log(1.0 - Random_.NextDouble()) * SampleRate_ / Spec_.QrnPerSecond;
    }
    if (Active_.empty()) return 0.0;
    double envelope = 0;
    for (TCrash& c : Active_) {
        envelope += c.Amplitude;
        c.Amplitude *= c.Decay;
    }
    std::erase_if(Active_, [](const TCrash& c) { return c.Amplitude < 1.0; });
    // The crash's noise through a receiver's band (a low-pass at about 3 kHz less a low-pass at
    // about 200 Hz).
    const double w = Random_.NextGaussian();
    CrashHigh_ += 0.9 * (w - CrashHigh_);
    CrashLow_ += 0.15 * (w - CrashLow_);
    return envelope * (CrashHigh_ - CrashLow_);
}

double TBandConditions::NextBandNoise() {
    if (Spec_.BandNoiseWidthHz <= 0) return 0.0;
    const double x = Random_.NextGaussian();
    const double y = B0_ * x + B2_ * X2_ - A1_ * Y1_ - A2_ * Y2_;
    X2_ = X1_;
    X1_ = x;
    Y2_ = Y1_;
    Y1_ = y;
    return y * NoiseScale_;
}

void TBandConditions::Process(int16_t* samples, std::size_t frames, int channels) {
    if (!Spec_.Any() || samples == nullptr || channels < 1) return;
    const auto n = static_cast<std::size_t>(channels);
    for (std::size_t f = 0; f < frames; ++f) {
        const double gain = NextFadingGain();
        const double added = NextCrash() + NextBandNoise();
        int16_t* frame = samples + f * n;
        // The keyed tone is the last channel (the right one in stereo, beside the reference).
        for (std::size_t c = 0; c < n; ++c) {
            const double keyed = c + 1 == n ? frame[c] * gain : frame[c];
            frame[c] =
                static_cast<int16_t>(std::clamp(std::lround(keyed + added), -32767L, 32767L));
        }
    }
}

} // namespace brindle
