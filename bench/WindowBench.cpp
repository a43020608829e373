// Figures of the main window on this machine (not pass/fail), on a private PulseAudio server and
// a pseudo-terminal with the modem-line shim:
//   latency MS        - key press to the first tone sample at the monitor, BufferTime MS, 20
//                       presses
//   dropouts MS S [stall] - gaps in the sound over S seconds at 300 CpM with both cores loaded
//                       (stall: the GUI thread sleeps 300 ms every 5 s)
//   marks S           - each character's mark in the display against its heard end
//   stop N            - an abort during a tone to silence at the monitor
//   copygaps S        - gaps in the sound over a copy practice of S seconds at 300 CpM, typed
//                       along in the copy field, with a 100 KB paste into it halfway
//   keying CHARS [load] [stall] - RTS edge error at 300 CpM while the display marks every
//                       character sent: each interval, and each edge counted from the first
//                       key-down (run through tests/support/with-shim); load: both cores busy,
//                       stall: the GUI thread sleeps 300 ms every 5 s
//   cpu sound|com S [MS] - CPU while sending at 300 CpM for S seconds (BufferTime MS)
//   idle S            - CPU of the open window with nothing to send
//   start             - process start to the window's first paint, and the memory then
//   display N         - appending and marking N characters in the display, per 10,000
//   paragraph N       - the same in one paragraph without line ends
#include "BenchSupport.h"
#include "desk/CopyPractice.h"
#include "desk/Parameters.h"
#include "engine/MorseEngine.h"
#include "settings/EngineSettings.h"
#include "settings/Settings.h"
#include "support/EventLoop.h"
#include "support/SerialShim.h"
#include "support/TempDir.h"
#include "ui/main/CWRichEdit.h"
#include "ui/main/CopyEdit.h"
#include "ui/main/MainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace brindle;
using bench::CpuSeconds;
using bench::NowNs;
using bench::Text;

namespace {

constexpr int kComPort = 5;

long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1000, '\n');
    }
    return 0;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(std::lround(p * static_cast<double>(v.size() - 1)))];
}

// The window with its settings in a folder of its own; output 1 sound, 2 COM on a pty.
class TBenchWindow {
public:
    TBenchWindow(int output, int speed, int bufferMs) {
        std::ofstream(Folder.Path / "Brindle.ini")
            << "[Main]\nSpeed=" << speed << "\n[TX]\nOutput=" << output
            << "\nTXComPort=" << kComPort << "\nPTT=1\n";
        Ports.resize(kComPort);
        Ports[kComPort - 1] = {"pty", "pts", Pty.SlavePath};
        TMainWindow::TOptions o;
        o.DataFolder = Folder.Path.string() + "/";
        o.HistoryPath = Folder.Path.string() + "/history.sqlite";
        o.ShowMessage = [](const TMessage& m) {
            std::fprintf(stderr, "message: %s\n", m.Text.c_str());
        };
        o.AskOkCancel = [](const std::string&) { return true; };
        o.AskSession = [](TSessionDialog&) { return true; }; // continuous pacing
        o.DetectPorts = [this] { return Ports; };
        o.PortPath = [this](int) { return Pty.SlavePath; };
        o.WatchDevices = false;
        o.SoundBufferMs = bufferMs;
        Form = std::make_unique<TMainWindow>(std::move(o));
        Form->show();
        Form->TextView().setFocus();
        if (output == 1)
            test::RunUntil([this] { return Form->App().SoundOut().IsPlaying(); }, 10000);
    }
    TDesk& App() { return Form->App(); }
    // Keeps at least a line of text queued.
    void KeepSending() {
        if (!App().Engine().HasChars()) App().Paste(Text(60));
    }
    bool Quiet() {
        const TDisplayModel& d = App().Display();
        return d.SentMark() == d.TextEnd();
    }

    test::TTempDir Folder;
    test::TPty Pty;
    std::vector<TDetectedPort> Ports;
    std::unique_ptr<TMainWindow> Form;
};

