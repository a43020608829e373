// How the engine's key and PTT reach the serial port while it is the output: each key change
// sets RTS, each PTT change sets DTR when PTT on the port is wanted. It is the engine's line
// keyer, called at the step of each edge, which may run on the keying thread: whether the port
// is the output (set by the output switch) and whether PTT goes to the port (the user's setting,
// passed on by the parameters when it changes) are read under its lock, and a port switched off
// is never keyed once SetActive(false) has returned.
#pragma once

#include "engine/LineKeyer.h"
#include "serial/SerialLines.h"

#include <mutex>

namespace brindle {

class TComKeying : public ILineKeyer {
public:
    explicit TComKeying(TSerialLines& com) : Com_(com) {}

    bool Active() const { // the port is the output and connected
        const std::lock_guard lock(Mutex_);
        return Active_;
    }
    void SetActive(bool on) {
        const std::lock_guard lock(Mutex_);
        Active_ = on;
    }
    void SetPttOnCom(bool on) {
        const std::lock_guard lock(Mutex_);
        PttOnCom_ = on;
    }

    void Key(bool on) override {
        const std::lock_guard lock(Mutex_);
        if (Active_) Com_.SetRTS(on);
    }
    void Ptt(bool on) override {
        const std::lock_guard lock(Mutex_);
        if (Active_ && PttOnCom_) Com_.SetDTR(on);
    }

private:
    TSerialLines& Com_;
    mutable std::recursive_mutex Mutex_; // recursive: a port lost while keying closes it from here
    bool Active_ = false;
    bool PttOnCom_ = false;
};

} // namespace brindle
