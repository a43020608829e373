#include "base/Random.h"
#include "base/Text1252.h"

#include <gtest/gtest.h>

using namespace brindle;

TEST(Text1252, Utf8AndBackForEveryByteDecodingFilesAndCaseChange) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    std::size_t dropped = 99;
    EXPECT_EQ(Utf8To1252(utf8, &dropped), all);
    EXPECT_EQ(dropped, 0u);

    // Decoding files: UTF-8 with a byte-order mark, umlauts, typographic punctuation and a
    // character outside the code page.
    const std::string file = "\xEF\xBB\xBF"
                             "K\xC3\xA4se \xE2\x80\x9Cq\xE2\x80\x9D it\xE2\x80\x99s \xE2\x80\x94 "
                             "\xE2\x82\xAC \xE4\xB8\xAD";
    EXPECT_EQ(DecodeTextBytes(file, &dropped), "K\xE4se \"q\" it's - \x80 ");
    EXPECT_EQ(dropped, 1u);
    // Not UTF-8: taken as Windows-1252, typographic quotes folded as well.
    EXPECT_EQ(DecodeTextBytes("K\xE4se \x93q\x94 \x96", &dropped), "K\xE4se \"q\" -");
    EXPECT_EQ(dropped, 0u);
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));         // cut short
    EXPECT_EQ(DecodeTextBytes(std::string("a\0b", 3)), std::string("a\0b", 3));

    // Engine text holds 254 (end of item) and 255 (pause) beside letters: changing case for the
    // display or the character fields must leave them as they are.
    const std::string text = "ab\xE4\xFE\xFFz";
    EXPECT_EQ(Upper1252(text), "AB\xC4\xFE\xFFZ");
    EXPECT_EQ(Lower1252("AB\xC4\x9F\xDEZ"), "ab\xE4\x9F\xDEz"); // nor Þ into 254
    EXPECT_EQ(Lower1252(Upper1252(text)), text);
}

TEST(RandomSource, LinearCongruentialSequence) {
    TRandomSource r(0);
    EXPECT_EQ(r.NextRaw(), 1u);
    EXPECT_EQ(r.NextRaw(), 134775814u);
    TRandomSource s(0);
    EXPECT_EQ(s.Below(10), 0u);                    // high bits of 1 * 10
    EXPECT_EQ(s.Below(1u << 31), 134775814u >> 1); // high 32 bits of the product
    TRandomSource t(7);
    for (int i = 0; i < 1000; ++i) {
        const int v = t.Uniform(5, 2);
        EXPECT_GE(v, 2);
        EXPECT_LE(v, 4);
    }
    EXPECT_EQ(t.Uniform(3, 3), 3);
}
