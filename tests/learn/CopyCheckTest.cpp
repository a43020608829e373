#include "learn/CopyCheck.h"

#include "base/Random.h"
#include "base/Text1252.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace brindle;

namespace {

const std::vector<std::string> kFourGroups = {"kmrsu", "aptlo", "wi.nj", "ef0y,"};

std::string Marks(const TCheckedItem& item) {
    std::string m;
    for (const TCheckedChar& c : item.Chars)
        m += c.Result == TCharResult::Correct ? '+' : c.Result == TCharResult::Missed ? '-' : 's';
    return m;
}

std::string Join(const std::vector<std::string>& items) {
    std::string s;
    for (const auto& i : items)
        s += (s.empty() ? "" : " ") + i;
    return s;
}

// What separates words and items: spaces and every control code, the engine's item-end and pause
// codes and the blip mark (after folding the case).
bool IsSeparator(uint8_t c) {
    c = Lower1252(c);
    return c <= ' ' || c == 127 || c == 254 || c == 255 || c == '^';
}

// The copied characters without separators, as the learner typed them (lower case).
std::string Letters(std::string_view copy) {
    std::string s;
    for (const char c : copy)
        if (!IsSeparator(static_cast<uint8_t>(c))) s += static_cast<char>(Lower1252(c));
    return s;
}

// Random practice: items of letters, digits, punctuation, prosign codes and accented letters.
std::vector<std::string> RandomItems(TRandomSource& r, int count, int maxLength) {
    static const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789.,?/=+*#&"
                                        "\xE4\xF6\xFC\xE9";
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) {
        std::string item;
        const int n = 1 + static_cast<int>(r.Below(static_cast<uint32_t>(maxLength)));
        for (int k = 0; k < n; ++k)
            item += alphabet[r.Below(static_cast<uint32_t>(alphabet.size()))];
        items.push_back(item);
    }
    return items;
}

// The copy of items with errors: each character missed, substituted or doubled with the given
// chance [1/1000], and now and then a separator dropped or doubled.
std::string Noisy(TRandomSource& r, const std::vector<std::string>& items, uint32_t perMille) {
    std::string copy;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && r.Below(1000) >= perMille) copy += r.Below(4) == 0 ? "  " : " ";
        for (const char c : items[i]) {
            const uint32_t roll = r.Below(1000);
            if (roll < perMille / 3) continue;
            if (roll < 2 * perMille / 3)
                copy += static_cast<char>('a' + r.Below(26));
            else if (roll < perMille)
                copy += std::string(2, c);
            else
                copy += r.Below(2) ? static_cast<char>(Upper1252(static_cast<uint8_t>(c))) : c;
        }
    }
    return copy;
}

void ExpectConsistent(const TCopyCheck& check, std::string_view copy) {
    int sent = 0, correct = 0, substituted = 0, missed = 0;
    std::string copiedLetters;
    for (const TCheckedItem& item : check.Items) {
        int itemCorrect = 0;
        for (const TCheckedChar& c : item.Chars) {
            ++sent;
            if (c.Result == TCharResult::Correct) {
                ++itemCorrect;
                EXPECT_EQ(c.Copied, c.Sent);
            }
            if (c.Result == TCharResult::Substituted) {
                ++substituted;
                EXPECT_NE(c.Copied, c.Sent);
                EXPECT_NE(c.Copied, 0);
            }
            if (c.Result == TCharResult::Missed) {
                ++missed;
                EXPECT_EQ(c.Copied, 0);
            }
        }
        EXPECT_EQ(item.CorrectChars, itemCorrect);
        correct += itemCorrect;
        copiedLetters += Letters(item.Copied);
    }
    EXPECT_EQ(check.SentChars, sent);
    EXPECT_EQ(check.CorrectChars, correct);
    EXPECT_EQ(check.SubstitutedChars, substituted);
    EXPECT_EQ(check.MissedChars, missed);
    // Every copied character is somewhere: in place of a sent one or extra, in copy order.
    EXPECT_EQ(static_cast<std::size_t>(correct + substituted) + check.Extra.size(),
              Letters(copy).size());
    if (!check.Items.empty()) {
        EXPECT_EQ(copiedLetters, Letters(copy));
    }
}

