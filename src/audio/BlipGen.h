// The "blip": a fixed 100 ms two-tone chime (800 Hz + 960 Hz with a short attack and a long
// decay) that marks the end of a phrase. The waveform is built once; samples are scaled by level.
#pragma once

#include "base/MessageSink.h"

#include <array>
#include <cstdint>
#include <utility>

namespace brindle {

class TBlipGen {
public:
    static constexpr int BlipLength = 800; // [samples], 100 ms at 8000 samples/s

    explicit TBlipGen(TMessageSink sink = {}) : Sink_(std::move(sink)) {}

    uint32_t SampleFreq() const { return 8000; }
    void SetSampleFreq(uint32_t) {} // fixed at 8000
    double LeveldB() const { return LeveldB_; }
    void SetLeveldB(double dB); // above 0 is taken as 0

    void BuildBlip();
    // Waveform value at index (0..799) scaled by 10^(LeveldB/20), truncated; 0 outside.
    int16_t BlipSample(int index) const {
        if (index < 0 || index >= BlipLength) return 0;
        return static_cast<int16_t>(static_cast<double>(Wave_[index]) / 32767.0 * Factor_);
    }
    int32_t Waveform(int index) const { return Wave_.at(static_cast<std::size_t>(index)); }

private:
    TMessageSink Sink_;
    double LeveldB_ = 0.0;
    double Factor_ = 32767.0;
    std::array<int32_t, BlipLength> Wave_{};
};

} // namespace brindle
