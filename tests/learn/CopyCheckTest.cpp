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

// The copied characters without separators, as the learner typed them (lower case).
std::string Letters(std::string_view copy) {
    std::string s;
    for (const char c : copy)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') s += static_cast<char>(Lower1252(c));
    return s;
}

// Plain minimum cost over the whole matrix: the oracle for the banded alignment.
int ReferenceCost(const std::vector<std::string>& sent, std::string_view copy) {
    auto tokens = [](std::string_view text) {
        std::vector<int> t;
        for (const char ch : text) {
            const int c = Lower1252(static_cast<uint8_t>(ch));
            if (c == ' ') {
                if (!t.empty() && t.back() != 256) t.push_back(256);
            } else {
                t.push_back(c);
            }
        }
        if (!t.empty() && t.back() == 256) t.pop_back();
        return t;
    };
    const auto a = tokens(Join(sent));
    const auto b = tokens(copy);
    auto gap = [](int t) { return t == 256 ? 1 : 2; };
    std::vector<std::vector<int>> d(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (std::size_t i = 0; i <= a.size(); ++i)
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 && j == 0) continue;
            int best = 1 << 29;
            if (i > 0) best = std::min(best, d[i - 1][j] + gap(a[i - 1]));
            if (j > 0) best = std::min(best, d[i][j - 1] + gap(b[j - 1]));
            if (i > 0 && j > 0) {
                const int x = a[i - 1], y = b[j - 1];
                if (x == y)
                    best = std::min(best, d[i - 1][j - 1]);
                else if (x != 256 && y != 256)
                    best = std::min(best, d[i - 1][j - 1] + 2);
            }
            d[i][j] = best;
        }
    return d[a.size()][b.size()];
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
    EXPECT_DOUBLE_EQ(extra.Accuracy(), 1.0); // extra characters are not in the denominator
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

    // Bytes no table sends, a stray "<": ordinary wrong characters. A zero byte separates.
    const std::string odd("a~\x81<\0\x01z", 7);
    const auto strange = CheckCopy({"abcdef"}, odd);
    EXPECT_EQ(strange.Items[0].Chars[0].Result, TCharResult::Correct);
    EXPECT_EQ(strange.Items[0].Chars[5].Result, TCharResult::Substituted);
    EXPECT_EQ(strange.Items[0].Chars[1].Copied, '~');
    EXPECT_EQ(strange.Items[0].Copied, std::string("a~\x81< \x01z"));
    ExpectConsistent(strange, std::string("a~\x81< \x01z"));

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

TEST(CopyCheckProperty, ACopyOfItselfScoresEverything) {
    for (uint32_t seed = 1; seed <= 50; ++seed) {
        TRandomSource r(seed);
        const auto items = RandomItems(r, 1 + static_cast<int>(r.Below(30)), 8);
        std::string copy = Upper1252(Join(items)); // case never matters
        const auto check = CheckCopy(items, copy);
        EXPECT_DOUBLE_EQ(check.Accuracy(), 1.0) << seed;
        EXPECT_TRUE(check.Extra.empty()) << seed;
        EXPECT_EQ(check.Cost, 0) << seed;
    }
}

TEST(CopyCheckProperty, OneSubstitutionIsExactlyOneError) {
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        TRandomSource r(seed);
        const auto items = RandomItems(r, 1 + static_cast<int>(r.Below(20)), 7);
        std::string copy = Join(items);
        std::size_t at = 0;
        do
            at = r.Below(static_cast<uint32_t>(copy.size()));
        while (copy[at] == ' ');
        const char was = copy[at];
        copy[at] = was == '9' ? '8' : '9';
        const auto check = CheckCopy(items, copy);
        EXPECT_EQ(check.CorrectChars, check.SentChars - 1) << seed;
        EXPECT_EQ(check.SubstitutedChars, 1) << seed;
        EXPECT_EQ(check.MissedChars, 0) << seed;
        EXPECT_TRUE(check.Extra.empty()) << seed;
        // ... and it is the character that was changed.
        std::size_t index = 0;
        for (const char c : copy.substr(0, at))
            index += c != ' ';
        std::size_t seen = 0;
        for (const auto& item : check.Items)
            for (const auto& c : item.Chars) {
                if (seen++ == index) {
                    EXPECT_EQ(c.Sent, static_cast<uint8_t>(was)) << seed;
                    EXPECT_EQ(c.Result, TCharResult::Substituted) << seed;
                }
            }
    }
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
        EXPECT_EQ(check.Cost, ReferenceCost(items, copy)) << seed << " " << copy;
        ExpectConsistent(check, copy);
    }
}

TEST(CopyCheckProperty, TracingInBlocksGivesTheSameAlignment) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        TRandomSource r(seed);
        const auto items = RandomItems(r, 5 + static_cast<int>(r.Below(40)), 6);
        const std::string copy = Noisy(r, items, 30 + seed * 5);
        const auto whole = CheckCopy(items, copy);
        const auto blocks = CheckCopy(items, copy, TCheckLimits{.MaxTraceBytes = 200});
        ASSERT_EQ(blocks.Cost, whole.Cost) << seed;
        ASSERT_EQ(blocks.Items.size(), whole.Items.size());
        for (std::size_t i = 0; i < whole.Items.size(); ++i) {
            EXPECT_EQ(blocks.Items[i].Copied, whole.Items[i].Copied) << seed;
            EXPECT_EQ(Marks(blocks.Items[i]), Marks(whole.Items[i])) << seed;
        }
        EXPECT_EQ(blocks.Extra.size(), whole.Extra.size()) << seed;
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
