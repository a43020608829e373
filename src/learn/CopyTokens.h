// The two texts of the copy check as tokens: the sent items as one token string, built item by
// item (TSentText), and the copy, replaced as it is typed (TCopyText); with the tokens' gap and
// match costs. Characters are tokens 0..255; a run of separators is one token, Sep. Nothing
// outside the copy check includes this header.
#pragma once

#include "learn/CopyCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::copycheck {

constexpr int32_t Sep = 256;     // the separator token; characters are 0..255
constexpr int32_t Inf = 1 << 29; // an impossible step; sums of two never overflow

inline int32_t GapCost(int32_t t) {
    return t == Sep ? TAlignCosts::SeparatorGap : TAlignCosts::CharGap;
}

inline int32_t MatchCost(int32_t a, int32_t b) {
    if (a == b) return 0;
    return a == Sep || b == Sep ? Inf : TAlignCosts::Substitute;
}

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
    void Add(std::size_t index, TCheckedItem& item);

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
    void Push(const TSentToken& t);

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
    std::size_t Set(std::string_view text);

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
    void Truncate(std::size_t k);
    void Push(int32_t t, std::size_t byte);

    std::string Text_;
    std::vector<int32_t> Tokens_{-1}; // shifted by one; -1 matches nothing
    std::vector<std::size_t> Start_;  // the byte each token began at
    std::vector<int32_t> GapBefore_{0};
    std::vector<int32_t> CharsBefore_{0};
    std::vector<uint8_t> Chars_;
    std::vector<int32_t> OldTail_;
};

} // namespace brindle::copycheck
