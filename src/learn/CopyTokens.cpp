#include "learn/CopyTokens.h"

#include "base/ControlCodes.h"
#include "base/Text1252.h"
#include "engine/MorseTables.h"

#include <algorithm>

namespace brindle::copycheck {

namespace {

// Separators: spaces, every control code (a zero byte too, since 0 stands for "nothing copied"),
// the engine's item-end and pause codes, and the blip that ends a phrase: none of them is a
// character the learner hears as one.
bool IsSpace(uint8_t c) {
    return c <= ' ' || c == 127 || IsFixedPause(c) || c == BlipMark;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The sent items

void TSentText::Add(std::size_t index, TCheckedItem& item) {
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

void TSentText::Push(const TSentToken& t) {
    const bool isChar = t.Token != Sep;
    if (isChar) {
        Chars_.push_back(static_cast<uint8_t>(t.Token));
        CharToken_.push_back(Tokens_.size());
    }
    Tokens_.push_back(t);
    CharsBefore_.push_back(CharsBefore_.back() + (isChar ? 1 : 0));
}

// ---------------------------------------------------------------------------------------------
// The copy

std::size_t TCopyText::Set(std::string_view text) {
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

void TCopyText::Truncate(std::size_t k) {
    Tokens_.resize(k + 1);
    Start_.resize(k);
    GapBefore_.resize(k + 1);
    CharsBefore_.resize(k + 1);
    Chars_.resize(static_cast<std::size_t>(CharsBefore_.back()));
}

void TCopyText::Push(int32_t t, std::size_t byte) {
    Tokens_.push_back(t);
    Start_.push_back(byte);
    GapBefore_.push_back(GapBefore_.back() + GapCost(t));
    CharsBefore_.push_back(CharsBefore_.back() + (t != Sep ? 1 : 0));
    if (t != Sep) Chars_.push_back(static_cast<uint8_t>(t));
}

} // namespace brindle::copycheck
