// Conversion between the program's internal text (single bytes of Windows-1252) and the outside
// world (UTF-8 files, keyboard, clipboard, display). Only the edges of the program use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// True when bytes form valid UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Windows-1252 byte for a Unicode code point, or -1 when the code page has none.
int CodePointTo1252(char32_t cp);
// Unicode code point of a Windows-1252 byte (the five unassigned bytes map to U+0081 etc.).
char32_t Cp1252ToCodePoint(unsigned char c);

// UTF-8 text to Windows-1252; code points the code page lacks are dropped and counted.
std::string Utf8To1252(std::string_view utf8, std::size_t* dropped = nullptr);
// Windows-1252 text to UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

// Upper and lower case of Windows-1252 text (ASCII and the accented letters of the code page);
// the one case mapping of the program. Bytes 254 and 255 (item end, pause) never change.
uint8_t Upper1252(uint8_t c);
uint8_t Lower1252(uint8_t c);
std::string Upper1252(std::string_view text);
std::string Lower1252(std::string_view text);
// The case the program shows its texts in: capitals with all caps on, else small letters.
inline std::string ShownCase(std::string_view text, bool allCaps) {
    return allCaps ? Upper1252(text) : Lower1252(text);
}

// The lines of a text: CR LF, LF and CR each end a line; a final line end adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// Reads the bytes of a text file: a UTF-8 byte-order mark is skipped; UTF-8 when the bytes are
// valid UTF-8, otherwise Windows-1252. Typographic apostrophes, quotes and dashes become ' " -
// so that e-book text keeps its punctuation. Characters outside Windows-1252 are dropped and
// counted in *dropped.
std::string DecodeTextBytes(std::string_view bytes, std::size_t* dropped = nullptr);

} // namespace brindle
