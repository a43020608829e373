#include "learn/CopyCheck.h"

#include "base/ControlCodes.h"
#include "base/Text1252.h"
#include "engine/MorseTables.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace brindle {

namespace {

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BRINDLE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define BRINDLE_VECTOR_CLONES
#endif

constexpr int32_t Sep = 256;     // the separator token; characters are 0..255
constexpr int32_t Inf = 1 << 29; // an impossible step; sums of two never overflow

// Separators: spaces, every control code (a zero byte too, since 0 stands for "nothing copied"),
// the engine's item-end and pause codes, and the blip that ends a phrase: none of them is a
// character the learner hears as one.
bool IsSpace(uint8_t c) {
    return c <= ' ' || c == 127 || IsFixedPause(c) || c == BlipMark;
}

int32_t GapCost(int32_t t) {
    return t == Sep ? TAlignCosts::SeparatorGap : TAlignCosts::CharGap;
}

int32_t MatchCost(int32_t a, int32_t b) {
    if (a == b) return 0;
    return a == Sep || b == Sep ? Inf : TAlignCosts::Substitute;
}

// The moves of the trace, two bits each. On equal costs the first of these wins.
enum class TMove : uint8_t {
    Diagonal, // a sent token with a copied one
    Delete,   // a sent token nobody copied
    Insert,   // a copied token with no sent one
};

// ---------------------------------------------------------------------------------------------
// The two texts as tokens

struct TSentToken {
    int32_t Token = Sep;
    std::size_t Item = 0;  // a character's item; for a separator the item that follows it
    std::size_t Pos = 0;   // a character's index in its item
    bool Boundary = false; // a separator between two items
};

// The sent items as one token string, built item by item. A separator at its end waits for the
// next item: until one comes it is no part of the alignment.
class TSentText {
public:
    // Appends item index, whose Sent is set; fills its Chars.
    void Add(std::size_t index, TCheckedItem& item) {
        if (!Tokens_.empty()) {
            if (Tokens_.back().Token != Sep) Push(TSentToken{});
            Tokens_.back().Item = index;
            Tokens_.back().Boundary = true;
        }
        for (const char ch : item.Sent) {
            const auto c = static_cast<uint8_t>(ch);
            if (IsSpace(c)) {
                if (!Tokens_.empty() && Tokens_.back().Token != Sep)
                    Push(TSentToken{Sep, index, 0, false});
                continue;
            }
            Push(TSentToken{c, index, item.Chars.size(), false});
            item.Chars.push_back(TCheckedChar{c, 0, TCharResult::Missed});
        }
    }

    // Tokens in the alignment: its rows are 0..Size().
    std::size_t Size() const {
        return Tokens_.size() - (!Tokens_.empty() && Tokens_.back().Token == Sep ? 1 : 0);
    }
    const TSentToken& operator[](std::size_t i) const { return Tokens_[i]; }
    // Characters among the first row tokens.
    int32_t CharsBefore(std::size_t row) const { return CharsBefore_[row]; }
    const int32_t* CharsBefore() const { return CharsBefore_.data(); }
    // The characters alone, in order, and the token each one is.
    const std::vector<uint8_t>& Chars() const { return Chars_; }
    std::size_t TokenOfChar(std::size_t c) const { return CharToken_[c]; }

private:
    void Push(const TSentToken& t) {
        const bool isChar = t.Token != Sep;
        if (isChar) {
            Chars_.push_back(static_cast<uint8_t>(t.Token));
            CharToken_.push_back(Tokens_.size());
        }
        Tokens_.push_back(t);
        CharsBefore_.push_back(CharsBefore_.back() + (isChar ? 1 : 0));
    }

    std::vector<TSentToken> Tokens_;
    std::vector<int32_t> CharsBefore_{0};
    std::vector<uint8_t> Chars_;
    std::vector<std::size_t> CharToken_;
};

// The copy as tokens, replaced as it is typed: only the tokens from the first changed byte on
// are made again.
class TCopyText {
public:
    // Takes the new text; returns the first token index (column) whose token differs from
    // before, Size() or more when none does.
    std::size_t Set(std::string_view text) {
        const std::size_t oldSize = Size();
        const std::size_t common = std::min(text.size(), Text_.size());
        const auto p = static_cast<std::size_t>(
            std::mismatch(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(common),
                          Text_.begin())
                .first -
            text.begin());
        if (p == Text_.size() && p == text.size()) return oldSize;
        // Tokens made from the bytes before p stay; the bytes of a separator run after its first
        // make none.
        const auto k = static_cast<std::size_t>(std::lower_bound(Start_.begin(), Start_.end(), p) -
                                                Start_.begin());
        OldTail_.assign(Tokens_.begin() + static_cast<std::ptrdiff_t>(k + 1), Tokens_.end());
        Truncate(k);
        Text_.resize(p);
        Text_.append(text.substr(p));
        for (std::size_t b = p; b < Text_.size(); ++b) {
            const uint8_t c = Lower1252(static_cast<uint8_t>(Text_[b]));
            if (!IsSpace(c))
                Push(c, b);
            else if (Start_.size() > 0 && Tokens_.back() != Sep)
                Push(Sep, b);
        }
        // A separator that ended the old tokens was no column; it is one now if more came.
        const std::size_t newSize = Size();
        std::size_t first = std::min(k, oldSize);
        while (first < oldSize && first < newSize &&
               (first < k || OldTail_[first - k] == Tokens_[first + 1]))
            ++first;
        return first;
    }

    std::size_t Size() const {
        return Start_.size() - (!Start_.empty() && Tokens_.back() == Sep ? 1 : 0);
    }
    // Shifted()[j] is token j - 1: the token a step into column j takes.
    const int32_t* Shifted() const { return Tokens_.data(); }
    // Gap costs of the tokens before column j.
    const int32_t* GapBefore() const { return GapBefore_.data(); }
    int32_t CharsBefore(std::size_t column) const { return CharsBefore_[column]; }
    const int32_t* CharsBefore() const { return CharsBefore_.data(); }
    const std::vector<uint8_t>& Chars() const { return Chars_; }

private:
    void Truncate(std::size_t k) {
        Tokens_.resize(k + 1);
        Start_.resize(k);
        GapBefore_.resize(k + 1);
        CharsBefore_.resize(k + 1);
        Chars_.resize(static_cast<std::size_t>(CharsBefore_.back()));
    }
    void Push(int32_t t, std::size_t byte) {
        Tokens_.push_back(t);
        Start_.push_back(byte);
        GapBefore_.push_back(GapBefore_.back() + GapCost(t));
        CharsBefore_.push_back(CharsBefore_.back() + (t != Sep ? 1 : 0));
        if (t != Sep) Chars_.push_back(static_cast<uint8_t>(t));
    }

