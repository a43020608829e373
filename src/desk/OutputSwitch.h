// The output: which devices exist (usable serial ports, sound outputs), which one is in use, and
// the switch between them. The sound plays on the system's default output unless the user picked
// one in the parameters window (saved by its stable name). A COM port is used only when the user
// chose it: when the sound output goes (a sound server restart, a resume), the output becomes none
// until a sound output is back, and the saved choice stays the user's. A switch stops everything
// first and lets the character on the air finish; when one is on the air the switch completes at
// the engine's stop event, so nothing waits in a loop. A switch asked for while one runs is taken
// when it ends (the last request wins). Also: the port list and the port in use, a lost or
// returning output, suspend, and the parameters window's output choice (TOutputChoice), which the
// window only draws.
#pragma once

#include "base/MessageSink.h"
#include "base/Signal.h"
#include "desk/DeskTypes.h"
#include "desk/MainView.h"
#include "desk/SoundAbsence.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

class TMorseEngine;
class TComKeying;
class TSerialLines;
class TSoundOut;
struct TDetectedPort;
struct TSettings;

// What the output switch works with: the settings of the output, the engine, the sound output,
// the serial lines and the keyer on them, the ports present, whether a session runs, the
// messages, and the calls for later.
struct TOutputSwitchNeeds {
    TSettings& Settings;
    TMorseEngine& Engine;
    TSoundOut& Sound;
    TSerialLines& Com;
    TComKeying& Keying;
    std::function<std::vector<TDetectedPort>()> DetectPorts;
    std::function<bool()> SessionIdle;
    TMessageSink Messages;
    std::function<void(int ms, std::function<void()> call)> Later;
};

class TOutputSwitch {
public:
    // The longest wait for the engine to finish its character before a switch or the close
    // stops it anyway (a sound output that no longer asks for samples never finishes it). [ms]
    static constexpr int StopLimitMs = 1000;

    explicit TOutputSwitch(TOutputSwitchNeeds needs);

    // --- What it tells ---------------------------------------------------------------------------
    TSignal<> OnChanged;         // the main window's view may have changed
    TSignal<> OnDevicesChecked;  // the choice may have changed: mute and blip follow the device
    TSignal<> OnDeviceSet;       // a switch (or a check) has ended on Device()
    TSignal<bool> OnStopSending; // everything sent must stop; true: let the TX button up too

    // --- State ------------------------------------------------------------------------------
    TOutputDevice Device() const { return Device_; }
    // The output the user chose last (saved in the settings).
    TOutputDevice Requested() const { return Requested_; }
    bool Switching() const { return Switching_; }
    bool DevicesPresent() const { return DevicesPresent_; }
    bool ComKeyingActive() const;
    int ComPortNumber() const { return ComPortNumber_; }
    // The sound output in use: an index into the outputs, or the default output (-1).
    int SoundDeviceNumber() const { return SoundDeviceNumber_; }
    // What the learner is told while the sound output is gone.
    const TSoundAbsence& SoundAbsence() const { return Absence_; }
    const TOutputChoice& Choice() const { return Choice_; }

    // --- Intents ----------------------------------------------------------------------------
    // At start, from the settings; the first device check follows with CheckDevices.
    void Start();
    // Finds the outputs that exist and chooses one (at start and when devices come or go).
    void CheckDevices();
    // The user's choice in the parameters window's radio (-1 none, 0 sound, 1 COM): it becomes
    // the output the program keeps to (Requested) and saves.
    void ChooseOutput(int item);
    void ChoosePort(int entry);
    // The user's pick in the list of sound outputs (TOutputChoice::SoundEntries): 0 the
    // system's default output, else that output, saved by its name.
    void ChooseSoundOutput(int entry);
    // Switches to device; asynchronous while a character is on the air.
    void Request(TOutputDevice device);
    void SoundOutputsChanged();
    void SerialPortsChanged();
    void OutputLost();
    // The sound output started again by itself after OutputLost.
    void OutputBack();
    // The engine stopped (its stop event, from the event loop).
    void EngineStopped();
    // At exit: both devices closed, the lines dropped.
    void CloseAll();

private:
    // The device check's own choice: it follows what exists and never changes Requested.
    void Choose(int item);
    bool FillComPortList();
    bool CheckSoundDevices();
    void PickSoundOutput();
    void SoundPlays();
    void ContinueSwitch();
    void StopCurrentDevice();
    void FinishSwitch(bool switched);
    bool ConnectPort();
    void SetPortNumberSafely(int number);
    void DropLines();
    void Changed();

    TOutputSwitchNeeds N_;
    TOutputChoice Choice_;
    TOutputDevice Device_ = TOutputDevice::NotChosen;
    TOutputDevice Previous_ = TOutputDevice::NotChosen;
    TOutputDevice Requested_ = TOutputDevice::Sound;
    TOutputDevice Target_ = TOutputDevice::None;
    std::optional<TOutputDevice> Pending_;
    bool Switching_ = false;
    int SwitchSerial_ = 0; // tells a stale time limit from the current switch's
    bool DevicesPresent_ = false;
    int ComPortNumber_ = 0;
    int ComPortIndex_ = 0;
    int ComPortCount_ = 0;
    int SoundDeviceNumber_ = -1; // TSoundOut::DefaultOutputId
    int SoundDeviceCount_ = 0;
    bool PortListChanged_ = true;
    bool SoundListChanged_ = true;
    bool ComPortFound_ = false;
    bool SoundDeviceFound_ = false;
    bool ComOutputLost_ = false;
    bool SoundOutputLost_ = false;
    bool BlipTicked_ = false; // the blip box as it was before the port took over
    TSoundAbsence Absence_;
    TConnection AbsenceLink_;
};

// The port number of a list entry: characters 4 to 6 after "COM", else 0.
int PortNumberOfEntry(const std::string& entry);

} // namespace brindle
