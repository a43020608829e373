#include "learn/WholeMatrix.h"

#include "learn/CopyTokens.h"

#include <algorithm>
#include <cstdlib>

namespace brindle::copycheck {

TWholeMatrix::TWholeMatrix(const std::vector<int32_t>& a, const std::vector<int32_t>& b,
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
    Block_ = Keep_
                 ? N_ + M_ + 1
                 : std::max<std::size_t>(1, std::max<std::size_t>(maxTraceBytes, 1) / perDiagonal);
    for (std::size_t x = 0; x < 3; ++x) {
        D_[x].assign(N_ + 2, Inf);
        Written_[x] = {0, N_ + 1};
    }
}

int32_t TWholeMatrix::Align(std::vector<TMove>& path) {
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

void TWholeMatrix::Rows(const int32_t* sentChars, const int32_t* copyChars, int32_t cost) {
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

void TWholeMatrix::Diagonal(std::size_t s, uint8_t* trace) {
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

TMove TWholeMatrix::MoveAt(std::size_t i, std::size_t j) {
    const std::size_t s = i + j;
    if (!Keep_ && s / Block_ != CacheBlock_) FillCache(s / Block_);
    const uint8_t* row = Trace_.data() + Offset_[s] - (Keep_ ? 0 : Offset_[CacheFrom_]);
    return MoveIn(row, Length_[s], i - First_[s]);
}

void TWholeMatrix::FillCache(std::size_t block) {
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

} // namespace brindle::copycheck
