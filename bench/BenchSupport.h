// What the device and window benchmarks share: the monotonic clock, the process's CPU time, a
// practice text, and the private sound server's monitor read on a thread of its own with the time
// at which each sample sounded (to find when the first tone of a key press was heard).
#pragma once

#include "engine/MorseEngine.h"
#include "support/BusyCores.h"
#include "support/PulseServer.h"
#include "support/VirtualTimer.h"

#include <pulse/simple.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <vector>

namespace brindle::bench {

using TBothCoresBusy = test::TBothCoresBusy;

inline long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

// CPU time of this process so far [s].
inline double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

// A practice text of the given length.
inline std::string Text(int characters) {
    const std::string words = "paris cq de dl1abc 599 tu 73 qth berlin name jo ";
    std::string t;
    while (static_cast<int>(t.size()) < characters)
        t += words;
    t.resize(static_cast<std::size_t>(characters));
    return t;
}

// The planned timeline of text: the times [ms] of its key edges on the virtual clock, with the
// engine set up by setUp.
inline std::vector<long long> PlannedEdges(const std::string& text,
                                           const std::function<void(TMorseEngine&)>& setUp) {
    test::TVirtualTimer vt;
    TMorseEngine plan(&vt);
    setUp(plan);
    std::vector<long long> planned;
    plan.OnSignalChanged = [&](TMorseEngine&, bool, int) { planned.push_back(vt.Now()); };
    for (const char c : text)
        plan.PutChar(static_cast<uint8_t>(c));
    plan.Start();
    vt.Advance(10'000'000);
    return planned;
}

// Records the null sink's monitor with arrival times.
class TMonitor {
public:
    bool Start() {
        pa_sample_spec spec{PA_SAMPLE_S16LE, 8000, 1};
        pa_buffer_attr attr{static_cast<uint32_t>(-1), static_cast<uint32_t>(-1),
                            static_cast<uint32_t>(-1), static_cast<uint32_t>(-1), 80};
        const std::string device = std::string(test::TPulseServer::SinkName) + ".monitor";
        int err = 0;
        Simple_ = pa_simple_new(nullptr, "bench", PA_STREAM_RECORD, device.c_str(), "monitor",
                                &spec, nullptr, &attr, &err);
        if (!Simple_) return false;
        // The monitor runs on the server's clock: anchor sample 0 once, then sample k sounded
        // k / 8000 s later. Asking for the latency on every read would let the reader fall
        // behind.
        Thread_ = std::thread([this] {
            int16_t chunk[40];
            int e = 0;
            long long anchor = -1; // [ns] when sample 0 was captured
            long long index = 0;
            while (!Stop_) {
                if (pa_simple_read(Simple_, chunk, sizeof chunk, &e) < 0) break;
                if (anchor < 0 && index >= 8000) { // settled after a second
                    const pa_usec_t latency = pa_simple_get_latency(Simple_, &e);
                    anchor =
                        NowNs() - static_cast<long long>(latency) * 1000 - (index + 40) * 125'000LL;
                    Anchored_ = true;
                }
                for (int i = 0; i < 40; ++i, ++index) {
                    if (anchor >= 0 && chunk[i] != 0 && FirstTone_ < 0 && Armed_)
                        FirstTone_ = anchor + index * 125'000LL;
                    if (anchor >= 0) NoteRun(chunk[i], anchor + index * 125'000LL);
                }
            }
        });
        return true;
    }
    void Reset() {
        Armed_ = false;
        FirstTone_ = -1;
        Armed_ = true;
    }
    long long FirstTone() const { return FirstTone_; }
    bool Anchored() const { return Anchored_; }
    // The tones heard since the monitor anchored its clock: [key-down, key-up] at the monitor [ns].
    struct TRun {
        long long Down = 0, Up = 0;
    };
    std::vector<TRun> Runs() const {
        const std::lock_guard lock(RunsMutex_);
        return Runs_;
    }
    ~TMonitor() {
        Stop_ = true;
        if (Thread_.joinable()) Thread_.join();
        if (Simple_) pa_simple_free(Simple_);
    }

private:
    // A tone ends after 2 ms without a sample above the floor (an 800 Hz sine crosses zero).
    void NoteRun(int16_t sample, long long ns) {
        if (std::abs(static_cast<int>(sample)) > 300) {
            if (!Loud_) RunDown_ = ns;
            Loud_ = true;
            LastLoud_ = ns;
        } else if (Loud_ && ns - LastLoud_ > 2'000'000) {
            Loud_ = false;
            const std::lock_guard lock(RunsMutex_);
            Runs_.push_back({RunDown_, LastLoud_ + 125'000});
        }
    }
    bool Loud_ = false;
    long long RunDown_ = 0, LastLoud_ = 0;
    mutable std::mutex RunsMutex_;
    std::vector<TRun> Runs_;
    pa_simple* Simple_ = nullptr;
    std::thread Thread_;
    std::atomic<bool> Stop_{false};
    std::atomic<long long> FirstTone_{-1};
    std::atomic<bool> Armed_{false};
    std::atomic<bool> Anchored_{false};
};

} // namespace brindle::bench
