#include "export/PracticeScript.h"

#include <algorithm>
#include <charconv>

namespace brindle {

namespace {

constexpr char Cr = 13;

bool IsSpace(char c) {
    return c == ' ' || c == Cr;
}

// Words (with the separator after each, kept) of chars.
struct TWord {
    std::string Text;      // without its separator
    std::string Separator; // the spaces and line ends after it
};

std::vector<TWord> Words(const std::string& chars) {
    std::vector<TWord> words;
    std::size_t i = 0;
    while (i < chars.size() && IsSpace(chars[i]))
        ++i;
    while (i < chars.size()) {
        TWord w;
        while (i < chars.size() && !IsSpace(chars[i]))
            w.Text += chars[i++];
        while (i < chars.size() && IsSpace(chars[i]))
            w.Separator += chars[i++];
        words.push_back(std::move(w));
    }
    return words;
}

bool EndsLine(const std::string& separator) {
    return separator.find(Cr) != std::string::npos;
}

bool EndsParagraph(const std::string& separator) {
    return std::count(separator.begin(), separator.end(), Cr) >= 2;
}

} // namespace

bool ParseChapterSplit(const std::string& text, TChapterSplit& split) {
    if (text == "lines") {
        split = {TChapterRule::Lines, 0};
        return true;
    }
    if (text == "paragraphs") {
        split = {TChapterRule::Paragraphs, 0};
        return true;
    }
    const std::string suffix = "-words";
    if (text.size() <= suffix.size() ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    int n = 0;
    const char* end = text.data() + text.size() - suffix.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || ptr != end || n < 1 || n > 100000) return false;
    split = {TChapterRule::Words, n};
    return true;
}

bool ParseItemKind(const std::string& text, TSpokenKind& kind) {
    if (text == "words")
        kind = TSpokenKind::Word;
    else if (text == "groups")
        kind = TSpokenKind::Group;
    else if (text == "callsigns")
        kind = TSpokenKind::Callsign;
    else if (text == "lines")
        kind = TSpokenKind::Line;
    else
        return false;
    return true;
}

TPracticeScript ScriptFromText(const std::string& chars, const TChapterSplit& split, bool items,
                               TSpokenKind itemKind, int baseCpm, int speedStepCpm, int maxCpm) {
    const std::vector<TWord> words = Words(chars);
    TPracticeScript script;
    TPracticeChapter chapter;
    int wordsInChapter = 0;
    auto closeChapter = [&] {
        if (chapter.Pieces.empty()) return;
        const int n = static_cast<int>(script.size());
        chapter.Title = "Chapter " + std::to_string(n + 1);
        const int cpm = std::min(maxCpm, baseCpm + n * speedStepCpm);
        for (TPracticePiece& p : chapter.Pieces)
            p.Cpm = cpm;
        script.push_back(std::move(chapter));
        chapter = {};
        wordsInChapter = 0;
    };
    const bool lineItems = items && itemKind == TSpokenKind::Line;
    for (const TWord& w : words) {
        const bool openLineItem =
            lineItems && !chapter.Pieces.empty() && !EndsLine(chapter.Pieces.back().Chars);
        if (!items || openLineItem) {
            if (chapter.Pieces.empty()) chapter.Pieces.push_back({"", 0, items, ""});
            TPracticePiece& p = chapter.Pieces.back();
            if (openLineItem) p.Spoken += ' ';
            if (items) p.Spoken += w.Text;
            p.Chars += w.Text + w.Separator;
        } else {
            chapter.Pieces.push_back({w.Text + w.Separator, 0, true, w.Text});
        }
        ++wordsInChapter;
        const bool end = split.Rule == TChapterRule::Lines        ? EndsLine(w.Separator)
                         : split.Rule == TChapterRule::Paragraphs ? EndsParagraph(w.Separator)
                         : split.Rule == TChapterRule::Words      ? wordsInChapter >= split.Words
                                                                  : false;
        if (end) closeChapter();
    }
    closeChapter();
    return script;
}

TPracticeScript SplitByItems(const TPracticeScript& script, int itemsPerChapter) {
    TPracticeScript out;
    TPracticeChapter chapter;
    int items = 0;
    for (const TPracticeChapter& c : script)
        for (const TPracticePiece& p : c.Pieces) {
            if (p.Item && items == itemsPerChapter) {
                chapter.Title = "Chapter " + std::to_string(out.size() + 1);
                out.push_back(std::move(chapter));
                chapter = {};
                items = 0;
            }
            items += p.Item ? 1 : 0;
            chapter.Pieces.push_back(p);
        }
    if (!chapter.Pieces.empty()) {
        chapter.Title = "Chapter " + std::to_string(out.size() + 1);
        out.push_back(std::move(chapter));
    }
    return out;
}

std::size_t ScriptChars(const TPracticeScript& script) {
    std::size_t n = 0;
    for (const TPracticeChapter& c : script)
        for (const TPracticePiece& p : c.Pieces)
            n += p.Chars.size();
    return n;
}

} // namespace brindle
