#include "learn/CopyCheck.h"

#include "base/Random.h"
#include "base/Text1252.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace brindle;

namespace {

const std::vector<std::string> kFourGroups = {"kmrsu", "aptlo", "wi.nj", "ef0y,"};

// Each sent character's result: + right, - missed, else the character copied in its place.
std::string Marks(const TCheckedItem& item) {
    std::string m;
    for (const TCheckedChar& c : item.Chars)
        m += c.Result == TCharResult::Correct  ? '+'
             : c.Result == TCharResult::Missed ? '-'
                                               : static_cast<char>(c.Copied);
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

// Random text of the alphabet (by default of letters, digits, punctuation and spaces).
std::string RandomText(TRandomSource& r, std::size_t length,
                       std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789 .,?/=+") {
    std::string text;
    for (std::size_t k = 0; k < length; ++k)
        text += alphabet[r.Below(static_cast<uint32_t>(alphabet.size()))];
    return text;
}

// Random practice: items of letters, digits, punctuation, prosign codes and accented letters.
std::vector<std::string> RandomItems(TRandomSource& r, int count, int maxLength) {
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i)
        items.push_back(
            RandomText(r, 1 + r.Below(static_cast<uint32_t>(maxLength)),
                       "abcdefghijklmnopqrstuvwxyz0123456789.,?/=+*#&\xE4\xF6\xFC\xE9"));
    return items;
}

// An item as the learner typed it: each character missed, replaced by one of wrong or doubled with
// the given chance [1/1000], else typed in either case.
std::string AsTyped(TRandomSource& r, const std::string& item, uint32_t perMille,
                    std::string_view wrong) {
    std::string typed;
    for (const char c : item) {
        const uint32_t roll = r.Below(1000);
        if (roll < perMille / 3) continue;
        if (roll < 2 * perMille / 3)
            typed += RandomText(r, 1, wrong);
        else if (roll < perMille)
            typed += std::string(2, c);
        else
            typed += r.Below(2) ? static_cast<char>(Upper1252(static_cast<uint8_t>(c))) : c;
    }
    return typed;
}

// The copy of items with errors (AsTyped), and now and then a separator dropped or doubled.
std::string Noisy(TRandomSource& r, const std::vector<std::string>& items, uint32_t perMille) {
    std::string copy;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && r.Below(1000) >= perMille) copy += r.Below(4) == 0 ? "  " : " ";
        copy += AsTyped(r, items[i], perMille, "abcdefghijklmnopqrstuvwxyz");
    }
    return copy;
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

// One checked item: its copy, each sent character's result (Marks) and its extra characters; in
// full also what was sent, the characters right, and each character's result, sent and copied
// byte.
std::string Describe(const TCheckedItem& i, bool full = false) {
    std::string s = i.Copied + ":" + Marks(i);
    if (i.ExtraChars != 0) s += " e" + std::to_string(i.ExtraChars);
    if (!full) return s;
    s += " of " + i.Sent + " r" + std::to_string(i.CorrectChars) + " ";
    for (const TCheckedChar& c : i.Chars)
        s += {static_cast<char>('0' + static_cast<int>(c.Result)), static_cast<char>(c.Sent),
              static_cast<char>(c.Copied)};
    return s;
}

// A check: its cost, the characters sent, right, wrong, missed and extra, the accuracy, then each
// item and each extra character (copied@item.before).
std::string Describe(const TCopyCheck& c, bool full = false) {
    std::ostringstream s;
    s << "c" << c.Cost << " s" << c.SentChars << " r" << c.CorrectChars << " w"
      << c.SubstitutedChars << " m" << c.MissedChars << " e" << c.ExtraChars << " " << c.Accuracy();
    for (const TCheckedItem& i : c.Items)
        s << " | " << Describe(i, full);
    for (const TExtraChar& e : c.Extra)
        s << " | " << e.Copied << "@" << e.Item << "." << e.Before;
    return s.str();
}

