#include "learn/CopyCheck.h"

#include "base/Text1252.h"
#include "learn/AlignRows.h"
#include "learn/CopyTokens.h"
#include "learn/RestBound.h"
#include "learn/WholeMatrix.h"

#include <algorithm>
#include <cstdlib>

namespace brindle {

// The parts of the check, each in a file of its own.
using copycheck::Finish;
using copycheck::FromAbove;
using copycheck::GapCost;
using copycheck::Inf;
using copycheck::MatchCost;
using copycheck::MoveIn;
using copycheck::Pack;
using copycheck::Quarter;
using copycheck::RunningMinimum;
using copycheck::Sep;
using copycheck::TCopyText;
using copycheck::TMove;
using copycheck::TRestBound;
using copycheck::TSentText;
using copycheck::TSentToken;
using copycheck::TWholeMatrix;

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
