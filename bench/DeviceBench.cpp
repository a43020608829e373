// Figures of the real devices, measured on this machine (not pass/fail):
//   keying  - RTS edge timing of the engine's timed mode on the GUI-thread timer, from the serial
//             shim's CLOCK_MONOTONIC log (run through tests/support/with-shim);
//   latency - from StartOutput with text queued to the first tone sample on a private PulseAudio
//             server, less the engine's own lead-in;
//   cpu     - CPU time of the process per second of audio played.
// Usage: bench_devices keying|latency|cpu [characters]
#include "BenchSupport.h"
#include "audio/SoundOut.h"
#include "engine/MorseEngine.h"
#include "platform/QtMsTimer.h"
#include "serial/SerialLines.h"
#include "support/EventLoop.h"
#include "support/PulseServer.h"
#include "support/SerialShim.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace brindle;
using brindle::bench::CpuSeconds;
using brindle::bench::NowNs;
using brindle::bench::Text;
using brindle::bench::TMonitor;

namespace {

void Report(const char* what, std::vector<double> errors) {
    if (errors.empty()) return;
    for (double& e : errors)
        e = std::fabs(e);
    std::sort(errors.begin(), errors.end());
    double sum = 0;
    for (const double e : errors)
        sum += e;
    const double p99 = errors[static_cast<std::size_t>(0.99 * (errors.size() - 1))];
    std::printf("  %-28s n=%zu mean=%.3f ms p99=%.3f ms max=%.3f ms\n", what, errors.size(),
                sum / errors.size(), p99, errors.back());
}

int Keying(int characters) {
    test::TSerialShim shim;
    if (!shim.Active()) {
        std::fprintf(stderr, "run through tests/support/with-shim\n");
        return 1;
    }
    for (const int cpm : {60, 300}) {
        const std::string text = Text(characters);
        // The planned timeline: the same text on the virtual clock.
        const auto planned =
            bench::PlannedEdges(text, [cpm](TMorseEngine& plan) { plan.SetSpeed(cpm); });

        test::TPty pty;
        TSerialLines com({}, PostToGuiThread);
        com.SetPortPath([&](int) { return pty.SlavePath; });
        com.Connect();
        shim.ClearLog();
        TQtMsTimer timer;
        TMorseEngine engine(&timer);
        engine.SetSpeed(cpm);
        bool done = false;
        engine.OnSignalChanged = [&](TMorseEngine&, bool on, int) { com.SetRTS(on); };
        engine.OnLastChar = [&](TMorseEngine&) { done = true; };
        for (const char c : text)
            engine.PutChar(static_cast<uint8_t>(c));
        engine.Start();
        test::RunUntil([&] { return done; }, 3'600'000);
        test::RunFor(300);
        std::vector<long long> real;
        for (const auto& e : shim.Log())
            if (real.empty() || true) real.push_back(e.Ns);
        // The log holds RTS changes only here (DTR is not wired); compare edge by edge.
        const std::size_t n = std::min(real.size(), planned.size());
        std::vector<double> interval, drift;
        for (std::size_t k = 1; k < n; ++k) {
            interval.push_back((real[k] - real[k - 1]) / 1e6 - (planned[k] - planned[k - 1]));
            drift.push_back((real[k] - real[0]) / 1e6 - (planned[k] - planned[0]));
        }
        std::printf("keying %d characters at %d CpM (%zu edges, planned %zu):\n", characters, cpm,
                    real.size(), planned.size());
        Report("edge interval error", interval);
        Report("cumulative drift", drift);
        com.Disconnect();
    }
    return 0;
}

int Latency() {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    TMonitor monitor;
    if (!monitor.Start()) return 1;
    TSoundOut out;
    test::RunUntil([&] { return !out.Outputs().empty(); }, 10000);
    test::RunFor(1500); // the monitor anchors its clock
    std::vector<double> latencies;
    for (int trial = 0; trial < 10; ++trial) {
        TMorseEngine engine;
        engine.SetSoundMode(true);
        engine.SetSpeed(300);
        engine.SetTimePttStart(0); // lead-in: one dot of idle clock + one dot of PTT lead
        out.SetBufferTime(100);
        out.SetChannels(1);
        out.OnBufferPlayed = [&](int16_t* b, int bytes) { engine.RenderBuffer(b, bytes); };
        engine.PutChar('t');
        engine.Start();
        test::RunFor(1000); // the previous start has died away
        monitor.Reset();
        const long long start = NowNs();
        out.StartOutput();
        test::RunUntil([&] { return monitor.FirstTone() >= 0; }, 5000);
        const double leadIn = 2.0 * engine.Timing().DotSamples / 8.0; // [ms]
        if (monitor.FirstTone() >= 0)
            latencies.push_back((monitor.FirstTone() - start) / 1e6 - leadIn);
        out.StopOutput();
        out.Close();
        out.OnBufferPlayed = nullptr;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("sound start latency over %zu starts (lead-in subtracted): min=%.1f ms median=%.1f "
                "ms max=%.1f ms\n",
                latencies.size(), latencies.front(), latencies[latencies.size() / 2],
                latencies.back());
    server.Stop();
    return 0;
}

int Cpu() {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    TSoundOut out;
    test::RunUntil([&] { return !out.Outputs().empty(); }, 10000);
    TMorseEngine engine;
    engine.SetSoundMode(true);
    out.SetBufferTime(100);
    out.SetChannels(1);
    out.OnBufferPlayed = [&](int16_t* b, int bytes) {
        if (!engine.HasChars())
            for (const char c : Text(200))
                engine.PutChar(static_cast<uint8_t>(c));
        engine.RenderBuffer(b, bytes);
    };
    engine.Start();
    out.StartOutput();
    test::RunFor(1000);
    const double cpu0 = CpuSeconds();
    const long long t0 = NowNs();
    // The event loop sleeps between events, as the program's does.
    QTimer stop;
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, [] { QCoreApplication::quit(); });
    stop.start(20000);
    QCoreApplication::exec();
    const double seconds = (NowNs() - t0) / 1e9;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("CPU while playing: %.3f s over %.1f s of audio = %.2f %% of one core\n", cpu,
                seconds, 100.0 * cpu / seconds);
    out.StopOutput();
    server.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    test::TPulseServer::Instance(); // the address is set before any sound client starts
    QCoreApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "keying") return Keying(argc > 2 ? std::atoi(argv[2]) : 200);
    if (what == "latency") return Latency();
    if (what == "cpu") return Cpu();
    std::fprintf(stderr, "usage: bench_devices keying|latency|cpu [characters]\n");
    return 2;
}
