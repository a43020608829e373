#include "base/Text1252.h"

#include <array>

namespace brindle {

namespace {

// Code points of 0x80..0x9F in Windows-1252; the unassigned bytes keep their C1 value.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Typographic punctuation folded to its plain form before cleaning.
int PlainPunctuation(char32_t cp) {
    switch (cp) {
    case 0x2018:
    case 0x2019: return '\'';
    case 0x201C:
    case 0x201D: return '"';
    case 0x2013:
    case 0x2014: return '-';
    default: return -1;
    }
}

// Decodes one UTF-8 sequence at bytes[i]; returns its length, 0 when invalid.
std::size_t DecodeOne(std::string_view bytes, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > bytes.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

// The bytes 254 and 255 are the program's item and pause codes inside engine text, never the
// letters þ and ÿ: case changes leave them (and Ÿ, the capital of ÿ) alone.
uint8_t Upper1252(uint8_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 224 && c <= 253 && c != 247))
        return static_cast<uint8_t>(c - 32);
    if (c == 154 || c == 156 || c == 158) return static_cast<uint8_t>(c - 16); // š œ ž
    return c;
}

uint8_t Lower1252(uint8_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 192 && c <= 221 && c != 215))
        return static_cast<uint8_t>(c + 32);
    if (c == 138 || c == 140 || c == 142) return static_cast<uint8_t>(c + 16); // Š Œ Ž
    return c;
}

std::string Upper1252(std::string_view text) {
    std::string out(text);
    for (char& ch : out)
        ch = static_cast<char>(Upper1252(static_cast<uint8_t>(ch)));
    return out;
}

std::string Lower1252(std::string_view text) {
    std::string out(text);
    for (char& ch : out)
        ch = static_cast<char>(Lower1252(static_cast<uint8_t>(ch)));
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    char32_t cp = 0;
    while (i < bytes.size()) {
        const std::size_t len = DecodeOne(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

int CodePointTo1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t k = 0; k < kHigh.size(); ++k)
        if (kHigh[k] == cp) return static_cast<int>(0x80 + k);
    return -1;
}

char32_t Cp1252ToCodePoint(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHigh[c - 0x80];
    return c;
}

std::string Utf8To1252(std::string_view utf8, std::size_t* dropped) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t lost = 0;
    std::size_t i = 0;
    char32_t cp = 0;
    while (i < utf8.size()) {
        std::size_t len = DecodeOne(utf8, i, cp);
        if (len == 0) {
            ++lost;
            ++i;
            continue;
        }
        i += len;
        const int c = CodePointTo1252(cp);
        if (c < 0)
            ++lost;
        else
            out += static_cast<char>(c);
    }
    if (dropped) *dropped = lost;
    return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text)
        AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(c)));
    return out;
}

std::string DecodeTextBytes(std::string_view bytes, std::size_t* dropped) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::size_t lost = 0;
    std::string text;
    if (IsValidUtf8(bytes)) {
        text.reserve(bytes.size());
        std::size_t i = 0;
        char32_t cp = 0;
        while (i < bytes.size()) {
            i += DecodeOne(bytes, i, cp);
            const int plain = PlainPunctuation(cp);
            const int c = plain >= 0 ? plain : CodePointTo1252(cp);
            if (c < 0)
                ++lost;
            else
                text += static_cast<char>(c);
        }
    } else {
        text.assign(bytes);
        for (char& c : text) {
            const int plain = PlainPunctuation(Cp1252ToCodePoint(static_cast<unsigned char>(c)));
            if (plain >= 0) c = static_cast<char>(plain);
        }
    }
    if (dropped) *dropped = lost;
    return text;
}

} // namespace brindle
