// How the engine's key and PTT reach the serial port while it is the output: each key change
// sets RTS, each PTT change sets DTR when PTT on the port is wanted. Whether the port is the
// output is the keying's own state; whether PTT goes to the port is the user's setting, passed in
// with each change so it lives in one place.
#pragma once

#include "serial/SerialLines.h"

namespace brindle {

class TComKeying {
public:
    explicit TComKeying(TSerialLines& com) : Com_(com) {}

    bool Active() const { return Active_; } // the port is the output and connected
    void SetActive(bool on) { Active_ = on; }

    void SignalChanged(bool signal) {
        if (Active_) Com_.SetRTS(signal);
    }
    void PttChanged(bool ptt, bool pttOnCom) {
        if (Active_ && pttOnCom) Com_.SetDTR(ptt);
    }

private:
    TSerialLines& Com_;
    bool Active_ = false;
};

} // namespace brindle