int Latency(int bufferMs) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    bench::TMonitor monitor;
    if (!monitor.Start()) return 1;
    TBenchWindow w(1, 300, bufferMs);
    test::RunFor(1500); // the monitor anchors its clock
    const long long gaps0 = w.App().SoundOut().Underflows();
    // Every press starts from PTT off, so the engine's own lead-in is the same each time: one dot
    // of silence and the PTT lead, by design. The rest is the latency of the program and the
    // server.
    const auto& t = w.App().Engine().Timing();
    const double leadIn = (t.DotSamples + t.PttLeadSamples) / 8.0; // [ms]
    std::vector<double> ms;
    for (int press = 0; press < 21; ++press) {
        test::RunUntil([&] { return w.Quiet() && !w.App().Engine().PttState(); }, 10000);
        test::RunFor(200);
        monitor.Reset();
        const long long start = NowNs();
        QTest::keyClick(&w.Form->TextView(), 't');
        test::RunUntil([&] { return monitor.FirstTone() >= 0; }, 5000);
        if (press > 0 && monitor.FirstTone() >= 0) // the first press only wakes the sink
            ms.push_back((monitor.FirstTone() - start) / 1e6);
    }
    std::vector<double> net = ms;
    for (double& v : net)
        v -= leadIn;
    std::printf("BufferTime %d ms: key press to first tone over %zu presses: median=%.1f ms "
                "p95=%.1f ms max=%.1f ms; less the engine's lead-in of %.0f ms: median=%.1f ms "
                "p95=%.1f ms; gaps in the sound: %lld\n",
                bufferMs, ms.size(), Percentile(ms, 0.5), Percentile(ms, 0.95), Percentile(ms, 1.0),
                leadIn, Percentile(net, 0.5), Percentile(net, 0.95),
                w.App().SoundOut().Underflows() - gaps0);
    w.Form.reset();
    server.Stop();
    return 0;
}

int Dropouts(int bufferMs, int seconds, bool stalled) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    TBenchWindow w(1, 300, bufferMs);
    auto load = std::make_unique<bench::TBothCoresBusy>();
    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout, [] { QThread::msleep(300); });
    if (stalled) stall.start(5000);
    const long long gaps0 = w.App().SoundOut().Underflows();
    const long long held0 = w.App().Engine().HeldSamples();
    const int sent0 = w.App().Display().SentMark();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        w.KeepSending();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    stall.stop();
    load.reset();
    std::printf("%s, %d s at 300 CpM, both cores loaded%s: %d characters sent, %lld gaps in the "
                "sound; %.0f ms of silence waiting for the window to queue more text (feeder at "
                "%s)\n",
                w.App().SoundOut().FeedsOnOwnThread()
                    ? "feeder thread"
                    : ("BufferTime " + std::to_string(bufferMs) + " ms").c_str(),
                seconds, stalled ? ", GUI thread stalled 300 ms every 5 s" : "",
                w.App().Display().SentMark() - sent0, w.App().SoundOut().Underflows() - gaps0,
                static_cast<double>(w.App().Engine().HeldSamples() - held0) / 8.0,
                w.Form->SoundPriority().c_str());
    w.Form.reset();
    server.Stop();
    return 0;
}

// A copy practice at 300 CpM typed along key by key in the copy field, with a paste of 100 KB
// into it halfway: the learning layer must never hold the sound up.
int CopyGaps(int seconds) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    TBenchWindow w(1, 300, TDesk::SoundBufferMs);
    w.App().Params().ApplyEditField(TUpDown::NumGroups, "1000");
    w.App().Params().ApplyEditField(TUpDown::StartSpeed, "300");
    w.App().Params().SetFarnsworth(TSpacing::Plain);
    std::string sent;
    const TConnection heard = w.App().OnCharStart.Connect([&](uint8_t ch) {
        if (ch > ' ' && ch < 254) sent += static_cast<char>(ch);
    });
    w.App().StartCopyPractice();
    if (!w.App().Copy().Running()) return 1;
    auto& copy = w.Form->CopyEdit();
    test::RunFor(1500); // the sink wakes up
    const long long gaps0 = w.App().SoundOut().Underflows();
    long long gapsBeforePaste = 0;
    std::size_t typed = 0;
    bool pasted = false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
        for (; typed < sent.size(); ++typed) {
            QTest::keyClick(&copy, sent[typed]);
            if (typed % 5 == 4) QTest::keyClick(&copy, Qt::Key_Space);
        }
        if (!pasted && clock.elapsed() > seconds * 500LL) {
            pasted = true;
            gapsBeforePaste = w.App().SoundOut().Underflows() - gaps0;
            QApplication::clipboard()->setText(QString(100000, QChar('e')));
            QTest::keyClick(&copy, Qt::Key_V, Qt::ControlModifier);
        }
    }
    std::printf("Copy practice at 300 CpM for %d s, typed along, a 100 KB paste halfway: %zu "
                "characters heard, %zu in the copy field, %lld gaps in the sound (%lld before "
                "the paste)\n",
                seconds, sent.size(), static_cast<std::size_t>(copy.toPlainText().size()),
                w.App().SoundOut().Underflows() - gaps0, gapsBeforePaste);
    w.Form.reset();
    server.Stop();
    return 0;
}

