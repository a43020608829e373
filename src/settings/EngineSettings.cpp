#include "settings/EngineSettings.h"

#include "engine/MorseEngine.h"

namespace brindle {

void ApplyEngineSettings(const TSettings& s, TMorseEngine& engine) {
    engine.SetSpeed(s.Main.Speed);
    engine.SetWeight(100);
    engine.SetAutoStartStop(s.TX.AutoStart);
    engine.SetFrequency(s.TX.Frequency);
    // The slope's upper bound depends on the speed, which is set by now.
    engine.SetSlope(s.TX.Slope);
    engine.SetLogAmplitude(s.TX.OutputLevel);
    engine.SetExtraChars(s.TX.Extended == 1);
    engine.SetFWSpeed(s.Tutor.FarnsworthSpeed);
    engine.SetSpacing(s.Tutor.Spacing());
}

} // namespace brindle
