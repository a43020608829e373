// The range of every number a user can set: the engine clamps its properties to them, the
// settings reader clamps what it reads, brindle-render checks its options, and the parameters
// window limits its fields. One place, so that the limits never disagree.
#pragma once

#include <algorithm>

namespace brindle {

struct TRange {
    int Min = 0;
    int Max = 0;
    constexpr int Clamp(int v) const { return std::clamp(v, Min, Max); }
    constexpr bool Contains(int v) const { return v >= Min && v <= Max; }
};

namespace ranges {
inline constexpr TRange Speed{10, 300};       // [CpM], also the Farnsworth/Wordsworth speed
inline constexpr TRange Frequency{100, 2000}; // [Hz]
inline constexpr TRange Slope{0, 500};        // [samples]
inline constexpr TRange Weight{30, 300};      // [%]
inline constexpr TRange Ratio{150, 600};      // [% of a dot]
inline constexpr TRange OutputLevel{-80, 0};  // [dB] of the tone; the engine enforces only Max
inline constexpr TRange NoiseLevel{-80, 0};   // [dB]
inline constexpr TRange ComPort{0, 256};      // 0: no port
inline constexpr TRange Groups{1, 1000};      // items per practice session
inline constexpr TRange GroupSize{1, 15};     // characters per random group
} // namespace ranges

} // namespace brindle
