#include "export/MorseRender.h"

#include "base/ControlCodes.h"
#include "engine/MorseEngine.h"
#include "engine/MorseTables.h"
#include "settings/EngineSettings.h"

#include <cmath>
#include <memory>
#include <vector>

namespace brindle {

int16_t TonePeak(int levelDb) {
    return static_cast<int16_t>(std::lround(32767.0 * std::pow(10.0, levelDb / 20.0)));
}

std::unique_ptr<TBand> TBand::For(const TToneOptions& o, uint32_t seedOffset) {
    if (!o.Conditions.Any() && o.QrmStations <= 0) return nullptr;
    auto band = std::make_unique<TBand>();
    TBandConditionsSpec spec = o.Conditions;
    spec.Seed += seedOffset;
    if (spec.Any())
        band->Conditions = std::make_unique<TBandConditions>(spec, o.ToneHz, MorseSampleRate);
    if (o.QrmStations > 0)
        band->Qrm =
            std::make_unique<TInterferers>(o.QrmStations, spec.Seed, o.ToneHz, o.Cpm, o.LevelDb);
    return band;
}

TRenderResult RenderChars(const std::string& text, const TToneOptions& o,
                          const std::function<bool(const int16_t*, std::size_t)>& sink,
                          TBand* band) {
    // A character the engine never takes would hold up the rest for ever: it is left out.
    const TCharSet charSet;
    std::string chars;
    for (const char c : text)
        if (charSet.IsSendable(static_cast<uint8_t>(c)) || IsFixedPause(static_cast<uint8_t>(c)))
            chars += c;
    TSettings settings;
    settings.Main.Speed = o.Cpm;
    settings.TX.AutoStart = true;
    settings.TX.Frequency = o.ToneHz;
    settings.TX.Slope = o.Slope;
    settings.TX.OutputLevel = o.LevelDb;
    settings.TX.Extended = 1;
    settings.Tutor.Farnsworth = o.Spacing;
    settings.Tutor.FarnsworthSpeed = o.CharCpm;
    TMorseEngine engine;
    engine.SetSoundMode(true);
    ApplyEngineSettings(settings, engine);
    // What the program's settings do not hold.
    engine.SetWeight(o.Weight);
    engine.SetRatio(o.Ratio);
    engine.SetFrequency2(o.ToneHz);
    if (o.DitToneHz) {
        engine.SetDiffFrequency(*o.DitToneHz);
        engine.SetDiffFreqOn(true);
    }
    engine.SetStereo(o.Stereo);

    TNoiseGen noise(o.NoiseSeed != 0 ? o.NoiseSeed : ClockSeed());
    if (o.NoiseDb) {
        noise.SetLeveldB(*o.NoiseDb);
        noise.SetNoiseType(o.NoiseType);
    }

    std::unique_ptr<TBand> own;
    if (!band) {
        own = TBand::For(o);
        band = own.get();
    }

    TRenderResult result;
    result.Channels = o.Stereo ? 2 : 1;
    if (chars.empty()) return result;

    std::size_t queued = 0;
    std::size_t sent = 0;
    long long endFrame = -1; // frame just after the last character's space
    std::size_t framesBefore = 0;
    engine.OnCharSent = [&](TMorseEngine& e, uint8_t) {
        if (++sent == chars.size() && endFrame < 0)
            endFrame = static_cast<long long>(framesBefore) + e.RenderedInCall();
    };
    engine.Start();

    // Buffers of 100 ms, as the program's sound output hands them over.
    constexpr std::size_t kFrames = 800;
    std::vector<int16_t> buffer(kFrames * static_cast<std::size_t>(result.Channels));
    const int bytes = static_cast<int>(buffer.size() * sizeof(int16_t));
    while (endFrame < 0) {
        while (queued < chars.size() && engine.PutChar(static_cast<uint8_t>(chars[queued])))
            ++queued;
        engine.RenderBuffer(buffer.data(), bytes);
        if (band && band->Conditions)
            band->Conditions->Process(buffer.data(), kFrames, result.Channels);
        if (band && band->Qrm) band->Qrm->AddTo(buffer.data(), kFrames, result.Channels);
        // Band noise takes the white noise's place.
        if (o.NoiseDb && o.Conditions.BandNoiseWidthHz <= 0) noise.AddNoise(buffer.data(), bytes);
        std::size_t frames = kFrames;
        if (endFrame >= 0) frames = static_cast<std::size_t>(endFrame) - framesBefore;
        if (!sink(buffer.data(), frames * static_cast<std::size_t>(result.Channels))) return result;
        framesBefore += frames;
    }
    result.Frames = framesBefore;
    return result;
}

} // namespace brindle
