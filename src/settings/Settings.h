// Every persistent setting of Brindle, read from and written to "Brindle.ini" as the settings
// table (SettingsTable.h) lays it out. Windows take their values from TSettings at start and hand
// them back at exit; the rules that apply on reading (clamps, "^" removal, case) are applied here,
// so the windows stay thin.
#pragma once

#include "base/MessageSink.h"
#include "settings/Choices.h"
#include "settings/IniFile.h"

#include <string>
#include <string_view>

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

// The members hold no defaults (zero, false, empty), so that each default is written once, in the
// settings table (SettingsTable.h); DefaultSettings() or ReadSettings() fills them from it. A
// TSettings{} is therefore not the defaults.
struct TMainSettings {
    std::string Version; // written from the running program; never read
    int Speed{};         // [CpM]
    bool AskEnd{};
    std::string InFile; // file names and folders are UTF-8
    std::string WordFile;
    std::string PhrasesFile;
    std::string InDir;
    std::string OutFile;
    std::string OutDir;
    bool ShowWpM{};
    bool AllCaps{};
    int CharSizeItem{}; // index into choices::FontPoints
    bool operator==(const TMainSettings&) const = default;
};

struct TTutorSettings {
    int Mode{};             // index into choices::Mode
    int DispMode{};         // index into choices::DispMode
    int CharField{};        // 1 or 2: the character field in use
    std::string Characters; // Windows-1252, engine form
    std::string Characters2;
    int StartSpeed{}; // [CpM]
    bool Varispeed{};
    int EndSpeed{};        // [CpM]
    int Farnsworth{};      // index into choices::Farnsworth
    int FarnsworthSpeed{}; // [CpM]
    int Groups{};
    int GrSize{};    // [characters]
    int GrMinSize{}; // [characters]
    bool VariSize{};
    int Repeat{}; // index into choices::Repeat
    int Faster{}; // index into choices::Faster
    bool Blip{};
    std::string StartText; // Windows-1252
    std::string EndText;
    bool operator==(const TTutorSettings&) const = default;
    TTrainingMode TrainingMode() const { return choices::TrainingModeOf(Mode); }
    TDisplayMode Display() const { return choices::DisplayModeOf(DispMode); }
    TSpacing Spacing() const { return choices::SpacingOf(Farnsworth); }
};

struct TTxSettings {
    int Output{}; // index into choices::Output
    int TXComPort{};
    int TXAudioDevice{};
    bool PTT{};
    bool EqKeyOpt{};
    bool AutoStart{};
    int Frequency{};   // [Hz]
    int Slope{};       // [samples]
    int Extended{};    // index into choices::Extended
    int OutputLevel{}; // [dB]
    bool Muted{};
    int NoiseLevel{}; // [dB]
    bool Noise{};
    // The sound server's name of the output TXAudioDevice pointed at, as earlier versions saved
    // it at every exit (UTF-8). It was no choice of the user's: kept in the file, not used.
    std::string TXAudioDeviceName;
    // The sound server's stable name of the output the user picked (UTF-8); empty: the system's
    // default output, which the sound follows when it changes.
    std::string TXAudioOutput;
    bool operator==(const TTxSettings&) const = default;
};

struct TFormSettings { // window positions and sizes [pixels]
    int Top{}, Height{}, Left{}, Width{};
    int BuTop{}, BuLeft{};
    int ParaTop{}, ParaLeft{};
    bool operator==(const TFormSettings&) const = default;
};

struct TKochSettings {  // the Koch course
    int Order{};        // 0 LCWO, 1 G4FON/KochMorse, 2 CWops, 3 custom
    std::string Custom; // the custom order (Windows-1252, prosigns by name)
    int Lesson{};       // 1 .. the order's length - 1 (clamped where the order is known)
    int Minutes{};      // [min] of a practice
    int CharCpm{};      // [CpM] character speed
    int EffCpm{};       // [CpM] effective speed (Farnsworth) when lower
    int GroupSize{};    // characters per group; 0: random (RandomGroupSizes of the course)
    bool operator==(const TKochSettings&) const = default;
};

struct TSettings {
    TMainSettings Main;
    TTutorSettings Tutor;
    TTxSettings TX;
    TFormSettings Form;
    TKochSettings Koch;
    bool operator==(const TSettings&) const = default;
};

// The folder of the settings and buffer files, ending in a separator:
// $XDG_CONFIG_HOME/Brindle/ (default ~/.config/Brindle/), on Windows %APPDATA%\Brindle\.
std::string DataFolder();
std::string SettingsPath(const std::string& dataFolder); // dataFolder + "Brindle.ini"

// Every default, with the window positions centred on the screen: the settings of an empty file.
TSettings DefaultSettings(const std::string& dataFolder, const TScreenGeometry& screen);
// Reads every key of the table with the rules that apply on reading.
TSettings ReadSettings(const TIniFile& ini, const std::string& dataFolder,
                       const TScreenGeometry& screen);
// Writes every key in the table's order (onlySection: only that section's). A maximised main
// window leaves out its geometry.
void WriteSettings(const TSettings& settings, bool mainMaximised, TIniFile& ini,
                   std::string_view onlySection = {});

// Reads "Brindle.ini" from dataFolder; a missing or unreadable file gives the defaults.
TSettings LoadIniSettings(const std::string& dataFolder, const TScreenGeometry& screen);
// Creates the data folder (one level) when needed and replaces the settings file whole, keeping
// the lines it does not know. Failures are shown through sink with their messages; false then,
// and the old file is unchanged.
bool SaveIniSettings(const std::string& dataFolder, const TSettings& settings, bool mainMaximised,
                     const TMessageSink& sink, std::string_view onlySection = {});
// Creates the data folder when it is missing (its parent must exist); false with the system's
// reason in error when that fails.
bool EnsureDataFolder(const std::string& dataFolder, std::string& error);

} // namespace brindle
