// Band conditions on a rendered Morse signal, as a receiver hears the band: fading of the wanted
// signal (QSB), static crashes (QRN) and band-limited noise around the tone. Seeded sample
// generators like the noise generator: the same seed and settings give the same samples, and with
// everything off the samples are left as they are.
#pragma once

#include "base/Random.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace brindle {

struct TBandConditionsSpec {
    // Fading: the Doppler spread of a Rayleigh channel [Hz]; 0: off. "slow" 0.1 Hz (a fade every
    // several seconds, as on a long path), "fast" 1 Hz (about a fade a second), "flutter" 10 Hz
    // (a warble, as through the aurora).
    double QsbHz = 0;
    double QsbDepthDb = 30; // the deepest fade [dB below the mean]
    // Static crashes: bursts of decaying band-limited noise at random times.
    double QrnPerSecond = 0; // [1/s] mean rate; 0: off
    int QrnLevelDb = -20;    // [dB of full scale] peak of the loudest crash
    // Noise around the tone through a receiver's filter of this width [Hz], at NoiseDb; 0: none.
    int BandNoiseWidthHz = 0;
    int NoiseDb = -30; // [dB] its level, as the white noise's
    uint32_t Seed = 1;

    bool Any() const { return QsbHz > 0 || QrnPerSecond > 0 || BandNoiseWidthHz > 0; }
};

// The presets of the fading's speed. [Hz]
inline constexpr double QsbSlowHz = 0.1, QsbFastHz = 1.0, QsbFlutterHz = 10.0;

class TBandConditions {
public:
    TBandConditions(const TBandConditionsSpec& spec, int toneHz, int sampleRate);

    // Applies the conditions to frames of interleaved samples: the keyed channel fades, and the
    // crashes and the noise are added to every channel; results clip to +-32767.
    void Process(int16_t* samples, std::size_t frames, int channels);

    // The fading's gain for the next sample (1: the mean power), for tests of its statistics.
    double NextFadingGain();
    // The number of crashes started so far.
    long Crashes() const { return Crashes_; }

private:
    double NextCrash();
    double NextBandNoise();

    TBandConditionsSpec Spec_;
    int SampleRate_;
    TRandomSource Random_;
    // Fading: two low-passed Gaussian processes, stepped every kFadeStep samples and interpolated.
    static constexpr int kFadeStep = 8;
    double FadeA_ = 0, FadeNorm_ = 1, FadeFloor_ = 0;
    double FadeI_ = 0, FadeQ_ = 0, FadeGain_ = 1, FadePrevGain_ = 1;
    int FadePhase_ = 0;
    // Crashes: each one's amplitude and its decay per sample, and the band-limited noise they
    // shape.
    struct TCrash {
        double Amplitude;
        double Decay;
    };
    std::vector<TCrash> Active_;
    long Crashes_ = 0;
    double UntilNextCrash_ = 0; // [samples]
    double CrashLow_ = 0, CrashHigh_ = 0;
    // Band noise: white Gaussian noise through a band-pass biquad at the tone.
    double B0_ = 0, B2_ = 0, A1_ = 0, A2_ = 0;
    double X1_ = 0, X2_ = 0, Y1_ = 0, Y2_ = 0;
    double NoiseScale_ = 0;
};

} // namespace brindle
