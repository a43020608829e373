// Fuzzes the text filters, the splitters and the word fetcher with their invariants. The first
// byte chooses the character set, the blip and single mode; the rest is the text.
#include "engine/MorseEngine.h"
#include "practice/PracticeMaterial.h"
#include "practice/TextFilters.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
bool IsSeparator(uint8_t c) {
    return c == ' ' || c == 13 || c == 10 || c == 254 || c == 255;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brindle;
    if (size == 0) return 0;
    static TCharSet engine;
    engine.ExtraChars = data[0] & 1;
    engine.BlipOn = data[0] & 2;
    const bool single = data[0] & 4;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string sendable = KeepSendable(text, engine);
    for (const char c : sendable)
        Check(engine.IsSendable(static_cast<uint8_t>(c)));
    const std::string known = KeepKnown(text, engine);
    for (const char c : known)
        Check(engine.IsKnown(static_cast<uint8_t>(c)));
    Check(ProsignsToCodes(CodesToProsignNames(known)) == known);

    const std::string compact = CompactSpaces(text);
    Check(compact.find("  ") == std::string::npos);
    Check(compact.empty() || compact[0] != ' ');

    for (const auto& w : SplitWords(text)) {
        Check(!w.empty());
        Check(w.find_first_of(" \r") == std::string::npos);
    }
    const auto phrases = SplitPhrases(text);
    Check(phrases.size() <= text.size());
    for (const auto& p : phrases)
        Check(!p.empty() && p.find('\r') == std::string::npos);
    Check(CountWords(text) >= 0);

    std::size_t pos = 0;
    for (;;) {
        const std::size_t before = pos;
        const std::string word = NextTextWord(text, pos, engine, single);
        Check(pos <= text.size());
        if (word.empty()) break;
        Check(pos > before);
        for (std::size_t i = 0; i + 1 < word.size(); ++i)
            Check(engine.IsSendable(static_cast<uint8_t>(word[i])));
        const auto last = static_cast<uint8_t>(word.back());
        Check(engine.IsSendable(last) || IsSeparator(last));
    }

    for (const auto& cleaned : {TPracticeMaterial::CleanWords(text, engine),
                                TPracticeMaterial::CleanPhrases(text, engine),
                                TPracticeMaterial::CleanText(text, engine)})
        Check(cleaned.find("  ") == std::string::npos);
    return 0;
}
