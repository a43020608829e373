// The practice material held in memory: the word list, the phrase list and the text read word by
// word, with the files they came from. Loading cleans a file with the chain of its kind and
// returns the counts and report texts for the window to show; a list is replaced only after its
// file was read.
#pragma once

#include "engine/MorseTables.h"

#include <string>
#include <vector>

namespace brindle {

enum class TMaterialKind { Words, Phrases, Text };

struct TLoadResult {
    bool Ok = false;
    std::string Error;    // the message for the user when not Ok
    int Count = 0;        // entries, or words of the text
    int TrainingMode = 0; // mode the parameters window switches to (1, 3 or 4)
    std::string Headline; // "Loaded 4 words from file:" etc., shown with a line break
    std::string Path;     // the full path, shown on the next line
};

class TPracticeMaterial {
public:
    // Reads path and replaces the list of kind; characters are tested against the character set.
    TLoadResult Load(TMaterialKind kind, const std::string& path, const TCharSet& chars);

    // The cleaning chains of the three kinds, on text whose lines end in CR LF.
    static std::string CleanWords(const std::string& text, const TCharSet& chars);
    static std::string CleanPhrases(const std::string& text, const TCharSet& chars);
    static std::string CleanText(const std::string& text, const TCharSet& chars);

    std::vector<std::string> WordList;   // prosigns as lower-case names ("<ar>")
    std::vector<std::string> PhraseList; // the same form
    std::vector<std::string> TextList;   // lines; prosigns as code characters
    std::string Text;                    // TextList joined with CR LF after every line
    int TextWordCount = 0;

    // Bare file names (kept in the settings) and full paths (shown in messages).
    std::string WordFile, WordPath;
    std::string PhrasesFile, PhrasesPath;
    std::string TextFile, TextPath;
    std::string InDir; // folder of the last file opened
};

} // namespace brindle
