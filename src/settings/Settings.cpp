#include "settings/Settings.h"

#include "base/FileIO.h"
#include "base/Text1252.h"
#include "settings/SettingsTable.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <type_traits>
#include <utility>
#include <variant>

namespace brindle {

namespace {

template <typename T> T TableDefault(const TSettingEntry& e) {
    if constexpr (std::is_same_v<T, std::string>)
        return std::string(e.DefaultText);
    else
        return static_cast<T>(e.Default);
}

int ReadValue(const TIniFile& ini, const TSettingEntry& e, int fallback) {
    const int v = ini.ReadInteger(e.Section, e.Key, fallback);
    if (e.Kind == TSettingKind::Choice) return e.Range.Contains(v) ? v : fallback;
    return e.Range.Clamp(v);
}

bool ReadValue(const TIniFile& ini, const TSettingEntry& e, bool fallback) {
    return ini.ReadBool(e.Section, e.Key, fallback);
}

std::string ReadValue(const TIniFile& ini, const TSettingEntry& e, const std::string& fallback) {
    if (e.Kind == TSettingKind::String) return ini.ReadString(e.Section, e.Key, fallback);
    // The engine's text: Windows-1252 inside the program, UTF-8 in the file, and no "^".
    const auto v = ini.Value(e.Section, e.Key);
    std::string text = v ? Utf8To1252(*v) : fallback;
    std::erase(text, '^');
    return text;
}

void ReadEntry(const TIniFile&, const TSettingEntry&, std::monostate, const TSettingsPlace&,
               TSettings&) {}

template <typename T>
void ReadEntry(const TIniFile& ini, const TSettingEntry& e, const TSettingField<T>& field,
               const TSettingsPlace& place, TSettings& s) {
    const T fallback = field.PlaceDefault ? field.PlaceDefault(s, place) : TableDefault<T>(e);
    field.Of(s) = ReadValue(ini, e, fallback);
}

void AfterReading(std::monostate, TSettings&) {}

template <typename T> void AfterReading(const TSettingField<T>& field, TSettings& s) {
    if (!field.AfterReading) return;
    T value = field.Of(s);
    field.AfterReading(value, s);
    field.Of(s) = std::move(value);
}

void WriteValue(TIniFile& ini, const TSettingEntry& e, int value) {
    ini.WriteInteger(e.Section, e.Key, value);
}

void WriteValue(TIniFile& ini, const TSettingEntry& e, bool value) {
    ini.WriteBool(e.Section, e.Key, value);
}

void WriteValue(TIniFile& ini, const TSettingEntry& e, const std::string& value) {
    ini.WriteString(e.Section, e.Key,
                    e.Kind == TSettingKind::Text1252 ? Cp1252ToUtf8(value) : value);
}

void WriteEntry(TIniFile& ini, const TSettingEntry& e, std::monostate, const TSettings&) {
    switch (e.Kind) {
    case TSettingKind::Bool: WriteValue(ini, e, TableDefault<bool>(e)); break;
    case TSettingKind::Integer:
    case TSettingKind::Choice: WriteValue(ini, e, TableDefault<int>(e)); break;
    case TSettingKind::String:
    case TSettingKind::Text1252: WriteValue(ini, e, TableDefault<std::string>(e)); break;
    }
}

template <typename T>
void WriteEntry(TIniFile& ini, const TSettingEntry& e, const TSettingField<T>& field,
                const TSettings& s) {
    WriteValue(ini, e, field.OfConst(s));
}

} // namespace

std::string DataFolder() {
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    return std::string(appData ? appData : "") + "\\Brindle\\";
#else
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::string(config) + "/Brindle/";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/Brindle/";
#endif
}

std::string SettingsPath(const std::string& dataFolder) {
    return dataFolder + "Brindle.ini";
}

TSettings DefaultSettings(const std::string& dataFolder, const TScreenGeometry& screen) {
    return ReadSettings(TIniFile{}, dataFolder, screen);
}

TSettings ReadSettings(const TIniFile& ini, const std::string& folder,
                       const TScreenGeometry& screen) {
    const TSettingsPlace place{folder, screen};
    TSettings s;
    // The keys whose default depends on the place come second: their defaults may use what the
    // others read.
    for (const bool second : {false, true})
        for (const TSettingEntry& e : SettingsTable)
            if (e.Read && e.DefaultDependsOnPlace() == second)
                std::visit([&](const auto& field) { ReadEntry(ini, e, field, place, s); },
                           e.Target);
    for (const TSettingEntry& e : SettingsTable)
        if (e.Read) std::visit([&](const auto& field) { AfterReading(field, s); }, e.Target);
    return s;
}

void WriteSettings(const TSettings& s, bool mainMaximised, TIniFile& ini,
                   std::string_view onlySection) {
    for (const TSettingEntry& e : SettingsTable) {
        if (!onlySection.empty() && e.Section != onlySection) continue;
        if (mainMaximised && e.LeftOutWhenMaximised)
            ini.DeleteKey(e.Section, e.Key);
        else
            std::visit([&](const auto& field) { WriteEntry(ini, e, field, s); }, e.Target);
    }
}

TSettings LoadIniSettings(const std::string& dataFolder, const TScreenGeometry& screen) {
    std::string bytes, error;
    if (!ReadFileBytes(SettingsPath(dataFolder), bytes, error)) bytes.clear();
    return ReadSettings(TIniFile::Parse(bytes), dataFolder, screen);
}

bool EnsureDataFolder(const std::string& dataFolder, std::string& error) {
    struct stat st {};
    if (::stat(dataFolder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = std::strerror(ENOTDIR);
        return false;
    }
    if (::mkdir(dataFolder.c_str(), 0755) == 0) return true;
    // The user's own configuration folder stands where the parent must exist; on a new account
    // it may not be there yet, and the desktop's rule is to make it, private to the user.
    const std::string standard = DataFolder();
    const auto cut = standard.find_last_of('/', standard.size() - 2);
    if (errno == ENOENT && dataFolder == standard && cut != std::string::npos) {
        std::error_code ec;
        const std::filesystem::path config = standard.substr(0, cut);
        if (std::filesystem::create_directories(config, ec))
            std::filesystem::permissions(config, std::filesystem::perms::owner_all, ec);
        if (::mkdir(dataFolder.c_str(), 0755) == 0) return true;
    }
    error = std::strerror(errno);
    return false;
}

bool SaveIniSettings(const std::string& dataFolder, const TSettings& settings, bool mainMaximised,
                     const TMessageSink& sink, std::string_view onlySection) {
    std::string error;
    if (!EnsureDataFolder(dataFolder, error)) {
        ShowMessage(sink, TSeverity::Error, "Error: cannot create directory " + dataFolder);
        return false;
    }
    const std::string path = SettingsPath(dataFolder);
    std::string bytes;
    TIniFile ini;
    int code = 0;
    if (ReadFileBytes(path, bytes, error, &code)) {
        ini = TIniFile::Parse(bytes);
    } else if (code != ENOENT) {
        // A file that exists but cannot be read would lose the user's other keys and comments
        // if it were replaced: leave it as it is.
        ShowMessage(sink, TSeverity::Error, "Cannot save to " + path);
        return false;
    }
    WriteSettings(settings, mainMaximised, ini, onlySection);
    if (!WriteFileAtomically(path, ini.ToText(), error)) {
        ShowMessage(sink, TSeverity::Error, "Cannot save to " + path);
        return false;
    }
    return true;
}

} // namespace brindle
