// Fuzzes the check of a copy with its invariants. The first byte chooses where the sent text ends
// (its share of the rest) and whether the trace is kept whole or in small blocks; the second how
// narrow the first band is; the sent text is split into items at '|'; the rest is the copy. The
// checker for a practice that goes on takes the items one by one with the copy typed along, and
// must end with exactly the same check.
#include "base/Text1252.h"
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
    c = brindle::Lower1252(c);
    return c <= ' ' || c == 127 || c == 254 || c == 255 || c == '^';
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
    if (size < 2 || size > 3000) return 0; // larger ones only cost time: the band is the same
    const std::size_t rest = size - 2;
    const std::size_t split = rest * (data[0] & 0x7f) / 127;
    const std::string sentText(reinterpret_cast<const char*>(data + 2), split);
    const std::string copy(reinterpret_cast<const char*>(data + 2 + split), rest - split);
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
    limits.FirstHalfWidth = data[1] & 0x1f;         // 0: chosen by size
    const TCopyCheck check = CheckCopy(sent, copy, limits);

    // Item by item, the copy typed along in as many pieces as there are items.
    TCopyChecker checker(limits);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        checker.AddItem(sent[i]);
        checker.SetCopy(std::string_view(copy).substr(0, copy.size() * i / sent.size()));
        const TCopyCheck& partial = checker.Check();
        Check(partial.Items.size() == i + 1 && checker.FirstChangedItem() <= i + 1);
    }
    checker.SetCopy(copy);
    const TCopyCheck& along = checker.Check();
    Check(along.Cost == check.Cost && along.CorrectChars == check.CorrectChars &&
          along.SubstitutedChars == check.SubstitutedChars &&
          along.MissedChars == check.MissedChars && along.ExtraChars == check.ExtraChars &&
          along.Items.size() == check.Items.size() && along.Extra.size() == check.Extra.size());
    for (std::size_t i = 0; i < check.Items.size(); ++i) {
        const TCheckedItem& a = along.Items[i];
        const TCheckedItem& b = check.Items[i];
        Check(a.Copied == b.Copied && a.CorrectChars == b.CorrectChars &&
              a.ExtraChars == b.ExtraChars && a.Chars.size() == b.Chars.size());
        for (std::size_t c = 0; c < a.Chars.size(); ++c)
            Check(a.Chars[c].Copied == b.Chars[c].Copied && a.Chars[c].Result == b.Chars[c].Result);
    }
    for (std::size_t e = 0; e < check.Extra.size(); ++e)
        Check(along.Extra[e].Item == check.Extra[e].Item &&
              along.Extra[e].Before == check.Extra[e].Before &&
              along.Extra[e].Copied == check.Extra[e].Copied);

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
    Check(check.ExtraChars == static_cast<int>(check.Extra.size()));
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
