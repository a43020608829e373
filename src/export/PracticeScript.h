// What an exported practice sends, in the order it is heard: chapters of pieces, each piece with
// its speed and whether it is an item that the spoken answers name. Made from a text (split into
// chapters by lines, paragraphs or a number of words, the items being its words, groups,
// callsigns or lines) or by the window from the practice it would start.
#pragma once

#include "export/Speech.h"

#include <string>
#include <vector>

namespace brindle {

struct TPracticePiece {
    std::string Chars;  // engine characters, with the space or line end that follows them
    int Cpm = 0;        // [CpM] 0: the tone's speed
    bool Item = false;  // an item that the spoken answers say
    std::string Spoken; // what is said for it (engine characters, without separators)
};

struct TPracticeChapter {
    std::string Title; // UTF-8
    std::vector<TPracticePiece> Pieces;
};

using TPracticeScript = std::vector<TPracticeChapter>;

enum class TChapterRule { Whole, Lines, Paragraphs, Words };
struct TChapterSplit {
    TChapterRule Rule = TChapterRule::Whole;
    int Words = 0; // words per chapter under TChapterRule::Words
};

// "lines", "paragraphs" or "N-words" (N from 1 to 100000).
bool ParseChapterSplit(const std::string& text, TChapterSplit& split);
// "words", "groups", "callsigns" or "lines".
bool ParseItemKind(const std::string& text, TSpokenKind& kind);

// Splits chars (engine characters, line ends as carriage returns) into chapters. The first chapter
// goes at baseCpm and each next one speedStepCpm faster (capped at maxCpm). With items, every
// item (word, group or callsign, or line) is a piece of its own; otherwise a chapter is one piece.
// Empty chapters are left out; titles are "Chapter N".
TPracticeScript ScriptFromText(const std::string& chars, const TChapterSplit& split, bool items,
                               TSpokenKind itemKind, int baseCpm, int speedStepCpm, int maxCpm);

// The script's chapters cut again into chapters of itemsPerChapter items each ("Chapter N"); the
// pieces that are not items (repetitions, texts around the items) stay with the item before them
// (or, before the first item, with the first).
TPracticeScript SplitByItems(const TPracticeScript& script, int itemsPerChapter);

// Characters of the script, for estimates.
std::size_t ScriptChars(const TPracticeScript& script);

} // namespace brindle
