#include "practice/PracticeMaterial.h"

#include "base/FileIO.h"
#include "base/Text1252.h"
#include "practice/TextFilters.h"

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

} // namespace

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
    if (!ReadFileBytes(path, bytes, error)) {
        result.Error = "Error: cannot read file " + path + " (" + error + ")";
        return result;
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
        result.TrainingMode = 1;
        break;
    case TMaterialKind::Phrases:
        PhrasesPath = path;
        PhrasesFile = FileBaseName(path);
        PhraseList = SplitPhrases(CleanPhrases(lines, chars));
        result.Count = static_cast<int>(PhraseList.size());
        result.TrainingMode = 3;
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
        result.TrainingMode = 4;
        break;
    }
    result.Ok = true;
    result.Headline = Headline(kind, result.Count);
    result.Path = path;
    return result;
}

} // namespace brindle
