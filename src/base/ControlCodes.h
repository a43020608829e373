// The control codes that travel in the type-ahead buffer besides printable characters. The
// engine keys them as pauses, the display shows them as line breaks or spaces, the filters and
// the session composer write them. Defined here once, below every layer that uses them.
#pragma once

#include <cstdint>

namespace brindle {

inline constexpr uint8_t NewLineCode = 13;  // a new line: sent as a word space
inline constexpr uint8_t ItemEndCode = 254; // end of an item: a fixed pause, shown as a new line
inline constexpr uint8_t PauseCode = 255;   // single mode's word space: a fixed pause, a space

// The same codes as chars, for building engine text.
inline constexpr char ItemEndChar = static_cast<char>(ItemEndCode);
inline constexpr char PauseChar = static_cast<char>(PauseCode);

// A fixed pause of four dots rather than a character's word space.
constexpr bool IsFixedPause(uint8_t c) {
    return c == ItemEndCode || c == PauseCode;
}
// Anything that ends a word or an item in the type-ahead buffer.
constexpr bool IsSeparatorCode(uint8_t c) {
    return c == ' ' || c == NewLineCode || IsFixedPause(c);
}

} // namespace brindle
