// The inner loops of a row of the alignment, free functions so that the compiler may take the
// arrays as unaliased and vectorise them; on x86-64 each also comes in an AVX2 version, chosen
// when the program loads (the baseline has no 32-bit minimum). A row's cells k = 0..w-1 are the
// columns lo + k; above[k] is the cost of the cell up and left of cell k, above[k + 1] of the one
// up. With them, the moves of the trace and how a row packs them. Nothing outside the copy check
// includes this header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle::copycheck {

// The moves of the trace, two bits each. On equal costs the first of these wins.
enum class TMove : uint8_t {
    Diagonal, // a sent token with a copied one
    Delete,   // a sent token nobody copied
    Insert,   // a copied token with no sent one
};

// A row of w cells keeps its moves in Quarter(w) bytes: byte q holds cells q, q + Quarter,
// q + 2 Quarter and q + 3 Quarter.
inline std::size_t Quarter(std::size_t w) {
    return (w + 3) / 4;
}
inline TMove MoveIn(const uint8_t* row, std::size_t w, std::size_t k) {
    const std::size_t quarter = Quarter(w);
    return static_cast<TMove>((row[k % quarter] >> (2 * (k / quarter))) & 3);
}

// The cost of each cell from above (diagonal or up), less the gap costs of the copy before it.
void FromAbove(const int32_t* __restrict above, const int32_t* __restrict token,
               const int32_t* __restrict gap, int32_t* __restrict low, std::size_t w, int32_t a,
               int32_t gapA);

// The running minimum of low over 4 quarters of the row at once (independent chains), then the
// later quarters corrected with the minimum of the ones before them.
void RunningMinimum(const int32_t* __restrict low, int32_t* __restrict run, std::size_t quarter);

// The costs (into run), the moves, and each cell's cost plus the penalty for the difference of
// the characters before it (into low); returns the least of those.
int32_t Finish(const int32_t* __restrict above, const int32_t* __restrict token,
               const int32_t* __restrict gap, const int32_t* __restrict copyChars,
               int32_t* __restrict low, int32_t* __restrict run, uint8_t* __restrict code,
               std::size_t w, int32_t a, int32_t gapA, int32_t sentChars);

// Two bits a cell: byte q holds cells q, q + quarter, q + 2 quarter and q + 3 quarter.
void Pack(const uint8_t* __restrict code, uint8_t* __restrict trace, std::size_t quarter);

// The cells k of an anti-diagonal (rows i = first + k): d2 points at the cost of the cell up and
// left of the first, up at the one above it, left at the one left of it (the last two on the
// diagonal before); a and b are the two tokens a step into each cell takes. A cell out of reach
// costs Inf and a little more for each step from there; nothing grows past Inf + Inf.
void AntiDiagonal(const int32_t* __restrict d2, const int32_t* __restrict up,
                  const int32_t* __restrict left, const int32_t* __restrict a,
                  const int32_t* __restrict b, int32_t* __restrict out, uint8_t* __restrict code,
                  std::size_t length);

} // namespace brindle::copycheck
