#include "engine/MorseTables.h"

#include "base/ControlCodes.h"

#include "base/Text1252.h"

#include <array>

namespace brindle {

namespace {

struct TTableEntry {
    uint8_t Char;
    uint16_t Code;
};

// Order matters: lookups take the first match, and position 50 ("}") is an extended character.
constexpr std::array<TTableEntry, 55> kStandardTable = {{
    {'a', 0x0005},         {'b', 0x0018},         {'c', 0x001A}, {'d', 0x000C},
    {'e', 0x0002},         {'f', 0x0012},         {'g', 0x000E}, {'h', 0x0010},
    {'i', 0x0004},         {'j', 0x0017},         {'k', 0x000D}, {'l', 0x0014},
    {'m', 0x0007},         {'n', 0x0006},         {'o', 0x000F}, {'p', 0x0016},
    {'q', 0x001D},         {'r', 0x000A},         {'s', 0x0008}, {'t', 0x0003},
    {'u', 0x0009},         {'v', 0x0011},         {'w', 0x000B}, {'x', 0x0019},
    {'y', 0x001B},         {'z', 0x001C},         {'0', 0x003F}, {'1', 0x002F},
    {'2', 0x0027},         {'3', 0x0023},         {'4', 0x0021}, {'5', 0x0020},
    {'6', 0x0030},         {'7', 0x0038},         {'8', 0x003C}, {'9', 0x003E},
    {',', 0x0073},         {'.', 0x0055},         {'/', 0x0032}, {'?', 0x004C},
    {'+', 0x002A},         {'=', 0x0031},         {'*', 0x0035}, {'#', 0x0045},
    {'&', 0x0028},         {'\\', 0x0022},        {'%', 0x0100}, {'-', 0x0061},
    {'{', 0x0238},         {'}', 0x001F},         {' ', 0x0001}, {PauseCode, 0x0001},
    {NewLineCode, 0x0001}, {ItemEndCode, 0x0001}, {'^', 0x0001},
}};
constexpr std::size_t kExtendedPosition = 49; // 0-based position of "}" (the code of "<ch>")

constexpr std::array<TTableEntry, 17> kExtendedTable = {{
    {228, 0x0015},
    {225, 0x002D},
    {229, 0x002D},
    {233, 0x0024},
    {241, 0x003B},
    {246, 0x001E},
    {252, 0x0013},
    {231, 0x0034},
    {'$', 0x0089},
    {'"', 0x0052},
    {':', 0x0078},
    {'\'', 0x005E},
    {';', 0x006A},
    {'(', 0x0036},
    {')', 0x006D},
    {'@', 0x005A},
    {'!', 0x0026},
}};

constexpr std::array<std::string_view, 10> kProsignNames = {
    "<ar>", "<bt>", "<ka>", "<sk>", "<as>", "<ve>", "<hh>", "<du>", "<sos>", "<ch>"};
constexpr std::string_view kProsignCodes = "+=*#&\\%-{}";

template <std::size_t N> int Find(const std::array<TTableEntry, N>& table, uint8_t folded) {
    for (std::size_t i = 0; i < N; ++i)
        if (table[i].Char == folded) return static_cast<int>(i);
    return -1;
}

// Lookup tables built once from the ordered tables above, indexed by the unfolded byte.
struct TLookup {
    std::array<uint16_t, 256> Code{};
    std::array<int8_t, 256> StdPos{}; // -1 none, 0 standard, 1 the extended standard entry
    std::array<bool, 256> InExtended{};
    TLookup() {
        for (int c = 0; c < 256; ++c) {
            const uint8_t f = FoldCase(static_cast<uint8_t>(c));
            const int s = Find(kStandardTable, f);
            const int e = Find(kExtendedTable, f);
            StdPos[c] = static_cast<int8_t>(
                s < 0 ? -1 : (static_cast<std::size_t>(s) == kExtendedPosition ? 1 : 0));
            InExtended[c] = e >= 0;
            Code[c] = s >= 0 ? kStandardTable[s].Code : (e >= 0 ? kExtendedTable[e].Code : 0);
        }
    }
};
const TLookup& Lookup() {
    static const TLookup table;
    return table;
}

} // namespace

uint8_t FoldCase(uint8_t c) {
    return Lower1252(c);
}

uint16_t CodeOf(uint8_t c) {
    return Lookup().Code[c];
}

std::string MorsePattern(uint8_t c) {
    const uint16_t k = CodeOf(FoldCase(c));
    if (k <= 1) return {};
    int marker = 15;
    while (((k >> marker) & 1u) == 0)
        --marker;
    std::string pattern;
    for (int bit = marker - 1; bit >= 0; --bit)
        pattern += ((k >> bit) & 1u) ? '-' : '.';
    return pattern;
}

bool TCharSet::IsSendable(uint8_t c) const {
    if (c == BlipMark && !BlipOn) return false;
    const auto& t = Lookup();
    if (t.StdPos[c] >= 0) return t.StdPos[c] == 0 || ExtraChars;
    return t.InExtended[c] && ExtraChars;
}

bool TCharSet::IsKnown(uint8_t c) const {
    if (c == BlipMark && !BlipOn) return false;
    return Lookup().Code[c] != 0;
}

int ProsignIndex(std::string_view name) {
    const std::string lower = Lower1252(name.substr(0, 5));
    for (int i = 0; i < ProsignCount; ++i)
        if (lower == kProsignNames[static_cast<std::size_t>(i)]) return i + 1;
    return 0;
}

uint8_t ProsignCode(int index) {
    if (index < 1 || index > ProsignCount) return 0;
    return static_cast<uint8_t>(kProsignCodes[static_cast<std::size_t>(index - 1)]);
}

int ProsignOfCode(uint8_t c) {
    const auto pos = kProsignCodes.find(static_cast<char>(FoldCase(c)));
    return pos == std::string_view::npos ? 0 : static_cast<int>(pos) + 1;
}

std::string_view ProsignName(int index) {
    if (index < 1 || index > ProsignCount) return {};
    return kProsignNames[static_cast<std::size_t>(index - 1)];
}

int ProsignNameLength(int index) {
    return index == 9 ? 5 : 4;
}

TProsignMatch MatchProsign(std::string_view text, std::size_t pos, TProsignToken rule) {
    TProsignMatch m;
    if (pos >= text.size() || text[pos] != '<') return m;
    auto closesAt = [&](std::size_t k) { return pos + k < text.size() && text[pos + k] == '>'; };
    const std::size_t first = rule == TProsignToken::FirstClose ? 1 : 3;
    std::size_t k = first;
    while (k <= 4 && !closesAt(k))
        ++k;
    if (k > 4) return m;
    m.Length = k + 1;
    m.Index = ProsignIndex(text.substr(pos, m.Length));
    return m;
}

int ProsignOfTyped(std::string_view typed) {
    if (const int named = ProsignIndex(std::string(typed) + ">"); named > 0) return named;
    const std::string lower = Lower1252(typed);
    for (int i = 0; i < ProsignCount; ++i) {
        const std::string_view name = kProsignNames[static_cast<std::size_t>(i)];
        if (name.size() > lower.size() + 1 && name.substr(0, lower.size()) == lower) return i + 1;
    }
    return 0;
}

std::string ReplaceProsignNames(std::string_view text, TUnknownProsign unknown) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '<') {
            out += text[i++];
            continue;
        }
        const TProsignMatch m = MatchProsign(text, i);
        if (m.Index != 0) {
            out += static_cast<char>(ProsignCode(m.Index));
            i += m.Length;
        } else if (unknown == TUnknownProsign::KeepText) {
            out += text[i++];
        } else {
            i += m.Length;
        }
    }
    return out;
}

} // namespace brindle
