// Interfering stations (QRM) beside the wanted signal: one to three other stations, each with its
// own tone offset, speed, level and fading, sending on-air material (calls, CQs, reports) with
// its own timing. Seeded; what each station sent can be asked for afterwards.
#pragma once

#include "conditions/BandConditions.h"
#include "practice/OnAirMaterial.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

class TMorseEngine;

class TInterferers {
public:
    static constexpr int MaxStations = 3;
    static constexpr int MinOffsetHz = 150; // never on top of the wanted signal
    static constexpr int MaxOffsetHz = 600;

    // stations: 1..MaxStations; wantedHz and wantedCpm place the others around the wanted one.
    TInterferers(int stations, uint32_t seed, int wantedHz, int wantedCpm, int wantedLevelDb);
    ~TInterferers();
    TInterferers(const TInterferers&) = delete;
    TInterferers& operator=(const TInterferers&) = delete;

    // Adds the stations' next frames to the last channel of interleaved samples.
    void AddTo(int16_t* samples, std::size_t frames, int channels);

    struct TStation {
        int ToneHz = 0;
        int Cpm = 0;
        int LevelDb = 0;
        std::string Sent; // the characters sent so far, prosigns by name
    };
    std::vector<TStation> Stations() const;
    // "QRM 1: 950 Hz, 22 WpM, -16 dB: CQ CQ DE ..." for each station, its text cut at maxChars.
    std::vector<std::string> Summary(std::size_t maxChars) const;

private:
    struct TState;
    std::vector<std::unique_ptr<TState>> States_;
    TOnAirMaterial Material_;
    TRandomSource Random_;
    std::vector<int16_t> Scratch_;
};

} // namespace brindle
