#include "platform/KeyingThread.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace brindle {

namespace {

constexpr int64_t kNapNs = 1'000'000; // slept, not waited, before the spin (TWakeMargin)

void SleepUntil(int64_t ns) {
    timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {}
}

} // namespace

int64_t TKeyingThread::Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

TKeyingThread::TKeyingThread(TRealtimeRequest askRealtime)
    : AskRealtime_(std::move(askRealtime)), Thread_([this] { Run(); }) {}

TKeyingThread::~TKeyingThread() {
    {
        const std::lock_guard lock(Mutex_);
        Quit_ = true;
    }
    Wake_.notify_all();
    Thread_.join();
}

// Waits for a tick that is running: the engine clears its handler before it goes.
void TKeyingThread::SetHandler(std::function<void()> handler) {
    std::unique_lock<TPriorityMutex> guard;
    {
        const std::lock_guard lock(Mutex_);
        if (Guard_) guard = std::unique_lock(*Guard_, std::defer_lock);
    }
    if (guard.mutex()) guard.lock();
    const std::lock_guard lock(Mutex_);
    Handler_ = std::move(handler);
}

void TKeyingThread::SetGuard(TPriorityMutex* guard) {
    const std::lock_guard lock(Mutex_);
    Guard_ = guard;
}

void TKeyingThread::SetInterval(int ms) {
    {
        const std::lock_guard lock(Mutex_);
        if (!Schedule_.SetInterval(ms, Now())) return;
        ++Changes_;
    }
    Wake_.notify_all();
}

int TKeyingThread::Interval() const {
    const std::lock_guard lock(Mutex_);
    return Schedule_.Interval();
}

void TKeyingThread::SetEnabled(bool on) {
    {
        const std::lock_guard lock(Mutex_);
        if (!Schedule_.SetEnabled(on, Now()) && on) return;
        ++Changes_;
    }
    Wake_.notify_all();
}

bool TKeyingThread::Enabled() const {
    const std::lock_guard lock(Mutex_);
    return Schedule_.Enabled();
}

std::string TKeyingThread::Priority() const {
    const std::lock_guard lock(Mutex_);
    return Priority_;
}

void TKeyingThread::RaisePriority() {
    std::string note = RaiseThisThread(FifoPriority, AskRealtime_);
    const std::lock_guard lock(Mutex_);
    Priority_ = std::move(note);
}

// Waits on the condition until shortly before the due time, sleeps to just before the absolute
// deadline and spins the rest (at least 0.5 ms; more where wakes come late). The guard is taken
// before the schedule is looked at again, so a tick that the owner cancelled or moved meanwhile
// (under that guard) does not run.
void TKeyingThread::Run() {
    RaisePriority();
    std::unique_lock lock(Mutex_);
    while (!Quit_) {
        if (!Schedule_.Enabled()) {
            Wake_.wait(lock);
            continue;
        }
        const int64_t due = Schedule_.Due();
        const uint64_t changes = Changes_;
        const int64_t spinFrom = due - Margin_.Ns();
        if (spinFrom - Now() > kNapNs) {
            const auto wakeAt =
                std::chrono::steady_clock::time_point(std::chrono::nanoseconds(spinFrom - kNapNs));
            Wake_.wait_until(lock, wakeAt);
            continue;
        }
        TPriorityMutex* guardMutex = Guard_;
        lock.unlock();
        SleepUntil(spinFrom);
        Margin_.Woke(Now() - spinFrom);
        while (Now() < due) {}
        std::unique_lock<TPriorityMutex> guard;
        if (guardMutex) guard = std::unique_lock(*guardMutex);
        lock.lock();
        if (Quit_ || !Schedule_.Enabled() || Changes_ != changes || Guard_ != guardMutex) continue;
        Schedule_.BeginTick();
        auto handler = Handler_;
        lock.unlock();
        if (handler) handler();
        lock.lock();
        Schedule_.EndTick(Now());
        ++Changes_;
    }
}

} // namespace brindle
