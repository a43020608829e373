// What the parts of the main window's logic share: the engine and the devices, the display, the
// settings, the platform, and the parts themselves, so that one part asks another through its
// methods. TLogoApp owns all of it and gives each part this one reference; windows never see it.
#pragma once

#include "audio/NoiseGen.h"
#include "audio/SoundOut.h"
#include "desk/DeskPlatform.h"
#include "display/DisplayModel.h"
#include "engine/CWout.h"
#include "serial/ComKeying.h"
#include "serial/ComRtsDtrX.h"
#include "settings/Settings.h"

#include <functional>

namespace brindle {

class TLogoApp;
class TOutputSwitch;
class TSender;
class TSendingControls;
class TSession;
class TParameters;
class TTextBuffers;
class TCopyPractice;
class TCourse;

struct TDeskCore {
    TDeskPlatform& Platform;
    TSettings& Settings;
    TDisplayModel& Display;
    TCWout& CW;
    TSoundOut& Sound;
    TNoiseGen& Noise;
    TComRTSDTRX& Com;
    TComKeying& Keying;
    TLogoApp& App; // the facade: its intents and Changed()
    TOutputSwitch* Output = nullptr;
    TSender* Sender = nullptr;
    TSendingControls* Controls = nullptr;
    TSession* Session = nullptr;
    TParameters* Params = nullptr;
    TTextBuffers* Buffers = nullptr;
    TCopyPractice* Copy = nullptr;
    TCourse* Course = nullptr;

    void Message(TSeverity severity, const std::string& text) const {
        ShowMessage(Platform.Messages, severity, text);
    }
    void Status(const std::string& text) const {
        if (Platform.Status) Platform.Status(text);
    }
    // A call from the event loop after ms, dropped when the logic is gone by then.
    std::function<void(int ms, std::function<void()> call)> Later;
};

} // namespace brindle
