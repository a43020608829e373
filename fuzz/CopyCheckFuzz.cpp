// Fuzzes the check of a copy with its invariants. The first byte chooses where the sent text ends
// (its share of the rest) and whether the trace is kept whole or in small blocks; the sent text is
// split into items at '|'; the rest is the copy.
#include "learn/CopyCheck.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
bool IsSeparator(uint8_t c) {
    return c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 254 || c == 255;
}
int Characters(const std::string& s) {
    int n = 0;
    for (const char c : s)
        n += !IsSeparator(static_cast<uint8_t>(c));
    return n;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brindle;
    if (size == 0 || size > 3000) return 0; // larger ones only cost time: the band is the same
    const std::size_t rest = size - 1;
    const std::size_t split = rest * (data[0] & 0x7f) / 127;
    const std::string sentText(reinterpret_cast<const char*>(data + 1), split);
    const std::string copy(reinterpret_cast<const char*>(data + 1 + split), rest - split);
    std::vector<std::string> sent;
    std::string item;
    for (const char c : sentText) {
        if (c == '|') {
            sent.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    if (!sentText.empty()) sent.push_back(item);

    TCheckLimits limits;
    if (data[0] & 0x80) limits.MaxTraceBytes = 256; // the blocks computed twice
    const TCopyCheck check = CheckCopy(sent, copy, limits);

    Check(check.Items.size() == sent.size());
    int sentChars = 0;
    int correct = 0, substituted = 0, missed = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const TCheckedItem& it = check.Items[i];
        Check(it.SentChars() == Characters(sent[i]));
        sentChars += it.SentChars();
        int itemCorrect = 0;
        for (const TCheckedChar& c : it.Chars) {
            Check(!IsSeparator(c.Sent));
            switch (c.Result) {
            case TCharResult::Correct:
                Check(c.Copied == c.Sent);
                ++itemCorrect;
                break;
            case TCharResult::Substituted:
                Check(c.Copied != 0 && c.Copied != c.Sent);
                ++substituted;
                break;
            case TCharResult::Missed:
                Check(c.Copied == 0);
                ++missed;
                break;
            }
        }
        Check(itemCorrect == it.CorrectChars);
        correct += itemCorrect;
    }
    Check(check.SentChars == sentChars && check.CorrectChars == correct);
    Check(check.SubstitutedChars == substituted && check.MissedChars == missed);
    // Every copied character is correct, a substitute or extra.
    Check(Characters(copy) == correct + substituted + static_cast<int>(check.Extra.size()));
    for (const TExtraChar& e : check.Extra) {
        Check(!IsSeparator(e.Copied));
        Check(sent.empty() || e.Item < sent.size());
        Check(sent.empty() || e.Before <= check.Items[e.Item].Chars.size());
    }
    // The cost is the characters' costs plus that of the separators, never less.
    const int charCost = TAlignCosts::Substitute * substituted +
                         TAlignCosts::CharGap * (missed + static_cast<int>(check.Extra.size()));
    Check(check.Cost >= charCost);
    Check(check.Accuracy() >= 0.0 && check.Accuracy() <= 1.0);
    // The copy of what was sent, item by item with a space between, is all correct at no cost
    // (items of characters only: spaces inside an item or an empty item may be runs of their own).
    std::string exact;
    for (const std::string& s : sent) {
        if (s.empty() || Characters(s) != static_cast<int>(s.size())) return 0;
        exact += s + ' ';
    }
    const TCopyCheck perfect = CheckCopy(sent, exact, limits);
    Check(perfect.CorrectChars == perfect.SentChars && perfect.Cost == 0);
    return 0;
}