// The alignment as the plain dynamic programme over the whole matrix gives it, and the results
// read off its path by the rules of the header: the oracle for everything the checks return.
// On equal costs a cell takes the diagonal, then the sent token left out, then the copied one
// added.
TCopyCheck Reference(const std::vector<std::string>& sent, std::string_view copy) {
    constexpr int Sep = 256;
    constexpr int Never = 1 << 28;
    struct TToken {
        int Token = Sep;
        std::size_t Item = 0;
        std::size_t Pos = 0;
        bool Boundary = false;
    };
    TCopyCheck check;
    std::vector<TToken> a;
    bool pending = false;
    bool boundary = false;
    for (std::size_t k = 0; k < sent.size(); ++k) {
        TCheckedItem item;
        item.Sent = Lower1252(sent[k]);
        if (!a.empty()) pending = boundary = true;
        for (const char ch : item.Sent) {
            const auto c = static_cast<uint8_t>(ch);
            if (IsSeparator(c)) {
                pending = pending || !a.empty();
                continue;
            }
            if (pending) a.push_back(TToken{Sep, k, 0, boundary});
            pending = boundary = false;
            a.push_back(TToken{c, k, item.Chars.size(), false});
            item.Chars.push_back(TCheckedChar{c, 0, TCharResult::Missed});
        }
        check.Items.push_back(item);
    }
    std::vector<int> b;
    bool gap = false;
    for (const char ch : copy) {
        const uint8_t c = Lower1252(static_cast<uint8_t>(ch));
        if (IsSeparator(c)) {
            gap = gap || !b.empty();
            continue;
        }
        if (gap) b.push_back(Sep);
        gap = false;
        b.push_back(c);
    }

    const std::size_t n = a.size();
    const std::size_t m = b.size();
    const auto gapCost = [](int t) { return t == Sep ? 1 : 2; };
    std::vector<int> d((n + 1) * (m + 1), 0);
    std::vector<uint8_t> move((n + 1) * (m + 1), 0); // 0 diagonal, 1 sent left out, 2 copy added
    const auto at = [&](std::size_t i, std::size_t j) { return i * (m + 1) + j; };
    for (std::size_t i = 0; i <= n; ++i)
        for (std::size_t j = 0; j <= m; ++j) {
            if (i == 0 && j == 0) continue;
            if (i == 0 || j == 0) {
                move[at(i, j)] = i == 0 ? 2 : 1;
                d[at(i, j)] = i == 0 ? d[at(0, j - 1)] + gapCost(b[j - 1])
                                     : d[at(i - 1, 0)] + gapCost(a[i - 1].Token);
                continue;
            }
            const int x = a[i - 1].Token;
            const int y = b[j - 1];
            int best = d[at(i - 1, j - 1)] + (x == y ? 0 : x == Sep || y == Sep ? Never : 2);
            uint8_t mv = 0;
            if (d[at(i - 1, j)] + gapCost(x) < best) {
                best = d[at(i - 1, j)] + gapCost(x);
                mv = 1;
            }
            if (d[at(i, j - 1)] + gapCost(y) < best) {
                best = d[at(i, j - 1)] + gapCost(y);
                mv = 2;
            }
            d[at(i, j)] = best;
            move[at(i, j)] = mv;
        }
    check.Cost = d[at(n, m)];
    std::vector<uint8_t> path;
    for (std::size_t i = n, j = m; i > 0 || j > 0;) {
        const uint8_t mv = move[at(i, j)];
        path.push_back(mv);
        i -= mv != 2 ? 1 : 0;
        j -= mv != 1 ? 1 : 0;
    }
    std::reverse(path.begin(), path.end());

    std::size_t item = a.empty() ? 0 : a[0].Item;
    std::size_t next = 0;
    std::size_t i = 0;
    std::size_t j = 0;
    const auto space = [&] {
        if (item >= check.Items.size()) return;
        std::string& copied = check.Items[item].Copied;
        if (!copied.empty() && copied.back() != ' ') copied += ' ';
    };
    for (const uint8_t mv : path) {
        if (mv == 2) {
            const int y = b[j++];
            if (y == Sep) {
                space();
                continue;
            }
            check.Extra.push_back(TExtraChar{item, next, static_cast<uint8_t>(y)});
            if (item < check.Items.size()) {
                check.Items[item].Copied += static_cast<char>(y);
                ++check.Items[item].ExtraChars;
            }
            continue;
        }
        const TToken& t = a[i++];
        const int y = mv == 0 ? b[j++] : Sep;
        if (t.Token == Sep) {
            if (t.Boundary) {
                item = t.Item;
                next = 0;
            } else if (mv == 0) {
                space();
            }
            continue;
        }
        item = t.Item;
        next = t.Pos + 1;
        if (mv == 1) continue;
        TCheckedChar& c = check.Items[t.Item].Chars[t.Pos];
        c.Copied = static_cast<uint8_t>(y);
        c.Result = y == t.Token ? TCharResult::Correct : TCharResult::Substituted;
        check.Items[t.Item].Copied += static_cast<char>(y);
    }
    for (TCheckedItem& it : check.Items) {
        while (!it.Copied.empty() && it.Copied.back() == ' ')
            it.Copied.pop_back();
        for (const TCheckedChar& c : it.Chars) {
            it.CorrectChars += c.Result == TCharResult::Correct;
            check.SubstitutedChars += c.Result == TCharResult::Substituted;
            check.MissedChars += c.Result == TCharResult::Missed;
        }
        check.SentChars += it.SentChars();
        check.CorrectChars += it.CorrectChars;
    }
    check.ExtraChars = static_cast<int>(check.Extra.size());
    return check;
}

