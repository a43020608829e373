// The power of one frequency in a signal (the Goertzel filter), for tests that ask where a tone
// or a noise lies.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace brindle::test {

inline double GoertzelPower(const std::vector<int16_t>& s, double hz, int sampleRate = 8000) {
    const double c = 2 * std::cos(2 * std::numbers::pi * hz / sampleRate);
    double s1 = 0, s2 = 0;
    for (const int16_t v : s) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

} // namespace brindle::test
