// Morse code to samples, exactly as Brindle plays it: the engine in sound mode, with the tone,
// speeds and noise of the options, from its start until the last character (with its own space)
// has been sent.
#pragma once

#include "audio/NoiseGen.h"
#include "conditions/BandConditions.h"
#include "export/Interferers.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace brindle {

// How the Morse code sounds.
struct TToneOptions {
    int Cpm = 60;     // [CpM]
    int Spacing = 0;  // 0 off, 1 Farnsworth, 2 Wordsworth
    int CharCpm = 60; // [CpM] character speed under spacing
    int ToneHz = 800;
    std::optional<int> DitToneHz;
    int Slope = 20;   // [samples]
    int Ratio = 300;  // [% of a dot]
    int Weight = 100; // [%]
    int LevelDb = -10;
    std::optional<int> NoiseDb;
    TNoiseType NoiseType = TNoiseType::Gaussian;
    uint32_t NoiseSeed = 0; // 0: from the clock
    bool Stereo = false;
    // Fading, static crashes and band noise (off by default: the samples are the plain tone's).
    TBandConditionsSpec Conditions;
    int QrmStations = 0; // interfering stations, 0..3, seeded by Conditions.Seed
};

// The band a rendering goes through: its conditions and its other stations. A caller that
// renders piece by piece keeps one, so that the band goes on from piece to piece.
struct TBand {
    std::unique_ptr<TBandConditions> Conditions;
    std::unique_ptr<TInterferers> Qrm;
    // Null when the options ask for none of it. seedOffset: a band of its own for each file.
    static std::unique_ptr<TBand> For(const TToneOptions& options, uint32_t seedOffset = 0);
};

// The rate every rendering is made at. [Hz]
inline constexpr int MorseSampleRate = 8000;

// Renders chars (engine characters; those the engine cannot send are left out) into interleaved
// 16-bit samples. Calls sink for each finished
// block of samples; a sink that returns false stops the rendering.
struct TRenderResult {
    std::size_t Frames = 0;
    int Channels = 1;
};
// The band goes on from one call to the next when the caller keeps it; without, a rendering
// with conditions or stations starts its own from their seed.
TRenderResult RenderChars(const std::string& chars, const TToneOptions& options,
                          const std::function<bool(const int16_t*, std::size_t count)>& sink,
                          TBand* band = nullptr);

// The peak of the keyed tone at levelDb, full scale 32767.
int16_t TonePeak(int levelDb);

} // namespace brindle
