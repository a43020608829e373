// Figures of the real devices, measured on this machine (not pass/fail):
//   keying  - RTS edge timing of the engine's timed mode on the keying thread, from the serial
//             shim's CLOCK_MONOTONIC log (run through tests/support/with-shim);
//   versus SHIM - Brindle's keying thread and cwdaemon side by side on the same shim (SHIM, the
//             path of libserial_shim.so), text and speed (300 CpM = 60 WPM), idle and with both
//             cores loaded: each interval of the key line (Brindle's RTS, cwdaemon's DTR) against
//             the nearest whole number of dots;
//   latency - from StartOutput with text queued to the first tone sample on a private PulseAudio
//             server, less the engine's own lead-in;
//   cpu     - CPU time of the process per second of audio played.
// Usage: bench_devices keying|latency|cpu [characters] | versus SHIM [characters]
#include "BenchSupport.h"
#include "audio/SoundOut.h"
#include "engine/MorseEngine.h"
#include "platform/GuiPost.h"
#include "platform/KeyingThread.h"
#include "serial/ComKeying.h"
#include "serial/SerialLines.h"
#include "support/EventLoop.h"
#include "support/PulseServer.h"
#include "support/SerialShim.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

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

// Keys text at cpm through the keying thread onto a pty; the times of the RTS changes [ns].
std::vector<long long> BrindleEdges(const std::string& text, int cpm, test::TSerialShim& shim) {
    test::TPty pty;
    TSerialLines com({}, PostToGuiThread);
    com.SetPortPath([&](int) { return pty.SlavePath; });
    com.Connect();
    shim.ClearLog();
    TKeyingThread timer;
    TMorseEngine engine(&timer);
    engine.SetSpeed(cpm);
    TComKeying keying(com);
    keying.SetActive(true);
    engine.SetLineKeyer(&keying);
    engine.SetEventPost(PostToGuiThread);
    bool done = false;
    engine.OnLastChar = [&](TMorseEngine&) { done = true; };
    for (const char c : text)
        engine.PutChar(static_cast<uint8_t>(c));
    engine.Start();
    test::RunUntil([&] { return done; }, 3'600'000);
    test::RunFor(300);
    std::vector<long long> edges;
    for (const auto& e : shim.Log())
        edges.push_back(e.Ns);
    com.Disconnect();
    std::printf("(Brindle's keying thread ran at %s)\n", timer.Priority().c_str());
    return edges;
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

        const auto real = BrindleEdges(text, cpm, shim);
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

namespace {

// Each RTS interval's distance from the nearest whole number of dots [ms]: both programs send
// every element and space as whole dots at weight 100 and no weighting.
std::vector<double> DotGridErrors(const std::vector<long long>& edges, double dotMs) {
    std::vector<double> errors;
    for (std::size_t k = 1; k < edges.size(); ++k) {
        const double ms = (edges[k] - edges[k - 1]) / 1e6;
        errors.push_back(ms - std::round(ms / dotMs) * dotMs);
    }
    return errors;
}

// cwdaemon keys a pty through the shim; the text goes to it by UDP, the edges come from the
// shim's log file. Its key line is DTR, Brindle's is RTS: each is measured on its key line.
std::vector<long long> CwdaemonEdges(const std::string& text, const std::string& shimPath) {
    test::TPty pty;
    const std::string log = "/tmp/brindle-cwdaemon-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    const int port = 16789;
    const pid_t child = fork();
    if (child == 0) {
        setenv("LD_PRELOAD", shimPath.c_str(), 1);
        setenv("BRINDLE_SHIM_ALIAS", ("/dev/ttyS31=" + pty.SlavePath).c_str(), 1);
        setenv("BRINDLE_SHIM_LOG", log.c_str(), 1);
        execlp("cwdaemon", "cwdaemon", "-n", "-d", "ttyS31", "-s", "60", "-x", "n", "-p",
               std::to_string(port).c_str(), "-w", "0", "-t", "0", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0) return {};
    test::RunFor(1500); // cwdaemon opens its port and listens
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // cwdaemon takes a message of up to about 200 bytes; the text goes in pieces at word ends,
    // each sent when the one before has been keyed (no new edge for a second).
    std::size_t from = 0;
    auto lines = [&] {
        std::ifstream in(log);
        return static_cast<std::size_t>(
            std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
    };
    while (from < text.size()) {
        std::size_t end = std::min(text.size(), from + 150);
        if (end < text.size()) {
            const std::size_t space = text.rfind(' ', end);
            if (space != std::string::npos && space > from) end = space + 1;
        }
        const std::string piece = text.substr(from, end - from);
        sendto(sock, piece.data(), piece.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        from = end;
        std::size_t seen = lines();
        for (int quiet = 0; quiet < 10;) {
            test::RunFor(100);
            const std::size_t now = lines();
            quiet = now == seen ? quiet + 1 : 0;
            seen = now;
        }
    }
    close(sock);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::vector<long long> edges;
    std::ifstream in(log);
    long long ns = 0;
    int rts = 0, dtr = 0, last = 0;
    while (in >> ns >> rts >> dtr)
        if (dtr != last) { // cwdaemon keys DTR (and would put PTT on RTS)
            edges.push_back(ns);
            last = dtr;
        }
    std::remove(log.c_str());
    return edges;
}

int Versus(const std::string& shimPath, int characters) {
    test::TSerialShim shim;
    if (!shim.Active()) {
        std::fprintf(stderr, "run through tests/support/with-shim\n");
        return 1;
    }
    const std::string text = Text(characters);
    for (const bool loaded : {false, true}) {
        std::unique_ptr<bench::TBothCoresBusy> load;
        if (loaded) load = std::make_unique<bench::TBothCoresBusy>();
        const auto brindle = BrindleEdges(text, 300, shim);
        const auto cwdaemon = CwdaemonEdges(text, shimPath);
        std::printf("%d characters at 300 CpM (60 WPM)%s, key-line interval error against the dot "
                    "grid:\n",
                    characters, loaded ? ", both cores loaded" : ", idle");
        Report(("Brindle (" + std::to_string(brindle.size()) + " edges)").c_str(),
               DotGridErrors(brindle, 20.0));
        Report(("cwdaemon (" + std::to_string(cwdaemon.size()) + " edges)").c_str(),
               DotGridErrors(cwdaemon, 20.0));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // The address is set before any sound client starts; memory is shared as on a desktop.
    test::TPulseServer::Instance().SharedMemory = true;
    QCoreApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "keying") return Keying(argc > 2 ? std::atoi(argv[2]) : 200);
    if (what == "latency") return Latency();
    if (what == "cpu") return Cpu();
    if (what == "versus" && argc > 2) return Versus(argv[2], argc > 3 ? std::atoi(argv[3]) : 200);
    std::fprintf(
        stderr,
        "usage: bench_devices keying|latency|cpu [characters] | versus SHIM [characters]\n");
    return 2;
}
