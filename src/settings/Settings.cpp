#include "settings/Settings.h"

#include "base/FileIO.h"
#include "base/Ranges.h"
#include "base/Text1252.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace brindle {

namespace {

constexpr const char* kInfo = "Info";
constexpr const char* kMain = "Main";
constexpr const char* kTutor = "Tutor";
constexpr const char* kTX = "TX";
constexpr const char* kForm = "Form";

std::string RemoveCaret(std::string text) {
    std::erase(text, '^');
    return text;
}

// Strings of the engine's character set are Windows-1252 inside the program, UTF-8 in the file.
std::string Read1252(const TIniFile& ini, const char* section, const char* key,
                     const std::string& fallback) {
    const auto v = ini.Value(section, key);
    return v ? Utf8To1252(*v) : fallback;
}

// A choice index outside its list keeps the default.
int ReadChoice(const TIniFile& ini, const char* section, const char* key, int fallback, int count) {
    const int v = ini.ReadInteger(section, key, fallback);
    return v >= 0 && v < count ? v : fallback;
}

int Centre(int screen, int window) {
    return (screen - window) / 2;
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
    TSettings s;
    auto& m = s.Main;
    m.AskEnd = ini.ReadBool(kMain, "AskEnd", false);
    m.WordFile = ini.ReadString(kMain, "WordFile", "");
    m.PhrasesFile = ini.ReadString(kMain, "PhrasesFile", "");
    m.InFile = ini.ReadString(kMain, "InFile", "");
    m.OutFile = ini.ReadString(kMain, "OutFile", "MainWindow.txt");
    m.OutDir = ini.ReadString(kMain, "OutDir", folder);
    m.InDir = ini.ReadString(kMain, "InDir", folder);
    m.ShowWpM = ini.ReadBool(kMain, "ShowWpM", false);
    m.AllCaps = ini.ReadBool(kMain, "AllCaps", false);
    m.Speed = ranges::Speed.Clamp(ini.ReadInteger(kMain, "Speed", 60));
    m.CharSizeItem = ReadChoice(ini, kMain, "CharSizeItem", 2, 10);

    auto& t = s.Tutor;
    t.Mode = ReadChoice(ini, kTutor, "Mode", 0, 5);
    t.DispMode = ReadChoice(ini, kTutor, "DispMode", 0, 3);
    t.CharField = ini.ReadInteger(kTutor, "CharField", 1);
    if (t.CharField < 1 || t.CharField > 2) t.CharField = 1;
    auto casing = [&](const std::string& text) {
        return m.AllCaps ? Upper1252(text) : Lower1252(text);
    };
    t.Characters = casing(RemoveCaret(Read1252(ini, kTutor, "Characters", t.Characters)));
    t.Characters2 = casing(RemoveCaret(Read1252(ini, kTutor, "Characters2", t.Characters2)));
    t.StartSpeed = ranges::Speed.Clamp(ini.ReadInteger(kTutor, "StartSpeed", 30));
    t.Varispeed = ini.ReadBool(kTutor, "Varispeed", false);
    t.EndSpeed = ranges::Speed.Clamp(ini.ReadInteger(kTutor, "EndSpeed", 40));
    t.Farnsworth = ReadChoice(ini, kTutor, "Farnsworth", 1, 3);
    t.FarnsworthSpeed = ranges::Speed.Clamp(ini.ReadInteger(kTutor, "FarnsworthSpeed", 60));
    t.Groups = ranges::Groups.Clamp(ini.ReadInteger(kTutor, "Groups", 30));
    t.GrSize = ranges::GroupSize.Clamp(ini.ReadInteger(kTutor, "GrSize", 5));
    t.GrMinSize = ini.ReadInteger(kTutor, "GrMinSize", 1);
    if (t.GrMinSize >= t.GrSize) t.GrMinSize = t.GrSize - 1;
    t.GrMinSize = std::clamp(t.GrMinSize, 0, t.GrSize);
    t.VariSize = ini.ReadBool(kTutor, "VariSize", false) && t.GrSize != 1;
    t.Repeat = ReadChoice(ini, kTutor, "Repeat", 0, 5);
    t.Faster = ReadChoice(ini, kTutor, "Faster", 0, 7);
    t.Blip = ini.ReadBool(kTutor, "Blip", false);
    t.StartText = RemoveCaret(Read1252(ini, kTutor, "StartText", t.StartText));
    t.EndText = RemoveCaret(Read1252(ini, kTutor, "EndText", t.EndText));

    auto& x = s.TX;
    x.Output = ReadChoice(ini, kTX, "Output", 1, 3);
    x.TXComPort = ranges::ComPort.Clamp(ini.ReadInteger(kTX, "TXComPort", 1));
    x.TXAudioDevice = std::max(ini.ReadInteger(kTX, "TXAudioDevice", 0), 0);
    x.PTT = ini.ReadBool(kTX, "PTT", false);
    x.EqKeyOpt = ini.ReadBool(kTX, "EqKeyOpt", false);
    x.AutoStart = ini.ReadBool(kTX, "AutoStart", true);
    x.Frequency = ranges::Frequency.Clamp(ini.ReadInteger(kTX, "Frequency", 800));
    x.Slope = ranges::Slope.Clamp(ini.ReadInteger(kTX, "Slope", 20));
    x.Extended = ReadChoice(ini, kTX, "Extended", 1, 2);
    x.OutputLevel = ranges::OutputLevel.Clamp(ini.ReadInteger(kTX, "OutputLevel", -10));
    x.Muted = ini.ReadBool(kTX, "Muted", false);
    x.NoiseLevel = ranges::NoiseLevel.Clamp(ini.ReadInteger(kTX, "NoiseLevel", -20));
    x.Noise = ini.ReadBool(kTX, "Noise", false);
    x.TXAudioDeviceName = ini.ReadString(kTX, "TXAudioDeviceName", "");

    auto& f = s.Form;
    f.Height = ini.ReadInteger(kForm, "Height", 440);
    f.Width = ini.ReadInteger(kForm, "Width", 660);
    f.Top = ini.ReadInteger(kForm, "Top", Centre(screen.ScreenHeight, f.Height));
    f.Left = ini.ReadInteger(kForm, "Left", Centre(screen.ScreenWidth, f.Width));
    f.BuTop =
        ini.ReadInteger(kForm, "BuTop", Centre(screen.ScreenHeight, screen.BuffersWindowHeight));
    f.BuLeft =
        ini.ReadInteger(kForm, "BuLeft", Centre(screen.ScreenWidth, screen.BuffersWindowWidth));
    f.ParaTop =
        ini.ReadInteger(kForm, "ParaTop", Centre(screen.ScreenHeight, screen.ParamsWindowHeight));
    f.ParaLeft =
        ini.ReadInteger(kForm, "ParaLeft", Centre(screen.ScreenWidth, screen.ParamsWindowWidth));
    return s;
}

void WriteSettings(const TSettings& s, bool mainMaximised, TIniFile& ini) {
    ini.WriteString(kInfo, "Name", "Brindle Morse code tutor - settings");
    ini.WriteString(kInfo, "Warning", "= do not edit this file =");

    const auto& m = s.Main;
    ini.WriteString(kMain, "Version", m.Version);
    ini.WriteInteger(kMain, "Speed", m.Speed);
    ini.WriteBool(kMain, "AskEnd", m.AskEnd);
    ini.WriteString(kMain, "InFile", m.InFile);
    ini.WriteString(kMain, "WordFile", m.WordFile);
    ini.WriteString(kMain, "PhrasesFile", m.PhrasesFile);
    ini.WriteString(kMain, "InDir", m.InDir);
    ini.WriteString(kMain, "OutFile", m.OutFile);
    ini.WriteString(kMain, "OutDir", m.OutDir);
    ini.WriteBool(kMain, "ShowWpM", m.ShowWpM);
    ini.WriteBool(kMain, "AllCaps", m.AllCaps);
    ini.WriteInteger(kMain, "CharSizeItem", m.CharSizeItem);

    const auto& t = s.Tutor;
    ini.WriteInteger(kTutor, "Mode", t.Mode);
    ini.WriteInteger(kTutor, "DispMode", t.DispMode);
    ini.WriteInteger(kTutor, "CharField", t.CharField);
    ini.WriteString(kTutor, "Characters", Cp1252ToUtf8(t.Characters));
    ini.WriteString(kTutor, "Characters2", Cp1252ToUtf8(t.Characters2));
    ini.WriteInteger(kTutor, "StartSpeed", t.StartSpeed);
    ini.WriteBool(kTutor, "Varispeed", t.Varispeed);
    ini.WriteInteger(kTutor, "EndSpeed", t.EndSpeed);
    ini.WriteInteger(kTutor, "Farnsworth", t.Farnsworth);
    ini.WriteInteger(kTutor, "FarnsworthSpeed", t.FarnsworthSpeed);
    ini.WriteInteger(kTutor, "Groups", t.Groups);
    ini.WriteInteger(kTutor, "GrSize", t.GrSize);
    ini.WriteInteger(kTutor, "GrMinSize", t.GrMinSize);
    ini.WriteBool(kTutor, "VariSize", t.VariSize);
    ini.WriteInteger(kTutor, "Repeat", t.Repeat);
    ini.WriteInteger(kTutor, "Faster", t.Faster);
    ini.WriteBool(kTutor, "Blip", t.Blip);
    ini.WriteString(kTutor, "StartText", Cp1252ToUtf8(t.StartText));
    ini.WriteString(kTutor, "EndText", Cp1252ToUtf8(t.EndText));

    const auto& x = s.TX;
    ini.WriteInteger(kTX, "Output", x.Output);
    ini.WriteInteger(kTX, "TXComPort", x.TXComPort);
    ini.WriteInteger(kTX, "TXAudioDevice", x.TXAudioDevice);
    ini.WriteBool(kTX, "PTT", x.PTT);
    ini.WriteBool(kTX, "EqKeyOpt", x.EqKeyOpt);
    ini.WriteBool(kTX, "AutoStart", x.AutoStart);
    ini.WriteInteger(kTX, "Frequency", x.Frequency);
    ini.WriteInteger(kTX, "Slope", x.Slope);
    ini.WriteInteger(kTX, "Extended", x.Extended);
    ini.WriteInteger(kTX, "OutputLevel", x.OutputLevel);
    ini.WriteBool(kTX, "Muted", x.Muted);
    ini.WriteInteger(kTX, "NoiseLevel", x.NoiseLevel);
    ini.WriteBool(kTX, "Noise", x.Noise);
    ini.WriteString(kTX, "TXAudioDeviceName", x.TXAudioDeviceName);

    const auto& f = s.Form;
    if (mainMaximised) {
        // The next start then uses the centred default size.
        for (const char* key : {"Top", "Height", "Left", "Width"})
            ini.DeleteKey(kForm, key);
    } else {
        ini.WriteInteger(kForm, "Top", f.Top);
        ini.WriteInteger(kForm, "Height", f.Height);
        ini.WriteInteger(kForm, "Left", f.Left);
        ini.WriteInteger(kForm, "Width", f.Width);
    }
    ini.WriteBool(kForm, "InitMax", false);
    ini.WriteInteger(kForm, "BuTop", f.BuTop);
    ini.WriteInteger(kForm, "BuLeft", f.BuLeft);
    ini.WriteInteger(kForm, "ParaTop", f.ParaTop);
    ini.WriteInteger(kForm, "ParaLeft", f.ParaLeft);
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
                     const TMessageSink& sink) {
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
    WriteSettings(settings, mainMaximised, ini);
    if (!WriteFileAtomically(path, ini.ToText(), error)) {
        ShowMessage(sink, TSeverity::Error, "Cannot save to " + path);
        return false;
    }
    return true;
}

} // namespace brindle
