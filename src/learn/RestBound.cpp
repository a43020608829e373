#include "learn/RestBound.h"

#include "learn/CopyCheck.h"

#include <algorithm>
#include <cstdlib>

namespace brindle::copycheck {

void TRestBound::Update(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& copy,
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

TRestBound::TState TRestBound::Initial(const TBlock& block) {
    TState s;
    s.Score = s.Min = block.Length;
    return s;
}

void TRestBound::Restart(TBlock& block, std::size_t start) {
    block.State = Initial(block);
    block.Start = block.Scanned = start;
    block.Saved.clear();
}

void TRestBound::SetPattern(TBlock& block, const std::vector<uint8_t>& sent, std::size_t k) {
    block.Peq.fill(0);
    const std::size_t from = k * BlockChars;
    const std::size_t to = std::min(sent.size(), from + BlockChars);
    for (std::size_t c = from; c < to; ++c)
        block.Peq[sent[c]] |= uint64_t{1} << (c - from);
    block.Length = static_cast<int>(to - from);
}

void TRestBound::Scan(TBlock& block, const std::vector<uint8_t>& copy, std::size_t to) {
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

} // namespace brindle::copycheck
