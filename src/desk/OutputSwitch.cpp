#include "desk/OutputSwitch.h"

#include "base/Ranges.h"
#include "desk/Buffers.h"
#include "desk/DeskCore.h"
#include "desk/Parameters.h"
#include "desk/SendingControls.h"
#include "desk/Session.h"

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

TOutputSwitch::TOutputSwitch(TDeskCore& core) : Core_(core) {}

void TOutputSwitch::Changed() {
    Core_.Requests.ViewChanged();
}

bool TOutputSwitch::ComKeyingActive() const {
    return Core_.Keying.Active();
}

void TOutputSwitch::Start() {
    const auto& x = Core_.Settings.TX;
    // "none" in the file is no choice of the user's: the sound output is the default.
    Requested_ = OutputDeviceOfSetting(x.Output) == TOutputDevice::Com ? TOutputDevice::Com
                                                                       : TOutputDevice::Sound;
    ComPortNumber_ = x.TXComPort;
    SoundDeviceNumber_ = x.TXAudioDevice;
    Core_.Com.SetPortNumber(ComPortNumber_);
    Core_.Com.SetMonitorEvents({});
    Device_ = TOutputDevice::NotChosen;
    PortListChanged_ = SoundListChanged_ = true;
    Core_.Keying.SetActive(false);
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
        Core_.Message(TSeverity::Warning,
                      SoundDeviceCount_ != 0 ? "There is no device for COM Output: RESET" : none);
    else if (SoundOutputLost_ && !ComOutputLost_)
        Core_.Message(TSeverity::Warning,
                      ComPortCount_ != 0 ? "There is no device for Sound Output: RESET" : none);
    else if (!ComPortFound_ && !SoundDeviceFound_)
        Core_.Message(TSeverity::Warning, none);

    ComOutputLost_ = SoundOutputLost_ = false;
    PortListChanged_ = SoundListChanged_ = false;
    if (Core_.Params) Core_.Params->AfterDeviceCheck(); // mute and blip follow the new device
    Changed();
}

void TOutputSwitch::DropLines() {
    Core_.Com.SetRTS(false);
    Core_.Com.SetDTR(false);
}

bool TOutputSwitch::FillComPortList() {
    Choice_.PortEntries.clear();
    Choice_.PortDevices.clear();
    auto& com = Core_.Com;
    const bool wasOpen = com.IsOpen();
    if (wasOpen) com.Disconnect();
    const auto& detect = Core_.Platform.DetectPorts;
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
    auto& sound = Core_.Sound;
    const bool wasOpen = sound.IsOpen();
    if (wasOpen) sound.Close();
    const int count = static_cast<int>(sound.Outputs().size());
    SoundDeviceCount_ = count;
    sound.SetDevicePresent(count > 0);
    if (count > 0) {
        SoundDeviceNumber_ =
            sound.ChooseOutput(SoundDeviceNumber_, Core_.Settings.TX.TXAudioDeviceName);
        sound.SetDeviceID(SoundDeviceNumber_);
        if (wasOpen) sound.Open();
        Choice_.SoundEnabled = true;
        return true;
    }
    if (Device_ != TOutputDevice::NotChosen && Requested_ == TOutputDevice::Sound)
        SoundOutputLost_ = true;
    Choice_.SoundEnabled = false;
    return false;
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
        if (Core_.Com.IsOpen()) {
            ComPortIndex_ = selected;
            ComPortNumber_ = number;
            DropLines();
        } else {
            Core_.Message(TSeverity::Error,
                          "Error: cannot use ComPort COM" + std::to_string(number));
            SetPortNumberSafely(ComPortNumber_);
            Choice_.PortSelected = ComPortIndex_;
        }
    }
    Changed();
}

bool TOutputSwitch::ConnectPort() {
    try {
        return Core_.Com.Connect();
    } catch (const ECommError& e) {
        Core_.Message(TSeverity::Error, e.what());
        return false;
    }
}

