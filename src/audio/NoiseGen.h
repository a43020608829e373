// Adds random noise to a rendered sound buffer, so that the learner can practise copying through
// noise. Normal or uniform distribution with nearly equal RMS; results clip to +-32767. The level
// and the type may be set from another thread than the one adding the noise.
#pragma once

#include "base/Random.h"

#include <atomic>
#include <cstdint>

namespace brindle {

enum class TNoiseType { Gaussian, Constant };

class TNoiseGen {
public:
    explicit TNoiseGen(uint32_t seed = ClockSeed()) : Random_(seed) {}

    int LeveldB() const { return LeveldB_.load(); } // [dB], -80..0
    void SetLeveldB(int dB);
    TNoiseType NoiseType() const { return NoiseType_.load(); }
    void SetNoiseType(TNoiseType type) { NoiseType_ = type; }
    void Mute(bool on);
    double LevelFactor() const { return Factor_.load(); }

    // Adds one noise value to each of the byteCount/2 samples, clipping to -32767..32767.
    void AddNoise(int16_t* samples, int byteCount);
    int NextNoise();

    TRandomSource& Random() { return Random_; }

private:
    TRandomSource Random_;
    std::atomic<int> LeveldB_{-10};
    std::atomic<TNoiseType> NoiseType_{TNoiseType::Gaussian};
    std::atomic<double> Factor_{32767.0 * 0.31622776601683794}; // -10 dB
};

} // namespace brindle
