// A lower bound on the cost of the rest of an alignment (TRestBound), with which the copy check
// proves its band exact. Nothing outside the copy check includes this header.
//
// The sent characters are cut into blocks of 64. Whatever way an alignment takes, the rows of a
// block align its characters with some stretch of the copy, and every character step costs 2:
// so it costs at least twice the block's edit distance (unit costs, separators left out) to the
// stretch of the copy's characters that fits it best. The rest of an alignment from row r costs
// at least the sum over the blocks that begin at or after r.
//
// Only alignments that cost no more than a given cost C matter, and they keep near the straight
// way: where a characters were sent before and b copied, the characters left unpaired before
// and after cost at least 2|b - a| + 2|(B - b) - (A - a)| (A, B all of them), which must not
// exceed C. So a block is only looked for in the copy within that reach of its place. Each
// search is the bit-parallel edit distance of Myers, one machine word per copy character; its
// state is kept, so a longer copy or a larger C costs only the characters newly in reach.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle::copycheck {

class TRestBound {
public:
    static constexpr std::size_t BlockChars = 64;

    // The sent characters changed from sentFrom on, the copy's from copyFrom on; cost is C.
    void Update(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& copy,
                std::size_t sentFrom, std::size_t copyFrom, int32_t cost);

    // At least what an alignment of cost C or less pays for the sent characters from index c
    // on.
    int32_t FromChar(std::size_t c) const {
        const std::size_t k = (c + BlockChars - 1) / BlockChars;
        return k < Suffix_.size() ? Suffix_[k] : 0;
    }

private:
    static constexpr std::size_t SaveEvery = 128; // copy characters between kept states

    struct TState {
        uint64_t Pv = ~uint64_t{0};
        uint64_t Mv = 0;
        int32_t Score = 0;
        int32_t Min = 0;
    };
    struct TBlock {
        std::array<uint64_t, 256> Peq{};
        int Length = 0;
        TState State;
        std::size_t Start = 0;     // the first copy character searched
        std::size_t Scanned = 0;   // the end of the search
        std::vector<TState> Saved; // after SaveEvery, 2 SaveEvery, ... characters from Start
    };

    static TState Initial(const TBlock& block);
    static void Restart(TBlock& block, std::size_t start);
    static void SetPattern(TBlock& block, const std::vector<uint8_t>& sent, std::size_t k);
    static void Scan(TBlock& block, const std::vector<uint8_t>& copy, std::size_t to);

    std::vector<TBlock> Blocks_;
    std::vector<int32_t> Suffix_; // Suffix_[k]: the bound of blocks k...
};

} // namespace brindle::copycheck
