#include "learn/CopyCheck.h"

#include "base/Text1252.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace brindle {

namespace {

constexpr uint16_t Sep = 256; // the separator token; characters are 0..255
constexpr int Inf = 1 << 29;  // an impossible step; sums of it never overflow

// Separators; a zero byte is taken for one too, since 0 stands for "nothing copied".
bool IsSpace(uint8_t c) {
    return c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 254 || c == 255;
}

int GapCost(uint16_t t) {
    return t == Sep ? TAlignCosts::SeparatorGap : TAlignCosts::CharGap;
}

int MatchCost(uint16_t a, uint16_t b) {
    if (a == b) return 0;
    return a == Sep || b == Sep ? Inf : TAlignCosts::Substitute;
}

enum class TMove : uint8_t {
    Diagonal, // a sent token with a copied one
    Delete,   // a sent token nobody copied
    Insert,   // a copied token with no sent one
};

// Minimum-cost alignment of two token strings within a band of diagonals (j - i) around the
// straight way from (0, 0) to (n, m), d = m - n. Every step off a diagonal costs at least 1. The
// band reaches w beyond the diagonals 0 and d, so a path that leaves it must take w + 1 steps out
// and as many back, and cross d as well: it costs at least 2w + 2 + |d|. A band result below that
// is the optimum. Otherwise the band widens, at most four times, or at once to the width that
// must hold the optimum when that is near the whole matrix anyway. The trace takes one byte per
// band cell; when that is more than the limit, only every B-th row of costs is kept on the way
// forward, and each block of B rows is computed again, with its trace, on the way back.
class TBandAligner {
public:
    TBandAligner(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b,
                 std::size_t maxTraceBytes)
        : A_(a), B_(b), N_(static_cast<long>(a.size())), M_(static_cast<long>(b.size())),
          MaxTraceBytes_(std::max<std::size_t>(maxTraceBytes, 1)) {
        GapPrefix_.assign(B_.size() + 1, 0);
        for (std::size_t j = 0; j < B_.size(); ++j) {
            Gap_.push_back(GapCost(B_[j]));
            GapPrefix_[j + 1] = GapPrefix_[j] + Gap_[j];
        }
    }

    std::vector<TMove> Align(int& cost) {
        const long d = std::abs(M_ - N_);
        long w = 8;
        for (;;) {
            SetBand(w);
            cost = Forward();
            if (cost < 2 * w + 2 + d || Full_) break;
            const long holding = (cost - d) / 2; // a band this wide holds a path of this cost
            long next = std::min(holding, 4 * w);
            // A quarter of the matrix or more: one band as wide as needed costs less than two.
            if (4 * (2 * next + d) >= N_ + M_) next = holding;
            w = std::max(w + 1, next);
        }
        return Trace();
    }

private:
    void SetBand(long w) {
        Lo_ = std::max(std::min(0L, M_ - N_) - w, -N_);
        Hi_ = std::min(std::max(0L, M_ - N_) + w, M_);
        Full_ = Lo_ == -N_ && Hi_ == M_;
        W_ = Hi_ - Lo_ + 1;
        const auto perRow = static_cast<std::size_t>(W_);
        BlockRows_ = std::max(1L, static_cast<long>(MaxTraceBytes_ / perRow));
        if (BlockRows_ >= N_) BlockRows_ = std::max(N_, 1L);
    }

    // Row storage: cell k (diagonal Lo + k) at index k + 1; indices 0 and W + 1 stay Inf.
    std::size_t RowSize() const { return static_cast<std::size_t>(W_ + 2); }

    void FirstRow(std::vector<int>& row) const {
        row.assign(RowSize(), Inf);
        for (long k = std::max(0L, -Lo_); k < W_ && Lo_ + k <= M_; ++k)
            row[static_cast<std::size_t>(k + 1)] = GapPrefix_[static_cast<std::size_t>(Lo_ + k)];
    }

    // Row i from row i - 1; the moves go to trace when one is given.
    void NextRow(long i, const std::vector<int>& prev, std::vector<int>& cur, TMove* trace) const {
        const uint16_t a = A_[static_cast<std::size_t>(i - 1)];
        const int gapA = GapCost(a);
        long k = std::max(0L, -i - Lo_);
        const long kTo = std::min(W_ - 1, M_ - i - Lo_);
        // Cells off the matrix stay impossible; the others are all written below.
        std::fill(cur.begin(), cur.begin() + std::max(k + 1, 1L), Inf);
        std::fill(cur.begin() + std::max(kTo + 2, k + 1), cur.end(), Inf);
        if (k > kTo) return;
        int left = Inf;         // the cell before, (i, j - 1)
        if (i + Lo_ + k == 0) { // column 0: only from above
            left = cur[static_cast<std::size_t>(k + 1)] =
                prev[static_cast<std::size_t>(k + 2)] + gapA;
            if (trace) trace[k] = TMove::Delete;
            ++k;
        }
        const uint16_t* b = B_.data() + (i + Lo_ + k - 1); // copy token j - 1
        const int* gapB = Gap_.data() + (i + Lo_ + k - 1);
        const int* above = prev.data() + 1; // above[k]: (i - 1, j - 1); above[k + 1]: (i - 1, j)
        int* out = cur.data() + 1;
        for (; k <= kTo; ++k, ++b, ++gapB) {
            int best = above[k] + MatchCost(a, *b);
            TMove move = TMove::Diagonal;
            const int up = above[k + 1] + gapA;
            if (up < best) {
                best = up;
                move = TMove::Delete;
            }
            const int fromLeft = left + *gapB;
            if (fromLeft < best) {
                best = fromLeft;
                move = TMove::Insert;
            }
            left = out[k] = std::min(best, Inf);
            if (trace) trace[k] = move;
        }
    }