    std::string Text_;
    std::vector<int32_t> Tokens_{-1}; // shifted by one; -1 matches nothing
    std::vector<std::size_t> Start_;  // the byte each token began at
    std::vector<int32_t> GapBefore_{0};
    std::vector<int32_t> CharsBefore_{0};
    std::vector<uint8_t> Chars_;
    std::vector<int32_t> OldTail_;
};

// ---------------------------------------------------------------------------------------------
// A lower bound on the cost of the rest of an alignment
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
class TRestBound {
public:
    static constexpr std::size_t BlockChars = 64;

    // The sent characters changed from sentFrom on, the copy's from copyFrom on; cost is C.
    void Update(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& copy,
                std::size_t sentFrom, std::size_t copyFrom, int32_t cost) {
        const std::size_t blocks = (sent.size() + BlockChars - 1) / BlockChars;
        const std::size_t firstNew = std::min(sentFrom / BlockChars, Blocks_.size());
        Blocks_.resize(blocks);
        const auto diff = static_cast<long>(copy.size()) - static_cast<long>(sent.size());
        const long reach = std::max(0L, (static_cast<long>(cost) - 2 * std::abs(diff)) / 4);
        for (std::size_t k = 0; k < blocks; ++k) {
            TBlock& block = Blocks_[k];
            const auto first = static_cast<long>(k * BlockChars);
            const long length = std::min<long>(BlockChars, static_cast<long>(sent.size()) - first);
            const auto from =
                static_cast<std::size_t>(std::max(0L, first + std::min(0L, diff) - reach));
            const auto to = static_cast<std::size_t>(std::clamp(
                first + length + std::max(0L, diff) + reach, 0L, static_cast<long>(copy.size())));
            if (k >= firstNew) SetPattern(block, sent, k);
            if (k >= firstNew || from < block.Start ||
                (copyFrom < block.Scanned && copyFrom < block.Start)) {
                // Searched again from a little further back than needed, so that a growing C
                // seldom makes it start again.
                Restart(block, from - std::min(from, static_cast<std::size_t>(reach) / 2 + 64));
            } else if (copyFrom < block.Scanned) {
                const std::size_t keep = (copyFrom - block.Start) / SaveEvery;
                block.Saved.resize(std::min(block.Saved.size(), keep));
                block.State = block.Saved.empty() ? Initial(block) : block.Saved.back();
                block.Scanned = block.Start + block.Saved.size() * SaveEvery;
            }
            Scan(block, copy, std::max(to, block.Scanned));
        }
        Suffix_.assign(blocks + 1, 0);
        for (std::size_t k = blocks; k-- > 0;)
            Suffix_[k] = Suffix_[k + 1] + TAlignCosts::CharGap * Blocks_[k].State.Min;
    }

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

    static TState Initial(const TBlock& block) {
        TState s;
        s.Score = s.Min = block.Length;
        return s;
    }

    static void Restart(TBlock& block, std::size_t start) {
        block.State = Initial(block);
        block.Start = block.Scanned = start;
        block.Saved.clear();
    }

    static void SetPattern(TBlock& block, const std::vector<uint8_t>& sent, std::size_t k) {
        block.Peq.fill(0);
        const std::size_t from = k * BlockChars;
        const std::size_t to = std::min(sent.size(), from + BlockChars);
        for (std::size_t c = from; c < to; ++c)
            block.Peq[sent[c]] |= uint64_t{1} << (c - from);
        block.Length = static_cast<int>(to - from);
    }

    static void Scan(TBlock& block, const std::vector<uint8_t>& copy, std::size_t to) {
        TState s = block.State;
        const int top = block.Length - 1;
        for (std::size_t j = block.Scanned; j < to;) {
            const std::size_t stop =
                std::min(to, block.Start + ((j - block.Start) / SaveEvery + 1) * SaveEvery);
            for (; j < stop; ++j) {
                const uint64_t eq = block.Peq[copy[j]];
                const uint64_t xv = eq | s.Mv;
                const uint64_t xh = (((eq & s.Pv) + s.Pv) ^ s.Pv) | eq;
                uint64_t ph = s.Mv | ~(xh | s.Pv);
                uint64_t mh = s.Pv & xh;
                s.Score +=
                    static_cast<int32_t>((ph >> top) & 1) - static_cast<int32_t>((mh >> top) & 1);
                ph <<= 1; // the top row is 0 in every column: a match may start anywhere
                mh <<= 1;
                s.Pv = mh | ~(xv | ph);
                s.Mv = ph & xv;
                s.Min = std::min(s.Min, s.Score);
            }
            if ((j - block.Start) % SaveEvery == 0) block.Saved.push_back(s);
        }
        block.State = s;
        block.Scanned = std::max(block.Scanned, to);
    }

