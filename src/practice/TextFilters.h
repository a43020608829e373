// The program's text preparation: the filters that clean text from outside (clipboard, files,
// buffers, parameter fields) for sending, and the cutting of cleaned text into words and phrases.
// Text is Windows-1252; every operation runs in linear time.
#pragma once

#include "engine/MorseTables.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Keeps known prosign names; deletes unknown tokens in angle brackets and stray "<" and ">".
std::string RemoveUnknownProsigns(std::string_view text);
// Deletes the prosign code characters * # & \ % { } ("+", "-" and "=" are punctuation too).
std::string RemoveCodeCharacters(std::string_view text);
// Replaces each known prosign name by its code character; drops an unknown "<" token.
std::string ProsignsToCodes(std::string_view text);
// Tabs become spaces; keeps the characters in either table (the blip mark only with BlipOn).
std::string KeepKnown(std::string_view text, const TCharSet& chars);
// Tabs become spaces; keeps the characters the character set sends.
std::string KeepSendable(std::string_view text, const TCharSet& chars);
// Every line end (CR LF, LF or CR) becomes one carriage return, the line end the engine sends.
std::string LineEndsToCr(std::string_view text);
// Deletes every "^".
std::string RemoveCarets(std::string_view text);
// Replaces each prosign code character by its lower-case name ("<ar>").
std::string CodesToProsignNames(std::string_view text);
// Removes leading spaces, folds runs of spaces (and tabs) to one, drops a run before CR or "^".
std::string CompactSpaces(std::string_view text);

// Cuts at spaces and carriage returns; every word is kept.
std::vector<std::string> SplitWords(std::string_view text);
// Cuts at carriage returns; every phrase is kept.
std::vector<std::string> SplitPhrases(std::string_view text);
// Number of maximal runs of characters other than LF, CR, space and code 0.
int CountWords(std::string_view text);

// The next word of a text from pos (0-based, advanced past what was read), with its separator.
// In single mode a space separator becomes code 255 and a carriage return code 254. Characters
// the character set does not send are passed over. Empty at the end of the text.
std::string NextTextWord(std::string_view text, std::size_t& pos, const TCharSet& chars,
                         bool singleMode);

} // namespace brindle
