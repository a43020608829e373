#include "engine/MorseEngine.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

using brindle::TMorseEngine;

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
    const std::string chars = "abq09,?%{}$)";
    const char* const patterns[] = {".-",        "-...",   "--.-",    "-----",
                                    "----.",     "--..--", "..--..",  "........",
                                    "...---...", "----",   "...-..-", "-.--.-"};
    ASSERT_EQ(chars.size(), std::size(patterns));
    for (std::size_t i = 0; i < chars.size(); ++i)
        EXPECT_EQ(Pattern(TMorseEngine::CodeOf(B(chars[i]))), patterns[i]) << chars[i];
    EXPECT_EQ(TMorseEngine::CodeOf(B(225)),
              TMorseEngine::CodeOf(B(229))); // á and å share one pattern
    for (const int pause : std::initializer_list<int>{' ', 13, 254, 255, '^'})
        EXPECT_EQ(TMorseEngine::CodeOf(B(pause)), 1);
    // As a learner is shown a new character.
    EXPECT_EQ(brindle::MorsePattern('K') + " " + brindle::MorsePattern('e') + " " +
                  brindle::MorsePattern('+') + " '" + brindle::MorsePattern(' ') +
                  brindle::MorsePattern(B(1)) + "'",
              "-.- . .-.-. ''");
}

// Capitals share the code of their small letter; Ÿ is the capital of ÿ, whose byte is the pause
// code 255: it must not become a pause; È neither, as è is in no table.
TEST(MorseTables, CaseFolding) {
    for (const auto& [upper, lower] :
         {std::pair{'A', 'a'}, {'Z', 'z'}, {'\xC4', '\xE4'}, {'\xC9', '\xE9'}})
        EXPECT_EQ(TMorseEngine::CodeOf(B(upper)), TMorseEngine::CodeOf(B(lower))) << upper;
    EXPECT_EQ(std::to_string(TMorseEngine::CodeOf(B(200))) + " " +
                  std::to_string(TMorseEngine::CodeOf(B(159))) + " " +
                  std::to_string(TMorseEngine::FoldCase(B(255))),
              "0 0 255");
}

// Which of the characters are sendable (s) and known (k) now.
static std::string Usable(const TMorseEngine& e, const std::string& chars) {
    std::string s;
    for (const char c : chars)
        s += std::string(e.IsSendable(B(c)) ? "s" : "") + (e.IsKnown(B(c)) ? "k" : "") + ",";
    return s;
}

TEST(MorseTables, CharactersInNoTableExtendedOnesAndTheBlipMark) {
    TMorseEngine e;
    for (const int c : std::initializer_list<int>{10, 9, 0, '<', '>', '[', 200})
        EXPECT_EQ(TMorseEngine::CodeOf(B(c)), 0) << c;
    EXPECT_EQ(Usable(e, std::string("\n\t\0<>[\xC8", 7)), ",,,,,,,");
    // Extended characters follow the extra characters setting; the blip mark, the blip.
    EXPECT_EQ(Usable(e, "\xFC@}a{^"), "sk,sk,sk,sk,sk,,");
    e.SetExtraChars(false);
    e.SetBlipOn(true);
    EXPECT_EQ(Usable(e, "\xFC@}a{^"), "k,k,k,sk,sk,sk,");
    EXPECT_FALSE(e.PutChar('}'));
    // The prosign name path uses PutCode: "<ch>" is still queued.
    EXPECT_TRUE(e.PutCode(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex("<ch>"))));
    EXPECT_EQ(e.PeekChar(), '}');
}

TEST(MorseTables, ProsignNames) {
    // "<sos>x" is cut to five characters.
    const char* const names[] = {"<ar>",   "<AR>", "<Ar>",  "<SOS>", "<sos>x",
                                 "<sosx>", "<ar",  "<ar> ", "<ch>",  ""};
    const int indexes[] = {1, 1, 1, 9, 9, 0, 0, 0, 10, 0};
    ASSERT_EQ(std::size(names), std::size(indexes));
    for (std::size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(TMorseEngine::ProsignIndex(names[i]), indexes[i]) << names[i];
    EXPECT_EQ(TMorseEngine::ProsignCode(9), '{');
    EXPECT_EQ(TMorseEngine::ProsignNameLength(9), 5);
    EXPECT_EQ(TMorseEngine::ProsignOfCode('%'), 7);
    EXPECT_EQ(TMorseEngine::ProsignCode(0), 0);
    EXPECT_EQ(TMorseEngine::ProsignCode(11), 0);
    EXPECT_EQ(TMorseEngine::ProsignOfCode('a'), 0);
}

// One parser for prosign names in text: the filters, loaded text and brindle-render differ only
// in the token rule and in what becomes of an unknown group.
TEST(ProsignParser, TokensAndUnknownGroups) {
    using brindle::MatchProsign;
    using brindle::TProsignToken;
    EXPECT_EQ(MatchProsign("<ar>", 0).Index, 1);
    EXPECT_EQ(MatchProsign("<SOS>x", 0).Length, 5u);
    EXPECT_EQ(MatchProsign("<SOS>x", 0).Index, 9);
    EXPECT_EQ(MatchProsign("<ar", 0).Length, 1u); // unterminated: the "<" alone
    EXPECT_EQ(MatchProsign("<xx> ", 0).Length, 4u);
    EXPECT_EQ(MatchProsign("<xx> ", 0).Index, 0);
    EXPECT_EQ(MatchProsign("x<bt>", 1).Index, 2);
    // "<>" closes only under the first-close rule.
    EXPECT_EQ(MatchProsign("<>ar>", 0).Length, 5u);
    EXPECT_EQ(MatchProsign("<>ar>", 0, TProsignToken::FirstClose).Length, 2u);
    EXPECT_EQ(MatchProsign("<a>", 0, TProsignToken::FirstClose).Length, 3u);

    using brindle::ReplaceProsignNames;
    using brindle::TUnknownProsign;
    EXPECT_EQ(ReplaceProsignNames("cq<AR> <xx>k<sk", TUnknownProsign::DropToken), "cq+ ksk");
    EXPECT_EQ(ReplaceProsignNames("cq<AR> <xx>k<sk", TUnknownProsign::KeepText), "cq+ <xx>k<sk");
    EXPECT_EQ(ReplaceProsignNames("<<ar>", TUnknownProsign::DropToken), "");
    EXPECT_EQ(ReplaceProsignNames("<<ar>", TUnknownProsign::KeepText), "<+");
}
