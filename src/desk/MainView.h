// What the main window shows, as plain state: the logic composes it from its parts' states in one
// place (TDesk::ComposeView) and the window draws it in one place. Tests assert on it without
// a widget.
#pragma once

#include "desk/DeskTypes.h"

#include <array>
#include <string>
#include <vector>

namespace brindle {

// Every caption of the main window's buttons that change theirs (the pause button's are its
// looks), so that the window can give each button the room of its longest.
namespace captions {
inline constexpr std::array<const char*, 3> TX{"AutoStart", "ManualStart", "Stop"};
// The start button's caption and hint, by training mode.
inline constexpr std::array<std::array<const char*, 2>, 5> Start{{
    {"Start Random Characters", "Start random characters"},
    {"Start Random Words", "Start random words"},
    {"Start Random Q-Codes", "Start random Q-codes"},
    {"Start Random Phrases", "Start random phrases"},
    {"Start Sending Text", "Start sending text"},
}};
inline constexpr std::array<const char*, 2> SingleMode{"Set Single Mode", "Stop Single Mode"};
inline constexpr std::array<const char*, 2> Hide{"Hide Text", "Show Text"};
} // namespace captions

struct TMainView {
    bool TXDown = false;
    bool TXEnabled = true;
    std::string TXCaption = "AutoStart";
    TPauseState PauseState = TPauseState::Off;
    bool PauseEnabledByOutput = false; // without output the pause button stays off
    bool SoundMutedShown = false;      // the red "Sound muted" label
    bool SingleModeShown = false;      // the red "Single Mode" label
    std::string SingleModeCaption = "Set Single Mode";
    std::string StartCaption = "Start Random Characters";
    std::string StartHint = "Start random characters";
    bool StartEnabled = false;      // practice start
    bool SingleModeEnabled = false; // single mode
    bool BuffersEnabled = false;    // text buffers
    bool HideDown = false;
    std::string HideCaption = "Hide Text";
    bool DisplayVisible = true;
    int SpeedPosition = 0; // the up-down's position [CpM]
    std::string SpeedText;
    std::string SpeedUnit = "CpM";
    bool SpeedEnabled = true;
    bool SpeedUpDownEnabled = true;
    std::string SpeedLabel = "Speed"; // or "Farnsworth", "Wordsworth"
    bool ParameterControlsEnabled = true;
    int DisplayFontPoints = 0;       // the display's character size [pt]
    bool LoadingNoticeShown = false; // "Now loading text to screen ..." over the display
    // Copy practice runs: the copy field and its Check button are shown and take the keys. After
    // the check the field stays, read-only, with the copy beside the result, so that keys typed
    // on are never sent; Esc puts it away.
    bool CopyFieldShown = false;
    bool CopyFieldReadOnly = false;
    int CopyPractice = 0; // counts the practices begun: a new one starts with an empty field
    // While an output switch or the close waits for the engine: the window disables its controls
    // and says so in the status bar.
    std::string Busy;
    // While the sound output is gone or plays to nothing: the status bar's line (under Busy),
    // and the text of a notice that leaves the keys to the window and goes when it is empty.
    std::string SoundStatus;
    std::string SoundNotice;
    bool operator==(const TMainView&) const = default;
};

// The parameters window's output choice and port list, as the device check leaves them; the
// parameters window draws this.
struct TOutputChoice {
    int Chosen = -1; // the radio item: -1 none, 0 "Sound Output", 1 "COM Port"
    bool SoundEnabled = false;
    bool ComEnabled = false;
    bool AutoStartEnabled = true;
    bool TestButtonEnabled = false;
    bool TransmitButtonsEnabled = false;
    bool BlipEnabled = false;
    bool PortBoxEnabled = true;
    std::vector<std::string> PortEntries; // "COM5", ... or the single entry "none"
    std::vector<std::string> PortDevices; // beside each entry: "ttyUSB0: FT232R USB UART"
    int PortSelected = -1;
    // The sound outputs: "Default output (NAME)" first, then each output the server has.
    std::vector<std::string> SoundEntries;
    int SoundSelected = 0;
};

} // namespace brindle