// Each character's mark in the display against the moment its end (its last element and the
// character gap after it) is heard at the monitor, over S seconds of text at 300 CpM.
int Marks(int seconds) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    bench::TMonitor monitor;
    if (!monitor.Start()) return 1;
    TBenchWindow w(1, 300, TDesk::SoundBufferMs);
    test::RunUntil([&] { return monitor.Anchored(); }, 10000);
    test::RunFor(500);
    const std::string text = Text(seconds * 5);
    const int sent0 = w.App().Display().SentMark();
    const std::size_t runs0 = monitor.Runs().size();
    std::vector<long long> markedAt(text.size(), -1);
    std::vector<int64_t> endSample; // of each character, as its event is delivered
    std::vector<double> outputMs;   // at each mark: its end against the output's position
    const TConnection sentLink = w.App().OnCharSent.Connect(
        [&](uint8_t) { endSample.push_back(w.App().Engine().EventSample()); });
    w.App().Paste(text);
    int last = sent0;
    QElapsedTimer clock;
    clock.start();
    while (last - sent0 < static_cast<int>(text.size()) && clock.elapsed() < seconds * 2000LL) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const int mark = w.App().Display().SentMark();
        for (int k = last; k < mark; ++k)
            if (k - sent0 >= 0 && k - sent0 < static_cast<int>(text.size())) {
                const auto i = static_cast<std::size_t>(k - sent0);
                markedAt[i] = NowNs();
                if (i < endSample.size() && endSample[i] >= 0)
                    if (const auto ms = w.App().SoundOut().MsUntilHeard(endSample[i]))
                        outputMs.push_back(-*ms);
            }
        last = mark;
        QThread::usleep(500);
    }
    test::RunFor(500);
    const auto runs = monitor.Runs();
    const auto& t = w.App().Engine().Timing();
    const long long afterLastNs = (t.GapSamples + t.CharGapExtraSamples) * 125'000LL;
    std::vector<double> lateMs; // mark - heard end; negative: marked early
    std::size_t run = runs0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const uint16_t code = TMorseEngine::CodeOf(static_cast<uint8_t>(text[i]));
        if (text[i] == ' ' || code == 0) continue;
        int elements = 0;
        for (uint16_t c = code; c > 1; c >>= 1)
            ++elements;
        run += static_cast<std::size_t>(elements);
        if (run > runs.size() || markedAt[i] < 0) break;
        lateMs.push_back(static_cast<double>(markedAt[i] - (runs[run - 1].Up + afterLastNs)) / 1e6);
    }
    std::vector<double> off = lateMs;
    for (double& v : off)
        v = std::fabs(v);
    if (off.empty()) return 1;
    std::vector<double> outputOff = outputMs;
    for (double& v : outputOff)
        v = std::fabs(v);
    if (!outputOff.empty())
        std::printf("display mark against the output's playback position (the server's), %zu "
                    "characters: median %+.1f ms, |error| p95 %.1f ms, max %.1f ms\n",
                    outputMs.size(), Percentile(outputMs, 0.5), Percentile(outputOff, 0.95),
                    Percentile(outputOff, 1.0));
    std::printf("display mark against the heard end of the character, %zu characters at 300 CpM: "
                "median %+.1f ms, |error| p95 %.1f ms, max %.1f ms\n",
                lateMs.size(), Percentile(lateMs, 0.5), Percentile(off, 0.95),
                Percentile(off, 1.0));
    w.Form.reset();
    server.Stop();
    return 0;
}