testing::AssertionResult SameItem(const TCheckedItem& a, const TCheckedItem& b) {
    if (a.Sent != b.Sent)
        return testing::AssertionFailure() << "sent " << a.Sent << " / " << b.Sent;
    if (a.Copied != b.Copied)
        return testing::AssertionFailure() << "copied '" << a.Copied << "' / '" << b.Copied << "'";
    if (a.CorrectChars != b.CorrectChars || a.ExtraChars != b.ExtraChars ||
        a.Chars.size() != b.Chars.size())
        return testing::AssertionFailure() << "counts of " << a.Sent;
    for (std::size_t k = 0; k < a.Chars.size(); ++k)
        if (a.Chars[k].Sent != b.Chars[k].Sent || a.Chars[k].Copied != b.Chars[k].Copied ||
            a.Chars[k].Result != b.Chars[k].Result)
            return testing::AssertionFailure() << "character " << k << " of " << a.Sent;
    return testing::AssertionSuccess();
}

// Every field the same: cost, counts, the items and the extra characters.
testing::AssertionResult SameCheck(const TCopyCheck& a, const TCopyCheck& b) {
    if (a.Cost != b.Cost)
        return testing::AssertionFailure() << "cost " << a.Cost << " / " << b.Cost;
    if (a.SentChars != b.SentChars || a.CorrectChars != b.CorrectChars ||
        a.SubstitutedChars != b.SubstitutedChars || a.MissedChars != b.MissedChars ||
        a.ExtraChars != b.ExtraChars)
        return testing::AssertionFailure()
               << "counts " << a.CorrectChars << "/" << a.SubstitutedChars << "/" << a.MissedChars
               << "/" << a.ExtraChars << " vs " << b.CorrectChars << "/" << b.SubstitutedChars
               << "/" << b.MissedChars << "/" << b.ExtraChars;
    if (a.Items.size() != b.Items.size()) return testing::AssertionFailure() << "item count";
    for (std::size_t k = 0; k < a.Items.size(); ++k) {
        const auto same = SameItem(a.Items[k], b.Items[k]);
        if (!same) return testing::AssertionFailure() << "item " << k << ": " << same.message();
    }
    if (a.Extra.size() != b.Extra.size()) return testing::AssertionFailure() << "extra count";
    for (std::size_t k = 0; k < a.Extra.size(); ++k)
        if (a.Extra[k].Item != b.Extra[k].Item || a.Extra[k].Before != b.Extra[k].Before ||
            a.Extra[k].Copied != b.Extra[k].Copied)
            return testing::AssertionFailure() << "extra " << k;
    return testing::AssertionSuccess();
}

// A practice and the learner's copy of it, item by item, with the kinds of trouble a copy has:
// scattered errors, long runs of wrong characters, pastes of random text, items run together,
// items left out or added, prosign codes and every kind of separator.
struct TPractice {
    std::vector<std::string> Items;
    std::vector<std::string> Typed; // what the learner typed for each item, separator first
    std::string Copy() const {
        std::string copy;
        for (const auto& t : Typed)
            copy += t;
        return copy;
    }
};

std::string RandomText(TRandomSource& r, std::size_t length) {
    static const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789 .,?/=+";
    std::string text;
    for (std::size_t k = 0; k < length; ++k)
        text += alphabet[r.Below(static_cast<uint32_t>(alphabet.size()))];
    return text;
}

