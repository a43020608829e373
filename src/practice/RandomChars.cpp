#include "practice/RandomChars.h"

#include <algorithm>
#include <cmath>

namespace brindle {

namespace {

// Long-run share of each value when value v is drawn with probability p[v] and a draw that would
// make three in a row is repeated until it gives another value. The draws form a chain over
// (last value, run of one or two); its stationary distribution is found by iterating the lazy
// chain (half a step at a time), which converges even where the draws are nearly periodic.
std::vector<double> SharesUnderRule(const std::vector<double>& p) {
    const std::size_t n = p.size();
    std::vector<double> once(n, 1.0 / static_cast<double>(n)); // last value v, run of one
    std::vector<double> twice(n, 0.0);                         // last value v, run of two
    for (int step = 0; step < 100000; ++step) {
        double fromOnce = 0.0;  // all chains in a run of one
        double fromTwice = 0.0; // runs of two, each weighted by 1 / (1 - p) of its redraw
        for (std::size_t v = 0; v < n; ++v) {
            fromOnce += once[v];
            fromTwice += twice[v] / (1.0 - p[v]);
        }
        double change = 0.0;
        for (std::size_t v = 0; v < n; ++v) {
            const double nextOnce =
                p[v] * (fromOnce - once[v] + fromTwice - twice[v] / (1.0 - p[v]));
            const double nextTwice = once[v] * p[v];
            const double o = 0.5 * (once[v] + nextOnce);
            const double t = 0.5 * (twice[v] + nextTwice);
            change = std::max({change, std::abs(o - once[v]), std::abs(t - twice[v])});
            once[v] = o;
            twice[v] = t;
        }
        if (change < 1e-13) break;
    }
    std::vector<double> shares(n);
    for (std::size_t v = 0; v < n; ++v)
        shares[v] = once[v] + twice[v];
    return shares;
}

// The wanted shares as proportions, with none above maxShare (the others make up the rest).
std::vector<double> TargetShares(const std::vector<double>& shares, double maxShare) {
    double smallest = 0.0;
    for (const double s : shares)
        if (s > 0.0 && std::isfinite(s) && (smallest == 0.0 || s < smallest)) smallest = s;
    if (smallest == 0.0) return {};
    std::vector<double> t(shares.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        t[i] = shares[i] > 0.0 && std::isfinite(shares[i]) ? shares[i] : smallest;
        sum += t[i];
    }
    for (double& x : t)
        x /= sum;
    const auto top = std::max_element(t.begin(), t.end());
    if (*top > maxShare) {
        const double rest = (1.0 - maxShare) / (1.0 - *top);
        for (double& x : t)
            x *= rest;
        *top = maxShare;
    }
    return t;
}

} // namespace

TRandomChars::TRandomChars(TSeedClock seedClock) : SeedClock_(std::move(seedClock)) {
    Random_.SetSeed(SeedClock_ ? SeedClock_() : 0);
}

void TRandomChars::Reset() {
    LastIndex_ = 0;
    PreviousIndex_ = 0;
    Random_.SetSeed(SeedClock_ ? SeedClock_() : 0);
}

int TRandomChars::Draw(int low, int high) {
    int v = Random_.Uniform(low, high);
    if (v == LastIndex_ && v == PreviousIndex_)
        while (v == LastIndex_)
            v = Random_.Uniform(low, high);
    PreviousIndex_ = LastIndex_;
    LastIndex_ = v;
    return v;
}

void TRandomChars::SetWeightedCharacters(std::string chars, const std::vector<double>& shares) {
    Chars_ = std::move(chars);
    Cumulative_.clear();
    if (Chars_.size() < 2 || shares.size() != Chars_.size()) return;
    const std::vector<double> target = TargetShares(shares, MaxShare);
    if (target.empty()) return;
    // Raise the draw weight of every value the rule holds back until the shares match.
    std::vector<double> weights = target;
    for (int round = 0; round < 200; ++round) {
        double sum = 0.0;
        for (const double w : weights)
            sum += w;
        std::vector<double> p(weights.size());
        for (std::size_t i = 0; i < p.size(); ++i)
            p[i] = weights[i] / sum;
        const std::vector<double> got = SharesUnderRule(p);
        double error = 0.0;
        for (std::size_t i = 0; i < p.size(); ++i)
            error = std::max(error, std::abs(got[i] / target[i] - 1.0));
        weights = p;
        if (error < 1e-6) break;
        for (std::size_t i = 0; i < p.size(); ++i)
            weights[i] *= target[i] / got[i];
    }
    double running = 0.0;
    for (const double w : weights)
        Cumulative_.push_back(running += w);
}

int TRandomChars::DrawWeighted() {
    const double total = Cumulative_.back();
    auto pick = [&] {
        const auto at =
            std::upper_bound(Cumulative_.begin(), Cumulative_.end(), Random_.NextDouble() * total);
        return static_cast<int>(
            std::min<std::ptrdiff_t>(at - Cumulative_.begin(), std::ssize(Cumulative_) - 1));
    };
    int v = pick();
    if (v == LastIndex_ && v == PreviousIndex_)
        while (v == LastIndex_)
            v = pick();
    PreviousIndex_ = LastIndex_;
    LastIndex_ = v;
    return v;
}

uint8_t TRandomChars::RandomChar() {
    if (Chars_.empty()) return 0;
    if (Chars_.size() == 1) return static_cast<uint8_t>(Chars_[0]);
    const int v = Cumulative_.empty() ? Draw(0, static_cast<int>(Chars_.size())) : DrawWeighted();
    return static_cast<uint8_t>(Chars_[static_cast<std::size_t>(v)]);
}

int TRandomChars::RandomIndex(int low, int high) {
    if (low + 1 >= high) return low;
    return Draw(low, high);
}

std::string TRandomChars::RandomQCode() {
    int v = Random_.Uniform(0, static_cast<int>(QCodeTable.size()));
    while (v == LastIndex_)
        v = Random_.Uniform(0, static_cast<int>(QCodeTable.size()));
    LastIndex_ = v;
    std::string code = "q";
    code += QCodeTable[static_cast<std::size_t>(v)];
    return code;
}

std::string TRandomChars::RandomGroup(int size, int minSize, bool variable) {
    int n = size;
    if (variable) n = minSize >= size ? minSize : RandomIndex(minSize, size + 1);
    std::string group;
    for (int i = 0; i < n; ++i) {
        const uint8_t c = RandomChar();
        if (c != 0) group += static_cast<char>(c);
    }
    return group;
}

} // namespace brindle
