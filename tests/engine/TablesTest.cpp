#include "engine/CWout.h"

#include <gtest/gtest.h>

#include <string>

using brindle::TCWout;

namespace {

// Dot-dash pattern of a code word: the bits below the marker bit, high to low.
std::string Pattern(uint16_t code) {
    if (code == 0) return "?";
    int top = 15;
    while (!(code & (1u << top)))
        --top;
    std::string p;
    for (int b = top - 1; b >= 0; --b)
        p += (code & (1u << b)) ? '-' : '.';
    return p;
}

uint8_t B(int c) {
    return static_cast<uint8_t>(c);
}

} // namespace

TEST(MorseTables, PatternsOfLettersDigitsAndProsigns) {
    EXPECT_EQ(Pattern(TCWout::CodeOf('a')), ".-");
    EXPECT_EQ(Pattern(TCWout::CodeOf('b')), "-...");
    EXPECT_EQ(Pattern(TCWout::CodeOf('q')), "--.-");
    EXPECT_EQ(Pattern(TCWout::CodeOf('0')), "-----");
    EXPECT_EQ(Pattern(TCWout::CodeOf('9')), "----.");
    EXPECT_EQ(Pattern(TCWout::CodeOf(',')), "--..--");
    EXPECT_EQ(Pattern(TCWout::CodeOf('?')), "..--..");
    EXPECT_EQ(Pattern(TCWout::CodeOf('%')), "........");
    EXPECT_EQ(Pattern(TCWout::CodeOf('{')), "...---...");
    EXPECT_EQ(Pattern(TCWout::CodeOf('}')), "----");
    EXPECT_EQ(Pattern(TCWout::CodeOf('$')), "...-..-");
    EXPECT_EQ(Pattern(TCWout::CodeOf(')')), "-.--.-");
    EXPECT_EQ(TCWout::CodeOf(B(225)), TCWout::CodeOf(B(229))); // á and å share one pattern
    for (const int pause : std::initializer_list<int>{' ', 13, 254, 255, '^'})
        EXPECT_EQ(TCWout::CodeOf(B(pause)), 1);
}

TEST(MorseTables, CaseFolding) {
    EXPECT_EQ(TCWout::CodeOf('A'), TCWout::CodeOf('a'));
    EXPECT_EQ(TCWout::CodeOf('Z'), TCWout::CodeOf('z'));
    EXPECT_EQ(TCWout::CodeOf(B(196)), TCWout::CodeOf(B(228))); // Ä
    EXPECT_EQ(TCWout::CodeOf(B(201)), TCWout::CodeOf(B(233))); // É
    EXPECT_EQ(TCWout::CodeOf(B(200)), 0);                      // È is not folded
    EXPECT_EQ(TCWout::FoldCase(B(200)), 200);
}

TEST(MorseTables, CharactersInNoTable) {
    TCWout e;
    for (const int c : std::initializer_list<int>{10, 9, 0, '<', '>', '[', 200}) {
        EXPECT_EQ(TCWout::CodeOf(B(c)), 0) << c;
        EXPECT_FALSE(e.IsSendable(B(c))) << c;
        EXPECT_FALSE(e.IsKnown(B(c))) << c;
    }
}

TEST(MorseTables, ExtendedCharactersFollowExtraChars) {
    TCWout e;
    EXPECT_TRUE(e.IsSendable(B(252)));
    EXPECT_TRUE(e.IsSendable('@'));
    EXPECT_TRUE(e.IsSendable('}'));
    e.SetExtraChars(false);
    EXPECT_FALSE(e.IsSendable(B(252)));
    EXPECT_FALSE(e.IsSendable('@'));
    EXPECT_FALSE(e.IsSendable('}'));
    EXPECT_FALSE(e.PutChar('}'));
    // The prosign name path uses PutCode: "<ch>" is still queued.
    EXPECT_TRUE(e.IsKnown('}'));
    EXPECT_TRUE(e.PutCode(TCWout::ProsignCode(TCWout::ProsignIndex("<ch>"))));
    EXPECT_EQ(e.PeekChar(), '}');
    EXPECT_TRUE(e.IsSendable('a'));
    EXPECT_TRUE(e.IsSendable('{'));
}

TEST(MorseTables, BlipMarkOnlyWhileBlipOn) {
    TCWout e;
    EXPECT_FALSE(e.IsSendable('^'));
    EXPECT_FALSE(e.IsKnown('^'));
    e.SetBlipOn(true);
    EXPECT_TRUE(e.IsSendable('^'));
    EXPECT_TRUE(e.IsKnown('^'));
}

TEST(MorseTables, ProsignNames) {
    EXPECT_EQ(TCWout::ProsignIndex("<ar>"), 1);
    EXPECT_EQ(TCWout::ProsignIndex("<AR>"), 1);
    EXPECT_EQ(TCWout::ProsignIndex("<Ar>"), 1);
    EXPECT_EQ(TCWout::ProsignIndex("<SOS>"), 9);
    EXPECT_EQ(TCWout::ProsignIndex("<sos>x"), 9); // cut to five characters
    EXPECT_EQ(TCWout::ProsignIndex("<sosx>"), 0);
    EXPECT_EQ(TCWout::ProsignIndex("<ar"), 0);
    EXPECT_EQ(TCWout::ProsignIndex("<ar> "), 0);
    EXPECT_EQ(TCWout::ProsignIndex("<ch>"), 10);
    EXPECT_EQ(TCWout::ProsignIndex(""), 0);
    const std::string codes = "+=*#&\\%-{}";
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(TCWout::ProsignCode(i), B(codes[static_cast<std::size_t>(i - 1)]));
        EXPECT_EQ(TCWout::ProsignOfCode(TCWout::ProsignCode(i)), i);
        EXPECT_EQ(TCWout::ProsignIndex(TCWout::ProsignName(i)), i);
        EXPECT_EQ(TCWout::ProsignNameLength(i), static_cast<int>(TCWout::ProsignName(i).size()));
        // The code character has the prosign's pattern.
        EXPECT_NE(TCWout::CodeOf(TCWout::ProsignCode(i)), 0);
    }
    EXPECT_EQ(TCWout::ProsignCode(0), 0);
    EXPECT_EQ(TCWout::ProsignCode(11), 0);
    EXPECT_EQ(TCWout::ProsignOfCode('a'), 0);
}
