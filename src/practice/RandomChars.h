// The random source of every practice session: characters of random groups, group sizes, list
// indices and Q-codes, with one rule against monotony shared by all draws: a value may come twice
// in a row but never three times. Q-codes never follow themselves. Characters may be drawn
// uniformly or with a share each (a course's weighting).
#pragma once

#include "base/Random.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
    // The set to draw from, already in engine form (one code character per prosign); every
    // character equally often.
    void SetCharacters(std::string chars) {
        Chars_ = std::move(chars);
        Cumulative_.clear();
    }
    // The set with the share of the draws each character should get in the long run (one share
    // per character, any positive scale). The never-three rule takes draws away from frequent
    // characters; the draw weights are corrected for it, so the shares hold over many draws. No
    // character gets more than MaxShare (the rule allows at most two thirds, and near that the
    // order of the draws becomes predictable). Shares that are not positive count as the smallest
    // positive one; with a share count that does not match, every character is equally likely.
    void SetWeightedCharacters(std::string chars, const std::vector<double>& shares);
    static constexpr double MaxShare = 0.6;
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
    int DrawWeighted();

    TSeedClock SeedClock_;
    TRandomSource Random_;
    std::string Chars_;
    std::vector<double> Cumulative_; // running sums of the draw weights; empty: uniform
    int LastIndex_ = 0;
    int PreviousIndex_ = 0;
};

} // namespace brindle