    std::vector<TBlock> Blocks_;
    std::vector<int32_t> Suffix_; // Suffix_[k]: the bound of blocks k...
};

// ---------------------------------------------------------------------------------------------
// The inner loops of a row of the alignment, free functions so that the compiler may take the
// arrays as unaliased and vectorise them; on x86-64 each also comes in an AVX2 version, chosen
// when the program loads (the baseline has no 32-bit minimum). A row's cells k = 0..w-1 are the
// columns lo + k; above[k] is the cost of the cell up and left of cell k, above[k + 1] of the one
// up.

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

// The cost of each cell from above (diagonal or up), less the gap costs of the copy before it.
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

// The running minimum of low over 4 quarters of the row at once (independent chains), then the
// later quarters corrected with the minimum of the ones before them.
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

// The costs (into run), the moves, and each cell's cost plus the penalty for the difference of
// the characters before it (into low); returns the least of those.
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

// Two bits a cell: byte q holds cells q, q + quarter, q + 2 quarter and q + 3 quarter.
BRINDLE_VECTOR_CLONES
void Pack(const uint8_t* __restrict code, uint8_t* __restrict trace, std::size_t quarter) {
    for (std::size_t q = 0; q < quarter; ++q)
        trace[q] = static_cast<uint8_t>(code[q] | code[q + quarter] << 2 |
                                        code[q + 2 * quarter] << 4 | code[q + 3 * quarter] << 6);
}

// The cells k of an anti-diagonal (rows i = first + k): d2 points at the cost of the cell up and
// left of the first, up at the one above it, left at the one left of it (the last two on the
// diagonal before); a and b are the two tokens a step into each cell takes. A cell out of reach
// costs Inf and a little more for each step from there; nothing grows past Inf + Inf.
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

// The minimum-cost path through the whole matrix, one anti-diagonal (i + j = s) after another:
// a cell depends only on the two diagonals before, so the loop along one carries nothing from
// cell to cell and vectorises whole. The same costs and the same choice on equal costs as the
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
class TWholeMatrix {
public:
    // a: the n sent tokens, b: the m copied ones; sentChars[i], copyChars[j]: the characters
    // among the first i and j of them; cost: C.
    TWholeMatrix(const std::vector<int32_t>& a, const std::vector<int32_t>& b,
                 const int32_t* sentChars, const int32_t* copyChars, int32_t cost,
                 std::size_t maxTraceBytes)
        : N_(a.size()), M_(b.size()) {
        // Row i's token at index i (i >= 1); the copy reversed, so that column j = s - i is at
        // index M_ - s + i and runs with i.
        A_.assign(N_ + 1, -2);
        for (std::size_t i = 1; i <= N_; ++i)
            A_[i] = a[i - 1];
        B_.assign(M_ + 1, -3);
        for (std::size_t t = 0; t < M_; ++t)
            B_[t] = b[M_ - 1 - t];
        Rows(sentChars, copyChars, cost);
        Offset_.assign(N_ + M_ + 2, 0);
        for (std::size_t s = 0; s <= N_ + M_; ++s)
            Offset_[s + 1] = Offset_[s] + Quarter(Length_[s]);
        Keep_ = Offset_.back() <= maxTraceBytes;
        const std::size_t perDiagonal = (std::min(N_, M_) + 4) / 4;
        Block_ =
            Keep_ ? N_ + M_ + 1
                  : std::max<std::size_t>(1, std::max<std::size_t>(maxTraceBytes, 1) / perDiagonal);
        for (std::size_t x = 0; x < 3; ++x) {
            D_[x].assign(N_ + 2, Inf);
            Written_[x] = {0, N_ + 1};
        }
    }

    // The cost; the moves from (0, 0) to (n, m) into path.
    int32_t Align(std::vector<TMove>& path) {
        if (Keep_) Trace_.resize(Offset_.back());
        for (std::size_t s = 0; s <= N_ + M_; ++s) {
            if (!Keep_ && s % Block_ == 0) Kept_.push_back({D_[(s + 2) % 3], D_[(s + 1) % 3]});
            Diagonal(s, Keep_ ? Trace_.data() + Offset_[s] : nullptr);
        }
        const int32_t cost = D_[(N_ + M_) % 3][N_ + 1];
        path.clear();
        for (std::size_t i = N_, j = M_; i > 0 || j > 0;) {
            const TMove move = i == 0 ? TMove::Insert : j == 0 ? TMove::Delete : MoveAt(i, j);
            path.push_back(move);
            if (move != TMove::Insert) --i;
            if (move != TMove::Delete) --j;
        }
        std::reverse(path.begin(), path.end());
        return cost;
    }

private:
    static std::size_t Quarter(std::size_t w) { return (w + 3) / 4; }

    // The rows of each anti-diagonal that a path of cost C or less can pass.
    void Rows(const int32_t* sentChars, const int32_t* copyChars, int32_t cost) {
        const long diff = static_cast<long>(copyChars[M_]) - static_cast<long>(sentChars[N_]);
        const long reach = (static_cast<long>(cost) - 2 * std::abs(diff)) / 4;
        const long high = std::max(0L, diff) + reach; // b - a may lie in [low, high]
        const long low = std::min(0L, diff) - reach;
        const auto offset = [&](std::size_t i, std::size_t s) {
            return static_cast<long>(copyChars[s - i]) - static_cast<long>(sentChars[i]);
        };
        First_.resize(N_ + M_ + 1);
        Length_.resize(N_ + M_ + 1);
        for (std::size_t s = 0; s <= N_ + M_; ++s) {
            std::size_t lo = s > M_ ? s - M_ : 0;
            std::size_t hi = std::min(N_, s);
            // The first row whose offset is not above high, the last not below low.
            std::size_t from = lo, to = hi + 1;
            while (from < to) {
                const std::size_t mid = (from + to) / 2;
                if (offset(mid, s) > high)
                    from = mid + 1;
                else
                    to = mid;
            }
            lo = from;
            from = lo;
            to = hi + 1;
            while (from < to) {
                const std::size_t mid = (from + to) / 2;
                if (offset(mid, s) >= low)
                    from = mid + 1;
                else
                    to = mid;
            }
            hi = from; // one past the last
            First_[s] = lo;
            Length_[s] = hi > lo ? hi - lo : 0;
        }
    }

    // Diagonal s from the two before it; D_[x][i + 1] holds row i of the diagonal x (mod 3),
    // D_[x][0] the row before the first: always Inf, as is every row not computed.
    void Diagonal(std::size_t s, uint8_t* trace) {
        const std::size_t x = s % 3;
        int32_t* out = D_[x].data();
        const std::size_t first = First_[s];
        const std::size_t length = Length_[s];
        // What is left of the diagonal three before is no cell of this one.
        const auto [oldFrom, oldTo] = Written_[x];
        const std::size_t from = first + 1;
        const std::size_t to = first + length + 1; // one past the last written
        for (std::size_t k = oldFrom; k < std::min(oldTo, from); ++k)
            out[k] = Inf;
        for (std::size_t k = std::max(oldFrom, to); k < oldTo; ++k)
            out[k] = Inf;
        Written_[x] = {from, to};
        if (length == 0) return;
        if (s == 0) {
            out[1] = 0;
            return;
        }
        const int32_t* d1 = D_[(s + 2) % 3].data();
        const int32_t* d2 = D_[(s + 1) % 3].data();
        Code_.resize(4 * Quarter(length));
        std::fill(Code_.begin() + static_cast<std::ptrdiff_t>(length), Code_.end(), 0);
        AntiDiagonal(d2 + first, d1 + first, d1 + first + 1, A_.data() + first,
                     B_.data() + (M_ - s + first), out + from, Code_.data(), length);
        if (trace) Pack(Code_.data(), trace, Quarter(length));
    }

    TMove MoveAt(std::size_t i, std::size_t j) {
        const std::size_t s = i + j;
        if (!Keep_ && s / Block_ != CacheBlock_) FillCache(s / Block_);
        const uint8_t* row = Trace_.data() + Offset_[s] - (Keep_ ? 0 : Offset_[CacheFrom_]);
        const std::size_t k = i - First_[s];
        const std::size_t quarter = Quarter(Length_[s]);
        return static_cast<TMove>((row[k % quarter] >> (2 * (k / quarter))) & 3);
    }

