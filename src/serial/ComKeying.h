// How the engine's key and PTT reach the serial port while it is the output: each key change
// sets RTS, each PTT change sets DTR when PTT on the port is wanted. The main window calls these
// from its engine handlers; it keeps its own work (the send button) beside them.
#pragma once

#include "serial/ComRtsDtrX.h"

namespace brindle {

class TComKeying {
public:
    explicit TComKeying(TComRTSDTRX& com) : Com_(com) {}

    bool KeyingActive = false; // the port is the output and connected
    bool PttOnCom = false;     // DTR follows PTT

    void SignalChanged(bool signal) {
        if (KeyingActive) Com_.SetRTS(signal);
    }
    void PttChanged(bool ptt) {
        if (KeyingActive && PttOnCom) Com_.SetDTR(ptt);
    }

private:
    TComRTSDTRX& Com_;
};

} // namespace brindle
