// The engine's timer for keying a port, on a thread of its own: each tick runs at its due time
// whatever the GUI thread is doing. The thread sleeps to absolute deadlines on the monotonic
// clock and runs the engine's step under the engine's guard, so the step sets RTS and DTR itself
// (through the engine's line keyer) and only its events wait for the window. The due times follow
// TTickSchedule, as the GUI-thread timer's did. It asks for real-time scheduling when it starts
// and works without it.
#pragma once

#include "base/ThreadPriority.h"
#include "engine/MsTimer.h"
#include "platform/TickSchedule.h"

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace brindle {

class TKeyingThread : public IMsTimer {
public:
    using TRealtimeRequest = brindle::TRealtimeRequest;
    static constexpr int FifoPriority = 15; // within what rtkit grants, below the sound server

    explicit TKeyingThread(TRealtimeRequest askRealtime = {});
    ~TKeyingThread() override;
    TKeyingThread(const TKeyingThread&) = delete;
    TKeyingThread& operator=(const TKeyingThread&) = delete;

    void SetHandler(std::function<void()> handler) override;
    void SetInterval(int ms) override;
    int Interval() const override;
    void SetEnabled(bool on) override;
    bool Enabled() const override;
    bool OwnThread() const override { return true; }
    void SetGuard(TPriorityMutex* guard) override;

    // How the thread's priority was settled: "SCHED_FIFO", "rtkit", or why it runs without one.
    // Empty until the thread has started.
    std::string Priority() const;

    // The monotonic clock the due times are counted on [ns].
    static int64_t Now();

private:
    void Run();
    void RaisePriority();

    TRealtimeRequest AskRealtime_;
    mutable std::mutex Mutex_; // the schedule, the handler, the guard, the priority note
    std::condition_variable Wake_;
    TTickSchedule Schedule_;
    std::function<void()> Handler_;
    TPriorityMutex* Guard_ = nullptr;
    uint64_t Changes_ = 0; // counts every change of the schedule from outside a tick
    TWakeMargin Margin_;   // the thread's own
    bool Quit_ = false;
    std::string Priority_;
    std::thread Thread_; // last: starts when everything above is made
};

} // namespace brindle