    void FillCache(std::size_t block) {
        const std::size_t from = block * Block_;
        const std::size_t to = std::min(N_ + M_ + 1, from + Block_);
        D_[(from + 2) % 3] = Kept_[block][0];
        D_[(from + 1) % 3] = Kept_[block][1];
        for (std::size_t x = 0; x < 3; ++x)
            Written_[x] = {0, N_ + 1};
        CacheFrom_ = from;
        Trace_.resize(Offset_[to] - Offset_[from]);
        for (std::size_t s = from; s < to; ++s)
            Diagonal(s, Trace_.data() + Offset_[s] - Offset_[from]);
        CacheBlock_ = block;
    }

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

} // namespace

// ---------------------------------------------------------------------------------------------
// The alignment
//
// A minimum-cost path through the matrix of the sent tokens (rows) and the copied ones
// (columns), computed in a band: each row holds the columns within HalfWidth_ of the cheapest
// cell of the row above, one to the right. The band is exact when no path that leaves it costs
// as little as the best path inside it. A path that leaves it steps from a band cell e to a cell
// x outside; up to e it costs at least the band's cost of e, from x on at least the bound of
// TRestBound for x's row and at least what the unequal numbers of characters and separators
// left on either side force (a character only meets a character). When every such step gives
// more than the band's result, every optimal path lies in the band, so the band's costs along
// them are the full matrix's, and its trace picks the same moves: the result is the full
// alignment's, ties broken the same way. Otherwise the band widens and is computed again; a band
// wider than the copy is the whole matrix.
//
// Rows are kept: their band, every 32nd row's costs, the trace (two bits a cell) and the exits.
// A change of the sent text or the copy makes only the rows whose costs it reaches be computed
// again, and the trace back from the end stops where it meets the path before. When the trace
// would take more than the limit, it is not kept: blocks of rows are computed again, with their
// trace, on the way back.
class TCopyCheckerState {
public:
    explicit TCopyCheckerState(const TCheckLimits& limits)
        : Limits_(limits),
          HalfWidth_(limits.FirstHalfWidth > 0 ? limits.FirstHalfWidth : FirstHalfWidth) {}

    void AddItem(std::string text) {
        const std::size_t oldRows = Sent_.Size();
        TCheckedItem item;
        item.Sent = Lower1252(text);
        Sent_.Add(Result_.Items.size(), item);
        Result_.SentChars += item.SentChars();
        Result_.MissedChars += item.SentChars();
        Result_.Items.push_back(std::move(item));
        NewItemsFrom_ = std::min(NewItemsFrom_, Result_.Items.size() - 1);
        if (Sent_.Size() != oldRows) {
            DirtyRow_ = std::min(DirtyRow_, oldRows);
            SentCharsFrom_ =
                std::min(SentCharsFrom_, static_cast<std::size_t>(Sent_.CharsBefore(oldRows)));
        }
        Stale_ = true;
    }

    void SetCopy(std::string_view text) {
        const std::size_t oldColumns = Copy_.Size();
        const std::size_t first = Copy_.Set(text);
        if (first >= oldColumns && Copy_.Size() == oldColumns) return;
        Stale_ = true;
        CopyCharsFrom_ =
            std::min(CopyCharsFrom_, static_cast<std::size_t>(Copy_.CharsBefore(first)));
        // A row's costs depend on the copy up to its last column; its band on the copy's length
        // when it ends there.
        const std::size_t rows = std::min(Rows_, MaxHi_.size());
        const auto it = std::lower_bound(MaxHi_.begin(),
                                         MaxHi_.begin() + static_cast<std::ptrdiff_t>(rows), first);
        DirtyRow_ = std::min(DirtyRow_, static_cast<std::size_t>(it - MaxHi_.begin()));
    }

    std::size_t ItemCount() const { return Result_.Items.size(); }
    std::size_t FirstChangedItem() const { return FirstChanged_; }

    const TCopyCheck& Check() {
        FirstChanged_ = Result_.Items.size();
        if (!Stale_) return Result_;
        N_ = Sent_.Size();
        M_ = Copy_.Size();
        ChooseLayout();
        UpperBound_ = Inf;
        for (;;) {
            if (OneOff_ && HalfWidth_ > M_ && (N_ + 1) * (M_ + 1) > WholeMatrixCells) {
                WholeMatrix(); // its path is traced already
                break;
            }
            Forward();
            UpperBound_ = std::min(UpperBound_, Cost_);
            if (HalfWidth_ > M_) break; // the band is the whole matrix
            if (OneOff_ && Unrelated()) {
                Widen(static_cast<int32_t>(M_)); // no band will do: no need to look for the bound
                continue;
            }
            const int32_t deficit = Certify();
            if (deficit <= 0) break;
            Widen(deficit);
        }
        if (Rows_ > 0) Traceback();
        Rebuild();
        FirstChanged_ = std::min(FirstChanged_, NewItemsFrom_);
        NewItemsFrom_ = Result_.Items.size();
        Stale_ = false;
        return Result_;
    }

    // A one-off check: a small matrix is computed whole at once, and a large one whole when
    // the band would be the whole matrix.
    void SetFirstWidthFor(std::size_t rows, std::size_t columns) {
        OneOff_ = true;
        if (Limits_.FirstHalfWidth == 0 && (rows + 1) * (columns + 1) <= WholeMatrixCells)
            HalfWidth_ = columns + 1;
    }

private:
    static constexpr std::size_t FirstHalfWidth = 32;
    static constexpr std::size_t WholeMatrixCells = 1 << 16;
    static constexpr std::size_t KeptRowsEvery = 32;

    // A step out of the band: its cost so far and where it lands, as differences of the
    // characters and separators before it (see Certify).
    struct TExit {
        int32_t Cost = 0;
        int32_t Chars = 0;
        int32_t Separators = 0;
    };
    // Where the results of an item begin: the move that takes its first token, and the state
    // there.
    struct TItemStart {
        std::size_t Item = 0;
        std::size_t Move = 0;
        std::size_t Row = 0;
        std::size_t Column = 0;
        std::size_t Extra = 0;
    };

    // ---- layout ----------------------------------------------------------------------------

    // A copy whose band costs more than three quarters of a character gap for each character
    // on either side has hardly anything in common with what was sent: a band that holds its
    // optimum is most of the matrix.
    bool Unrelated() const {
        const auto chars = static_cast<long>(Sent_.CharsBefore(N_)) + Copy_.CharsBefore(M_);
        return 4L * Cost_ > 3L * chars;
    }

