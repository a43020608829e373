// The main window's states as types: the output device, the session state, the kind of item a
// session sends, the pause button's look and the closing of the program. The output device is
// stored in the settings file as a number and the parameters window shows it as a radio item;
// the functions below are the only places that convert.
#pragma once

#include "practice/PracticeMaterial.h"
#include "settings/Choices.h"

#include <cstdint>
#include <string>

namespace brindle {

// Exactly one output is active: none, the sound output or a COM port.
enum class TOutputDevice {
    NotChosen = -1, // only at start, before the first device check
    None = 0,
    Sound = 1,
    Com = 2,
};
// The settings file's "Output" value (0 none, 1 sound output, 2 COM port).
int SettingOf(TOutputDevice device);
TOutputDevice OutputDeviceOfSetting(int value); // out of range: None
// The parameters window's output radio item: -1 none, 0 "Sound Output", 1 "COM Port".
int ChoiceItemOf(TOutputDevice device);
TOutputDevice OutputDeviceOfChoice(int item);
inline bool IsActive(TOutputDevice d) {
    return d == TOutputDevice::Sound || d == TOutputDevice::Com;
}

// What a practice session, the speed test or the sound test is doing. The transitions are drawn
// in Session.h.
enum class TSessionState {
    Idle,
    StartText,        // the start text is being sent
    Items,            // items are being sent
    Repeating,        // an item is being repeated
    ItemsDone,        // the items are done (or aborted): the end-of-item code goes next
    EndText,          // the end text is being sent
    SpeedTest,        // the speed test's text is being sent
    SpeedTestAborted, // the speed test waits for its last character after an abort
    SoundTest,        // the sound test loops "test"
};
const char* NameOf(TSessionState state);

// What the open dialog of a list shows: title, folder and file name (UTF-8; the folder empty for
// the data folder). Its filter is "Text files (*.txt)" and "all files (*)".
struct TOpenRequest {
    std::string Title;
    std::string Folder;
    std::string FileName;
};

// A span as whole hours (at least two digits), minutes and seconds: "01:05:07".
std::string FormatSessionTime(int64_t spanMs);

// The kind of item a session sends: one for each training mode.
enum class TItemKind { None, Groups, Words, QCodes, Phrases, TextWords };
TItemKind ItemKindOfMode(TTrainingMode mode);
// The training mode that a loaded list or text is sent in.
TTrainingMode TrainingModeOf(TMaterialKind kind);

// The pause button: enabled, down, caption and red font of its five looks.
enum class TPauseState {
    Off,     // disabled "Pause"
    Pause,   // enabled "Pause"
    Resume,  // down, red "Resume"
    Show,    // down, red "Show": sound-first single mode shows the item next
    Waiting, // disabled, red, no caption: single mode waits for the item to end
};
struct TPauseLook {
    bool Enabled = false;
    bool Down = false;
    const char* Caption = "Pause";
    bool Red = false;
};
TPauseLook PauseLook(TPauseState state);

// The program's way out: the exit question, then the engine stops after its character, then the
// window saves and closes. One close at a time: a second close or a signal meanwhile is absorbed.
enum class TCloseState { Open, Asking, Stopping, Ready };

// Keys of the display's key-down table that the logic handles.
enum class TDeskKey { F5, F6, F7, F8, F9, Pause, Delete, Z, Other };
struct TShiftState {
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
    bool None() const { return !Shift && !Ctrl && !Alt; }
    bool Only(bool shift, bool ctrl, bool alt) const {
        return Shift == shift && Ctrl == ctrl && Alt == alt;
    }
};

} // namespace brindle