// An abort during a tone and the output stopped (what a switch of the output does), N times: the
// call to the end of the tone at the monitor. Esc and Stop let the character on the air finish, by
// design.
int StopDelay(int presses) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    bench::TMonitor monitor;
    if (!monitor.Start()) return 1;
    TBenchWindow w(1, 100, TDesk::SoundBufferMs);
    test::RunUntil([&] { return monitor.Anchored(); }, 10000);
    test::RunFor(500);
    auto& engine = const_cast<TMorseEngine&>(w.App().Engine());
    auto& sound = const_cast<TSoundOut&>(w.App().SoundOut());
    std::vector<double> ms;
    for (int p = 0; p < presses; ++p) {
        test::RunUntil([&] { return w.Quiet(); }, 10000);
        w.App().Paste("ooo");
        test::RunFor(700 + 37 * (p % 7)); // somewhere within a dah
        const long long pressed = NowNs();
        engine.Abort();
        sound.StopOutput();
        test::RunFor(300);
        engine.Start(); // as a switch back to the sound output does
        sound.StartOutput();
        for (const auto& r : monitor.Runs())
            if (r.Up > pressed && r.Down < pressed) ms.push_back((r.Up - pressed) / 1e6);
    }
    if (ms.empty()) return 1;
    std::printf("abort during a tone, %zu times: silent at the monitor after median %.1f ms, p95 "
                "%.1f ms, max %.1f ms\n",
                ms.size(), Percentile(ms, 0.5), Percentile(ms, 0.95), Percentile(ms, 1.0));
    w.Form.reset();
    server.Stop();
    return 0;
}

void ReportErrors(const char* what, std::vector<double> errors) {
    for (double& e : errors)
        e = std::fabs(e);
    if (errors.empty()) return;
    std::printf("  %-24s n=%zu p99=%.3f ms max=%.3f ms\n", what, errors.size(),
                Percentile(errors, 0.99), Percentile(errors, 1.0));
}

int Keying(int characters, bool loaded, bool stalled) {
    test::TSerialShim shim;
    if (!shim.Active()) {
        std::fprintf(stderr, "run through tests/support/with-shim\n");
        return 1;
    }
    TBenchWindow w(2, 300, 100);
    if (w.App().Output().Device() != TOutputDevice::Com) return 1;
    const std::string text = Text(characters);
    // The planned timeline: the same engine settings and text on the virtual clock.
    const auto planned = bench::PlannedEdges(
        text, [&](TMorseEngine& plan) { ApplyEngineSettings(w.App().Settings(), plan); });

    shim.ClearLog();
    std::unique_ptr<bench::TBothCoresBusy> load;
    if (loaded) load = std::make_unique<bench::TBothCoresBusy>();
    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout, [] { QThread::msleep(300); });
    if (stalled) stall.start(5000);
    w.App().Paste(text);
    test::RunUntil([&] { return w.Quiet(); }, 3'600'000);
    stall.stop();
    load.reset();
    test::RunFor(300);
    std::vector<long long> real; // RTS edges
    bool rts = false;
    for (const auto& e : shim.Log())
        if (e.Rts != rts) {
            real.push_back(e.Ns);
            rts = e.Rts;
        }
    const std::size_t n = std::min(real.size(), planned.size());
    std::vector<double> interval;
    std::vector<double> fromFirst; // each edge against the timeline, from the first key-down
    for (std::size_t k = 1; k < n; ++k) {
        interval.push_back((real[k] - real[k - 1]) / 1e6 -
                           static_cast<double>(planned[k] - planned[k - 1]));
        fromFirst.push_back((real[k] - real[0]) / 1e6 -
                            static_cast<double>(planned[k] - planned[0]));
    }
    std::printf("window keying %d characters at 300 CpM, display marking each%s%s (%zu edges, "
                "planned %zu; keying thread at %s):\n",
                characters, loaded ? ", both cores loaded" : "",
                stalled ? ", GUI thread stalled 300 ms every 5 s" : "", real.size(), planned.size(),
                w.Form->KeyingPriority().c_str());
    ReportErrors("edge interval error", interval);
    ReportErrors("edge error from first", fromFirst);
    return 0;
}

int Cpu(int output, int seconds, int bufferMs) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    TBenchWindow w(output, 300, bufferMs);
    if (SettingOf(w.App().Output().Device()) != output) return 1;
    w.KeepSending();
    test::RunFor(1000);
    const double cpu0 = CpuSeconds();
    const long long t0 = NowNs();
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&w] { w.KeepSending(); });
    feed.start(500);
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec(); // sleeps between events, as the program's loop does
    const double wall = (NowNs() - t0) / 1e9;
    std::printf("%s output at 300 CpM (BufferTime %d ms): %.3f s CPU over %.1f s = %.2f %% of one "
                "core\n",
                output == 1 ? "sound" : "COM", bufferMs, CpuSeconds() - cpu0, wall,
                100.0 * (CpuSeconds() - cpu0) / wall);
    w.Form.reset();
    server.Stop();
    return 0;
}

