// The practice material held in memory: the word list, the phrase list and the text read word by
// word, with the files they came from. Loading cleans a file with the chain of its kind and
// returns the counts and report texts for the window to show; a list is replaced only after its
// file was read whole and found to be text.
#pragma once

#include "engine/MorseTables.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

enum class TMaterialKind { Words, Phrases, Text };

// What the bytes of a file hold, as the loaders see them.
enum class TFileText {
    Text,    // UTF-8, or Windows-1252 when not valid UTF-8: what the program reads
    Utf16,   // UTF-16 text, which the program does not read
    NotText, // a program, an image, an archive, random bytes
};

// Tells text from other files. Odd characters are the control characters other than tab, line
// feed, form feed and carriage return (NUL among them) and DEL; in UTF-8 also the C1 controls
// U+0080..U+009F, in Windows-1252 the five bytes that code page leaves unassigned. Bytes with more
// than 4 odd characters that are also more than 1 in 32 of the bytes are not text; text with a
// few stray control characters is. A UTF-16 byte-order mark, or NUL in nearly every other byte
// only with little else odd, is UTF-16. Empty bytes are (empty) text.
TFileText ClassifyFileText(std::string_view bytes);

struct TLoadResult {
    bool Ok = false;
    std::string Error;    // the message for the user when not Ok
    int Count = 0;        // entries, or words of the text
    std::string Headline; // "Loaded 4 words from file:" etc., shown with a line break
    std::string Path;     // the full path, shown on the next line
};

class TPracticeMaterial {
public:
    // The largest file that is loaded (16 MiB): the lists and the text are held whole, and the
    // cleaning handles texts of 10 MB at ease. A larger file, or a device or stream that goes on,
    // is refused rather than cut: a cut list would end in half a word or half a line. [bytes]
    static constexpr std::size_t MaxFileBytes = std::size_t{16} << 20;

    // Reads path and replaces the list of kind; characters are tested against the character set.
    // A file that cannot be read, is larger than MaxFileBytes or is not text leaves every list as
    // it was and gives the reason in TLoadResult::Error.
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
