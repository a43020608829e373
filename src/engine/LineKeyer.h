// The keying sink of the engine: where the key (RTS) and the PTT (DTR) go while a port keys the
// transmitter. The engine calls it at the very step the line changes, on whichever thread runs
// the step, before any event reaches the windows; an implementation must be safe to call from
// that thread and must not block.
#pragma once

namespace brindle {

class ILineKeyer {
public:
    virtual ~ILineKeyer() = default;
    virtual void Key(bool on) = 0;
    virtual void Ptt(bool on) = 0;
};

} // namespace brindle
