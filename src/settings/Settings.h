// Every persistent setting of Brindle with its default, read from and written to "Brindle.ini".
// Windows take their values from TSettings at start and hand them back at exit; the rules that
// apply on reading (clamps, "^" removal, case) are applied here, so the windows stay thin.
#pragma once

#include "base/MessageSink.h"
#include "settings/IniFile.h"

#include <string>

namespace brindle {

// Screen and window sizes [pixels] that the default window positions are computed from.
struct TScreenGeometry {
    int ScreenWidth = 1920;
    int ScreenHeight = 1080;
    int BuffersWindowWidth = 600; // design size of the text buffers window
    int BuffersWindowHeight = 400;
    int ParamsWindowWidth = 920; // design size of the parameters window
    int ParamsWindowHeight = 750;
};

struct TMainSettings {
    std::string Version; // written from the running program; never read
    int Speed = 60;      // [CpM]
    bool AskEnd = false;
    std::string InFile; // file names and folders are UTF-8
    std::string WordFile;
    std::string PhrasesFile;
    std::string InDir; // default: the data folder
    std::string OutFile = "MainWindow.txt";
    std::string OutDir; // default: the data folder
    bool ShowWpM = false;
    bool AllCaps = false;
    int CharSizeItem = 2; // index into 10, 12, 14, 18, 24, 30, 36, 48, 64, 100
    bool operator==(const TMainSettings&) const = default;
};

struct TTutorSettings {
    int Mode = 0;     // 0 random characters, 1 words, 2 Q-codes, 3 phrases, 4 text from file
    int DispMode = 0; // 0 show first, 1 sound first, 2 single items
    int CharField = 1;
    std::string Characters = "abcdefghijklmnopqrstuvwxyz"; // Windows-1252, engine form
    std::string Characters2 = "0123456789";
    int StartSpeed = 30; // [CpM]
    bool Varispeed = false;
    int EndSpeed = 40;        // [CpM]
    int Farnsworth = 1;       // 0 off, 1 Farnsworth, 2 Wordsworth
    int FarnsworthSpeed = 60; // [CpM]
    int Groups = 30;
    int GrSize = 5;
    int GrMinSize = 1;
    bool VariSize = false;
    int Repeat = 0; // 0 once .. 4 five times
    int Faster = 0; // 0 x1.0 .. 6 x1.5
    bool Blip = false;
    std::string StartText = "vvv<ka>"; // Windows-1252
    std::string EndText = "<ar>";
    bool operator==(const TTutorSettings&) const = default;
};

struct TTxSettings {
    int Output = 1; // 0 none, 1 sound output, 2 COM port
    int TXComPort = 1;
    int TXAudioDevice = 0;
    bool PTT = false;
    bool EqKeyOpt = false;
    bool AutoStart = true;
    int Frequency = 800;   // [Hz]
    int Slope = 20;        // [samples]
    int Extended = 1;      // 0 standard, 1 extended characters
    int OutputLevel = -10; // [dB]
    bool Muted = false;
    int NoiseLevel = -20; // [dB]
    bool Noise = false;
    // The sound server's name of the output TXAudioDevice pointed at when saved (UTF-8); the
    // output list reorders on hot-plug, so the name is preferred when that output is present.
    std::string TXAudioDeviceName;
    bool operator==(const TTxSettings&) const = default;
};

struct TFormSettings { // window positions and sizes [pixels]
    int Top = 0, Height = 440, Left = 0, Width = 660;
    int BuTop = 0, BuLeft = 0;
    int ParaTop = 0, ParaLeft = 0;
    bool operator==(const TFormSettings&) const = default;
};

struct TSettings {
    TMainSettings Main;
    TTutorSettings Tutor;
    TTxSettings TX;
    TFormSettings Form;
    bool operator==(const TSettings&) const = default;
};

// The folder of the settings and buffer files, ending in a separator:
// $XDG_CONFIG_HOME/Brindle/ (default ~/.config/Brindle/), on Windows %APPDATA%\Brindle\.
std::string DataFolder();
std::string SettingsPath(const std::string& dataFolder); // dataFolder + "Brindle.ini"

// Every default, with the window positions centred on the screen.
TSettings DefaultSettings(const std::string& dataFolder, const TScreenGeometry& screen);
// Reads every key with the rules that apply on reading.
TSettings ReadSettings(const TIniFile& ini, const std::string& dataFolder,
                       const TScreenGeometry& screen);
// Writes every key in the file's order. A maximised main window leaves out its geometry.
void WriteSettings(const TSettings& settings, bool mainMaximised, TIniFile& ini);

// Reads "Brindle.ini" from dataFolder; a missing or unreadable file gives the defaults.
TSettings LoadIniSettings(const std::string& dataFolder, const TScreenGeometry& screen);
// Creates the data folder (one level) when needed and replaces the settings file whole, keeping
// the lines it does not know. Failures are shown through sink with their messages; false then,
// and the old file is unchanged.
bool SaveIniSettings(const std::string& dataFolder, const TSettings& settings, bool mainMaximised,
                     const TMessageSink& sink);
// Creates the data folder when it is missing (its parent must exist); false with the system's
// reason in error when that fails.
bool EnsureDataFolder(const std::string& dataFolder, std::string& error);

} // namespace brindle