// Every field the same: cost, counts, the items and the extra characters.
testing::AssertionResult SameCheck(const TCopyCheck& a, const TCopyCheck& b) {
    const std::string x = Describe(a, true);
    const std::string y = Describe(b, true);
    if (x == y) return testing::AssertionSuccess();
    return testing::AssertionFailure() << x << "\n    vs\n" << y;
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

TPractice RandomPractice(TRandomSource& r, int maxItems) {
    static const std::string chars = "abcdefghijklmnopqrstuvwxyz0123456789.,?/"
                                     "+=*#&\\%-{}\xE4\xF6\xFC";
    static const std::vector<std::string> separators = {
        " ",    " ",    " ",    " ", "",    "  ", "\t", "\r\n", std::string(1, '\0'),
        "\x01", "\xFE", "\xFF", "^", "\x7F"};
    TPractice p;
    const int count = 1 + static_cast<int>(r.Below(static_cast<uint32_t>(maxItems)));
    const uint32_t noise = r.Below(4) == 0 ? 600 : r.Below(150); // per mille
    for (int k = 0; k < count; ++k) {
        const uint32_t kind = r.Below(40);
        std::string item = RandomText(r, 1 + r.Below(6), chars);
        if (kind == 0) item.clear();
        if (kind == 1) item = " ";
        if (kind == 2) item += " " + RandomText(r, 2, chars); // a phrase
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
        typed += AsTyped(r, item, noise, chars);
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

struct TCase {
    std::vector<std::string> Sent;
    std::string Copy;
    std::string Expected; // Describe()
};

// Each copy checked at once, against the whole-matrix oracle, and by the checker given all items
// and then the copy.
void ExpectChecks(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) {
        SCOPED_TRACE("copy '" + c.Copy + "'");
        const TCopyCheck check = CheckCopy(c.Sent, c.Copy);
        EXPECT_EQ(Describe(check), c.Expected);
        EXPECT_TRUE(SameCheck(check, Reference(c.Sent, c.Copy)));
        TCopyChecker checker;
        for (const std::string& item : c.Sent)
            checker.AddItem(item);
        checker.SetCopy(c.Copy);
        EXPECT_TRUE(SameCheck(checker.Check(), check));
    }
}

} // namespace

TEST(CopyCheck, CharacterErrors) {
    ExpectChecks({
        // Spaces are not characters.
        {kFourGroups, "kmrsu aptlo wi.nj ef0y,",
         "c0 s20 r20 w0 m0 e0 1 | kmrsu:+++++ | aptlo:+++++ | wi.nj:+++++ | ef0y,:+++++"},
        {{"paris"}, "pars", "c2 s5 r4 w0 m1 e0 0.8 | pars:+++-+"},
        // An extra character costs as much as a missed one.
        {{"paris"}, "parisx", "c2 s5 r5 w0 m0 e1 0.8 | parisx:+++++ e1 | x@0.5"},
        // One wrong character, not a miss plus an extra.
        {{"b"}, "6", "c2 s1 r0 w1 m0 e0 0 | 6:6"},
        {{"PaRiS", "\xC4"}, "pArIs \xE4", "c0 s6 r6 w0 m0 e0 1 | paris:+++++ | \xE4:+"},
        // Two wrong characters cost as much as one missed and one extra: the tie goes to the
        // diagonal, so each sent character has the copied one in its place.
        {{"ab"}, "ba", "c4 s2 r0 w2 m0 e0 0 | ba:ba"},
        // Prosigns are one character: "+" is the code of <ar>, "=" of <bt>.
        {{"cq", "+", "73="}, "CQ + 73=", "c0 s6 r6 w0 m0 e0 1 | cq:++ | +:+ | 73=:+++"},
        {{"cq", "+"}, "cq *", "c2 s3 r2 w1 m0 e0 0.666667 | cq:++ | *:*"},
    });
    // The score: errors against what was sent, never below 0.
    EXPECT_DOUBLE_EQ(TCopyCheck::ScoreOf(10, 3), 0.7);
    EXPECT_EQ(TCopyCheck::ScoreOf(10, 12), 0.0);
    EXPECT_EQ(TCopyCheck::ScoreOf(0, 0), 0.0);
}

TEST(CopyCheck, ItemBoundariesAndWholeItemsMissedOrAdded) {
    ExpectChecks({
        // Items run together or split: no character is lost for it.
        {{"abc", "def"}, "abcdef", "c1 s6 r6 w0 m0 e0 1 | abc:+++ | def:+++"},
        {{"abc", "def"}, "ab c  def", "c1 s6 r6 w0 m0 e0 1 | ab c:+++ | def:+++"},
        // An extra character belongs to the side of the space it was typed on.
        {{"abc", "def"}, "abcx def", "c2 s6 r6 w0 m0 e1 0.833333 | abcx:+++ e1 | def:+++ | x@0.3"},
        {{"abc", "def"}, "abc xdef", "c2 s6 r6 w0 m0 e1 0.833333 | abc:+++ | xdef:+++ e1 | x@1.0"},
        // Phrases: spaces inside an item separate words, and are not characters either.
        {{"cq de dl1abc", "k"},
         "cq de dl1abc k",
         "c0 s11 r11 w0 m0 e0 1 | cq de dl1abc:++++++++++ | k:+"},
        // Whole items missed or added leave the others correct.
        {kFourGroups, "kmrsu wi.nj ef0y,",
         "c11 s20 r15 w0 m5 e0 0.75 | kmrsu:+++++ | :----- | wi.nj:+++++ | ef0y,:+++++"},
        {kFourGroups, "aptlo wi.nj ef0y,",
         "c11 s20 r15 w0 m5 e0 0.75 | :----- | aptlo:+++++ | wi.nj:+++++ | ef0y,:+++++"},
        // The copy starts one item late: an item nobody sent, then all four.
        {kFourGroups, "qqqqq kmrsu aptlo wi.nj ef0y,",
         "c11 s20 r20 w0 m0 e5 0.75 | qqqqq kmrsu:+++++ e5 | aptlo:+++++ | wi.nj:+++++ | "
         "ef0y,:+++++ | q@0.0 | q@0.0 | q@0.0 | q@0.0 | q@0.0"},
        // Missed one and wrote another one with an error: the rest still line up.
        {kFourGroups, "kmrsu wi.mj ef0y,",
         "c13 s20 r14 w1 m5 e0 0.7 | kmrsu:+++++ | :----- | wi.mj:+++m+ | ef0y,:+++++"},
        // In what was sent too: the blip mark and the item-end code are no characters.
        {{"cq^", "de\xFE"}, "cq de", "c0 s4 r4 w0 m0 e0 1 | cq:++ | de:++"},
    });
    // Every control code separates, all of a run as one space.
    for (const std::string& separator :
         std::vector<std::string>{"\t", std::string(1, '\0'), "\x01", "\x1F", "\x7F", "\xFE",
                                  "\xFF", "^", "\r\n", " \x02 "})
        EXPECT_EQ(Describe(CheckCopy({"ab", "cd"}, "ab" + separator + "cd")),
                  "c0 s4 r4 w0 m0 e0 1 | ab:++ | cd:++");
}

TEST(CopyCheck, EmptyAndOddInput) {
    ExpectChecks({
        {kFourGroups, "", "c43 s20 r0 w0 m20 e0 0 | :----- | :----- | :----- | :-----"},
        {{"abc"}, "  \t\r\n ", "c6 s3 r0 w0 m3 e0 0 | :---"},
        {{}, "abc", "c6 s0 r0 w0 m0 e3 0 | a@0.0 | b@0.0 | c@0.0"},
        // Bytes no table sends, a stray "<": ordinary wrong characters. A zero byte and the
        // other control codes separate, all of a run as one space.
        {{"abcdef"},
         std::string("a~\x81<\0\x01z", 7),
         "c11 s6 r1 w4 m1 e0 0.166667 | a~\x81< z:+~\x81<-z"},
        // Until an item has a character, what was copied counts for the first item; then for the
        // one with the character.
        {{"", " "}, "ab", "c4 s0 r0 w0 m0 e2 0 | ab: e2 | : | a@0.0 | b@0.0"},
        {{"", " ", "b"}, "ab b", "c5 s1 r1 w0 m0 e2 0 | : | : | ab b:+ e2 | a@2.0 | b@2.0"},
    });
    // Far more copied than sent.
    TRandomSource r(5);
    std::string longCopy = "abc";
    for (int i = 0; i < 5000; ++i)
        longCopy += static_cast<char>('a' + r.Below(26));
    const auto flood = CheckCopy({"abc"}, longCopy);
    EXPECT_EQ(flood.CorrectChars, 3);
    EXPECT_EQ(flood.Extra.size(), 5000u);
    EXPECT_TRUE(SameCheck(flood, Reference({"abc"}, longCopy)));
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
    EXPECT_EQ(std::make_tuple(check.Items.size(), check.SentChars,
                              check.CorrectChars + check.SubstitutedChars + check.MissedChars),
              std::make_tuple(std::size_t{2000}, sent, sent));
    EXPECT_GT(check.Accuracy(), 0.95);

    // Copied from an unrelated text: every band, up to the whole matrix in blocks.
    const std::vector<std::string> head(items.begin(), items.begin() + 600);
    const std::string other = Join(RandomItems(r, 600, 9));
    EXPECT_TRUE(SameCheck(CheckCopy(head, other, TCheckLimits{.MaxTraceBytes = 1 << 16}),
                          Reference(head, other)));
}

// A checker followed step by step: after each, the check of the whole practice so far, and the
// first item whose result changed since the check before.
struct TFollow {
    TCopyChecker Checker;
    std::vector<std::string> Items;
    std::string Copy;
    void Step(const std::vector<std::string>& added, const std::string& copy,
              std::size_t firstChanged) {
        for (const std::string& item : added) {
            Items.push_back(item);
            Checker.AddItem(item);
        }
        if (copy != Copy) Checker.SetCopy(Copy = copy);
        EXPECT_TRUE(SameCheck(Checker.Check(), CheckCopy(Items, Copy))) << Copy;
        EXPECT_EQ(Checker.FirstChangedItem(), firstChanged) << Copy;
        EXPECT_EQ(Checker.ItemCount(), Items.size());
    }
};

TEST(CopyChecker, FollowsAPracticeItemByItem) {
    TFollow f;
    f.Step({}, "", 0);
    f.Step({"PARIS"}, "", 0);
    f.Step({"london"}, "paris", 0);
    f.Step({}, "paris lomdon", 1); // paris stays as it was
    f.Step({}, "paris lomdon", 2); // nothing changed: nothing to write again
    f.Step({}, "pa", 0);           // taken back to the first word, then cleared
    f.Step({}, "", 0);
    // Empty items and items of spaces count as items with nothing to copy.
    f.Step({"", "  "}, "", 2);
    f.Step({"x"}, "paris london x", 0);
    // Until an item has a character, what was copied counts for the first item; then for the
    // one with the character.
    TFollow before;
    before.Step({"", " "}, "ab", 0);
    before.Step({"b"}, "ab b", 0);
    // A copy without items, then the item.
    TFollow without;
    without.Step({}, "abc", 0);
    without.Step({"abc"}, "abc", 0);
}

// The banded alignment against the whole matrix, on practices with every kind of trouble, whole
// and in small pieces; then on copies that have little to do with what was sent, where the band
// gives way to the whole matrix, computed by anti-diagonals and, with a small limit, traced in
// blocks.
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

TEST(CopyCheckProperty, CheckerItemByItemMatchesTheFullAlignment) {
    for (uint32_t seed = 1; seed <= 120; ++seed) {
        TRandomSource r(seed);
        const TPractice p = RandomPractice(r, 20);
        TCopyChecker checker(RandomLimits(r));
        std::vector<std::string> items;
        std::string copy;  // what the learner has typed
        std::string shown; // what the checker was given last
        TCopyCheck before;
        const auto give = [&](const std::string& text) {
            shown = text;
            checker.SetCopy(shown);
        };
        const auto verify = [&] {
            const TCopyCheck& check = checker.Check();
            // The items before the first changed one are as they were.
            const std::size_t first = checker.FirstChangedItem();
            for (std::size_t k = 0; k < std::min(first, before.Items.size()); ++k)
                EXPECT_EQ(Describe(check.Items[k], true), Describe(before.Items[k], true))
                    << seed << " item " << k;
            EXPECT_TRUE(SameCheck(check, Reference(items, shown)))
                << seed << " after " << items.size() << " items, copy '" << shown << "'";
            before = check;
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
    }
}
