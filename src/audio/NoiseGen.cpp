#include "audio/NoiseGen.h"

#include "base/Ranges.h"

#include <algorithm>
#include <cmath>

namespace brindle {

void TNoiseGen::SetLeveldB(int dB) {
    LeveldB_ = ranges::NoiseLevel.Clamp(dB);
    Factor_ = 32767.0 * std::pow(10.0, LeveldB_.load() / 20.0);
}

void TNoiseGen::Mute(bool on) {
    if (on)
        Factor_ = 0.0;
    else
        SetLeveldB(LeveldB_.load());
}

int TNoiseGen::NextNoise() {
    double v = 0.0;
    const double factor = Factor_.load(std::memory_order_relaxed);
    if (NoiseType_.load(std::memory_order_relaxed) == TNoiseType::Gaussian)
        v = Random_.NextGaussian() * 0.7071 * factor;
    else
        v = (Random_.NextDouble() - 0.5) * factor * 2.44;
    return static_cast<int>(std::clamp(std::nearbyint(v), -32767.0, 32767.0));
}

void TNoiseGen::AddNoise(int16_t* samples, int byteCount) {
    if (samples == nullptr || byteCount < 2) return;
    const int n = byteCount / 2;
    for (int i = 0; i < n; ++i) {
        const int s = samples[i] + NextNoise();
        samples[i] = static_cast<int16_t>(std::clamp(s, -32767, 32767));
    }
}

} // namespace brindle
