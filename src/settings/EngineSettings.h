// The settings' engine values put onto a keying engine, in the one order that both the program
// and brindle-render use: speed and weight, start/stop, tone, edges and level, then the
// character set and the Farnsworth/Wordsworth spacing.
#pragma once

#include "settings/Settings.h"

namespace brindle {

class TMorseEngine;

// Speed, Weight (always 100: weight is not kept), AutoStartStop, Frequency, Slope,
// LogAmplitude, ExtraChars, Spacing and FWSpeed. The engine clamps as its setters do.
void ApplyEngineSettings(const TSettings& settings, TMorseEngine& engine);

} // namespace brindle
