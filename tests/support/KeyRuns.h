// Helpers that read a rendered signal back as key-down/key-up runs, and record engine events
// with the sample or millisecond at which they fired.
#pragma once

#include "engine/MorseEngine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace brindle::test {

struct TRun {
    bool On = false;
    int Length = 0; // [samples]
    bool operator==(const TRun&) const = default;
    friend void PrintTo(const TRun& r, std::ostream* os) {
        *os << (r.On ? "on " : "off ") << r.Length;
    }
};

// Runs of non-zero (key down) and zero (key up) samples. Samples flagged in unknown are exact
// zero crossings of the tone and take the class of the sample before them.
inline std::vector<TRun> KeyRuns(const std::vector<int16_t>& s,
                                 const std::vector<bool>* unknown = nullptr) {
    std::vector<TRun> runs;
    bool prev = false;
    for (std::size_t k = 0; k < s.size(); ++k) {
        bool on = s[k] != 0;
        if (unknown && (*unknown)[k] && !on) on = prev;
        if (runs.empty() || runs.back().On != on)
            runs.push_back({on, 1});
        else
            ++runs.back().Length;
        prev = on;
    }
    return runs;
}

// Moves the keyed tone's phase off the zero crossings: with phase 400 + k*800 (mod 8000) no
// sample of an 800 Hz tone is ever an exact zero, so every key-down sample is non-zero.
inline void OffsetTonePhase(TMorseEngine& engine) {
    engine.Tone1().SetFrequency(400);
    engine.Tone1().Advance();
    engine.Tone1().SetFrequency(static_cast<uint32_t>(engine.Frequency()));
}

// Expected key-down/key-up runs of text from the engine's sample durations, starting with the
// lead-in from a fresh start (one dot plus the PTT lead) and ending with the last character space.
inline std::vector<TRun> ExpectedRuns(const std::string& text, const TMorseEngine& e) {
    const auto& t = e.Timing();
    const int l = t.SlopeLength;
    std::vector<TRun> runs{{false, t.DotSamples + t.PttLeadSamples}};
    for (const char c : text) {
        if (c == ' ') {
            runs.back().Length += t.WordGapExtraSamples;
            continue;
        }
        const uint16_t code = TMorseEngine::CodeOf(static_cast<uint8_t>(c));
        int top = 15;
        while (!(code & (1u << top)))
            --top;
        for (int b = top - 1; b >= 0; --b) {
            const bool dah = code & (1u << b);
            runs.push_back({true, 2 * l + (dah ? t.DahSamples : t.DitDownSamples)});
            runs.push_back({false, t.GapSamples});
        }
        runs.back().Length += t.CharGapExtraSamples;
    }
    return runs;
}

// Key runs of a recording between its first and its last tone. Samples within +-quiet count as
// silence: a server that resamples leaves small values at the edges of a shaped element.
inline std::vector<TRun> ToneRuns(std::vector<int16_t> s, int quiet = 0) {
    for (auto& v : s)
        if (v > -quiet && v < quiet) v = 0;
    auto runs = KeyRuns(s);
    while (!runs.empty() && !runs.front().On)
        runs.erase(runs.begin());
    while (!runs.empty() && !runs.back().On)
        runs.pop_back();
    return runs;
}

// Expects the tone runs of a recording to be text as the engine times it, each run within 1 ms.
inline void ExpectHeardAs(const std::vector<TRun>& runs, const std::string& text,
                          const TMorseEngine& e) {
    auto expected = ExpectedRuns(text, e);
    expected.erase(expected.begin()); // the lead-in and the last gap are silence
    expected.pop_back();
    ASSERT_EQ(runs.size(), expected.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].On, expected[i].On) << i;
        EXPECT_NEAR(runs[i].Length, expected[i].Length, 8) << "run " << i; // 8 samples = 1 ms
    }
}

// Records engine events as "when kind arg" lines; when is supplied by the caller's clock.
class TEventLog {
public:
    template <class Clock> void Attach(TMorseEngine& e, Clock now) {
        e.OnPttChanged = [this, now](TMorseEngine&, bool on) {
            Add(now(), on ? "ptt on" : "ptt off");
        };
        e.OnCharStart = [this, now](TMorseEngine&, uint8_t c) { Add(now(), "start " + Name(c)); };
        e.OnCharSent = [this, now](TMorseEngine&, uint8_t c) { Add(now(), "sent " + Name(c)); };
        e.OnLastChar = [this, now](TMorseEngine&) { Add(now(), "last"); };
        e.OnStart = [this, now](TMorseEngine&) { Add(now(), "start"); };
        e.OnStop = [this, now](TMorseEngine&) { Add(now(), "stop"); };
        e.OnSignalChanged = [this, now](TMorseEngine&, bool on, int ms) {
            Add(now(), std::string(on ? "down " : "up ") + std::to_string(ms));
        };
    }
    static std::string Name(uint8_t c) {
        if (c == ' ') return "space";
        if (c >= 33 && c < 127) return std::string(1, static_cast<char>(c));
        return "#" + std::to_string(c);
    }
    void Add(long long when, const std::string& what) {
        Lines.push_back(std::to_string(when) + " " + what);
    }
    std::vector<std::string> Lines;
};

} // namespace brindle::test
