// The check of a learner's copy against what was sent: one minimum-cost alignment over the whole
// practice that keeps the items apart, and from it every sent character's result, each item's
// copy and the accuracy. Text in engine form (Windows-1252, a prosign one code byte), any case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// What became of one sent character.
enum class TCharResult { Correct, Substituted, Missed };

struct TCheckedChar {
    uint8_t Sent = 0;   // lower case
    uint8_t Copied = 0; // what was copied in its place (lower case); 0 when missed
    TCharResult Result = TCharResult::Missed;
};

// A copied character that stands for no sent character.
struct TExtraChar {
    std::size_t Item = 0;   // the item it was copied in or beside (0 when nothing was sent)
    std::size_t Before = 0; // index of the item's character it came before; Chars.size(): after all
    uint8_t Copied = 0;
};

struct TCheckedItem {
    std::string Sent;                // as sent, lower case
    std::string Copied;              // the copy aligned to this item, lower case; spaces the
                                     // learner typed inside it kept (one each)
    std::vector<TCheckedChar> Chars; // one per sent character; spaces are not characters
    int CorrectChars = 0;
    int SentChars() const { return static_cast<int>(Chars.size()); }
};

struct TCopyCheck {
    std::vector<TCheckedItem> Items; // one per sent item, in order
    std::vector<TExtraChar> Extra;   // copied characters with no sent character, in copy order
    int SentChars = 0;
    int CorrectChars = 0;
    int SubstitutedChars = 0;
    int MissedChars = 0;
    int Cost = 0; // of the alignment, in the units of TAlignCosts
    // CorrectChars / SentChars; 0 when nothing was sent. Extra characters do not count.
    double Accuracy() const {
        return SentChars == 0 ? 0.0 : static_cast<double>(CorrectChars) / SentChars;
    }
};

// The costs of the alignment. Both texts become tokens: characters, and separators (a run of
// spaces, tabs, line ends, zero bytes or the engine's item-end and pause codes, in the copy or
// inside a sent item; and the boundary between two sent items). A separator only ever matches a
// separator, never a character. Dropping or adding a separator is cheap: a learner who runs two
// items together or splits one loses no character for it. A substitution costs less than a miss
// plus an extra character, so a wrong character counts as one error; a whole item missed or added
// is cheaper as gaps than as substitutions, so the items after it still line up and count as
// correct.
struct TAlignCosts {
    static constexpr int Substitute = 2;   // a character copied as another one
    static constexpr int CharGap = 2;      // a character missed, or an extra one copied
    static constexpr int SeparatorGap = 1; // a separator missed or added
};

// Memory the alignment may use for its trace. Larger problems are traced in blocks that are
// computed twice: the same result, slower.
struct TCheckLimits {
    std::size_t MaxTraceBytes = std::size_t{64} << 20;
};

// Aligns copy with the sent items. The caller has turned prosign names into their code bytes;
// bytes outside the Morse tables are ordinary characters that can only be wrong.
TCopyCheck CheckCopy(const std::vector<std::string>& sent, std::string_view copy,
                     const TCheckLimits& limits = {});

} // namespace brindle