TPractice RandomPractice(TRandomSource& r, int maxItems) {
    static const std::string chars = "abcdefghijklmnopqrstuvwxyz0123456789.,?/"
                                     "+=*#&\\%-{}\xE4\xF6\xFC";
    static const std::vector<std::string> separators = {
        " ",    " ",    " ",    " ", "",    "  ", "\t", "\r\n", std::string(1, '\0'),
        "\x01", "\xFE", "\xFF", "^", "\x7F"};
    const auto pick = [&](const std::string& from) {
        return from[r.Below(static_cast<uint32_t>(from.size()))];
    };
    TPractice p;
    const int count = 1 + static_cast<int>(r.Below(static_cast<uint32_t>(maxItems)));
    const uint32_t noise = r.Below(4) == 0 ? 600 : r.Below(150); // per mille
    for (int k = 0; k < count; ++k) {
        std::string item;
        const uint32_t kind = r.Below(40);
        const int length = 1 + static_cast<int>(r.Below(6));
        for (int c = 0; c < length; ++c)
            item += pick(chars);
        if (kind == 0) item.clear();
        if (kind == 1) item = " ";
        if (kind == 2) item += " " + std::string(1, pick(chars)) + pick(chars); // a phrase
        p.Items.push_back(item);

        std::string typed =
            k == 0 ? "" : separators[r.Below(static_cast<uint32_t>(separators.size()))];
        const uint32_t trouble = r.Below(100);
        if (trouble < 4) {
            p.Typed.push_back(typed); // left out
            continue;
        }
        if (trouble < 8) typed += RandomText(r, 5) + " ";           // one added
        if (trouble < 11) typed += RandomText(r, 10 + r.Below(40)); // a run of garbage
        for (const char c : item) {
            const uint32_t roll = r.Below(1000);
            if (roll < noise / 3) continue;
            if (roll < 2 * noise / 3)
                typed += pick(chars);
            else if (roll < noise)
                typed += std::string(2, c);
            else
                typed +=
                    r.Below(3) == 0 ? static_cast<char>(Upper1252(static_cast<uint8_t>(c))) : c;
        }
        if (trouble >= 11 && trouble < 13) typed += " " + RandomText(r, 20 + r.Below(120)); // paste
        p.Typed.push_back(typed);
    }
    return p;
}

// Limits that make small practices take the ways of large ones: narrow first bands, traces in
// small blocks.
TCheckLimits RandomLimits(TRandomSource& r) {
    TCheckLimits limits;
    const uint32_t roll = r.Below(6);
    if (roll >= 1) limits.FirstHalfWidth = 1 + r.Below(6);
    if (roll >= 4) limits.MaxTraceBytes = 40 + r.Below(400);
    return limits;
}

} // namespace

TEST(CopyCheck, CharacterErrors) {
    const auto exact = CheckCopy(kFourGroups, "kmrsu aptlo wi.nj ef0y,");
    EXPECT_EQ(exact.SentChars, 20); // spaces are not characters
    EXPECT_EQ(exact.CorrectChars, 20);
    EXPECT_DOUBLE_EQ(exact.Accuracy(), 1.0);
    EXPECT_EQ(exact.Cost, 0);

    const auto missed = CheckCopy({"paris"}, "pars");
    EXPECT_EQ(Marks(missed.Items[0]), "+++-+");
    EXPECT_EQ(missed.MissedChars, 1);
    EXPECT_TRUE(missed.Extra.empty());

    const auto extra = CheckCopy({"paris"}, "parisx");
    EXPECT_EQ(extra.CorrectChars, 5);
    EXPECT_DOUBLE_EQ(extra.Accuracy(), 0.8); // an extra character costs as much as a missed one
    EXPECT_EQ(extra.ExtraChars, 1);
    EXPECT_EQ(extra.Items[0].ExtraChars, 1);
    ASSERT_EQ(extra.Extra.size(), 1u);
    EXPECT_EQ(extra.Extra[0].Copied, 'x');
    EXPECT_EQ(extra.Extra[0].Before, 5u);

    const auto substituted = CheckCopy({"b"}, "6");
    EXPECT_EQ(substituted.Items[0].Chars[0].Result, TCharResult::Substituted);
    EXPECT_EQ(substituted.Items[0].Chars[0].Copied, '6');
    EXPECT_TRUE(substituted.Extra.empty()); // one wrong character, not a miss plus an extra

    const auto cased = CheckCopy({"PaRiS", "\xC4"}, "pArIs \xE4");
    EXPECT_EQ(cased.CorrectChars, 6);
    EXPECT_EQ(cased.Items[0].Sent, "paris");
}

TEST(CopyCheck, ProsignsAreOneCharacter) {
    // "+" is the code of <ar>, "=" of <bt>.
    const auto right = CheckCopy({"cq", "+", "73="}, "CQ + 73=");
    EXPECT_EQ(right.SentChars, 6);
    EXPECT_EQ(right.CorrectChars, 6);
    const auto wrong = CheckCopy({"cq", "+"}, "cq *");
    EXPECT_EQ(Marks(wrong.Items[1]), "s");
    EXPECT_EQ(wrong.Items[1].Chars[0].Copied, '*');
}

