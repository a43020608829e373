// Fuzzes the INI reader and writer: any bytes parse; a saved file parses to the same lines and
// reads back to the same settings (string values lose surrounding blanks on reading, as the INI
// format has it), and a second save changes nothing.
#include "settings/Settings.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Trim(std::string& s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && blank(s[i]))
        ++i;
    s.erase(0, i);
}

brindle::TSettings Trimmed(brindle::TSettings s) {
    for (std::string* f : {&s.Main.InFile, &s.Main.WordFile, &s.Main.PhrasesFile, &s.Main.InDir,
                           &s.Main.OutFile, &s.Main.OutDir, &s.Tutor.Characters,
                           &s.Tutor.Characters2, &s.Tutor.StartText, &s.Tutor.EndText})
        Trim(*f);
    return s;
}

brindle::TSettings SaveAndRead(const brindle::TSettings& s, brindle::TIniFile& ini) {
    WriteSettings(s, false, ini);
    const brindle::TIniFile again = brindle::TIniFile::Parse(ini.ToText());
    if (again.Lines() != ini.Lines()) std::abort();
    ini = again;
    return ReadSettings(ini, "/data/", brindle::TScreenGeometry{});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brindle;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TIniFile ini = TIniFile::Parse(bytes);
    const TSettings first = ReadSettings(ini, "/data/", TScreenGeometry{});
    const TSettings second = SaveAndRead(first, ini);
    if (!(second == Trimmed(first))) std::abort();
    const TSettings third = SaveAndRead(second, ini);
    if (!(third == second)) std::abort();
    return 0;
}