int Idle(int seconds) {
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    TBenchWindow w(1, 60, TDesk::SoundBufferMs);
    test::RunFor(1000);
    const double cpu0 = CpuSeconds();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    std::printf("idle window on sound output: %.2f %% of one core over %d s\n",
                100.0 * (CpuSeconds() - cpu0) / seconds, seconds);
    w.Form.reset();
    server.Stop();
    return 0;
}

// Seconds since this process started, from /proc.
double SinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 21 && stat >> field; ++i) {}
    unsigned long long startTicks = 0;
    stat >> startTicks;
    std::ifstream uptime("/proc/uptime");
    double up = 0;
    uptime >> up;
    return up - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class TFirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && Seconds < 0) Seconds = SinceProcessStart();
        return false;
    }
    double Seconds = -1;
};

int Start() {
    // The sound server is part of the desktop, not of the start: its own start is left out.
    QElapsedTimer serverClock;
    serverClock.start();
    auto& server = test::TPulseServer::Instance();
    if (!server.Start()) return 1;
    const double serverSeconds = static_cast<double>(serverClock.nsecsElapsed()) / 1e9;
    TFirstPaint paint;
    TBenchWindow w(1, 60, 100);
    w.Form->installEventFilter(&paint);
    w.Form->repaint();
    test::RunUntil([&] { return paint.Seconds >= 0; }, 10000);
    std::printf("process start to first paint: %.0f ms (clock ticks of 10 ms); RSS %ld kB\n",
                (paint.Seconds - serverSeconds) * 1000, RssKb());
    w.Form.reset();
    server.Stop();
    return 0;
}

// Each character appended, then marked sent, with the event loop between, as when typing ahead
// and sending: lines of 60 characters, or one paragraph without a line end.
int DisplayCost(int characters, bool lines) {
    TBenchWindow w(0, 60, 100);
    // The benchmark drives the model directly, reaching into the window logic that owns it.
    auto& d = const_cast<TDisplayModel&>(w.App().Display());
    QElapsedTimer clock;
    std::printf("display (%s): append and mark sent, ms per 10,000 characters:",
                lines ? "lines of 60" : "one paragraph");
    for (int block = 0; block < characters / 10000; ++block) {
        clock.start();
        for (int i = 0; i < 10000; ++i) {
            d.AddChar(static_cast<uint8_t>(lines && i % 61 == 60 ? '\n' : 'a' + i % 26));
            QCoreApplication::processEvents();
            d.MarkOneSent();
            QCoreApplication::processEvents();
        }
        std::printf(" %.0f", static_cast<double>(clock.nsecsElapsed()) / 1e6);
        std::fflush(stdout);
    }
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    test::TPulseServer::Instance().SharedMemory = true; // as the desktop's server does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    const int a = argc > 2 ? std::atoi(argv[2]) : 0;
    const int b = argc > 3 ? std::atoi(argv[3]) : 0;
    if (what == "latency") return Latency(a > 0 ? a : 100);
    if (what == "dropouts")
        return Dropouts(a > 0 ? a : 100, b > 0 ? b : 600,
                        argc > 4 && std::string(argv[4]) == "stall");
    if (what == "marks") return Marks(a > 0 ? a : 60);
    if (what == "stop") return StopDelay(a > 0 ? a : 20);
    if (what == "keying") {
        const auto has = [&](const char* word) {
            for (int i = 3; i < argc; ++i)
                if (std::string(argv[i]) == word) return true;
            return false;
        };
        return Keying(a > 0 ? a : 200, has("load"), has("stall"));
    }
    if (what == "copygaps") return CopyGaps(a > 0 ? a : 600);
    if (what == "cpu")
        return Cpu(argc > 2 && std::string(argv[2]) == "com" ? 2 : 1, b > 0 ? b : 20,
                   argc > 4 ? std::atoi(argv[4]) : TDesk::SoundBufferMs);
    if (what == "idle") return Idle(a > 0 ? a : 20);
    if (what == "start") return Start();
    if (what == "display") return DisplayCost(a > 0 ? a : 100000, true);
    if (what == "paragraph") return DisplayCost(a > 0 ? a : 100000, false);
    std::fprintf(stderr, "usage: bench_window latency MS | dropouts MS S [stall] | marks S | stop "
                         "N | keying CHARS [load] [stall] | "
                         "cpu sound|com S | idle S | start | display N\n");
    return 2;
}