TEST(CopyCheck, ItemBoundaries) {
    // Items run together or split: no character is lost for it.
    const auto together = CheckCopy({"abc", "def"}, "abcdef");
    EXPECT_EQ(together.CorrectChars, 6);
    EXPECT_EQ(together.Items[0].Copied, "abc");
    EXPECT_EQ(together.Items[1].Copied, "def");
    const auto split = CheckCopy({"abc", "def"}, "ab c  def");
    EXPECT_EQ(split.CorrectChars, 6);
    EXPECT_EQ(split.Items[0].Copied, "ab c");

    // An extra character belongs to the side of the space it was typed on.
    const auto before = CheckCopy({"abc", "def"}, "abcx def");
    ASSERT_EQ(before.Extra.size(), 1u);
    EXPECT_EQ(before.Extra[0].Item, 0u);
    EXPECT_EQ(before.Extra[0].Before, 3u);
    EXPECT_EQ(before.Items[0].Copied, "abcx");
    const auto after = CheckCopy({"abc", "def"}, "abc xdef");
    ASSERT_EQ(after.Extra.size(), 1u);
    EXPECT_EQ(after.Extra[0].Item, 1u);
    EXPECT_EQ(after.Extra[0].Before, 0u);

    // Phrases: spaces inside an item separate words, and are not characters either.
    const auto phrase = CheckCopy({"cq de dl1abc", "k"}, "cq de dl1abc k");
    EXPECT_EQ(phrase.SentChars, 11);
    EXPECT_EQ(phrase.CorrectChars, 11);
    EXPECT_EQ(phrase.Items[0].Copied, "cq de dl1abc");
}

TEST(CopyCheck, WholeItemsMissedOrAddedLeaveTheOthersCorrect) {
    const auto middle = CheckCopy(kFourGroups, "kmrsu wi.nj ef0y,");
    EXPECT_EQ(Marks(middle.Items[0]), "+++++");
    EXPECT_EQ(Marks(middle.Items[1]), "-----");
    EXPECT_EQ(Marks(middle.Items[2]), "+++++");
    EXPECT_EQ(Marks(middle.Items[3]), "+++++");
    EXPECT_EQ(middle.CorrectChars, 15);
    EXPECT_TRUE(middle.Extra.empty());

    const auto first = CheckCopy(kFourGroups, "aptlo wi.nj ef0y,");
    EXPECT_EQ(Marks(first.Items[0]), "-----");
    EXPECT_EQ(first.CorrectChars, 15);

    // The copy starts one item late: an item nobody sent, then all four.
    const auto added = CheckCopy(kFourGroups, "qqqqq kmrsu aptlo wi.nj ef0y,");
    EXPECT_EQ(added.CorrectChars, 20);
    EXPECT_EQ(added.Extra.size(), 5u);
    EXPECT_EQ(added.Items[0].Copied, "qqqqq kmrsu");

    // Missed one and wrote another one with an error: the rest still line up.
    const auto mixed = CheckCopy(kFourGroups, "kmrsu wi.mj ef0y,");
    EXPECT_EQ(Marks(mixed.Items[2]), "+++s+");
    EXPECT_EQ(Marks(mixed.Items[3]), "+++++");
}

TEST(CopyCheck, EmptyAndOddInput) {
    const auto empty = CheckCopy(kFourGroups, "");
    EXPECT_EQ(empty.SentChars, 20);
    EXPECT_EQ(empty.MissedChars, 20);
    EXPECT_EQ(empty.Accuracy(), 0.0);
    for (const auto& item : empty.Items)
        EXPECT_EQ(item.Copied, "");

    const auto blank = CheckCopy({"abc"}, "  \t\r\n ");
    EXPECT_EQ(blank.MissedChars, 3);

    const auto nothingSent = CheckCopy({}, "abc");
    EXPECT_TRUE(nothingSent.Items.empty());
    EXPECT_EQ(nothingSent.Extra.size(), 3u);
    EXPECT_EQ(nothingSent.Accuracy(), 0.0);

    // Bytes no table sends, a stray "<": ordinary wrong characters. A zero byte and the other
    // control codes separate, all of a run as one space.
    const std::string odd("a~\x81<\0\x01z", 7);
    const auto strange = CheckCopy({"abcdef"}, odd);
    EXPECT_EQ(strange.Items[0].Chars[0].Result, TCharResult::Correct);
    EXPECT_EQ(strange.Items[0].Chars[5].Result, TCharResult::Substituted);
    EXPECT_EQ(strange.Items[0].Chars[1].Copied, '~');
    EXPECT_EQ(strange.Items[0].Copied, std::string("a~\x81< z"));
    ExpectConsistent(strange, odd);

    // Far more copied than sent.
    TRandomSource r(5);
    std::string longCopy = "abc";
    for (int i = 0; i < 5000; ++i)
        longCopy += static_cast<char>('a' + r.Below(26));
    const auto flood = CheckCopy({"abc"}, longCopy);
    EXPECT_EQ(flood.CorrectChars, 3);
    EXPECT_EQ(flood.Extra.size(), 5000u);
    ExpectConsistent(flood, longCopy);
}

