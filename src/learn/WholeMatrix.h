// TWholeMatrix: the minimum-cost path through the whole matrix, one anti-diagonal (i + j = s) after
// another: a cell depends only on the two diagonals before, so the loop along one carries nothing
// from cell to cell and vectorises whole. The same costs and the same choice on equal costs as the
// band; for one-off checks that would need the whole matrix anyway.
//
// Given the cost C of some path, only cells that a path of cost C or less can pass are computed:
// where a sent characters and b copied ones lie before a cell, 2|b - a| + 2|(B - b) - (A - a)|
// (A and B all of them) is at most C. Along an anti-diagonal b - a falls as the row rises, so
// those cells are an interval of rows; every optimal path keeps to them, and so do the costs
// and moves along it.
//
// The trace (two bits a cell) is kept when it fits the limit; else every K-th pair of diagonals
// is, and the blocks between are computed again on the way back.
//
// Nothing outside the copy check includes this header.
#pragma once

#include "learn/AlignRows.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace brindle::copycheck {

class TWholeMatrix {
public:
    // a: the n sent tokens, b: the m copied ones; sentChars[i], copyChars[j]: the characters
    // among the first i and j of them; cost: C.
    TWholeMatrix(const std::vector<int32_t>& a, const std::vector<int32_t>& b,
                 const int32_t* sentChars, const int32_t* copyChars, int32_t cost,
                 std::size_t maxTraceBytes);

    // The cost; the moves from (0, 0) to (n, m) into path.
    int32_t Align(std::vector<TMove>& path);

private:
    // The rows of each anti-diagonal that a path of cost C or less can pass.
    void Rows(const int32_t* sentChars, const int32_t* copyChars, int32_t cost);

    // Diagonal s from the two before it; D_[x][i + 1] holds row i of the diagonal x (mod 3),
    // D_[x][0] the row before the first: always Inf, as is every row not computed.
    void Diagonal(std::size_t s, uint8_t* trace);

    TMove MoveAt(std::size_t i, std::size_t j);
    void FillCache(std::size_t block);

    const std::size_t N_;
    const std::size_t M_;
    std::vector<int32_t> A_, B_;
    std::vector<std::size_t> First_, Length_; // the rows of each diagonal computed
    std::vector<std::size_t> Offset_;         // of each diagonal's trace
    std::array<std::vector<int32_t>, 3> D_;
    std::array<std::pair<std::size_t, std::size_t>, 3> Written_; // indices that may not be Inf
    bool Keep_ = true;
    std::size_t Block_ = 1;
    std::vector<std::array<std::vector<int32_t>, 2>> Kept_; // the two diagonals before each block
    std::vector<uint8_t> Trace_;
    std::vector<uint8_t> Code_;
    std::size_t CacheBlock_ = static_cast<std::size_t>(-1);
    std::size_t CacheFrom_ = 0;
};

} // namespace brindle::copycheck
