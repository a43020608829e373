// What the parts of the main window's logic share: the engine and the devices, the display, the
// settings, the platform, the parts themselves (so that one part asks another through its
// methods), and the requests a part makes of the whole. TLogoApp owns all of it, wires the
// requests to its own intents, and gives each part this one reference; windows never see it.
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

class THistoryStore;
class TOutputSwitch;
class TSender;
class TSendingControls;
class TSession;
class TParameters;
class TTextBuffers;
class TCopyPractice;

// What a part asks of the main window's logic as a whole. The facade answers each of them, so
// that no part needs to know the facade.
struct TDeskRequests {
    std::function<void()> ViewChanged;    // the view may have changed: compose and redraw it
    std::function<void()> ScrollToEnd;    // a summary or a result was written to the display
    std::function<void()> ScrollToStart;  // a file was loaded to the display
    std::function<void()> StopAllSending; // as Delete does
    std::function<void()> ToggleSoundTest;
    std::function<void(bool down)> TXButton; // as the TX button does
    std::function<bool()> Closing;           // the program is closing (or closed)
    std::function<THistoryStore&()> History; // the practice history, opened at its first use
};

struct TDeskCore {
    TDeskPlatform& Platform;
    TSettings& Settings;
    TDisplayModel& Display;
    TCWout& CW;
    TSoundOut& Sound;
    TNoiseGen& Noise;
    TComRTSDTRX& Com;
    TComKeying& Keying;
    TDeskRequests Requests; // answered by the facade
    TOutputSwitch* Output = nullptr;
    TSender* Sender = nullptr;
    TSendingControls* Controls = nullptr;
    TSession* Session = nullptr;
    TParameters* Params = nullptr;
    TTextBuffers* Buffers = nullptr;
    TCopyPractice* Copy = nullptr;

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
