#include "practice/RandomChars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

using namespace brindle;

namespace {
TRandomChars::TSeedClock Fixed(uint32_t seed) {
    return [seed] { return seed; };
}
std::string Draws(TRandomChars& r, int count) {
    std::string draws;
    for (int i = 0; i < count; ++i)
        draws += static_cast<char>(r.RandomChar());
    return draws;
}
int ThreeInARow(const std::string& draws) {
    int n = 0;
    for (std::size_t i = 2; i < draws.size(); ++i)
        n += draws[i] == draws[i - 1] && draws[i] == draws[i - 2];
    return n;
}
} // namespace

TEST(RandomChars, NeverThreeInARow) {
    for (const std::string set : {"ab", "abc", "abcdefghijklmnopqrstuvwxyz0123456789"}) {
        TRandomChars r(Fixed(42));
        r.SetCharacters(set);
        const std::string draws = Draws(r, 100000);
        EXPECT_EQ(ThreeInARow(draws), 0) << set;
        if (set == "ab") {
            EXPECT_NE(draws.find("aab"), std::string::npos);
            EXPECT_NE(draws.find("abb"), std::string::npos);
        }
        std::set<char> seen(draws.begin(), draws.end());
        EXPECT_EQ(seen.size(), set.size());
    }
}

TEST(RandomChars, SmallSetsAndGroupSizes) {
    TRandomChars r(Fixed(1));
    EXPECT_EQ(r.RandomChar(), 0); // empty set
    r.SetCharacters("e");
    EXPECT_EQ(r.RandomGroup(4, 1, false), "eeee");
    EXPECT_EQ(r.LastIndex(), 0);
    EXPECT_EQ(r.PreviousIndex(), 0);
    // A list of one entry: always 0, history untouched.
    r.SetCharacters("xyz");
    r.RandomChar();
    r.RandomChar();
    const int last = r.LastIndex(), previous = r.PreviousIndex();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r.RandomIndex(0, 1), 0);
    EXPECT_EQ(r.LastIndex(), last);
    EXPECT_EQ(r.PreviousIndex(), previous);

    TRandomChars sized(Fixed(7));
    sized.SetCharacters("abcdef");
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(sized.RandomGroup(3, 3, true).size(), 3u);
    std::set<std::size_t> sizes;
    for (int i = 0; i < 2000; ++i) {
        const auto n = sized.RandomGroup(5, 2, true).size();
        ASSERT_GE(n, 2u);
        ASSERT_LE(n, 5u);
        sizes.insert(n);
    }
    EXPECT_EQ(sizes, (std::set<std::size_t>{2, 3, 4, 5}));
}

TEST(RandomChars, QCodesNeverFollowThemselves) {
    TRandomChars r(Fixed(3));
    std::string previous;
    std::set<std::string> seen;
    bool sawABA = false;
    std::string beforePrevious;
    for (int i = 0; i < 100000; ++i) {
        const std::string q = r.RandomQCode();
        ASSERT_EQ(q.size(), 3u);
        ASSERT_EQ(q[0], 'q');
        ASSERT_NE(q, previous);
        sawABA = sawABA || q == beforePrevious;
        seen.insert(q);
        beforePrevious = previous;
        previous = q;
    }
    EXPECT_EQ(seen.size(), 26u);
    EXPECT_TRUE(sawABA);
}

TEST(RandomCharsWeighted, SharesHoldAgainstTheNeverThreeRule) {
    struct TCase {
        std::string Chars;
        std::vector<double> Shares;
    };
    // A heavy character loses draws to the rule; its weight must be raised to make up for it.
    for (const TCase& c : {TCase{"kmu", {1, 1, 3}}, TCase{"kmur", {1, 1.2, 2, 3}},
                           TCase{"kmuresnapt", {1, 1, 1, 1, 2, 2, 1, 1, 1, 3}}}) {
        TRandomChars r(Fixed(11));
        r.SetWeightedCharacters(c.Chars, c.Shares);
        const std::string draws = Draws(r, 200000);
        EXPECT_EQ(ThreeInARow(draws), 0) << c.Chars;
        double sum = 0;
        for (double s : c.Shares)
            sum += s;
        for (std::size_t k = 0; k < c.Chars.size(); ++k) {
            const double got =
                static_cast<double>(std::count(draws.begin(), draws.end(), c.Chars[k])) /
                static_cast<double>(draws.size());
            EXPECT_NEAR(got, c.Shares[k] / sum, 0.01) << c.Chars << " " << c.Chars[k];
        }
    }
}

// Shares that do not fit the characters, or none above 0, give the uniform draw; so do plain
// characters set afterwards.
TEST(RandomCharsWeighted, WithoutUsableSharesTheDrawIsUniformAsBefore) {
    TRandomChars plain(Fixed(21));
    plain.SetCharacters("abcdef");
    const std::string expected = Draws(plain, 500);
    for (const std::vector<double>& shares :
         {std::vector<double>{1, 2, 3}, {0, 0, -1, 0, 0, 0}, {1, 1, 1, 1, 1, 9}}) {
        TRandomChars r(Fixed(21));
        r.SetWeightedCharacters("abcdef", shares);
        if (shares.back() == 9) r.SetCharacters("abcdef");
        EXPECT_EQ(Draws(r, 500), expected) << shares.size();
    }
}

// The same seed gives the same draws, and so does a reset.
TEST(RandomCharsWeighted, SameSeedSameDraws) {
    TRandomChars a(Fixed(77)), b(Fixed(77));
    a.SetWeightedCharacters("abcde", {1, 2, 3, 0, 1});
    b.SetWeightedCharacters("abcde", {1, 2, 3, 0, 1});
    const std::string draws = Draws(a, 1000);
    EXPECT_EQ(draws, Draws(b, 1000));
    EXPECT_NE(draws.find('d'), std::string::npos); // a share of 0 counts as the smallest one
    TRandomChars r(Fixed(99));
    r.SetCharacters("abcdefgh");
    r.Reset();
    const std::string first = Draws(r, 50);
    r.Reset();
    EXPECT_EQ(Draws(r, 50), first);
}
