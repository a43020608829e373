// The Morse code tables: the pattern of every character, the prosign names and their code
// characters, the character tests under a character set, and the one prosign parser of the
// program (typing, pasted and loaded text, the filters and the renderer all use it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

constexpr uint8_t BlipMark = '^';
constexpr int ProsignCount = 10;

// Lower-case form used by every lookup.
uint8_t FoldCase(uint8_t c);
// Pattern word: marker bit, then one bit per element (1 dah); 1 is a pause, 0 no pattern.
uint16_t CodeOf(uint8_t c);
// The pattern as a learner reads it: "-.-" for k; empty for a character without one.
std::string MorsePattern(uint8_t c);
int ProsignIndex(std::string_view name); // 1..10, 0 when not a prosign name
uint8_t ProsignCode(int index);          // code character of index 1..10, else 0
int ProsignOfCode(uint8_t c);            // 1..10 for a code character, else 0
std::string_view ProsignName(int index); // "<ar>" etc.; empty outside 1..10
int ProsignNameLength(int index);        // display positions of the name

// Which characters may be sent: the extended table and "}" only with ExtraChars, the blip mark
// only with BlipOn. The engine holds one; filters and tools take it by value.
struct TCharSet {
    bool ExtraChars = true;
    bool BlipOn = false;
    // May be queued by a sender of single characters.
    bool IsSendable(uint8_t c) const;
    // In either table (the blip mark only while BlipOn): accepted for prosign codes.
    bool IsKnown(uint8_t c) const;
};

// How far a "<" token at a position of a text reaches.
enum class TProsignToken {
    NameLength, // four characters when the fourth is ">", else five when the fifth is ">"
    FirstClose, // up to the first ">" among the next four characters
};
// The token found: its length (1, the "<" alone, when no ">" closes it) and the prosign it
// names (0 when none).
struct TProsignMatch {
    std::size_t Length = 1;
    int Index = 0;
};
TProsignMatch MatchProsign(std::string_view text, std::size_t pos,
                           TProsignToken rule = TProsignToken::NameLength);

// The prosign that "<" and two typed letters stand for: the one they name with ">" ("<ar" is
// <ar>), else the one whose longer name they begin ("<so" is <sos>); 0 when none.
int ProsignOfTyped(std::string_view typed);

// What ReplaceProsignNames does with a "<" token that names no prosign.
enum class TUnknownProsign {
    DropToken, // the whole token vanishes (filters, loaded text)
    KeepText,  // its characters stay as they are, for a later filter to judge
};
// Replaces every prosign name by its code character.
std::string ReplaceProsignNames(std::string_view text, TUnknownProsign unknown);

} // namespace brindle
