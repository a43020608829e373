// Keys a transmitter through the modem-control lines of a serial port: RTS follows the Morse key,
// DTR is PTT. No data is sent or received. A watcher thread waits for CTS/DSR changes and hands
// them to the GUI thread. Errors while setting the port up throw ECommError.
#pragma once

#include "base/MessageSink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace brindle {

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& message, int code);
    int ErrorCode() const { return ErrorCode_; }

private:
    int ErrorCode_ = 0;
};

enum class TCommEventType {
    evBreak,
    evCts,
    evDsr,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};

// A set of event types, one bit per enumerator.
class TCommEventTypes {
public:
    TCommEventTypes() = default;
    TCommEventTypes(std::initializer_list<TCommEventType> types) {
        for (const auto t : types)
            Bits_ |= Bit(t);
    }
    bool Has(TCommEventType t) const { return Bits_ & Bit(t); }
    bool Empty() const { return Bits_ == 0; }
    bool operator==(const TCommEventTypes&) const = default;

private:
    static uint16_t Bit(TCommEventType t) {
        return static_cast<uint16_t>(1u << static_cast<int>(t));
    }
    uint16_t Bits_ = 0;
};

// Waits for changes of the watched input lines on a thread of its own and hands each change to
// the owner through Post, which must queue the call to the owner's thread (required; a call that
// still runs on the watcher thread is dropped, so the owner is never run there).
class TCommEventThread {
public:
    // Called on the GUI thread with the TIOCM_* bits that changed, or -1 when the port failed.
    using THandler = std::function<void(int changedLines)>;
    using TPost = std::function<void(std::function<void()>)>;

    TCommEventThread(int fd, TCommEventTypes events, TPost post, THandler handler);
    ~TCommEventThread(); // stops and joins
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    // Releases a blocked wait and ends the thread (returns when it has ended).
    void Stop();
    void Suspend();
    void Resume();

private:
    void Execute();

    int Fd_ = -1;
    int Mask_ = 0; // TIOCM_* lines to wait for
    int Last_ = 0; // line states last reported (watcher thread after construction)
    TPost Post_;
    std::shared_ptr<THandler> Handler_; // outlives posted calls; cleared on Stop
    std::atomic<bool> Terminated_{false};
    std::atomic<bool> Exited_{false};
    std::mutex Mutex_;
    std::condition_variable Wake_;
    bool Suspended_ = false;
    std::thread Thread_;
};

class TSerialLines {
public:
    using TNotifyEventX = std::function<void(TSerialLines&, bool signal)>;
    // Device file of a port number; the default follows the program's numbering scheme.
    using TPortPath = std::function<std::string(int portNumber)>;

    // post hands a call to the owner's thread and must queue it (never run it at once); an empty
    // one throws std::invalid_argument.
    TSerialLines(TMessageSink sink, TCommEventThread::TPost post);
    ~TSerialLines();
    TSerialLines(const TSerialLines&) = delete;
    TSerialLines& operator=(const TSerialLines&) = delete;

    int PortNumber() const { return PortNumber_; }
    void SetPortNumber(int number); // 0 no port; above 256 stores 256; reconnects when open
    TCommEventTypes MonitorEvents() const { return MonitorEvents_; }
    void SetMonitorEvents(TCommEventTypes events); // reconnects when open
    void SetPortPath(TPortPath portPath) { PortPath_ = std::move(portPath); }
    // The pause between disconnecting and connecting again on a change [ms].
    void SetReconnectWait(std::function<void(int ms)> wait) { Wait_ = std::move(wait); }

    bool IsOpen() const { return Handle_ >= 0; }
    bool Connected() const { return Connected_; }
    int Handle() const { return Handle_; }
    std::string DevicePath() const { return DevicePath_; }
    uint32_t ModemStatus() const { return ModemStatus_; } // 0x10 CTS, 0x20 DSR

    bool Connect();
    void Disconnect();
    void SuspendWatcher();
    bool SetRTS(bool on);
    bool SetDTR(bool on);

    TNotifyEventX OnCts;
    TNotifyEventX OnDsr;
    // Told when the port failed while in use (unplugged); the keyer is disconnected by then.
    std::function<void(TSerialLines&)> OnPortLost;

protected:
    virtual void OpenPort();

private:
    void Reconnect();
    void ApplySettings();
    void ClosePort(); // lines off, exclusive flag off, descriptor (and its lock) closed
    bool SetLine(int line, bool on);
    void LinesChanged(int changed);
    void PortLost(const std::string& reason);

    TMessageSink Sink_;
    TCommEventThread::TPost Post_;
    TPortPath PortPath_;
    std::function<void(int)> Wait_;
    int Handle_ = -1;
    int PortNumber_ = 1;
    TCommEventTypes MonitorEvents_;
    std::unique_ptr<TCommEventThread> EventThread_;
    std::string DevicePath_;
    uint32_t ModemStatus_ = 0;
    bool Connected_ = false;
    std::shared_ptr<bool> Alive_ = std::make_shared<bool>(true);
    std::mutex LinesMutex_; // the descriptor and Connected_ against a keying thread's SetLine
    std::thread::id Owner_ = std::this_thread::get_id();
};

} // namespace brindle