TEST(CopyCheckProperty, BandedCostIsTheMinimum) {
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        TRandomSource r(seed);
        const auto items = RandomItems(r, 1 + static_cast<int>(r.Below(12)), 6);
        // From nearly right to unrelated, so that the band has to widen.
        const uint32_t noise = seed % 3 == 0 ? 900 : 50 + 10 * (seed % 40);
        std::string copy = Noisy(r, items, noise);
        if (seed % 5 == 0) copy = Join(RandomItems(r, 1 + static_cast<int>(r.Below(12)), 6));
        // A run of items left out.
        if (seed % 5 == 1) {
            const auto from = r.Below(static_cast<uint32_t>(items.size()));
            const auto count = r.Below(static_cast<uint32_t>(items.size() - from + 1));
            auto kept = items;
            kept.erase(kept.begin() + from, kept.begin() + from + count);
            copy = Noisy(r, kept, noise);
        }
        // Items added at the start and as many missing at the end: the way through the matrix
        // leaves the straight line and comes back to it.
        if (seed % 5 == 2) {
            const auto shift = std::min<std::size_t>(items.size(), 3 + seed % 4);
            const std::vector<std::string> head(items.begin(), items.end() - shift);
            copy = Join(RandomItems(r, static_cast<int>(shift), 6)) + " " + Noisy(r, head, noise);
        }
        const auto check = CheckCopy(items, copy);
        EXPECT_TRUE(SameCheck(check, Reference(items, copy))) << seed << " " << copy;
        ExpectConsistent(check, copy);
    }
}

TEST(CopyCheck, TenThousandCharacters) {
    TRandomSource r(2024);
    const auto items = RandomItems(r, 2000, 9); // about 10,000 characters
    int sent = 0;
    for (const auto& i : items)
        sent += static_cast<int>(i.size());
    ASSERT_GT(sent, 9000);
    const std::string copy = Noisy(r, items, 30);
    const auto check = CheckCopy(items, copy, TCheckLimits{.MaxTraceBytes = 1 << 20});
    EXPECT_EQ(check.SentChars, sent);
    EXPECT_GT(check.Accuracy(), 0.95);
    ExpectConsistent(check, copy);

    // Copied from an unrelated text: every band, up to the whole matrix in blocks.
    const std::vector<std::string> part(items.begin(), items.begin() + 600);
    const std::string other = Join(RandomItems(r, 600, 9));
    const auto unrelated = CheckCopy(part, other, TCheckLimits{.MaxTraceBytes = 1 << 16});
    ExpectConsistent(unrelated, other);
}

TEST(CopyCheck, EveryControlCodeSeparates) {
    const std::vector<std::string> separators = {
        "\t", std::string(1, '\0'), "\x01", "\x1F", "\x7F", "\xFE", "\xFF", "^", "\r\n", " \x02 "};
    for (const std::string& separator : separators) {
        const auto check = CheckCopy({"ab", "cd"}, "ab" + separator + "cd");
        EXPECT_EQ(check.CorrectChars, 4);
        EXPECT_EQ(check.ExtraChars, 0);
        EXPECT_EQ(check.Cost, 0);
        EXPECT_EQ(check.Items[1].Copied, "cd");
    }
    // In what was sent too: the blip mark and the item-end code are no characters.
    const auto sent = CheckCopy({"cq^", "de\xFE"}, "cq de");
    EXPECT_EQ(sent.SentChars, 4);
    EXPECT_EQ(sent.CorrectChars, 4);
}

TEST(CopyCheck, EqualCostsPreferSubstitutions) {
    // Two wrong characters cost as much as one missed and one extra: the tie goes to the
    // diagonal, so each sent character has the copied one in its place.
    const auto swapped = CheckCopy({"ab"}, "ba");
    EXPECT_EQ(swapped.Cost, 4);
    EXPECT_EQ(Marks(swapped.Items[0]), "ss");
    EXPECT_EQ(swapped.Items[0].Chars[0].Copied, 'b');
    EXPECT_EQ(swapped.Items[0].Chars[1].Copied, 'a');
    EXPECT_EQ(swapped.ExtraChars, 0);
    TCopyChecker checker;
    checker.AddItem("ab");
    checker.SetCopy("ba");
    EXPECT_TRUE(SameCheck(checker.Check(), swapped));
}

