// What the main window does with each played sound buffer: the engine renders its next samples
// into it, then noise is added when the owner wants noise (noise on and sound not muted).
#pragma once

#include "audio/NoiseGen.h"
#include "engine/MorseEngine.h"

#include <cstdint>
#include <functional>

namespace brindle {

inline std::function<void(int16_t*, int)> SoundBufferFiller(TMorseEngine& engine, TNoiseGen& noise,
                                                            std::function<bool()> addNoise) {
    return [&engine, &noise, addNoise = std::move(addNoise)](int16_t* buffer, int byteCount) {
        engine.RenderBuffer(buffer, byteCount);
        if (addNoise && addNoise()) noise.AddNoise(buffer, byteCount);
    };
}

} // namespace brindle
