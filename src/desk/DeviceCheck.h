// Finds out which outputs exist (usable serial ports, sound outputs), fills the port list, picks
// the sound output, sets the output choice (which switches the main window's device) and tells
// the user when the output in use has gone. Works on TOutputChoice; the parameters window only
// draws that.
#pragma once

#include "base/MessageSink.h"
#include "desk/MainView.h"
#include "serial/unitportdetect.h"

#include <functional>
#include <vector>

namespace brindle {

class TLogoApp;

class TDeviceCheck {
public:
    using TDetect = std::function<std::vector<TDetectedPort>()>;

    TDeviceCheck(TLogoApp& app, TOutputChoice& choice, TDetect detect, TMessageSink messages);

    bool ComPortFound = false;
    bool SoundDeviceFound = false;
    bool ComOutputLost = false;
    bool SoundOutputLost = false;

    void CheckOutputDevices();
    bool FillComPortList();
    bool CheckSoundDevices();
    // The user's or the program's choice of output item (-1 none, 0 sound, 1 COM), then the
    // click handler, as a click on the item would run it.
    void ChooseOutput(int item);
    void OutputGroupClick();
    void ComPortBoxChange(int selected);

    // The parameters window's reactions, once it exists.
    std::function<void()> EnableControls;
    std::function<void()> AfterCheck; // mute and blip follow the new device
    std::function<void()> OnChanged;  // TOutputChoice may have changed

    // The port number of a list entry: characters 4 to 6 after "COM", else 0.
    static int PortNumberOfEntry(const std::string& entry);

private:
    void DropLines();

    TLogoApp& App_;
    TOutputChoice& Choice_;
    TDetect Detect_;
    TMessageSink Messages_;
};

} // namespace brindle
