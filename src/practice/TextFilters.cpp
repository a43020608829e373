#include "practice/TextFilters.h"

#include "base/ControlCodes.h"

#include "engine/MorseTables.h"

namespace brindle {

namespace {

constexpr char CR = 13;
constexpr char LF = 10;

template <class Keep> std::string KeepIf(std::string_view text, Keep keep) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t') c = ' ';
        if (keep(static_cast<uint8_t>(c))) out += c;
    }
    return out;
}

bool IsWordSeparator(char c) {
    return c == LF || c == CR || c == ' ';
}

std::vector<std::string> Split(std::string_view text, bool spaceSeparates) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        while (i < text.size() && text[i] != CR && !(spaceSeparates && text[i] == ' '))
            ++i;
        if (i > start) items.emplace_back(text.substr(start, i - start));
        while (i < text.size() && IsWordSeparator(text[i]))
            ++i;
    }
    return items;
}

} // namespace

std::string RemoveUnknownProsigns(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '<') {
            const TProsignMatch m = MatchProsign(text, i, TProsignToken::FirstClose);
            if (m.Index != 0) out += text.substr(i, m.Length);
            i += m.Length; // a kept token continues after it; a deleted one is gone
        } else {
            if (c != '>') out += c;
            ++i;
        }
    }
    return out;
}

std::string RemoveCodeCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '*':
        case '#':
        case '&':
        case '\\':
        case '%':
        case '{':
        case '}': break;
        default: out += c;
        }
    }
    return out;
}

std::string ProsignsToCodes(std::string_view text) {
    return ReplaceProsignNames(text, TUnknownProsign::DropToken);
}

std::string KeepKnown(std::string_view text, const TCharSet& chars) {
    return KeepIf(text, [&](uint8_t c) { return chars.IsKnown(c); });
}

std::string KeepSendable(std::string_view text, const TCharSet& chars) {
    return KeepIf(text, [&](uint8_t c) { return chars.IsSendable(c); });
}

std::string RemoveCarets(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != '^') out += c;
    return out;
}

std::string CodesToProsignNames(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (const char c : text) {
        const int index = ProsignOfCode(static_cast<uint8_t>(c));
        if (index != 0)
            out += ProsignName(index);
        else
            out += c;
    }
    return out;
}

std::string CompactSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t p = 0; // leading spaces and tabs go
    while (p < text.size() && isSpace(text[p]))
        ++p;
    while (p < text.size()) {
        const char c = text[p];
        if (isSpace(c)) {
            while (p + 1 < text.size() && isSpace(text[p + 1]))
                ++p;
            const std::size_t next = p + 1;
            if (next < text.size() && (text[next] == CR || text[next] == '^')) {
                out += text[next];
                p = next + 1;
            } else {
                out += ' ';
                p = next;
            }
        } else {
            if (c == 0) break;
            out += c;
            ++p;
        }
    }
    return out;
}

std::vector<std::string> SplitWords(std::string_view text) {
    return Split(text, true);
}

std::vector<std::string> SplitPhrases(std::string_view text) {
    return Split(text, false);
}

int CountWords(std::string_view text) {
    int words = 0;
    bool inWord = false;
    for (const char c : text) {
        const bool sep = IsWordSeparator(c) || c == 0;
        if (!sep && !inWord) ++words;
        inWord = !sep;
    }
    return words;
}

std::string NextTextWord(std::string_view text, std::size_t& pos, const TCharSet& chars,
                         bool singleMode) {
    std::string word;
    while (pos < text.size() &&
           (IsWordSeparator(text[pos]) || !chars.IsSendable(static_cast<uint8_t>(text[pos]))))
        ++pos;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (IsWordSeparator(c)) {
            if (singleMode && c == ' ')
                word += PauseChar;
            else if (singleMode && c == CR)
                word += ItemEndChar;
            else
                word += c;
            break;
        }
        if (chars.IsSendable(static_cast<uint8_t>(c))) word += c;
    }
    return word;
}

std::string LineEndsToCr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue; // the LF follows
        out += c == '\n' ? '\r' : c;
    }
    return out;
}

} // namespace brindle
