// The parameters window's logic without widgets: every practice, sound, output and display
// parameter, applied at once to the engine, the noise generator, the main window's flags and the
// display. The choices live in the main window's TSettings (the one plain value that is saved at
// exit); the edit fields, the up-down positions, captions and enabled states live in TParamView,
// which the window draws. The rules of the up-downs (StepUpDown), of the numeric fields
// (ApplyEditField) and of the character fields (the commit chain) are here, so tests drive them
// without a window.
#pragma once

#include "base/Signal.h"
#include "desk/DeskTypes.h"
#include "settings/Choices.h"
#include "settings/Settings.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace brindle {

class TMorseEngine;
class TDisplayModel;
class TNoiseGen;
class TOutputSwitch;
class TSoundOut;

// What the parameters window's logic works with: the settings it edits, the engine, the display,
// the noise and the sound output it sets, the output switch (its choice, and the device check it
// runs at creation), and the session's state that locks it.
struct TParametersNeeds {
    TSettings& Settings;
    TMorseEngine& Engine;
    TDisplayModel& Display;
    TNoiseGen& Noise;
    TSoundOut& Sound;
    TOutputSwitch& Output;
    std::function<TSessionState()> SessionState;
    std::function<bool()> SessionLocksParameters;
};

// The eight edit + up-down pairs.
enum class TUpDown {
    Freq,
    Slope,
    StartSpeed,
    EndSpeed,
    FarnswSpeed,
    NumGroups,
    SizeGroups,
    SizeMin
};
inline constexpr int UpDownCount = 8;
// The fields that take Morse characters: the two character fields, the start and the end text.
enum class TCharField { Chars1, Chars2, StartText, StopText };
inline constexpr int CharFieldCount = 4;

struct TNumberField {
    int Position = 0; // the up-down's position
    int Min = 0;
    int Max = 0;
    int MaxLength = 4; // [characters] of the edit field
    std::string Text;
    bool Enabled = true;
    std::string Caption;
    bool CaptionEnabled = true;
};

struct TTextField {
    std::string Text;   // Windows-1252, prosigns as their names
    int MaxLength = 80; // [characters]
    bool Enabled = true;
};

struct TParamView {
    std::array<TNumberField, UpDownCount> Numbers;
    std::array<TTextField, CharFieldCount> Texts;
    std::string Unit = "CpM"; // beside the three speed fields
    int CharSelected = 1;     // the "Selected Morse Characters" item 0..2
    int LevelPosition = 10;   // the output level bar, 0..60 = 0..-60 dB
    int NoisePosition = 20;   // the noise level bar
    std::string LevelLabel = "-10 dB";
    std::string NoiseLabel = "-20 dB";
    bool SoundMutedShown = false; // the red "Sound muted" label
    bool Locked = false;          // a session or test runs
    // Enabled states that are not a field's own.
    bool OutputSoundEnabled = false, OutputComEnabled = false, PortBoxEnabled = true;
    bool DispModeEnabled = true, MorseModeEnabled = true, CharsEnabled = true;
    bool VariSpeedEnabled = true, VariSizeEnabled = true, RepeatEnabled = true;
    bool FasterEnabled = false, BlipEnabled = false, TXCharEnabled = true;
    bool SoundControlsEnabled = false, NoiseEnabled = false, PttEnabled = false;
    bool AutoStartEnabled = true, TestEnabled = false;
    bool FarnsworthEnabled = true; // off while the speed test runs
    std::string TestCaption = "Test Sound and Speed";
    std::string Status; // one line for the status bar (the mixer), empty: none
};

// The level label beside a level bar: "-10 dB".
std::string LevelText(int dB);
// The commit chain of a character field: spaces out, unknown prosigns out, what the character
// set does not send out, carets out. Returns the set in lower case, prosigns as single codes.
std::string CharSetOfField(const std::string& text1252, bool extended);
// The commit chain of the start and end texts, spaces kept; prosigns as codes, lower case.
std::string SendableText(const std::string& text1252, bool extended);
// Backspace just behind a ">": the text with the prosign name before the caret removed (the "<"
// with it) and the new caret; false when there is no "<" before it.
bool ProsignBackspace(std::string& text, int& caret);

// The sound mixers tried in order; the first installed one is started detached.
struct TMixerCommand {
    std::string Program;
    std::vector<std::string> Arguments;
};
std::vector<TMixerCommand> MixerCommands();
struct TRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TRect&) const = default;
};
// A window as saved, brought fully onto the screens' work areas: onto the screen it overlaps most
// (else the nearest), no larger than that screen, moved in from every edge it crosses. A saved
// position off every screen (another monitor, a hand-edited file) never leaves a window out of
// reach. Without screens the window is left as it is.
TRect FitOnScreens(TRect window, const std::vector<TRect>& screens);
// The same for a window whose frame (title bar and borders, drawn by the window manager) adds
// frameWidth x frameHeight [px] to its size: Left and Top are the frame's corner, as a window is
// moved; Width and Height are the window's own, as it is resized.
TRect FitFramedOnScreens(TRect window, int frameWidth, int frameHeight,
                         const std::vector<TRect>& screens);

