#include "audio/SineGen.h"

#include <cmath>

namespace brindle {

TSineGen::TSineGen(const TMessageSink& sink) {
    if (!Tab_.Valid()) ShowMessage(sink, TSeverity::Error, "Error: Failed to install sine tables");
}

void TSineGen::SetLeveldB(double dB) {
    LeveldB_ = dB;
    Factor_ = std::exp(std::log(10.0) * dB / 20.0);
}

} // namespace brindle
