#include "export/Interferers.h"

#include "base/ControlCodes.h"
#include "base/Ranges.h"
#include "base/Speed.h"
#include "engine/MorseEngine.h"
#include "practice/TextFilters.h"

#include <algorithm>

namespace brindle {

struct TInterferers::TState {
    TStation Station;
    std::unique_ptr<TMorseEngine> Engine;
    std::unique_ptr<TBandConditions> Fading;
    std::string Queue; // engine characters not yet taken
};

TInterferers::TInterferers(int stations, uint32_t seed, int wantedHz, int wantedCpm,
                           int wantedLevelDb)
    : Material_(seed ^ 0x5bd1e995u), Random_(seed + 17u) {
    TRandomSource random(seed);
    stations = std::clamp(stations, 0, MaxStations);
    for (int i = 0; i < stations; ++i) {
        auto s = std::make_unique<TState>();
        // An offset of 150..600 Hz to either side, turned round when it would leave the tones'
        // range.
        const int offset =
            MinOffsetHz + static_cast<int>(random.Below(MaxOffsetHz - MinOffsetHz + 1));
        int hz = wantedHz + (random.Below(2) == 0 ? offset : -offset);
        if (!ranges::Frequency.Contains(hz)) hz = wantedHz + (hz < wantedHz ? offset : -offset);
        s->Station.ToneHz = ranges::Frequency.Clamp(hz);
        s->Station.Cpm =
            ranges::Speed.Clamp(static_cast<int>(wantedCpm * (0.7 + 0.7 * random.NextDouble())));
        s->Station.LevelDb =
            ranges::OutputLevel.Clamp(wantedLevelDb - 3 - static_cast<int>(random.Below(13)));
        s->Engine = std::make_unique<TMorseEngine>();
        TMorseEngine& e = *s->Engine;
        e.SetSoundMode(true);
        e.SetAutoStartStop(true);
        e.SetExtraChars(true);
        e.SetSpeed(s->Station.Cpm);
        e.SetFrequency(s->Station.ToneHz);
        e.SetFrequency2(s->Station.ToneHz);
        e.SetLogAmplitude(s->Station.LevelDb);
        TState* state = s.get();
        e.OnCharSent = [state](TMorseEngine&, uint8_t c) {
            if (IsFixedPause(c)) return;
            state->Station.Sent += c == 13
                                       ? std::string(" ")
                                       : CodesToProsignNames(std::string(1, static_cast<char>(c)));
        };
        TBandConditionsSpec fading;
        fading.QsbHz = random.Below(2) == 0 ? QsbSlowHz : QsbFastHz;
        fading.QsbDepthDb = 20;
        fading.Seed = seed + 1000u * static_cast<uint32_t>(i + 1);
        s->Fading = std::make_unique<TBandConditions>(fading, s->Station.ToneHz, 8000);
        e.Start();
        // Each starts at its own time.
        s->Queue.assign(random.Below(6), PauseChar);
        States_.push_back(std::move(s));
    }
}

TInterferers::~TInterferers() = default;

void TInterferers::AddTo(int16_t* samples, std::size_t frames, int channels) {
    if (States_.empty() || channels < 1) return;
    Scratch_.resize(frames);
    const auto n = static_cast<std::size_t>(channels);
    for (auto& s : States_) {
        TMorseEngine& e = *s->Engine;
        if (s->Queue.size() < 4) {
            // The next over: a CQ now and then, else a short exchange, and a pause after it.
            std::string over;
            if (Random_.Below(3) == 0)
                over = "CQ CQ DE " + Material_.Callsign() + " K";
            else
                over = Material_.Callsign() + " DE " + Material_.Callsign() + " UR 5NN <bt> TU";
            s->Queue += ProsignsToCodes(over) + "\r" + std::string(3, PauseChar);
        }
        std::size_t taken = 0;
        while (taken < s->Queue.size() && e.PutChar(static_cast<uint8_t>(s->Queue[taken])))
            ++taken;
        s->Queue.erase(0, taken);
        e.RenderBuffer(Scratch_.data(), static_cast<int>(frames * sizeof(int16_t)));
        s->Fading->Process(Scratch_.data(), frames, 1);
        for (std::size_t f = 0; f < frames; ++f) {
            int16_t& out = samples[f * n + n - 1];
            out = static_cast<int16_t>(std::clamp(out + Scratch_[f], -32767, 32767));
        }
    }
}

std::vector<TInterferers::TStation> TInterferers::Stations() const {
    std::vector<TStation> out;
    for (const auto& s : States_)
        out.push_back(s->Station);
    return out;
}

std::vector<std::string> TInterferers::Summary(std::size_t maxChars) const {
    std::vector<std::string> lines;
    int i = 0;
    for (const auto& s : States_) {
        const TStation& st = s->Station;
        std::string text = st.Sent;
        if (text.size() > maxChars) text = text.substr(0, maxChars) + "...";
        lines.push_back("QRM " + std::to_string(++i) + ": " + std::to_string(st.ToneHz) + " Hz, " +
                        std::to_string(st.Cpm / 5) + " WpM, " + std::to_string(st.LevelDb) +
                        " dB: " + text);
    }
    return lines;
}

} // namespace brindle
