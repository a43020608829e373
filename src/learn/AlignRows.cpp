#include "learn/AlignRows.h"

#include "learn/CopyCheck.h"
#include "learn/CopyTokens.h"

#include <algorithm>
#include <cstdlib>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BRINDLE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define BRINDLE_VECTOR_CLONES
#endif

namespace brindle::copycheck {

namespace {

// -1 where c holds, else 0: selections as masks, which the vectoriser takes where it may not
// take nested conditions.
inline int32_t Mask(bool c) {
    return -static_cast<int32_t>(c);
}

// The cost of a diagonal step from sent token a to copied token t; onChar is a's cost against
// a character other than itself.
inline int32_t DiagonalCost(int32_t t, int32_t a, int32_t onChar) {
    const int32_t sep = Mask(t == Sep);
    return ((Inf & sep) | (onChar & ~sep)) & ~Mask(t == a);
}

int32_t OnChar(int32_t a) {
    return a == Sep ? Inf : TAlignCosts::Substitute;
}

} // namespace

BRINDLE_VECTOR_CLONES
void FromAbove(const int32_t* __restrict above, const int32_t* __restrict token,
               const int32_t* __restrict gap, int32_t* __restrict low, std::size_t w, int32_t a,
               int32_t gapA) {
    const int32_t onChar = OnChar(a);
    for (std::size_t k = 0; k < w; ++k) {
        const int32_t diagonal = above[k] + DiagonalCost(token[k], a, onChar);
        const int32_t up = above[k + 1] + gapA;
        low[k] = std::min(diagonal, up) - gap[k];
    }
}

BRINDLE_VECTOR_CLONES
void RunningMinimum(const int32_t* __restrict low, int32_t* __restrict run, std::size_t quarter) {
    int32_t r0 = 2 * Inf, r1 = 2 * Inf, r2 = 2 * Inf, r3 = 2 * Inf;
    for (std::size_t q = 0; q < quarter; ++q) {
        r0 = std::min(r0, low[q]);
        r1 = std::min(r1, low[q + quarter]);
        r2 = std::min(r2, low[q + 2 * quarter]);
        r3 = std::min(r3, low[q + 3 * quarter]);
        run[q] = r0;
        run[q + quarter] = r1;
        run[q + 2 * quarter] = r2;
        run[q + 3 * quarter] = r3;
    }
    int32_t carry = r0;
    for (std::size_t part = 1; part < 4; ++part) {
        int32_t* __restrict p = run + part * quarter;
        for (std::size_t q = 0; q < quarter; ++q)
            p[q] = std::min(p[q], carry);
        carry = std::min(carry, p[quarter - 1]);
    }
}

BRINDLE_VECTOR_CLONES
int32_t Finish(const int32_t* __restrict above, const int32_t* __restrict token,
               const int32_t* __restrict gap, const int32_t* __restrict copyChars,
               int32_t* __restrict low, int32_t* __restrict run, uint8_t* __restrict code,
               std::size_t w, int32_t a, int32_t gapA, int32_t sentChars) {
    const int32_t onChar = OnChar(a);
    int32_t best = 2 * Inf;
    for (std::size_t k = 0; k < w; ++k) {
        const int32_t diagonal = above[k] + DiagonalCost(token[k], a, onChar);
        const int32_t up = above[k + 1] + gapA;
        const int32_t left = Mask(run[k] < low[k]);
        code[k] = static_cast<uint8_t>((left & 2) | (~left & Mask(up < diagonal) & 1));
        const int32_t cost = std::min(run[k] + gap[k], Inf);
        run[k] = cost;
        const int32_t score = cost + std::abs(copyChars[k] - sentChars);
        low[k] = score;
        best = std::min(best, score);
    }
    return best;
}

BRINDLE_VECTOR_CLONES
void Pack(const uint8_t* __restrict code, uint8_t* __restrict trace, std::size_t quarter) {
    for (std::size_t q = 0; q < quarter; ++q)
        trace[q] = static_cast<uint8_t>(code[q] | code[q + quarter] << 2 |
                                        code[q + 2 * quarter] << 4 | code[q + 3 * quarter] << 6);
}

BRINDLE_VECTOR_CLONES
void AntiDiagonal(const int32_t* __restrict d2, const int32_t* __restrict up,
                  const int32_t* __restrict left, const int32_t* __restrict a,
                  const int32_t* __restrict b, int32_t* __restrict out, uint8_t* __restrict code,
                  std::size_t length) {
    constexpr int32_t gapDiff = TAlignCosts::CharGap - TAlignCosts::SeparatorGap;
    for (std::size_t k = 0; k < length; ++k) {
        const int32_t sepA = Mask(a[k] == Sep);
        const int32_t sepB = Mask(b[k] == Sep);
        const int32_t sep = sepA | sepB;
        const int32_t step = ((Inf & sep) | (TAlignCosts::Substitute & ~sep)) & ~Mask(a[k] == b[k]);
        const int32_t diagonal = d2[k] + step;
        const int32_t fromUp = up[k] + TAlignCosts::CharGap - (gapDiff & sepA);
        const int32_t fromLeft = left[k] + TAlignCosts::CharGap - (gapDiff & sepB);
        const int32_t above = std::min(diagonal, fromUp);
        const int32_t isLeft = Mask(fromLeft < above);
        code[k] = static_cast<uint8_t>((isLeft & 2) | (~isLeft & Mask(fromUp < diagonal) & 1));
        out[k] = std::min(above, fromLeft);
    }
}

} // namespace brindle::copycheck