TEST(CopyCheck, ExtrasCost) {
    TRandomSource r(11);
    std::vector<std::string> groups;
    for (int k = 0; k < 40; ++k)
        groups.push_back(RandomText(r, 5));
    for (auto& g : groups)
        std::replace(g.begin(), g.end(), ' ', 'x');
    // Each group typed five times: all there, but four times too often.
    std::string fiveTimes;
    for (const auto& g : groups)
        for (int k = 0; k < 5; ++k)
            fiveTimes += g + " ";
    const auto repeated = CheckCopy(groups, fiveTimes);
    EXPECT_EQ(repeated.CorrectChars, repeated.SentChars);
    EXPECT_EQ(repeated.ExtraChars, 4 * repeated.SentChars);
    EXPECT_LT(repeated.Accuracy(), 0.5);
    EXPECT_EQ(repeated.Accuracy(), 0.0);
    // A huge paste, after a right copy or instead of one.
    const std::string paste = RandomText(r, 10000);
    const auto after = CheckCopy(groups, Join(groups) + " " + paste);
    EXPECT_EQ(after.CorrectChars, after.SentChars);
    EXPECT_LT(after.Accuracy(), 0.5);
    EXPECT_LT(CheckCopy(groups, paste).Accuracy(), 0.5);
    // The score: errors against what was sent, never below 0.
    EXPECT_DOUBLE_EQ(TCopyCheck::ScoreOf(10, 3), 0.7);
    EXPECT_EQ(TCopyCheck::ScoreOf(10, 12), 0.0);
    EXPECT_EQ(TCopyCheck::ScoreOf(0, 0), 0.0);
}

TEST(CopyChecker, FollowsAPracticeItemByItem) {
    TCopyChecker checker;
    EXPECT_EQ(checker.Check().Items.size(), 0u);
    checker.AddItem("PARIS");
    const TCopyCheck& first = checker.Check();
    EXPECT_EQ(first.MissedChars, 5);
    EXPECT_EQ(checker.FirstChangedItem(), 0u);
    checker.AddItem("london");
    checker.SetCopy("paris");
    EXPECT_EQ(Marks(checker.Check().Items[0]), "+++++");
    EXPECT_EQ(Marks(checker.Check().Items[1]), "------");
    checker.SetCopy("paris lomdon");
    const TCopyCheck& typed = checker.Check();
    EXPECT_EQ(checker.FirstChangedItem(), 1u); // paris stays as it was
    EXPECT_EQ(Marks(typed.Items[1]), "++s+++");
    EXPECT_TRUE(SameCheck(typed, CheckCopy({"PARIS", "london"}, "paris lomdon")));
    // Nothing changed: nothing to write again.
    checker.Check();
    EXPECT_EQ(checker.FirstChangedItem(), 2u);
    // Taken back to the first word, then the copy cleared.
    checker.SetCopy("pa");
    EXPECT_TRUE(SameCheck(checker.Check(), CheckCopy({"PARIS", "london"}, "pa")));
    checker.SetCopy("");
    EXPECT_TRUE(SameCheck(checker.Check(), CheckCopy({"PARIS", "london"}, "")));
    // Empty items and items of spaces count as items with nothing to copy.
    checker.AddItem("");
    checker.AddItem("  ");
    checker.AddItem("x");
    checker.SetCopy("paris london x");
    EXPECT_TRUE(SameCheck(checker.Check(),
                          CheckCopy({"PARIS", "london", "", "  ", "x"}, "paris london x")));
    EXPECT_EQ(checker.ItemCount(), 5u);
}

TEST(CopyChecker, CopyBeforeTheFirstItemWithCharacters) {
    // Until an item has a character, what was copied counts for the first item; then for the
    // one with the character.
    TCopyChecker checker;
    checker.AddItem("");
    checker.AddItem(" ");
    checker.SetCopy("ab");
    EXPECT_TRUE(SameCheck(checker.Check(), CheckCopy({"", " "}, "ab")));
    EXPECT_EQ(checker.Check().Items[0].Copied, "ab");
    checker.AddItem("b");
    checker.SetCopy("ab b");
    const TCopyCheck& check = checker.Check();
    EXPECT_EQ(checker.FirstChangedItem(), 0u);
    EXPECT_TRUE(SameCheck(check, CheckCopy({"", " ", "b"}, "ab b")));
    EXPECT_EQ(check.Items[0].Copied, "");
}