    // Costs down to row n; keeps the trace when it fits, else every BlockRows_-th row.
    int Forward() {
        std::vector<int> prev;
        std::vector<int> cur(RowSize(), Inf);
        FirstRow(prev);
        const bool traced = BlockRows_ >= N_;
        Checkpoints_.clear();
        // Only the cells of the band inside the matrix are written, and only they are read.
        const auto traceCells = static_cast<std::size_t>((traced ? N_ : BlockRows_) * W_);
        if (traceCells > TraceCapacity_) {
            TraceRows_ = std::make_unique_for_overwrite<TMove[]>(traceCells);
            TraceCapacity_ = traceCells;
        }
        TraceStart_ = traced ? 0 : -1;
        if (!traced) Checkpoints_.push_back(prev);
        for (long i = 1; i <= N_; ++i) {
            NextRow(i, prev, cur,
                    traced ? &TraceRows_[static_cast<std::size_t>((i - 1) * W_)] : nullptr);
            std::swap(prev, cur);
            if (!traced && i % BlockRows_ == 0) Checkpoints_.push_back(prev);
        }
        return prev[static_cast<std::size_t>(M_ - N_ - Lo_ + 1)];
    }

    // Recomputes rows start + 1 .. start + BlockRows_ with their trace.
    void TraceBlock(long start) {
        if (TraceStart_ == start) return;
        std::vector<int> prev = Checkpoints_[static_cast<std::size_t>(start / BlockRows_)];
        std::vector<int> cur(RowSize(), Inf);
        const long end = std::min(N_, start + BlockRows_);
        for (long i = start + 1; i <= end; ++i) {
            NextRow(i, prev, cur, &TraceRows_[static_cast<std::size_t>((i - start - 1) * W_)]);
            std::swap(prev, cur);
        }
        TraceStart_ = start;
    }

    std::vector<TMove> Trace() {
        std::vector<TMove> moves;
        moves.reserve(static_cast<std::size_t>(N_ + M_));
        long i = N_;
        long j = M_;
        while (i > 0) {
            const long start = ((i - 1) / BlockRows_) * BlockRows_;
            TraceBlock(start);
            while (i > start) {
                const TMove move = j == 0 ? TMove::Delete
                                          : TraceRows_[static_cast<std::size_t>(
                                                (i - start - 1) * W_ + (j - i - Lo_))];
                moves.push_back(move);
                if (move != TMove::Insert) --i;
                if (move != TMove::Delete) --j;
            }
        }
        for (; j > 0; --j)
            moves.push_back(TMove::Insert);
        std::reverse(moves.begin(), moves.end());
        return moves;
    }

    const std::vector<uint16_t>& A_;
    const std::vector<uint16_t>& B_;
    const long N_;
    const long M_;
    const std::size_t MaxTraceBytes_;
    std::vector<int> Gap_;       // cost of inserting copy token j
    std::vector<int> GapPrefix_; // cost of inserting the first j copy tokens
    long Lo_ = 0;                // band of diagonals j - i
    long Hi_ = 0;
    long W_ = 1;
    bool Full_ = false;
    long BlockRows_ = 1;
    std::vector<std::vector<int>> Checkpoints_; // cost rows 0, B, 2B, ...
    std::unique_ptr<TMove[]> TraceRows_;        // rows TraceStart_ + 1 ...
    std::size_t TraceCapacity_ = 0;
    long TraceStart_ = -1;
};

// A sent token with where it came from.
struct TSentToken {
    uint16_t Token = Sep;
    std::size_t Item = 0;  // a character's item; for a separator the item that follows it
    std::size_t Pos = 0;   // a character's index in its item
    bool Boundary = false; // a separator between two items
};

// Builds the results from the moves.
class TResultBuilder {
public:
    TResultBuilder(TCopyCheck& check, const std::vector<TSentToken>& sent,
                   const std::vector<uint16_t>& copy)
        : Check_(check), Sent_(sent), Copy_(copy) {
        if (!sent.empty()) Item_ = sent.front().Item;
    }