class TParameters {
public:
    explicit TParameters(TParametersNeeds needs);

    // The window's creation: fills everything from the settings as they were read at start,
    // applies every effect and runs the output device check.
    void Create();
    // Before the settings are saved: the fields not yet committed are committed (as on
    // deactivation) and every value the window holds goes back into the settings.
    void StoreSettings();

    const TParamView& View() const { return View_; }
    // The outputs or the session changed: enabled states again, then Changed.
    void Refresh() { Changed(); }
    // Told whenever View() may have changed.
    TSignal<> OnChanged;
    // What the main window shows may have changed too (the start button's caption, the speed's
    // label, the muted label).
    TSignal<> OnMainViewChanged;
    TSignal<> OnStopSending;      // a new display mode: everything sent stops
    TSignal<> OnAutoStartSet;     // the TX button follows
    TSignal<bool> OnPttSet;       // PTT on the port: the keying follows
    TSignal<bool> OnAllCapsSet;   // the text buffers follow
    TSignal<> OnSoundTestClicked; // the test button

    // --- Numeric fields and up-downs ------------------------------------------------------
    // A click on an up-down button (up: +1, down: -1) with the keys held.
    void StepUpDown(TUpDown which, int button, bool shift, bool ctrl);
    // Enter, leaving the field or deactivating the window with this text in the field.
    void ApplyEditField(TUpDown which, const std::string& text);

    // --- Character fields and texts -------------------------------------------------------
    void EnterCharField(int field); // focus entered EditChars1 (1) or EditChars2 (2)
    void ChooseCharField(int item); // the "Selected Morse Characters" item 0, 1 or 2
    void CommitText(TCharField which, const std::string& text1252);
    void AllLetters();
    void AllNumerals();
    void AllCharacters();
    // Deactivating the window commits these fields with the texts they hold.
    void Deactivate(const std::array<std::string, UpDownCount>& numbers,
                    const std::array<std::string, CharFieldCount>& texts);

    // --- Choices ---------------------------------------------------------------------------
    void SetDispMode(TDisplayMode mode);
    void SetMorseMode(TTrainingMode mode);
    void SetAutoStart(bool on);
    void SetPtt(bool on);
    void SetExtended(bool on);
    void SetLevel(int position);
    void SetNoiseLevel(int position);
    void SetNoise(bool on);
    void SetMute(bool on);
    void SetEqKeyOpt(bool on);
    void SetBlip(bool on);
    void SetRepeat(int item);
    void SetFaster(int item);
    void SetCharSize(int item);
    void SetAllCaps(bool on);
    void SetShowWpM(bool on);
    void SetVariSpeed(bool on);
    void SetVariSize(bool on);
    void SetFarnsworth(TSpacing spacing);
    void TestButtonClick();

    // What the device check runs after a switch and at its end.
    void EnableControls();
    void AfterDeviceCheck();
    void MuteCheckBoxClick();

    // --- Working values, read by the session composer (set from the settings by Create) --------
    int WorkStartSpeed = 0; // [CpM]
    int WorkEndSpeed = 0;   // [CpM]
    int WorkFarnsworthSpeed = 0;
    int WorkGroupCount = 0;
    int WorkGroupSize = 0;
    int WorkMinGroupSize = 0;
    int LastCharField = 1;
    std::string CharSet1; // lower case, prosigns as single codes
    std::string CharSet2;

    const TNumberField& Number(TUpDown which) const { return View_.Numbers[Index(which)]; }
    const TTextField& Text(TCharField which) const { return View_.Texts[Index(which)]; }

private:
    static int Index(TUpDown u) { return static_cast<int>(u); }
    static int Index(TCharField f) { return static_cast<int>(f); }
    TNumberField& Num(TUpDown which) { return View_.Numbers[Index(which)]; }
    void SetPosition(TUpDown which, int position); // clamped to the up-down's range
    void ApplyPosition(TUpDown which, int value);
    void GroupSizeRule();
    void SetFieldText(TCharField which, const std::string& text);
    void FillCharField(const char* lower);
    void WriteSpeedFields();
    void CaseFields();
    void UpdateEnables();
    void Changed();

    TParametersNeeds N_;
    TSettings& S_;
    TParamView View_;
};

} // namespace brindle