TEST(CopyChecker, CopyWithoutItems) {
    TCopyChecker checker;
    checker.SetCopy("abc");
    const TCopyCheck& check = checker.Check();
    EXPECT_TRUE(check.Items.empty());
    EXPECT_EQ(check.ExtraChars, 3);
    checker.AddItem("abc");
    EXPECT_EQ(checker.Check().CorrectChars, 3);
    EXPECT_EQ(checker.Check().ExtraChars, 0);
}

// The banded, incremental alignment against the whole matrix, on practices with every kind of
// trouble, whole and in small pieces.
TEST(CopyCheckProperty, MatchesTheFullAlignment) {
    for (uint32_t seed = 1; seed <= 250; ++seed) {
        TRandomSource r(seed);
        const TPractice p = RandomPractice(r, 30);
        const std::string copy = p.Copy();
        const TCopyCheck expected = Reference(p.Items, copy);
        EXPECT_TRUE(SameCheck(CheckCopy(p.Items, copy), expected)) << seed;
        const TCheckLimits limits = RandomLimits(r);
        EXPECT_TRUE(SameCheck(CheckCopy(p.Items, copy, limits), expected))
            << seed << " half width " << limits.FirstHalfWidth << " trace " << limits.MaxTraceBytes;
    }
}

TEST(CopyCheckProperty, CheckerItemByItemMatchesTheFullAlignment) {
    for (uint32_t seed = 1; seed <= 120; ++seed) {
        TRandomSource r(seed);
        const TPractice p = RandomPractice(r, 20);
        TCopyChecker checker(RandomLimits(r));
        std::vector<std::string> items;
        std::string copy;  // what the learner has typed
        std::string shown; // what the checker was given last
        TCopyCheck before;
        int checks = 0;
        const auto give = [&](const std::string& text) {
            shown = text;
            checker.SetCopy(shown);
        };
        const auto verify = [&] {
            const TCopyCheck& check = checker.Check();
            // The items before the first changed one are as they were.
            const std::size_t first = checker.FirstChangedItem();
            for (std::size_t k = 0; k < std::min(first, before.Items.size()); ++k)
                EXPECT_TRUE(SameItem(check.Items[k], before.Items[k])) << seed << " item " << k;
            EXPECT_TRUE(SameCheck(check, Reference(items, shown)))
                << seed << " after " << items.size() << " items, copy '" << shown << "'";
            before = check;
            ++checks;
        };
        const auto type = [&](const std::string& text) {
            switch (r.Below(4)) {
            case 0: // all at once
                copy += text;
                give(copy);
                break;
            case 1: // key by key
                for (const char c : text) {
                    copy += c;
                    give(copy);
                    if (r.Below(3) == 0) verify();
                }
                break;
            case 2: // a few keys too many, taken back
                give(copy + text + RandomText(r, 1 + r.Below(4)));
                verify();
                copy += text;
                give(copy);
                break;
            default: // an earlier character corrected
                copy += text;
                if (!copy.empty()) {
                    std::string changed = copy;
                    char& c = changed[r.Below(static_cast<uint32_t>(copy.size()))];
                    c = c == 'q' ? 'z' : 'q';
                    give(changed);
                    verify();
                }
                give(copy);
            }
        };
        for (std::size_t k = 0; k < p.Items.size(); ++k) {
            items.push_back(p.Items[k]);
            checker.AddItem(p.Items[k]);
            if (k > 0) type(p.Typed[k - 1]); // the learner is an item behind
            verify();
        }
        type(p.Typed.back());
        verify();
        EXPECT_TRUE(SameCheck(checker.Check(), CheckCopy(items, copy))) << seed;
        EXPECT_GT(checks, 0);
    }
}

// Copies that have little to do with what was sent: the band gives way to the whole matrix,
// computed by anti-diagonals and, with a small limit, traced in blocks.
TEST(CopyCheckProperty, UnrelatedCopiesMatchTheFullAlignment) {
    for (uint32_t seed = 1; seed <= 16; ++seed) {
        TRandomSource r(seed);
        const auto items = RandomItems(r, 40 + static_cast<int>(r.Below(30)), 7);
        std::string copy = seed % 2 ? Noisy(r, items, 900) : Join(RandomItems(r, 60, 6));
        if (seed % 4 == 0) copy = RandomText(r, 150) + " " + copy; // and shifted
        const TCopyCheck expected = Reference(items, copy);
        EXPECT_TRUE(SameCheck(CheckCopy(items, copy), expected)) << seed;
        TCheckLimits small;
        small.MaxTraceBytes = 500 + 300 * seed;
        EXPECT_TRUE(SameCheck(CheckCopy(items, copy, small), expected)) << seed;
    }
}
