#include "settings/IniFile.h"

#include <gtest/gtest.h>

using namespace brindle;

TEST(IniFile, ReadsValuesAndDefaults) {
    const TIniFile ini = TIniFile::Parse("; comment\r\n[Main]\r\n Speed = 75 \r\nAskEnd=yes\r\n"
                                         "Empty=\r\n[main]\r\nSpeed=99\r\n[TX]\r\nFrequency=-5");
    EXPECT_EQ(ini.ReadInteger("Main", "Speed", 60), 75);
    EXPECT_EQ(ini.ReadInteger("MAIN", "speed", 60), 75);   // names ignore case, first wins
    EXPECT_EQ(ini.ReadBool("Main", "AskEnd", true), true); // not a number: default
    EXPECT_EQ(ini.ReadBool("Main", "AskEnd", false), false);
    EXPECT_EQ(ini.ReadInteger("Main", "Empty", 3), 3);
    EXPECT_EQ(ini.ReadString("Main", "Empty", "x"), "");
    EXPECT_EQ(ini.ReadInteger("TX", "Frequency", 800), -5); // no final line end
    EXPECT_EQ(ini.ReadInteger("TX", "Missing", 800), 800);
    EXPECT_EQ(ini.ReadInteger("Nowhere", "Speed", 1), 1);
    EXPECT_FALSE(ini.Value("Main", "; comment").has_value());
}

TEST(IniFile, IntegerParsing) {
    int v = 0;
    EXPECT_TRUE(ParseIntStrict("42", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(ParseIntStrict("-7", v));
    EXPECT_TRUE(ParseIntStrict("+7", v));
    EXPECT_FALSE(ParseIntStrict("7x", v));
    EXPECT_FALSE(ParseIntStrict("", v));
    EXPECT_FALSE(ParseIntStrict("99999999999", v));
    EXPECT_FALSE(ParseIntStrict("1.5", v));
}

TEST(IniFile, WritesInPlaceAndAppendsInOrder) {
    TIniFile ini = TIniFile::Parse("[A]\nx=1\n; keep me\nother=thing\n\n[B]\ny=2\n");
    ini.WriteInteger("A", "x", 5);
    ini.WriteString("A", "new", "v");
    ini.WriteBool("C", "flag", true);
    ini.WriteBool("C", "off", false);
    EXPECT_EQ(ini.ToText(),
              "[A]\nx=5\n; keep me\nother=thing\nnew=v\n\n[B]\ny=2\n[C]\nflag=1\noff=0\n");
    ini.DeleteKey("A", "other");
    ini.DeleteKey("Z", "none");
    EXPECT_EQ(ini.ToText("\r\n"),
              "[A]\r\nx=5\r\n; keep me\r\nnew=v\r\n\r\n[B]\r\ny=2\r\n[C]\r\nflag=1\r\noff=0\r\n");
    ini.WriteString("B", "text", "two\nlines");
    EXPECT_EQ(ini.ReadString("B", "text", ""), "two lines");
}

TEST(IniFile, WindowsFilesReadCorrectly) {
    // Windows-1252 with CR LF, as the Windows program wrote it.
    const TIniFile ini = TIniFile::Parse("[Tutor]\r\nCharacters=abc\xE4\xF6\xFC\r\n");
    EXPECT_EQ(ini.ReadString("Tutor", "Characters", ""), "abc\xC3\xA4\xC3\xB6\xC3\xBC");
    const TIniFile bom = TIniFile::Parse("\xEF\xBB\xBF[Main]\nSpeed=70\n");
    EXPECT_EQ(bom.ReadInteger("Main", "Speed", 60), 70);
    // Two marks (a joined file) are both dropped, so saving and reading again keeps every line.
    const TIniFile twice = TIniFile::Parse("\xEF\xBB\xBF\xEF\xBB\xBF; note\n[Main]\nSpeed=70\n");
    EXPECT_EQ(twice.ToText("\n"), "; note\n[Main]\nSpeed=70\n");
    EXPECT_EQ(TIniFile::Parse(twice.ToText("\n")).Lines(), twice.Lines());
}