    void Apply(TMove move) {
        if (move == TMove::Insert) {
            Inserted(Copy_[J_++]);
            return;
        }
        const TSentToken& s = Sent_[I_++];
        const uint16_t copied = move == TMove::Diagonal ? Copy_[J_++] : Sep;
        if (s.Token == Sep) {
            if (s.Boundary) {
                Item_ = s.Item;
                NextPos_ = 0;
            } else if (move == TMove::Diagonal) {
                AppendSpace();
            }
            return;
        }
        Item_ = s.Item;
        NextPos_ = s.Pos + 1;
        if (move == TMove::Delete) return; // the character stays Missed
        TCheckedItem& item = Check_.Items[s.Item];
        TCheckedChar& c = item.Chars[s.Pos];
        c.Copied = static_cast<uint8_t>(copied);
        c.Result = copied == s.Token ? TCharResult::Correct : TCharResult::Substituted;
        item.Copied += static_cast<char>(copied);
    }

private:
    void Inserted(uint16_t token) {
        if (token == Sep) {
            AppendSpace();
            return;
        }
        const auto c = static_cast<uint8_t>(token);
        Check_.Extra.push_back(TExtraChar{Item_, NextPos_, c});
        if (Item_ < Check_.Items.size()) Check_.Items[Item_].Copied += static_cast<char>(c);
    }

    void AppendSpace() {
        if (Item_ >= Check_.Items.size()) return;
        std::string& copied = Check_.Items[Item_].Copied;
        if (!copied.empty() && copied.back() != ' ') copied += ' ';
    }

    TCopyCheck& Check_;
    const std::vector<TSentToken>& Sent_;
    const std::vector<uint16_t>& Copy_;
    std::size_t I_ = 0;
    std::size_t J_ = 0;
    std::size_t Item_ = 0;
    std::size_t NextPos_ = 0;
};

std::vector<TSentToken> SentTokens(const std::vector<std::string>& sent, TCopyCheck& check) {
    std::vector<TSentToken> tokens;
    check.Items.resize(sent.size());
    for (std::size_t idx = 0; idx < sent.size(); ++idx) {
        TCheckedItem& item = check.Items[idx];
        item.Sent = Lower1252(sent[idx]);
        if (!tokens.empty()) {
            if (tokens.back().Token != Sep) tokens.push_back(TSentToken{});
            tokens.back().Item = idx;
            tokens.back().Boundary = true;
        }
        for (const char ch : item.Sent) {
            const auto c = static_cast<uint8_t>(ch);
            if (IsSpace(c)) {
                if (!tokens.empty() && tokens.back().Token != Sep)
                    tokens.push_back(TSentToken{Sep, idx, 0, false});
                continue;
            }
            tokens.push_back(TSentToken{c, idx, item.Chars.size(), false});
            item.Chars.push_back(TCheckedChar{c, 0, TCharResult::Missed});
        }
    }
    if (!tokens.empty() && tokens.back().Token == Sep) tokens.pop_back();
    return tokens;
}

std::vector<uint16_t> CopyTokens(std::string_view copy) {
    std::vector<uint16_t> tokens;
    tokens.reserve(copy.size());
    for (const char ch : copy) {
        const auto c = Lower1252(static_cast<uint8_t>(ch));
        if (!IsSpace(c))
            tokens.push_back(c);
        else if (!tokens.empty() && tokens.back() != Sep)
            tokens.push_back(Sep);
    }
    if (!tokens.empty() && tokens.back() == Sep) tokens.pop_back();
    return tokens;
}

} // namespace

TCopyCheck CheckCopy(const std::vector<std::string>& sent, std::string_view copy,
                     const TCheckLimits& limits) {
    TCopyCheck check;
    const std::vector<TSentToken> sentTokens = SentTokens(sent, check);
    const std::vector<uint16_t> copyTokens = CopyTokens(copy);

    std::vector<uint16_t> a;
    a.reserve(sentTokens.size());
    for (const TSentToken& t : sentTokens)
        a.push_back(t.Token);
    TBandAligner aligner(a, copyTokens, limits.MaxTraceBytes);
    const std::vector<TMove> moves = aligner.Align(check.Cost);

    TResultBuilder builder(check, sentTokens, copyTokens);
    for (const TMove move : moves)
        builder.Apply(move);

    for (TCheckedItem& item : check.Items) {
        while (!item.Copied.empty() && item.Copied.back() == ' ')
            item.Copied.pop_back();
        for (const TCheckedChar& c : item.Chars) {
            if (c.Result == TCharResult::Correct) ++item.CorrectChars;
            if (c.Result == TCharResult::Substituted) ++check.SubstitutedChars;
            if (c.Result == TCharResult::Missed) ++check.MissedChars;
        }
        check.SentChars += item.SentChars();
        check.CorrectChars += item.CorrectChars;
    }
    return check;
}

} // namespace brindle
