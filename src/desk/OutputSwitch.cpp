#include "desk/OutputSwitch.h"

#include "audio/SoundOut.h"
#include "base/Ranges.h"
#include "engine/MorseEngine.h"
#include "serial/ComKeying.h"
#include "serial/SerialLines.h"
#include "serial/SerialPorts.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace brindle {

namespace {

bool MentionsBluetooth(const std::string& name) {
    std::string lower(name.size(), ' ');
    std::transform(name.begin(), name.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("bluet") != std::string::npos;
}

} // namespace

int PortNumberOfEntry(const std::string& entry) {
    if (entry.compare(0, 3, "COM") != 0) return 0;
    return std::atoi(entry.substr(3, 3).c_str());
}

TOutputSwitch::TOutputSwitch(TOutputSwitchNeeds needs)
    : N_(std::move(needs)), Absence_(N_.Later),
      AbsenceLink_(Absence_.OnChanged.Connect([this] { Changed(); })) {}

void TOutputSwitch::Changed() {
    OnChanged();
}

bool TOutputSwitch::ComKeyingActive() const {
    return N_.Keying.Active();
}

void TOutputSwitch::Start() {
    const auto& x = N_.Settings.TX;
    // "none" in the file is no choice of the user's: the sound output is the default.
    Requested_ = OutputDeviceOfSetting(x.Output) == TOutputDevice::Com ? TOutputDevice::Com
                                                                       : TOutputDevice::Sound;
    ComPortNumber_ = x.TXComPort;
    SoundDeviceNumber_ = TSoundOut::DefaultOutputId; // until the outputs are known
    N_.Com.SetPortNumber(ComPortNumber_);
    N_.Com.SetMonitorEvents({});
    Device_ = TOutputDevice::NotChosen;
    PortListChanged_ = SoundListChanged_ = true;
    N_.Keying.SetActive(false);
}

// --- The device check ----------------------------------------------------------------------------

void TOutputSwitch::CheckDevices() {
    Choice_.Chosen = -1; // by itself this switches nothing
    ComOutputLost_ = SoundOutputLost_ = false;
    if (PortListChanged_) ComPortFound_ = FillComPortList();
    if (SoundListChanged_) SoundDeviceFound_ = CheckSoundDevices();
    Choice_.AutoStartEnabled = true;
    const bool any = ComPortFound_ || SoundDeviceFound_;
    const bool wantsCom = Requested_ == TOutputDevice::Com;
    if (ComPortFound_ && SoundDeviceFound_) {
        Choice_.SoundEnabled = Choice_.ComEnabled = true;
        Choose(wantsCom ? 1 : 0);
    } else if (ComPortFound_) {
        // A port keys a transmitter: it is never taken unless the user chose it.
        Choice_.SoundEnabled = false;
        Choice_.ComEnabled = true;
        Choose(wantsCom ? 1 : -1);
    } else if (SoundDeviceFound_) {
        Choice_.SoundEnabled = true;
        Choice_.ComEnabled = false;
        Choose(0);
    } else {
        Choose(-1);
        Choice_.TestButtonEnabled = false;
        Choice_.AutoStartEnabled = false;
        Choice_.SoundEnabled = Choice_.ComEnabled = false;
        Choice_.TransmitButtonsEnabled = false;
    }
    if (any) {
        Choice_.TestButtonEnabled = true;
        Choice_.TransmitButtonsEnabled = true;
    }
    DevicesPresent_ = any;

    const char* const none = "There are no devices for Sound or COM Output";
    if (ComOutputLost_ && !SoundOutputLost_)
        ShowMessage(N_.Messages, TSeverity::Warning,
                    SoundDeviceCount_ != 0 ? "There is no device for COM Output: RESET" : none);
    else if (SoundOutputLost_ && !ComOutputLost_)
        Absence_.Gone(); // most often a restart of the sound server: said without a box
    else if (!ComPortFound_ && !SoundDeviceFound_)
        ShowMessage(N_.Messages, TSeverity::Warning, none);

    ComOutputLost_ = SoundOutputLost_ = false;
    PortListChanged_ = SoundListChanged_ = false;
    OnDevicesChecked();
    Changed();
}

void TOutputSwitch::DropLines() {
    N_.Com.SetRTS(false);
    N_.Com.SetDTR(false);
}

bool TOutputSwitch::FillComPortList() {
    Choice_.PortEntries.clear();
    Choice_.PortDevices.clear();
    auto& com = N_.Com;
    const bool wasOpen = com.IsOpen();
    if (wasOpen) com.Disconnect();
    const auto& detect = N_.DetectPorts;
    const std::vector<TDetectedPort> ports = detect ? detect() : std::vector<TDetectedPort>{};
    for (int n = 1; n <= ranges::ComPort.Max && n <= static_cast<int>(ports.size()); ++n) {
        const TDetectedPort& p = ports[static_cast<std::size_t>(n - 1)];
        if (p.DeviceName.empty() || MentionsBluetooth(p.Name)) continue;
        Choice_.PortEntries.push_back("COM" + std::to_string(n));
        Choice_.PortDevices.push_back(p.Name.empty() ? p.DeviceName : p.DeviceName + ": " + p.Name);
    }
    ComPortCount_ = static_cast<int>(Choice_.PortEntries.size());
    if (Choice_.PortEntries.empty()) {
        if (Device_ != TOutputDevice::NotChosen && Requested_ == TOutputDevice::Com)
            ComOutputLost_ = true;
        Choice_.ComEnabled = false;
        Choice_.PortEntries = {"none"};
        Choice_.PortDevices = {""};
        Choice_.PortSelected = 0;
        com.SetPortNumber(0);
        ComPortNumber_ = 0;
        return false;
    }
    Choice_.PortSelected = 0;
    const auto it =
        std::find_if(Choice_.PortEntries.begin(), Choice_.PortEntries.end(),
                     [&](const std::string& e) { return PortNumberOfEntry(e) == ComPortNumber_; });
    if (it != Choice_.PortEntries.end())
        Choice_.PortSelected = static_cast<int>(it - Choice_.PortEntries.begin());
    else
        ComPortNumber_ = PortNumberOfEntry(Choice_.PortEntries[0]);
    com.SetPortNumber(ComPortNumber_);
    if (wasOpen) {
        ConnectPort();
        DropLines();
    }
    Choice_.ComEnabled = true;
    return true;
}

bool TOutputSwitch::CheckSoundDevices() {
    auto& sound = N_.Sound;
    const bool wasOpen = sound.IsOpen();
    if (wasOpen) sound.Close();
    const int count = static_cast<int>(sound.Outputs().size());
    SoundDeviceCount_ = count;
    sound.SetDevicePresent(count > 0);
    if (count > 0) {
        PickSoundOutput();
        if (wasOpen) sound.Open();
        Choice_.SoundEnabled = true;
        return true;
    }
    if (Device_ != TOutputDevice::NotChosen && Requested_ == TOutputDevice::Sound)
        SoundOutputLost_ = true;
    Choice_.SoundEnabled = false;
    Choice_.SoundEntries.clear();
    return false;
}

// The output the user picked while it is present, else the system's default; and the list the
// parameters window shows.
void TOutputSwitch::PickSoundOutput() {
    auto& sound = N_.Sound;
    SoundDeviceNumber_ = sound.ChooseOutput(N_.Settings.TX.TXAudioOutput);
    sound.SetDeviceID(SoundDeviceNumber_);
    const auto outputs = sound.Outputs();
    const int def = sound.DefaultOutput();
    Choice_.SoundEntries = {"Default output" +
                            (def >= 0 && def < static_cast<int>(outputs.size())
                                 ? " (" + outputs[static_cast<std::size_t>(def)] + ")"
                                 : std::string())};
    Choice_.SoundEntries.insert(Choice_.SoundEntries.end(), outputs.begin(), outputs.end());
    Choice_.SoundSelected = SoundDeviceNumber_ + 1; // the default is -1
}

void TOutputSwitch::ChooseSoundOutput(int entry) {
    auto& sound = N_.Sound;
    const int count = static_cast<int>(sound.Outputs().size());
    if (entry < 0 || entry > count) return;
    N_.Settings.TX.TXAudioOutput = entry == 0 ? "" : sound.OutputName(entry - 1);
    PickSoundOutput(); // a playing stream moves to it at once
    Changed();
}

// The sound plays again (or for the first time): whatever was said about its absence goes.
void TOutputSwitch::SoundPlays() {
    Absence_.Back(N_.Sound.OnlyDummyOutputs());
}

void TOutputSwitch::ChooseOutput(int item) {
    const TOutputDevice device = OutputDeviceOfChoice(item);
    if (IsActive(device)) Requested_ = device;
    Choose(item);
}

void TOutputSwitch::Choose(int item) {
    Choice_.Chosen = item;
    Request(OutputDeviceOfChoice(item));
}

void TOutputSwitch::ChoosePort(int selected) {
    if (selected < 0 || selected >= static_cast<int>(Choice_.PortEntries.size())) return;
    Choice_.PortSelected = selected;
    const int number = PortNumberOfEntry(Choice_.PortEntries[static_cast<std::size_t>(selected)]);
    SetPortNumberSafely(number);
    DropLines();
    if (Device_ == TOutputDevice::Com) {
        if (N_.Com.IsOpen()) {
            ComPortIndex_ = selected;
            ComPortNumber_ = number;
            DropLines();
        } else {
            ShowMessage(N_.Messages, TSeverity::Error,
                        "Error: cannot use ComPort COM" + std::to_string(number));
            SetPortNumberSafely(ComPortNumber_);
            Choice_.PortSelected = ComPortIndex_;
        }
    }
    Changed();
}

bool TOutputSwitch::ConnectPort() {
    try {
        return N_.Com.Connect();
    } catch (const ECommError& e) {
        ShowMessage(N_.Messages, TSeverity::Error, e.what());
        return false;
    }
}

void TOutputSwitch::SetPortNumberSafely(int number) {
    try {
        N_.Com.SetPortNumber(number);
    } catch (const ECommError& e) {
        ShowMessage(N_.Messages, TSeverity::Error, e.what());
    }
}

// --- Switching -----------------------------------------------------------------------------------

void TOutputSwitch::Request(TOutputDevice device) {
    if (!IsActive(device)) device = TOutputDevice::None;
    if (Switching_) { // one switch at a time; it takes the last request when it ends
        Pending_ = device;
        return;
    }
    Previous_ = Device_;
    if (device == Device_) {
        FinishSwitch(false);
        return;
    }
    Switching_ = true;
    Target_ = device;
    ++SwitchSerial_;
    // From no output (the sound went, the server restarts) nothing is sending: what was typed
    // meanwhile waits, and is sent on the output that comes.
    if (Device_ != TOutputDevice::None) OnStopSending(!N_.Settings.TX.AutoStart);
    auto& cw = N_.Engine;
    cw.SetHold(true);
    if (IsActive(Device_) && cw.Running() && cw.CharOnAir()) {
        // The character on the air is finished; the engine's stop event goes on from there.
        cw.StopAfterChar();
        N_.Later(StopLimitMs, [this, serial = SwitchSerial_] {
            if (Switching_ && serial == SwitchSerial_) ContinueSwitch();
        });
        Changed();
        return;
    }
    ContinueSwitch();
}

void TOutputSwitch::EngineStopped() {
    if (Switching_ && !N_.Engine.Running()) ContinueSwitch();
}

void TOutputSwitch::StopCurrentDevice() {
    auto& cw = N_.Engine;
    if (Device_ == TOutputDevice::Sound) {
        cw.Abort(); // PTT off and the engine's state back to idle
        if (cw.Running()) cw.StopNow();
        N_.Sound.StopOutput();
        N_.Sound.Close();
        cw.SetSoundMode(false);
    } else if (Device_ == TOutputDevice::Com) {
        if (cw.Running()) cw.StopNow();
        DropLines();
        N_.Com.Disconnect();
        N_.Keying.SetActive(false);
    }
    cw.SetHold(false);
}

void TOutputSwitch::ContinueSwitch() {
    auto& cw = N_.Engine;
    StopCurrentDevice();
    const TOutputDevice device = Target_;
    if (device == TOutputDevice::Sound && N_.Sound.Open()) {
        cw.SetSoundMode(true);
        cw.Start();
        N_.Sound.StartOutput();
    }
    if (device == TOutputDevice::Com) {
        if (ConnectPort()) {
            DropLines();
            N_.Keying.SetActive(true);
            cw.SetSoundMode(false);
            cw.Start();
        } else {
            // The port's own message has been shown. The old output is stopped: fall back to
            // the sound output through the output choice, as the user would, and keep to it.
            Device_ = TOutputDevice::None;
            Switching_ = false;
            Pending_.reset();
            Choice_.ComEnabled = false;
            Choice_.PortBoxEnabled = false;
            ChooseOutput(0);
            return;
        }
    }
    Device_ = device;
    Switching_ = false;
    FinishSwitch(true);
    if (Pending_) {
        const TOutputDevice next = *Pending_;
        Pending_.reset();
        if (next != Device_) Request(next);
    }
}

void TOutputSwitch::FinishSwitch(bool) {
    auto& tutor = N_.Settings.Tutor;
    auto& cw = N_.Engine;
    switch (Device_) {
    case TOutputDevice::Sound:
        SoundPlays();
        Choice_.BlipEnabled = tutor.TrainingMode() == TTrainingMode::Phrases;
        // The tick comes back from before COM output; at start it is the one of the settings.
        if (Previous_ == TOutputDevice::Com) tutor.Blip = BlipTicked_;
        cw.SetBlipOn(tutor.Blip);
        break;
    case TOutputDevice::Com:
        BlipTicked_ = tutor.Blip;
        tutor.Blip = false;
        cw.SetBlipOn(false);
        Choice_.BlipEnabled = false;
        break;
    default: break;
    }
    OnDeviceSet();
    Changed();
}

// --- Devices that come and go --------------------------------------------------------------------

void TOutputSwitch::SoundOutputsChanged() {
    auto& sound = N_.Sound;
    if (sound.IsOpen()) sound.Close();
    const int count = static_cast<int>(sound.Outputs().size());
    if (count >= 1) {
        // The list reorders when a device comes or goes: the output is found again by its name,
        // so that a headset plugged in never takes the tone from the output chosen.
        PickSoundOutput();
    }
    if (count >= 1 && Device_ == TOutputDevice::Sound) {
        // The output may never have opened (no server at start): the engine starts with it.
        auto& cw = N_.Engine;
        if (!cw.SoundMode() || !cw.Running()) {
            cw.SetSoundMode(true);
            cw.Start();
        }
        sound.StartOutput();
        SoundPlays();
    }
    if (count != SoundDeviceCount_ && (count == 0 || SoundDeviceCount_ == 0)) {
        SoundListChanged_ = true;
        CheckDevices();
    }
    SoundDeviceCount_ = count;
    Changed();
}

void TOutputSwitch::SerialPortsChanged() {
    PortListChanged_ = true;
    CheckDevices();
}

void TOutputSwitch::OutputLost() {
    if (Device_ == TOutputDevice::Sound) Absence_.Gone();
    // A session or test cannot go on without its sound; it stops cleanly and says why.
    if (!N_.SessionIdle() && Device_ == TOutputDevice::Sound) {
        OnStopSending(false);
        Absence_.SessionStopped();
    }
    Changed();
}

void TOutputSwitch::OutputBack() {
    if (Device_ == TOutputDevice::Sound) SoundPlays();
    Changed();
}

void TOutputSwitch::CloseAll() {
    N_.Sound.Close();
    DropLines();
    N_.Com.Disconnect();
    N_.Keying.SetActive(false);
}

} // namespace brindle