    // Keeps the trace when it fits, else only every Segment_-th row's costs. Reckoned by the
    // band's width alone, so that it stays as the copy grows.
    void ChooseLayout() {
        const std::size_t rowBytes = (2 * HalfWidth_ + 4) / 4 + 1;
        const std::size_t total = (N_ + 1) * rowBytes + (M_ + 4) / 4;
        const bool keep = total <= Limits_.MaxTraceBytes;
        const std::size_t segment =
            keep ? KeptRowsEvery
                 : std::max<std::size_t>(1, std::max<std::size_t>(Limits_.MaxTraceBytes, 1) /
                                                rowBytes);
        if (keep != KeepTrace_ || segment != Segment_) {
            KeepTrace_ = keep;
            Segment_ = segment;
            Reset();
        }
    }

    void Reset() {
        DirtyRow_ = 0;
        TraceValidRows_ = 0;
        Rows_ = 0;
        CacheSegment_ = NoSegment;
    }

    void Widen(int32_t deficit) {
        // A cell further out costs at least one more for each column: the band grows by the
        // shortfall, and at least doubles. When that reaches a good part of the matrix, the
        // whole matrix costs hardly more than another try.
        HalfWidth_ = std::max(2 * HalfWidth_, HalfWidth_ + static_cast<std::size_t>(deficit));
        if (4 * HalfWidth_ >= M_) HalfWidth_ = std::max(HalfWidth_, M_ + 1);
        ChooseLayout();
        Reset();
    }

    // ---- the forward pass --------------------------------------------------------------------

    void Forward() {
        const std::size_t from = std::min(DirtyRow_, Rows_);
        if (from > N_) return;
        CacheSegment_ = NoSegment;
        std::size_t start = 0;
        if (from == 0) {
            for (auto* v : {&Lo_, &Hi_, &MaxHi_, &Argmin_, &TraceOff_, &ExitStart_})
                v->reserve(N_ + 2);
            RowMinExit_.reserve(N_ + 1);
            if (KeepTrace_) Trace_.reserve((N_ + 1) * Quarter(std::min(2 * HalfWidth_, M_) + 1));
            Lo_.assign(1, 0);
            Hi_.assign(1, N_ == 0 ? M_ : std::min(M_, HalfWidth_));
            MaxHi_.assign(1, Hi_[0]);
            Argmin_.assign(1, 0);
            Prev_.resize(Hi_[0] + 1);
            const int32_t* gap = Copy_.GapBefore();
            for (std::size_t j = 0; j <= Hi_[0]; ++j)
                Prev_[j] = gap[j];
            TraceOff_.assign(1, 0);
            Trace_.assign(Quarter(Hi_[0] + 1), static_cast<uint8_t>(0xAA)); // every move Insert
            TraceOff_.push_back(Trace_.size());
            Kept_.assign(1, Prev_);
            ExitStart_.assign(1, 0);
            Exits_.clear();
            RowMinExit_.assign(1, Inf);
            AddInsertExit(0, Prev_);
            ExitStart_.push_back(Exits_.size());
            start = 1;
        } else {
            const std::size_t base = (from - 1) / Segment_ * Segment_;
            start = base + 1;
            Prev_ = Kept_[base / Segment_];
            Kept_.resize(base / Segment_ + 1);
            Lo_.resize(start);
            Hi_.resize(start);
            MaxHi_.resize(start);
            Argmin_.resize(start);
            RowMinExit_.resize(start);
            ExitStart_.resize(start + 1);
            Exits_.resize(ExitStart_.back());
            if (KeepTrace_) {
                TraceOff_.resize(start + 1);
                Trace_.resize(TraceOff_.back());
            }
        }
        for (std::size_t i = start; i <= N_; ++i) {
            const std::size_t c = Argmin_[i - 1] + 1;
            const std::size_t lo = std::max(Lo_[i - 1], c > HalfWidth_ ? c - HalfWidth_ : 0);
            const std::size_t hi = i == N_ ? M_ : std::min(M_, c + HalfWidth_);
            Lo_.push_back(lo);
            Hi_.push_back(hi);
            MaxHi_.push_back(std::max(MaxHi_.back(), hi));
            uint8_t* trace = nullptr;
            if (KeepTrace_) {
                Trace_.resize(Trace_.size() + Quarter(hi - lo + 1));
                trace = Trace_.data() + TraceOff_.back();
                TraceOff_.push_back(Trace_.size());
            }
            Cur_.resize(hi - lo + 1);
            Argmin_.push_back(Row(i, Prev_, Cur_, trace));
            AddExits(i, Prev_, Cur_);
            ExitStart_.push_back(Exits_.size());
            std::swap(Prev_, Cur_);
            if (i % Segment_ == 0) Kept_.push_back(Prev_);
        }
        Rows_ = N_ + 1;
        DirtyRow_ = Rows_;
        TraceValidRows_ = std::min(TraceValidRows_, from);
        GroupsValid_ = std::min(GroupsValid_, GroupOfRow(from));
        Cost_ = Prev_[M_ - Lo_[N_]];
    }

    // Row i (band Lo_[i]..Hi_[i]) from row i - 1 (prev); the moves go to trace when one is
    // given (Quarter(width) bytes). Returns the column the next row's band is centred after: the
    // cheapest cell, counting half of what the difference of the characters before it on either
    // side would cost to make up, so that on a copy unrelated to what was sent the band keeps
    // to the straight way rather than drift to cells that have not yet paid for their copy.
    //
    // Branch-free passes that the compiler vectorises: up and diagonal for every cell; then the
    // moves from the left as a running minimum of (cost - gap costs of the copy before the cell),
    // four quarters of the row at once and the later quarters corrected with the earlier ones'
    // minimum; then the costs, the moves and the centre.
    std::size_t Row(std::size_t i, const std::vector<int32_t>& prev, std::vector<int32_t>& cur,
                    uint8_t* trace) {
        const std::size_t lo = Lo_[i];
        const std::size_t hi = Hi_[i];
        const std::size_t plo = Lo_[i - 1];
        const std::size_t phi = Hi_[i - 1];
        const std::size_t w = hi - lo + 1;
        const std::size_t quarter = Quarter(w);
        // Above[k]: the cost of (i - 1, lo - 1 + k).
        Above_.assign(w + 1, Inf);
        const std::size_t from = std::max(plo, lo == 0 ? 0 : lo - 1);
        const std::size_t to = std::min(phi, hi);
        if (from <= to)
            std::copy(prev.begin() + static_cast<std::ptrdiff_t>(from - plo),
                      prev.begin() + static_cast<std::ptrdiff_t>(to - plo + 1),
                      Above_.begin() + static_cast<std::ptrdiff_t>(from + 1 - lo));
        if (lo == 0) Above_[0] = Inf;
        Low_.resize(4 * quarter);
        std::fill(Low_.begin() + static_cast<std::ptrdiff_t>(w), Low_.end(), 2 * Inf);
        Code_.resize(4 * quarter);
        std::fill(Code_.begin() + static_cast<std::ptrdiff_t>(w), Code_.end(), 0);
        cur.resize(4 * quarter);

        const int32_t a = Sent_[i - 1].Token;
        const int32_t gapA = GapCost(a);
        const int32_t* token = Copy_.Shifted() + lo;
        const int32_t* gap = Copy_.GapBefore() + lo;
        int32_t* low = Low_.data();
        FromAbove(Above_.data(), token, gap, low, w, a, gapA);
        RunningMinimum(low, cur.data(), quarter);
        const int32_t best = Finish(Above_.data(), token, gap, Copy_.CharsBefore() + lo, low,
                                    cur.data(), Code_.data(), w, a, gapA, Sent_.CharsBefore(i));
        cur.resize(w);
        if (trace) Pack(Code_.data(), trace, quarter);
        std::size_t centre = 0;
        while (low[centre] != best)
            ++centre;
        return lo + centre;
    }

