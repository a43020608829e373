#include "practice/TextFilters.h"
#include "engine/MorseEngine.h"

#include <gtest/gtest.h>

using namespace brindle;
using Strings = std::vector<std::string>;

TEST(TextFilters, ProsignsAndCodeCharacters) {
    EXPECT_EQ(RemoveUnknownProsigns("<xx> a > b <ar"), " a  b ar");
    EXPECT_EQ(RemoveUnknownProsigns("cq<AR>k <sos> <ch>"), "cq<AR>k <sos> <ch>");
    EXPECT_EQ(RemoveUnknownProsigns("<a<ar>"), "a<ar>");
    EXPECT_EQ(RemoveUnknownProsigns("<>x<abcdef>"), "xabcdef"); // "<>" deleted; "<" of a long one
    EXPECT_EQ(RemoveUnknownProsigns("<"), "");
    EXPECT_EQ(RemoveUnknownProsigns(">>"), "");

    EXPECT_EQ(RemoveCodeCharacters("abc#def*&\\%{}+-="), "abcdef+-=");
    EXPECT_EQ(ProsignsToCodes("cq<AR> <sos>k<xx>y<a"), "cq+ {kya"); // a lone "<" is a token of one
    EXPECT_EQ(ProsignsToCodes("<bt>"), "=");
    EXPECT_EQ(ProsignsToCodes("a<"), "a");
    EXPECT_EQ(CodesToProsignNames("a+b{}"), "a<ar>b<sos><ch>");
    const std::string allCodes = "+=*#&\\%-{}";
    EXPECT_EQ(ProsignsToCodes(CodesToProsignNames(allCodes)), allCodes);
    EXPECT_EQ(RemoveCarets("^a^^b^"), "ab");
}

TEST(TextFilters, KeepKnownKeepSendableAndCompactSpaces) {
    TCharSet engine;
    const std::string text("Ab\tc\r\n\xFC@}^[x]\x00z", 15); // a NUL is no character
    EXPECT_EQ(KeepKnown(text, engine), "Ab c\r\xFC@}xz");
    engine.ExtraChars = false;
    EXPECT_EQ(KeepSendable("a\xFC@}b", engine), "ab");
    EXPECT_EQ(KeepKnown("a\xFC@}b", engine), "a\xFC@}b"); // known whatever the choice
    engine.BlipOn = true;
    EXPECT_EQ(KeepKnown("a^b", engine), "a^b");

    EXPECT_EQ(CompactSpaces("   a  b\t\tc"), "a b c");
    EXPECT_EQ(CompactSpaces("a   \rb  ^c"), "a\rb^c");
    EXPECT_EQ(CompactSpaces("a   "), "a ");
    EXPECT_EQ(CompactSpaces("    "), "");
    EXPECT_EQ(CompactSpaces(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(CompactSpaces("\r  \r"), "\r\r");
    EXPECT_EQ(CompactSpaces("\t \tindented"), "indented");
}

TEST(TextFilters, SplitAndCountWordsAndPhrases) {
    EXPECT_EQ(SplitWords("cq de<ar> test\r\nk\r\n"), (Strings{"cq", "de<ar>", "test", "k"}));
    EXPECT_EQ(SplitWords("\r\n  \r\n"), Strings{});
    EXPECT_EQ(SplitWords("a b"), (Strings{"a", "b"}));
    EXPECT_EQ(SplitPhrases("first one\r\n\r\n  second\r\nthird\r\n"),
              (Strings{"first one", "second", "third"}));

    EXPECT_EQ(CountWords(""), 0);
    EXPECT_EQ(CountWords("\r\n\r\n"), 0);
    EXPECT_EQ(CountWords(" one two\r\nthree "), 3);
    EXPECT_EQ(CountWords(std::string("a\0b", 3)), 2);
}

TEST(TextFilters, NextTextWord) {
    TCharSet engine;
    const std::string text = "  cq de\r\ndl1abc [k]\r\n";
    std::size_t pos = 0;
    Strings words;
    for (std::string w; !(w = NextTextWord(text, pos, engine, false)).empty();)
        words.push_back(w);
    EXPECT_EQ(words, (Strings{"cq ", "de\r", "dl1abc ", "k\r"}));
    EXPECT_EQ(pos, text.size());
    EXPECT_EQ(NextTextWord(text, pos, engine, false), ""); // nothing beyond the end

    pos = 0;
    EXPECT_EQ(NextTextWord(text, pos, engine, true), "cq\xFF");
    EXPECT_EQ(NextTextWord(text, pos, engine, true), "de\xFE");
    pos = 0;
    EXPECT_EQ(NextTextWord("end", pos, engine, false), "end");

    engine.ExtraChars = false; // extended characters are skipped, not sent
    pos = 0;
    EXPECT_EQ(NextTextWord("\xE4 b\xE4r ", pos, engine, false), "br ");
}

TEST(TextFilters, EveryLineEndBecomesOneCarriageReturn) {
    EXPECT_EQ(LineEndsToCr("a\nb\r\nc\rd\n\n"), "a\rb\rc\rd\r\r");
    EXPECT_EQ(LineEndsToCr(""), "");
    EXPECT_EQ(LineEndsToCr("\r\n\r\n"), "\r\r");
}
