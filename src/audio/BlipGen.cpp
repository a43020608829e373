#include "audio/BlipGen.h"

#include "audio/SineTable.h"

#include <cmath>

namespace brindle {

void TBlipGen::SetLeveldB(double dB) {
    if (dB > 0) dB = 0;
    LeveldB_ = dB;
    Factor_ = 32767.0 * std::pow(10.0, dB / 20.0);
}

void TBlipGen::BuildBlip() {
    const TSinusTab tab(8000, true);
    if (!tab.Valid()) {
        ShowMessage(Sink_, TSeverity::Error, "Error: Failed to install sine tables");
        return;
    }
    uint32_t phase = 0;
    for (int k = 0; k < BlipLength; ++k) {
        Wave_[k] = static_cast<int32_t>(16000.0L * tab.Value(phase));
        phase = (phase + 800) % 8000;
    }
    phase = 0;
    for (int k = 0; k < BlipLength; ++k) {
        Wave_[k] = static_cast<int32_t>(Wave_[k] + 16000.0L * tab.Value(phase));
        phase = (phase + 960) % 8000;
    }
    // The constants stand as written (not exactly e and e - 1): the first value becomes 0.
    for (int k = 0; k < 100; ++k)
        Wave_[k] =
            static_cast<int32_t>(Wave_[k] * (2.71828L - std::exp(1.0L - k / 100.0L)) / 1.71828L);
    for (int k = 100; k < BlipLength; ++k)
        Wave_[k] = static_cast<int32_t>(Wave_[k] * (std::exp(1.0L - (k - 100) / 700.0L) - 1.0L) /
                                        1.71828L);
}

} // namespace brindle