    // A row of w cells keeps its moves in Quarter(w) bytes: byte q holds cells q, q + Quarter,
    // q + 2 Quarter and q + 3 Quarter.
    static std::size_t Quarter(std::size_t w) { return (w + 3) / 4; }
    static TMove MoveIn(const uint8_t* row, std::size_t w, std::size_t k) {
        const std::size_t quarter = Quarter(w);
        return static_cast<TMove>((row[k % quarter] >> (2 * (k / quarter))) & 3);
    }

    // ---- exits and the certificate -----------------------------------------------------------

    void PushExit(int32_t cost, std::size_t row, std::size_t column) {
        if (cost >= Inf) return;
        const int32_t sentChars = Sent_.CharsBefore(row);
        const int32_t copyChars = Copy_.CharsBefore(column);
        const auto sentSeps = static_cast<int32_t>(row) - sentChars;
        const auto copySeps = static_cast<int32_t>(column) - copyChars;
        Exits_.push_back(TExit{cost, copyChars - sentChars, copySeps - sentSeps});
        RowMinExit_.back() = std::min(RowMinExit_.back(), cost);
    }

    // The step right out of the end of row i.
    void AddInsertExit(std::size_t i, const std::vector<int32_t>& cur) {
        const std::size_t hi = Hi_[i];
        if (hi >= M_) return;
        PushExit(cur[hi - Lo_[i]] + GapCost(Copy_.Shifted()[hi + 1]), i, hi + 1);
    }

    // Steps from row i - 1 to cells of row i outside its band, and out of row i to the right.
    void AddExits(std::size_t i, const std::vector<int32_t>& prev,
                  const std::vector<int32_t>& cur) {
        RowMinExit_.push_back(Inf);
        const std::size_t lo = Lo_[i];
        const std::size_t hi = Hi_[i];
        const std::size_t plo = Lo_[i - 1];
        const std::size_t phi = Hi_[i - 1];
        const int32_t a = Sent_[i - 1].Token;
        const int32_t gapA = GapCost(a);
        auto stepsFrom = [&](std::size_t j) {
            const int32_t cost = prev[j - plo];
            if (j < lo || j > hi) PushExit(cost + gapA, i, j);
            if (j + 1 <= M_ && (j + 1 < lo || j + 1 > hi))
                PushExit(cost + MatchCost(a, Copy_.Shifted()[j + 1]), i, j + 1);
        };
        for (std::size_t j = plo; j <= phi && j < lo; ++j)
            stepsFrom(j);
        for (std::size_t j = std::max(plo, hi); j <= phi; ++j)
            stepsFrom(j);
        AddInsertExit(i, cur);
    }

    // Groups of rows with the same rest bound: group g holds the rows that TRestBound::FromChar
    // gives the blocks g... for.
    std::size_t GroupOfRow(std::size_t row) const {
        const auto chars = static_cast<std::size_t>(Sent_.CharsBefore(std::min(row, N_)));
        return (chars + TRestBound::BlockChars - 1) / TRestBound::BlockChars;
    }
    std::size_t FirstRowOfGroup(std::size_t g) const {
        if (g == 0) return 0;
        return Sent_.TokenOfChar((g - 1) * TRestBound::BlockChars) + 1;
    }

    // How much the cheapest way out of the band falls short of costing more than the band's
    // result; 0 or less when the band is exact. The rest bound is searched for only when the
    // characters left over do not settle it alone.
    int32_t Certify() {
        const std::size_t groups = GroupOfRow(N_) + 1;
        GroupMinExit_.resize(groups);
        for (std::size_t g = std::min(GroupsValid_, groups); g < groups; ++g) {
            const std::size_t end = g + 1 < groups ? FirstRowOfGroup(g + 1) : N_ + 1;
            int32_t best = Inf;
            for (std::size_t r = FirstRowOfGroup(g); r < end; ++r)
                best = std::min(best, RowMinExit_[r]);
            GroupMinExit_[g] = best;
        }
        GroupsValid_ = groups;
        int32_t deficit = Shortfall(groups, false);
        if (deficit <= 0) return deficit;
        Bound_.Update(Sent_.Chars(), Copy_.Chars(), SentCharsFrom_, CopyCharsFrom_, Cost_);
        SentCharsFrom_ = CopyCharsFrom_ = Unchanged;
        return Shortfall(groups, true);
    }

    int32_t Shortfall(std::size_t groups, bool withRest) const {
        const int32_t chars = Copy_.CharsBefore(M_) - Sent_.CharsBefore(N_);
        const int32_t seps = (static_cast<int32_t>(M_) - Copy_.CharsBefore(M_)) -
                             (static_cast<int32_t>(N_) - Sent_.CharsBefore(N_));
        int32_t lowest = Inf;
        for (std::size_t g = 0; g < groups; ++g) {
            const int32_t rest = withRest ? Bound_.FromChar(g * TRestBound::BlockChars) : 0;
            if (GroupMinExit_[g] + rest > Cost_) continue;
            const std::size_t end = g + 1 < groups ? FirstRowOfGroup(g + 1) : N_ + 1;
            for (std::size_t e = ExitStart_[FirstRowOfGroup(g)]; e < ExitStart_[end]; ++e) {
                const TExit& x = Exits_[e];
                const int32_t counts = TAlignCosts::CharGap * std::abs(chars - x.Chars) +
                                       TAlignCosts::SeparatorGap * std::abs(seps - x.Separators);
                lowest = std::min(lowest, x.Cost + std::max(rest, counts));
            }
        }
        return Cost_ - lowest + 1;
    }

