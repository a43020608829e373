#include "practice/PracticeMaterial.h"

#include "base/FileIO.h"
#include "base/Text1252.h"
#include "practice/TextFilters.h"

#include <algorithm>

namespace brindle {

namespace {

// Lines of bytes joined with CR LF after every line (CR LF, LF and CR all end a line).
std::string JoinLinesCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    std::size_t i = 0;
    bool open = false; // a line has characters not yet ended
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += c;
            open = true;
        }
        ++i;
    }
    if (open) out += "\r\n";
    return out;
}

std::string Headline(TMaterialKind kind, int count) {
    const char* single = "Loaded only 1 word from file:";
    const char* plural = " words from file:";
    if (kind == TMaterialKind::Phrases) {
        single = "Loaded only 1 phrase from file:";
        plural = " phrases from file:";
    } else if (kind == TMaterialKind::Text) {
        single = "Loaded only 1 'word' from text file:";
        plural = " 'words' from text file:";
    }
    return count == 1 ? single : "Loaded " + std::to_string(count) + plural;
}

// The five bytes Windows-1252 leaves unassigned: never in a text written in that code page.
bool IsUnassigned1252(unsigned char c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

} // namespace

TFileText ClassifyFileText(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return TFileText::Utf16;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const bool utf8 = IsValidUtf8(bytes);
    std::size_t odd = 0;
    std::size_t nulAt[2] = {0, 0}; // NUL bytes at even and at odd offsets
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0) ++nulAt[i % 2];
        if (c < 0x20) {
            if (c != '\t' && c != '\n' && c != '\f' && c != '\r') ++odd;
        } else if (c == 0x7F) {
            ++odd;
        } else if (utf8) {
            // Valid UTF-8 has 0xC2 only as a lead byte: C2 80..C2 9F are U+0080..U+009F.
            if (c == 0xC2 && i + 1 < bytes.size() &&
                static_cast<unsigned char>(bytes[i + 1]) < 0xA0)
                ++odd;
        } else if (IsUnassigned1252(c)) {
            ++odd;
        }
    }
    // UTF-16 of mostly Latin text without a byte-order mark: NUL in every other byte, and next to
    // the NULs hardly anything odd (numbers of 16 bits have NULs too, but no text between them).
    const std::size_t nuls = nulAt[0] + nulAt[1];
    if (nuls > 0 && nuls * 4 >= bytes.size() && std::min(nulAt[0], nulAt[1]) * 20 <= nuls &&
        (odd - nuls) * 32 <= bytes.size())
        return TFileText::Utf16;
    return odd > 4 && odd * 32 > bytes.size() ? TFileText::NotText : TFileText::Text;
}

std::string TPracticeMaterial::CleanWords(const std::string& text, const TCharSet& chars) {
    return CompactSpaces(CodesToProsignNames(RemoveCarets(
        KeepKnown(ProsignsToCodes(RemoveCodeCharacters(RemoveUnknownProsigns(text))), chars))));
}

std::string TPracticeMaterial::CleanPhrases(const std::string& text, const TCharSet& chars) {
    return CompactSpaces(CodesToProsignNames(KeepKnown(
        RemoveCarets(ProsignsToCodes(RemoveCodeCharacters(RemoveUnknownProsigns(text)))), chars)));
}

std::string TPracticeMaterial::CleanText(const std::string& text, const TCharSet& chars) {
    return CompactSpaces(RemoveCarets(
        KeepKnown(ProsignsToCodes(RemoveCodeCharacters(RemoveUnknownProsigns(text))), chars)));
}

TLoadResult TPracticeMaterial::Load(TMaterialKind kind, const std::string& path,
                                    const TCharSet& chars) {
    TLoadResult result;
    std::string bytes, error;
    bool tooLarge = false;
    if (!ReadFileBytes(path, bytes, error, MaxFileBytes, &tooLarge)) {
        result.Error = "Error: cannot read file " + path + " (" + error + ")";
        return result;
    }
    if (tooLarge) {
        const std::string most = std::to_string(MaxFileBytes >> 20) + " MB";
        result.Error = "Error: " + path + " is larger than " + most + ": files of up to " + most +
                       " can be loaded";
        return result;
    }
    switch (ClassifyFileText(bytes)) {
    case TFileText::Text: break;
    case TFileText::Utf16:
        result.Error = "Error: " + path + " is UTF-16 text: save it as UTF-8 to load it";
        return result;
    case TFileText::NotText: result.Error = "Error: " + path + " is not a text file"; return result;
    }
    InDir = FileFolder(path);
    const std::string lines = JoinLinesCrLf(DecodeTextBytes(bytes));
    bytes.clear();
    bytes.shrink_to_fit();
    switch (kind) {
    case TMaterialKind::Words:
        WordPath = path;
        WordFile = FileBaseName(path);
        WordList = SplitWords(CleanWords(lines, chars));
        result.Count = static_cast<int>(WordList.size());
        break;
    case TMaterialKind::Phrases:
        PhrasesPath = path;
        PhrasesFile = FileBaseName(path);
        PhraseList = SplitPhrases(CleanPhrases(lines, chars));
        result.Count = static_cast<int>(PhraseList.size());
        break;
    case TMaterialKind::Text:
        TextPath = path;
        TextFile = FileBaseName(path);
        TextList = SplitLines(CleanText(lines, chars));
        Text.clear();
        for (const auto& line : TextList) {
            Text += line;
            Text += "\r\n";
        }
        TextWordCount = CountWords(Text);
        result.Count = TextWordCount;
        break;
    }
    result.Ok = true;
    result.Headline = Headline(kind, result.Count);
    result.Path = path;
    return result;
}

} // namespace brindle
