// The check of a learner's copy against what was sent: one minimum-cost alignment over the whole
// practice that keeps the items apart, and from it every sent character's result, each item's
// copy and the accuracy. Text in engine form (Windows-1252, a prosign one code byte), any case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
    int ExtraChars = 0; // copied in or beside this item with no sent character
    int SentChars() const { return static_cast<int>(Chars.size()); }
};

struct TCopyCheck {
    std::vector<TCheckedItem> Items; // one per sent item, in order
    std::vector<TExtraChar> Extra;   // copied characters with no sent character, in copy order
    int SentChars = 0;
    int CorrectChars = 0;
    int SubstitutedChars = 0;
    int MissedChars = 0;
    int ExtraChars = 0; // Extra.size()
    int Cost = 0;       // of the alignment, in the units of TAlignCosts
    // Every error counts, an extra character as much as a missed one: 1 - (substituted + missed +
    // extra) / sent, never below 0; 0 when nothing was sent. Typing more can never raise it.
    double Accuracy() const {
        return ScoreOf(SentChars, SubstitutedChars + MissedChars + ExtraChars);
    }
    static double ScoreOf(int sent, int errors) {
        if (sent <= 0) return 0.0;
        return errors >= sent ? 0.0 : 1.0 - static_cast<double>(errors) / sent;
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

// Memory the alignment may use for its trace (two bits a cell of its band). Larger problems are
// traced in blocks that are computed twice: the same result, slower.
struct TCheckLimits {
    std::size_t MaxTraceBytes = std::size_t{64} << 20;
    // Half the width of the first band tried, in columns; 0 lets the size of the problem choose.
    // A narrow band makes a small problem go the ways of a large one (tests).
    std::size_t FirstHalfWidth = 0;
};

// Aligns copy with the sent items: the minimum-cost alignment of the whole matrix, on equal costs
// preferring (from the end back) a diagonal step, then a sent token left out, then a copied one
// added. The caller has turned prosign names into their code bytes; bytes outside the Morse
// tables are ordinary characters that can only be wrong. Time about linear in the length for a
// copy with scattered errors; a copy that has little to do with what was sent takes most of the
// whole matrix (quadratic).
TCopyCheck CheckCopy(const std::vector<std::string>& sent, std::string_view copy,
                     const TCheckLimits& limits = {});

class TCopyCheckerState;

// The check of a copy while the practice goes on: items are added as they are heard, the copy is
// replaced as it is typed, and Check() gives exactly CheckCopy(items so far, copy). Between two
// checks only the alignment's open end is computed again: the rows of the items that the change
// can reach (an added item, the copy's changed end and the last band's width of rows before it),
// so an update costs the same at item 10 and at item 1,500. When the copy strays so far that the
// band has to widen, the whole practice is aligned again once, and later updates cost more.
class TCopyChecker {
public:
    explicit TCopyChecker(const TCheckLimits& limits = {});
    ~TCopyChecker();
    TCopyChecker(TCopyChecker&&) noexcept;
    TCopyChecker& operator=(TCopyChecker&&) noexcept;
    TCopyChecker(const TCopyChecker&) = delete;
    TCopyChecker& operator=(const TCopyChecker&) = delete;

    // Appends a sent item (engine text).
    void AddItem(std::string engineText);
    // The whole copy so far (engine text); the part before the first changed byte is kept.
    void SetCopy(std::string_view engineText);
    std::size_t ItemCount() const;

    // The check of every item added against the copy; valid until the next call of a
    // non-const member.
    const TCopyCheck& Check();
    // The first item whose result in the last Check() differs from the Check() before (items
    // added since count as changed); ItemCount() when none does. The items before it are as
    // they were: a caller that keeps the results need only take them from there on.
    std::size_t FirstChangedItem() const;

private:
    std::unique_ptr<TCopyCheckerState> State_;
};

} // namespace brindle