    // The whole matrix at once, for a one-off check; the rows are not kept.
    void WholeMatrix() {
        std::vector<int32_t> a(N_);
        for (std::size_t i = 0; i < N_; ++i)
            a[i] = Sent_[i].Token;
        const std::vector<int32_t> b(Copy_.Shifted() + 1, Copy_.Shifted() + 1 + M_);
        TWholeMatrix whole(a, b, Sent_.CharsBefore(), Copy_.CharsBefore(), UpperBound_,
                           Limits_.MaxTraceBytes);
        Cost_ = whole.Align(Path_);
        Reset();
        PathRowStart_.clear();
        PathRowCol_.clear();
        ChangedMove_ = 0;
    }

    // ---- the trace back ------------------------------------------------------------------------

    TMove MoveAt(std::size_t i, std::size_t j) {
        if (i == 0) return TMove::Insert;
        const std::size_t k = j - Lo_[i];
        const uint8_t* row = nullptr;
        if (KeepTrace_) {
            row = Trace_.data() + TraceOff_[i];
        } else {
            const std::size_t segment = (i - 1) / Segment_;
            if (segment != CacheSegment_) FillCache(segment);
            row = CacheTrace_.data() + CacheOff_[i - 1 - segment * Segment_];
        }
        return MoveIn(row, Hi_[i] - Lo_[i] + 1, k);
    }

    // Computes the rows of a segment again, with their trace.
    void FillCache(std::size_t segment) {
        const std::size_t first = segment * Segment_ + 1;
        const std::size_t last = std::min(N_, first + Segment_ - 1);
        std::vector<int32_t> prev = Kept_[segment];
        std::vector<int32_t> cur;
        CacheOff_.clear();
        CacheTrace_.clear();
        for (std::size_t i = first; i <= last; ++i) {
            CacheOff_.push_back(CacheTrace_.size());
            CacheTrace_.resize(CacheTrace_.size() + Quarter(Hi_[i] - Lo_[i] + 1));
        }
        for (std::size_t i = first; i <= last; ++i) {
            cur.resize(Hi_[i] - Lo_[i] + 1);
            Row(i, prev, cur, CacheTrace_.data() + CacheOff_[i - first]);
            std::swap(prev, cur);
        }
        CacheSegment_ = segment;
    }

    void Traceback() {
        std::size_t i = N_;
        std::size_t j = M_;
        Back_.clear();
        std::size_t keep = 0;
        for (;;) {
            if (i < TraceValidRows_ && i < PathRowCol_.size() && j >= PathRowCol_[i] &&
                j - PathRowCol_[i] <= PathInserts(i)) {
                keep = PathRowStart_[i] + (j - PathRowCol_[i]);
                break;
            }
            if (i == 0 && j == 0) break;
            const TMove move = j == 0 ? TMove::Delete : MoveAt(i, j);
            Back_.push_back(move);
            if (move != TMove::Insert) --i;
            if (move != TMove::Delete) --j;
        }
        Path_.resize(keep);
        Path_.insert(Path_.end(), Back_.rbegin(), Back_.rend());
        PathRowStart_.resize(i + 1);
        PathRowCol_.resize(i + 1);
        for (std::size_t m = keep; m < Path_.size(); ++m) {
            if (Path_[m] == TMove::Insert) {
                ++j;
                continue;
            }
            ++i;
            if (Path_[m] == TMove::Diagonal) ++j;
            PathRowStart_.push_back(m + 1);
            PathRowCol_.push_back(j);
        }
        TraceValidRows_ = N_ + 1;
        ChangedMove_ = keep;
    }

    std::size_t PathInserts(std::size_t i) const {
        const std::size_t end =
            i + 1 < PathRowStart_.size() ? PathRowStart_[i + 1] - 1 : Path_.size();
        return end - PathRowStart_[i];
    }

    // ---- the results ---------------------------------------------------------------------------

    // Makes the results again from the item whose moves begin before the first move that
    // changed, and finds the first item whose result is not as it was.
    void Rebuild() {
        TCopyCheck& check = Result_;
        const std::size_t firstItem = N_ > 0 ? Sent_[0].Item : 0;
        TItemStart start{firstItem, 0, 0, 0, 0};
        // The items made again: all of them when the path is made from its start (the items
        // before the first with a token may hold what was copied when there was none).
        std::size_t from = 0;
        if (Starts_.empty() || Starts_.front().Item != firstItem || ChangedMove_ == 0) {
            Starts_.assign(1, start);
        } else {
            // A start at the first changed move may be gone: the one before it is kept (the
            // first start stands on no move).
            auto it = std::lower_bound(
                Starts_.begin(), Starts_.end(), ChangedMove_,
                [](const TItemStart& s, std::size_t move) { return s.Move < move; });
            if (it == Starts_.begin()) ++it;
            start = *std::prev(it);
            Starts_.erase(it, Starts_.end());
            from = start.Item;
        }
        Before_.assign(check.Items.begin() + static_cast<std::ptrdiff_t>(from), check.Items.end());
        for (std::size_t k = from; k < check.Items.size(); ++k)
            Count(check.Items[k], -1);
        for (std::size_t k = from; k < check.Items.size(); ++k) {
            TCheckedItem& item = check.Items[k];
            for (TCheckedChar& c : item.Chars)
                c = TCheckedChar{c.Sent, 0, TCharResult::Missed};
            item.CorrectChars = 0;
            item.ExtraChars = 0;
            item.Copied.clear();
        }
        check.Extra.resize(start.Extra);

        Item_ = start.Item;
        NextPos_ = 0;
        std::size_t i = start.Row;
        std::size_t j = start.Column;
        const int32_t* copy = Copy_.Shifted() + 1;
        for (std::size_t m = start.Move; m < Path_.size(); ++m) {
            const TMove move = Path_[m];
            if (move == TMove::Insert) {
                Inserted(copy[j++]);
                continue;
            }
            const TSentToken& s = Sent_[i++];
            if (s.Boundary && m != start.Move)
                Starts_.push_back(TItemStart{s.Item, m, i - 1, j, check.Extra.size()});
            const int32_t copied = move == TMove::Diagonal ? copy[j++] : Sep;
            if (s.Token == Sep) {
                if (s.Boundary) {
                    Item_ = s.Item;
                    NextPos_ = 0;
                } else if (move == TMove::Diagonal) {
                    AppendSpace();
                }
                continue;
            }
            Item_ = s.Item;
            NextPos_ = s.Pos + 1;
            if (move == TMove::Delete) continue; // the character stays Missed
            TCheckedItem& item = check.Items[s.Item];
            TCheckedChar& c = item.Chars[s.Pos];
            c.Copied = static_cast<uint8_t>(copied);
            c.Result = copied == s.Token ? TCharResult::Correct : TCharResult::Substituted;
            item.Copied += static_cast<char>(copied);
        }

        for (std::size_t k = from; k < check.Items.size(); ++k) {
            TCheckedItem& item = check.Items[k];
            while (!item.Copied.empty() && item.Copied.back() == ' ')
                item.Copied.pop_back();
            item.CorrectChars = static_cast<int>(
                std::count_if(item.Chars.begin(), item.Chars.end(), [](const TCheckedChar& c) {
                    return c.Result == TCharResult::Correct;
                }));
            Count(item, 1);
        }
        for (std::size_t k = from; k < check.Items.size(); ++k) {
            if (!SameResult(check.Items[k], Before_[k - from])) {
                FirstChanged_ = std::min(FirstChanged_, k);
                break;
            }
        }
        check.ExtraChars = static_cast<int>(check.Extra.size());
        check.Cost = Cost_;
    }

