#include "practice/RandomChars.h"

#include <gtest/gtest.h>

#include <set>

using namespace brindle;

namespace {
TRandomChars::TSeedClock Fixed(uint32_t seed) {
    return [seed] { return seed; };
}
} // namespace

TEST(RandomChars, NeverThreeInARow) {
    for (const std::string set : {"ab", "abc", "abcdefghijklmnopqrstuvwxyz0123456789"}) {
        TRandomChars r(Fixed(42));
        r.SetCharacters(set);
        std::string draws;
        for (int i = 0; i < 100000; ++i)
            draws += static_cast<char>(r.RandomChar());
        for (std::size_t i = 2; i < draws.size(); ++i)
            ASSERT_FALSE(draws[i] == draws[i - 1] && draws[i] == draws[i - 2])
                << set << " at " << i;
        if (set == "ab") {
            EXPECT_NE(draws.find("aab"), std::string::npos);
            EXPECT_NE(draws.find("abb"), std::string::npos);
        }
        std::set<char> seen(draws.begin(), draws.end());
        EXPECT_EQ(seen.size(), set.size());
    }
}

TEST(RandomChars, SmallSets) {
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
}

TEST(RandomChars, GroupSizes) {
    TRandomChars r(Fixed(7));
    r.SetCharacters("abcdef");
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(r.RandomGroup(3, 3, true).size(), 3u);
    std::set<std::size_t> sizes;
    for (int i = 0; i < 2000; ++i) {
        const auto n = r.RandomGroup(5, 2, true).size();
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

TEST(RandomChars, ResetRepeatsTheSequenceForTheSameSeed) {
    TRandomChars r(Fixed(99));
    r.SetCharacters("abcdefgh");
    r.Reset();
    std::string first;
    for (int i = 0; i < 50; ++i)
        first += static_cast<char>(r.RandomChar());
    r.Reset();
    std::string second;
    for (int i = 0; i < 50; ++i)
        second += static_cast<char>(r.RandomChar());
    EXPECT_EQ(first, second);
}
