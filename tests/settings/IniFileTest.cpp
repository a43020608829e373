#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace brindle;

TEST(IniFile, ReadsValuesAndDefaults) {
    const TIniFile ini = TIniFile::Parse("; comment\r\n[Main]\r\n Speed = 75 \r\nAskEnd=yes\r\n"
                                         "Empty=\r\n[main]\r\nSpeed=99\r\n[TX]\r\nFrequency=-5");
    // Names ignore case and the first wins; "yes" is not a number: the default; the last line has
    // no line end.
    std::ostringstream got;
    got << ini.ReadInteger("Main", "Speed", 60) << " " << ini.ReadInteger("MAIN", "speed", 60)
        << " " << ini.ReadBool("Main", "AskEnd", true) << ini.ReadBool("Main", "AskEnd", false)
        << " " << ini.ReadInteger("Main", "Empty", 3) << " '"
        << ini.ReadString("Main", "Empty", "x") << "' " << ini.ReadInteger("TX", "Frequency", 800)
        << " " << ini.ReadInteger("TX", "Missing", 800) << " "
        << ini.ReadInteger("Nowhere", "Speed", 1) << " "
        << ini.Value("Main", "; comment").has_value();
    EXPECT_EQ(got.str(), "75 75 10 3 '' -5 800 1 0");

    // Integers: a sign, nothing after the digits, and within int.
    std::string parsed;
    for (const char* text : {"42", "-7", "+7", "7x", "", "99999999999", "1.5"}) {
        int v = 0;
        parsed += ParseIntStrict(text, v) ? std::to_string(v) + " " : "- ";
    }
    EXPECT_EQ(parsed, "42 -7 7 - - - - ");
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