    static bool SameResult(const TCheckedItem& a, const TCheckedItem& b) {
        if (a.Copied != b.Copied || a.CorrectChars != b.CorrectChars ||
            a.ExtraChars != b.ExtraChars)
            return false;
        for (std::size_t c = 0; c < a.Chars.size(); ++c)
            if (a.Chars[c].Copied != b.Chars[c].Copied || a.Chars[c].Result != b.Chars[c].Result)
                return false;
        return true;
    }

    // Adds an item's characters to the totals (sign 1) or takes them away (-1).
    void Count(const TCheckedItem& item, int sign) {
        for (const TCheckedChar& c : item.Chars) {
            if (c.Result == TCharResult::Correct) Result_.CorrectChars += sign;
            if (c.Result == TCharResult::Substituted) Result_.SubstitutedChars += sign;
            if (c.Result == TCharResult::Missed) Result_.MissedChars += sign;
        }
    }

    void Inserted(int32_t token) {
        if (token == Sep) {
            AppendSpace();
            return;
        }
        const auto c = static_cast<uint8_t>(token);
        Result_.Extra.push_back(TExtraChar{Item_, NextPos_, c});
        if (Item_ < Result_.Items.size()) {
            Result_.Items[Item_].Copied += static_cast<char>(c);
            ++Result_.Items[Item_].ExtraChars;
        }
    }

    void AppendSpace() {
        if (Item_ >= Result_.Items.size()) return;
        std::string& copied = Result_.Items[Item_].Copied;
        if (!copied.empty() && copied.back() != ' ') copied += ' ';
    }

    static constexpr std::size_t Unchanged = static_cast<std::size_t>(-1);
    static constexpr std::size_t NoSegment = static_cast<std::size_t>(-1);

    TCheckLimits Limits_;
    TSentText Sent_;
    TCopyText Copy_;
    TRestBound Bound_;
    TCopyCheck Result_;
    bool Stale_ = true;
    bool OneOff_ = false; // a single check: nothing is kept for another
    std::size_t NewItemsFrom_ = 0;
    std::size_t FirstChanged_ = 0;
    std::size_t SentCharsFrom_ = 0;
    std::size_t CopyCharsFrom_ = 0;

    std::size_t N_ = 0; // rows 0..N_
    std::size_t M_ = 0; // columns 0..M_
    std::size_t HalfWidth_ = FirstHalfWidth;
    bool KeepTrace_ = true;
    std::size_t Segment_ = KeptRowsEvery;
    std::size_t Rows_ = 0;     // rows computed
    std::size_t DirtyRow_ = 0; // the first row to compute again
    int32_t Cost_ = 0;
    int32_t UpperBound_ = Inf; // the least cost of a band in this check: no path costs more

    // Per row.
    std::vector<std::size_t> Lo_, Hi_, MaxHi_, Argmin_;
    std::vector<std::size_t> TraceOff_; // row i's trace: Trace_[TraceOff_[i] .. TraceOff_[i + 1])
    std::vector<uint8_t> Trace_;
    std::vector<std::vector<int32_t>> Kept_; // costs of rows 0, Segment_, 2 Segment_, ...
    std::vector<TExit> Exits_;
    std::vector<std::size_t> ExitStart_; // row i's exits: ExitStart_[i] .. ExitStart_[i + 1]
    std::vector<int32_t> RowMinExit_;
    std::vector<int32_t> GroupMinExit_;
    std::size_t GroupsValid_ = 0;

    // Scratch rows.
    std::vector<int32_t> Prev_, Cur_, Above_, Low_;
    std::vector<uint8_t> Code_;

    // The trace of one segment when it is not kept.
    std::size_t CacheSegment_ = NoSegment;
    std::vector<uint8_t> CacheTrace_;
    std::vector<std::size_t> CacheOff_;

    // The path: its moves, and per row the move it starts the row with and its column there.
    std::vector<TMove> Path_;
    std::vector<std::size_t> PathRowStart_;
    std::vector<std::size_t> PathRowCol_;
    std::size_t TraceValidRows_ = 0; // rows whose trace is that the path was traced in
    std::vector<TMove> Back_;
    std::size_t ChangedMove_ = 0;

    // Building the results.
    std::vector<TItemStart> Starts_;
    std::vector<TCheckedItem> Before_; // the items made again, as they were
    std::size_t Item_ = 0;
    std::size_t NextPos_ = 0;
};

TCopyChecker::TCopyChecker(const TCheckLimits& limits)
    : State_(std::make_unique<TCopyCheckerState>(limits)) {}
TCopyChecker::~TCopyChecker() = default;
TCopyChecker::TCopyChecker(TCopyChecker&&) noexcept = default;
TCopyChecker& TCopyChecker::operator=(TCopyChecker&&) noexcept = default;

void TCopyChecker::AddItem(std::string engineText) {
    State_->AddItem(std::move(engineText));
}
void TCopyChecker::SetCopy(std::string_view engineText) {
    State_->SetCopy(engineText);
}
std::size_t TCopyChecker::ItemCount() const {
    return State_->ItemCount();
}
const TCopyCheck& TCopyChecker::Check() {
    return State_->Check();
}
std::size_t TCopyChecker::FirstChangedItem() const {
    return State_->FirstChangedItem();
}

TCopyCheck CheckCopy(const std::vector<std::string>& sent, std::string_view copy,
                     const TCheckLimits& limits) {
    TCopyCheckerState state(limits);
    for (const std::string& item : sent)
        state.AddItem(item);
    state.SetCopy(copy);
    std::size_t tokens = 0;
    for (const std::string& item : sent)
        tokens += item.size() + 1;
    state.SetFirstWidthFor(tokens, copy.size());
    return state.Check();
}

} // namespace brindle
