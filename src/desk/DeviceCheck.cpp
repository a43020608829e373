#include "desk/DeviceCheck.h"

#include "base/Ranges.h"
#include "desk/LogoApp.h"

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

TDeviceCheck::TDeviceCheck(TLogoApp& app, TOutputChoice& choice, TDetect detect,
                           TMessageSink messages)
    : App_(app), Choice_(choice), Detect_(std::move(detect)), Messages_(std::move(messages)) {}

int TDeviceCheck::PortNumberOfEntry(const std::string& entry) {
    if (entry.compare(0, 3, "COM") != 0) return 0;
    return std::atoi(entry.substr(3, 3).c_str());
}

void TDeviceCheck::DropLines() {
    App_.ComRTSDTRX1().SetRTS(false);
    App_.ComRTSDTRX1().SetDTR(false);
}

void TDeviceCheck::CheckOutputDevices() {
    Choice_.Chosen = -1; // by itself this switches nothing
    ComOutputLost = SoundOutputLost = false;
    if (App_.PortListChanged) ComPortFound = FillComPortList();
    if (App_.SoundDeviceListChanged) SoundDeviceFound = CheckSoundDevices();
    Choice_.AutoStartEnabled = true;
    const bool any = ComPortFound || SoundDeviceFound;
    if (ComPortFound && SoundDeviceFound) {
        Choice_.SoundEnabled = Choice_.ComEnabled = true;
        const int r = App_.RequestedOutputDevice;
        ChooseOutput(r >= -1 && r <= 1 ? 0 : 1);
    } else if (ComPortFound) {
        Choice_.SoundEnabled = false;
        Choice_.ComEnabled = true;
        ChooseOutput(1);
    } else if (SoundDeviceFound) {
        Choice_.SoundEnabled = true;
        Choice_.ComEnabled = false;
        ChooseOutput(0);
    } else {
        ChooseOutput(-1);
        Choice_.TestButtonEnabled = false;
        Choice_.AutoStartEnabled = false;
        Choice_.SoundEnabled = Choice_.ComEnabled = false;
        Choice_.TransmitButtonsEnabled = false;
    }
    if (any) {
        Choice_.TestButtonEnabled = true;
        Choice_.TransmitButtonsEnabled = true;
    }
    App_.SetDeviceButtonsEnabled(any);

    if (ComOutputLost && !SoundOutputLost)
        ShowMessage(Messages_, TSeverity::Warning,
                    App_.SoundDeviceCount != 0 ? "There is no device for COM Output: RESET"
                                               : "There are no devices for Sound or COM Output");
    else if (SoundOutputLost && !ComOutputLost)
        ShowMessage(Messages_, TSeverity::Warning,
                    App_.ComPortCount != 0 ? "There is no device for Sound Output: RESET"
                                           : "There are no devices for Sound or COM Output");
    else if (!ComPortFound && !SoundDeviceFound)
        ShowMessage(Messages_, TSeverity::Warning, "There are no devices for Sound or COM Output");

    ComOutputLost = SoundOutputLost = false;
    App_.PortListChanged = App_.SoundDeviceListChanged = false;
    if (AfterCheck) AfterCheck();
    if (OnChanged) OnChanged();
}

bool TDeviceCheck::FillComPortList() {
    Choice_.PortEntries.clear();
    Choice_.PortDevices.clear();
    auto& com = App_.ComRTSDTRX1();
    const bool wasOpen = com.IsOpen();
    if (wasOpen) com.Disconnect();
    const std::vector<TDetectedPort> ports = Detect_ ? Detect_() : std::vector<TDetectedPort>{};
    for (int n = 1; n <= ranges::ComPort.Max && n <= static_cast<int>(ports.size()); ++n) {
        const TDetectedPort& p = ports[static_cast<std::size_t>(n - 1)];
        if (p.DeviceName.empty() || MentionsBluetooth(p.Name)) continue;
        Choice_.PortEntries.push_back("COM" + std::to_string(n));
        Choice_.PortDevices.push_back(p.Name.empty() ? p.DeviceName : p.DeviceName + ": " + p.Name);
    }
    App_.ComPortCount = static_cast<int>(Choice_.PortEntries.size());
    if (Choice_.PortEntries.empty()) {
        if (App_.OutputDevice != -1 && App_.RequestedOutputDevice == 2) ComOutputLost = true;
        Choice_.ComEnabled = false;
        Choice_.PortEntries = {"none"};
        Choice_.PortDevices = {""};
        Choice_.PortSelected = 0;
        com.SetPortNumber(0);
        App_.ComPortNumber = 0;
        return false;
    }
    Choice_.PortSelected = 0;
    const auto it = std::find_if(
        Choice_.PortEntries.begin(), Choice_.PortEntries.end(),
        [&](const std::string& e) { return PortNumberOfEntry(e) == App_.ComPortNumber; });
    if (it != Choice_.PortEntries.end()) {
        Choice_.PortSelected = static_cast<int>(it - Choice_.PortEntries.begin());
        com.SetPortNumber(App_.ComPortNumber);
    } else {
        App_.ComPortNumber = PortNumberOfEntry(Choice_.PortEntries[0]);
        com.SetPortNumber(App_.ComPortNumber);
    }
    if (wasOpen) {
        App_.ConnectPort();
        DropLines();
    }
    Choice_.ComEnabled = true;
    return true;
}

bool TDeviceCheck::CheckSoundDevices() {
    auto& sound = App_.SoundOut1();
    const bool wasOpen = sound.IsOpen();
    if (wasOpen) sound.Close();
    const int count = static_cast<int>(sound.Outputs().size());
    App_.SoundDeviceCount = count;
    sound.SetDevicePresent(count > 0);
    if (count > 0) {
        const int chosen =
            sound.ChooseOutput(App_.SoundDeviceNumber, App_.MutableSettings().TX.TXAudioDeviceName);
        App_.SoundDeviceNumber = chosen;
        sound.SetDeviceID(chosen);
        if (wasOpen) sound.Open();
        Choice_.SoundEnabled = true;
        return true;
    }
    if (App_.OutputDevice != -1 && App_.RequestedOutputDevice == 1) SoundOutputLost = true;
    Choice_.SoundEnabled = false;
    return false;
}

void TDeviceCheck::ChooseOutput(int item) {
    Choice_.Chosen = item;
    OutputGroupClick();
}

void TDeviceCheck::OutputGroupClick() {
    if (App_.SetOutputDevice(Choice_.Chosen + 1) && EnableControls) EnableControls();
    if (OnChanged) OnChanged();
}

void TDeviceCheck::ComPortBoxChange(int selected) {
    if (selected < 0 || selected >= static_cast<int>(Choice_.PortEntries.size())) return;
    Choice_.PortSelected = selected;
    const int number = PortNumberOfEntry(Choice_.PortEntries[static_cast<std::size_t>(selected)]);
    auto& com = App_.ComRTSDTRX1();
    App_.SetPortNumberSafely(number);
    DropLines();
    if (App_.OutputDevice == 2) {
        if (com.IsOpen()) {
            App_.ComPortIndex = selected;
            App_.ComPortNumber = number;
            DropLines();
        } else {
            ShowMessage(Messages_, TSeverity::Error,
                        "Error: cannot use ComPort COM" + std::to_string(number));
            App_.SetPortNumberSafely(App_.ComPortNumber);
            Choice_.PortSelected = App_.ComPortIndex;
        }
    }
    if (OnChanged) OnChanged();
}

} // namespace brindle
