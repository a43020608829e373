// Phase-accumulator sine oscillator. At 8000 samples per second over an 8000-entry period the
// phase step per sample is the frequency in hertz, so every integer pitch is exact and never
// drifts.
#pragma once

#include "audio/SineTable.h"
#include "base/MessageSink.h"

#include <cstdint>

namespace brindle {

class TSineGen {
public:
    explicit TSineGen(const TMessageSink& sink = {});

    uint32_t SampleFreq() const { return SampleFreq_; }  // [samples/s]
    void SetSampleFreq(uint32_t) { SampleFreq_ = 8000; } // fixed: the table has 8000 entries
    uint32_t Frequency() const { return Frequency_; }    // [Hz], phase step per sample
    void SetFrequency(uint32_t hz) { Frequency_ = hz; }
    double LeveldB() const { return LeveldB_; }
    void SetLeveldB(double dB);

    // Table value at the current phase times the level factor; does not advance.
    double Value() const { return Tab_.Value(Phase_) * Factor_; }
    void Advance() {
        Phase_ = static_cast<uint32_t>((static_cast<uint64_t>(Phase_) + Frequency_) % SampleFreq_);
    }
    uint32_t Phase() const { return Phase_; }

private:
    TSinusTab Tab_{8000};
    uint32_t SampleFreq_ = 8000;
    uint32_t Frequency_ = 400;
    uint32_t Phase_ = 0;
    double LeveldB_ = 0.0;
    double Factor_ = 1.0;
};

} // namespace brindle
