// The random source of every practice session: characters of random groups, group sizes, list
// indices and Q-codes, with one rule against monotony shared by all draws: a value may come twice
// in a row but never three times. Q-codes never follow themselves.
#pragma once

#include "base/Random.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace brindle {

class TRandomChars {
public:
    // Where Reset takes its seed from; the program uses the clock, tests a fixed value.
    using TSeedClock = std::function<uint32_t()>;

    static constexpr std::array<std::string_view, 26> QCodeTable = {
        "ra", "rg", "rl", "rm", "rn", "ro", "rp", "rq", "rs", "rt", "ru", "rv", "rx",
        "rz", "sb", "sd", "sk", "sl", "so", "sp", "st", "sx", "sy", "tc", "th", "tr"};

    explicit TRandomChars(TSeedClock seedClock = ClockSeed);

    // History to 0 and a new seed from the seed clock; called at every session start.
    void Reset();
    // The set to draw from, already in engine form (one code character per prosign).
    void SetCharacters(std::string chars) { Chars_ = std::move(chars); }
    const std::string& Characters() const { return Chars_; }

    // One character of the set; 0 for an empty set; a one-character set leaves the history alone.
    uint8_t RandomChar();
    // A value in [low, high - 1]; low at once (history unchanged) when low + 1 >= high.
    int RandomIndex(int low, int high);
    // "q" and two letters.
    std::string RandomQCode();
    // One group: size chars, or with variable on a size from minSize to size.
    std::string RandomGroup(int size, int minSize, bool variable);

    int LastIndex() const { return LastIndex_; }
    int PreviousIndex() const { return PreviousIndex_; }
    TRandomSource& Source() { return Random_; }

private:
    int Draw(int low, int high);

    TSeedClock SeedClock_;
    TRandomSource Random_;
    std::string Chars_;
    int LastIndex_ = 0;
    int PreviousIndex_ = 0;
};

} // namespace brindle