void TOutputSwitch::SetPortNumberSafely(int number) {
    try {
        Core_.Com.SetPortNumber(number);
    } catch (const ECommError& e) {
        Core_.Message(TSeverity::Error, e.what());
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
    if (!Core_.Settings.TX.AutoStart) Core_.Requests.TXButton(false);
    Core_.Requests.StopAllSending();
    auto& cw = Core_.CW;
    cw.SetHold(true);
    if (IsActive(Device_) && cw.Running() && cw.CharOnAir()) {
        // The character on the air is finished; the engine's stop event goes on from there.
        cw.StopAfterChar();
        Core_.Later(StopLimitMs, [this, serial = SwitchSerial_] {
            if (Switching_ && serial == SwitchSerial_) ContinueSwitch();
        });
        Changed();
        return;
    }
    ContinueSwitch();
}

void TOutputSwitch::EngineStopped() {
    if (Switching_ && !Core_.CW.Running()) ContinueSwitch();
}

void TOutputSwitch::StopCurrentDevice() {
    auto& cw = Core_.CW;
    if (Device_ == TOutputDevice::Sound) {
        cw.Abort(); // PTT off and the engine's state back to idle
        if (cw.Running()) cw.StopNow();
        Core_.Sound.StopOutput();
        Core_.Sound.Close();
        cw.SetBlasterMode(false);
    } else if (Device_ == TOutputDevice::Com) {
        if (cw.Running()) cw.StopNow();
        DropLines();
        Core_.Com.Disconnect();
        Core_.Keying.SetActive(false);
    }
    cw.SetHold(false);
}

void TOutputSwitch::ContinueSwitch() {
    auto& cw = Core_.CW;
    StopCurrentDevice();
    const TOutputDevice device = Target_;
    if (device == TOutputDevice::Sound && Core_.Sound.Open()) {
        cw.SetBlasterMode(true);
        cw.Start();
        Core_.Sound.StartOutput();
    }
    if (device == TOutputDevice::Com) {
        if (ConnectPort()) {
            DropLines();
            Core_.Keying.SetActive(true);
            cw.SetBlasterMode(false);
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
    auto& tutor = Core_.Settings.Tutor;
    auto& cw = Core_.CW;
    switch (Device_) {
    case TOutputDevice::Sound:
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
    Core_.Controls->SetTXDown(false);
    if (IsActive(Device_) && Core_.Params) Core_.Params->EnableControls();
    Changed();
}

// --- Devices that come and go --------------------------------------------------------------------

void TOutputSwitch::SoundOutputsChanged() {
    auto& sound = Core_.Sound;
    if (sound.IsOpen()) sound.Close();
    const int count = static_cast<int>(sound.Outputs().size());
    if (count >= 1) {
        // The list reorders when a device comes or goes: the output is found again by its name,
        // so that a headset plugged in never takes the tone from the output chosen.
        SoundDeviceNumber_ =
            sound.ChooseOutput(SoundDeviceNumber_, Core_.Settings.TX.TXAudioDeviceName);
        sound.SetDeviceID(SoundDeviceNumber_);
    }
    if (count >= 1 && Device_ == TOutputDevice::Sound) {
        // The output may never have opened (no server at start): the engine starts with it.
        auto& cw = Core_.CW;
        if (!cw.BlasterMode() || !cw.Running()) {
            cw.SetBlasterMode(true);
            cw.Start();
        }
        sound.StartOutput();
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
    // A session or test cannot go on without its sound; it stops cleanly and says why.
    if (!Core_.Session->Idle() && Device_ == TOutputDevice::Sound) {
        Core_.Requests.StopAllSending();
        Core_.Message(TSeverity::Warning, "The sound output was lost: the session was stopped.");
    }
    Changed();
}

void TOutputSwitch::CloseAll() {
    Core_.Sound.Close();
    DropLines();
    Core_.Com.Disconnect();
    Core_.Keying.SetActive(false);
}

} // namespace brindle
