// Fuzzes the INI reader and writer: any bytes parse; a saved file parses to the same lines and
// reads back to the same settings.
#include "settings/Settings.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brindle;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TIniFile ini = TIniFile::Parse(bytes);
    const TScreenGeometry screen;
    const TSettings first = ReadSettings(ini, "/data/", screen);
    WriteSettings(first, false, ini);
    const std::string text = ini.ToText();
    const TIniFile again = TIniFile::Parse(text);
    if (again.Lines() != ini.Lines()) std::abort();
    const TSettings second = ReadSettings(again, "/data/", screen);
    if (!(second == first)) std::abort();
    return 0;
}
