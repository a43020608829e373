// The session composer: CPU per item by mode, the start of a session of a 10 MB text, and the most
// characters a session of 1000 items ever queues at once (the composer loads one item at a time).
#include "base/FileIO.h"
#include "desk/CopyPractice.h"
#include "desk/Course.h"
#include "desk/Desk.h"
#include "desk/Parameters.h"
#include "desk/Session.h"
#include "support/FakeSoundBackend.h"
#include "support/VirtualTimer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using namespace brindle;

// The main window's logic on a sound backend in memory that the benchmark feeds.
struct TBenchDesk {
    explicit TBenchDesk(std::string historyPath = {}) {
        TDeskPlatform p;
        p.Timer = &Timer;
        p.SoundBackend = std::make_unique<test::TFakeSoundBackend>(Sound);
        p.Messages = [](const TMessage& m) { std::fprintf(stderr, "%s\n", m.Text.c_str()); };
        p.AskOkCancel = [](const std::string&) { return true; };
        p.Later = [this](int, std::function<void()> call) { Later.push_back(std::move(call)); };
        p.DetectPorts = [] { return std::vector<TDetectedPort>{}; };
        p.Post = [](std::function<void()> fn) { fn(); };
        p.AskSession = [](TSessionDialog&) { return true; };
        p.Seed = [] { return 4711u; };
        p.SoundBufferMs = 20;
        p.HistoryPath = historyPath;
        App = std::make_unique<TDesk>(std::move(p), Display, DefaultSettings("/nonexistent/", {}));
        App->FormCreate();
        App->Params().SetFarnsworth(TSpacing::Plain);
    }
    void Play(int ms) {
        Sound.Budget = ms * 16;
        for (int i = 0; i < 100000 && Sound.Budget > 0; ++i)
            const_cast<TSoundOut&>(App->SoundOut()).Feed(); // the benchmark is the device's clock
        Sound.Budget = 0;
        Sound.Written.clear();
        auto calls = std::move(Later);
        Later.clear();
        for (auto& call : calls)
            call();
    }
    // The engine's last-character event, as the engine raises it.
    void LastChar() {
        auto& cw = const_cast<TMorseEngine&>(App->Engine());
        cw.OnLastChar(cw);
    }
    const TSession& S() const { return App->Session(); }

    test::TVirtualTimer Timer;
    test::TFakeSoundBackend::TState Sound = test::TFakeSoundBackend::Quiet();
    TDisplayModel Display;
    std::unique_ptr<TDesk> App;
    std::vector<std::function<void()>> Later;
};

std::string TempFile(const std::string& bytes) {
    std::string path = (std::filesystem::temp_directory_path() / "brindle-bench-XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    std::string error;
    if (!WriteFileAtomically(path, bytes, error)) std::abort();
    return path;
}

// One step of a running session at the engine's last-character event: the speed plan and the
// next item, queued and shown. The buffer and the display are emptied outside the timing.
// A new session starts every 500 steps, outside the timing.
void StepItems(benchmark::State& state, TBenchDesk& d) {
    d.App->Params().SetVariSpeed(true);
    d.App->Params().ApplyEditField(TUpDown::NumGroups, "1000");
    int steps = 0;
    for (auto _ : state) {
        if (steps++ % 500 == 0) {
            state.PauseTiming();
            d.App->StopAllSending();
            d.App->StartSession();
            d.LastChar(); // the start text has been sent
            state.ResumeTiming();
        }
        d.LastChar();
        state.PauseTiming();
        d.App->ClearScreenClick(); // the buffer and the display
        state.ResumeTiming();
    }
    d.App->StopAllSending();
}

void BM_ItemRandomGroups(benchmark::State& state) {
    TBenchDesk d;
    d.App->Params().CommitText(TCharField::Chars1, "abcdefghijklmnopqrstuvwxyz0123456789");
    StepItems(state, d);
}
BENCHMARK(BM_ItemRandomGroups);

void BM_ItemWords(benchmark::State& state) {
    TBenchDesk d;
    std::string words;
    for (int i = 0; i < 1200; ++i)
        words += "word" + std::to_string(i) + (i % 10 == 9 ? "\n" : " ");
    const std::string path = TempFile(words);
    d.App->LoadMaterial(TMaterialKind::Words, path);
    std::filesystem::remove(path);
    StepItems(state, d);
}
BENCHMARK(BM_ItemWords);

std::string Prose(std::size_t bytes) {
    const std::string line = "now is the time for all good men to come to the aid of the party\n";
    std::string text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    return text;
}

void BM_ItemTextWords(benchmark::State& state) {
    TBenchDesk d;
    const std::string path = TempFile(Prose(1'000'000));
    d.App->LoadMaterial(TMaterialKind::Text, path);
    std::filesystem::remove(path);
    StepItems(state, d);
}
BENCHMARK(BM_ItemTextWords);

// Loading a 10 MB text for "Text from File" (cleaning, lines, word count).
void BM_TextLoad10MB(benchmark::State& state) {
    TBenchDesk d;
    const std::string path = TempFile(Prose(10'000'000));
    for (auto _ : state)
        d.App->LoadMaterial(TMaterialKind::Text, path);
    std::filesystem::remove(path);
}
BENCHMARK(BM_TextLoad10MB)->Unit(benchmark::kMillisecond);

// From the confirmation of a session of a loaded 10 MB text to its first word queued.
void BM_TextSessionStart10MB(benchmark::State& state) {
    TBenchDesk d;
    const std::string path = TempFile(Prose(10'000'000));
    d.App->LoadMaterial(TMaterialKind::Text, path);
    std::filesystem::remove(path);
    for (auto _ : state) {
        d.App->StartSession();
        d.LastChar(); // the start text has been sent: the first word
        benchmark::DoNotOptimize(d.App->Engine().BufferCount());
        state.PauseTiming();
        d.App->StopAllSending();
        state.ResumeTiming();
    }
    state.counters["words"] = d.S().Material().TextWordCount;
}
BENCHMARK(BM_TextSessionStart10MB)->Unit(benchmark::kMillisecond);

// A whole session of 1000 random groups of 5 at 300 CpM, played on the sample clock.
void BM_Session1000ItemsBufferFill(benchmark::State& state) {
    for (auto _ : state) {
        TBenchDesk d;
        d.App->Params().ApplyEditField(TUpDown::NumGroups, "1000");
        d.App->Params().ApplyEditField(TUpDown::StartSpeed, "300");
        d.App->StartSession();
        for (int i = 0; i < 100000 && !d.S().Idle(); ++i)
            d.Play(100);
        state.counters["items"] = d.S().ItemsProduced();
        state.counters["max_buffer_fill_chars"] = d.S().MaxBufferFill();
    }
}
BENCHMARK(BM_Session1000ItemsBufferFill)->Iterations(1)->Unit(benchmark::kMillisecond);

// A continuous copy practice of an hour (a Koch lesson of 1,500 groups of 5) with the copy typed
// along key by key at 90 % and one paste of 100 KB halfway, on a history file: the longest the GUI
// thread spends in one event of the practice (a key, an item heard, a flush of the history), and
// the check at the end with its writes.
void BM_CopyPracticeLongestEvent(benchmark::State& state) {
    using TClock = std::chrono::steady_clock;
    const std::string folder =
        (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm/") : std::string("/tmp/")) +
        "brindle-bench-copy-" + std::to_string(::getpid());
    for (auto _ : state) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        TBenchDesk d(folder + "/history.sqlite");
        d.App->Params().CommitText(TCharField::StartText, "");
        d.App->Params().CommitText(TCharField::StopText, "");
        // An hour of a Koch lesson's groups of five: 1,500 items.
        auto& course = d.App->Course();
        course.SetLesson(10);
        course.SetMinutes(60);
        course.SetCharCpm(150);
        course.SetEffCpm(150);
        course.SetGroupSize(5);
        std::string sent;
        const TConnection heard = d.App->OnCharStart.Connect([&](uint8_t ch) {
            if (ch > ' ' && ch < 254) sent += static_cast<char>(ch);
        });
        d.App->StartKochLesson();
        if (d.S().Introducing()) d.App->CopyReturn(true);
        sent.clear();
        double longest = 0; // [ms]
        auto timed = [&](const auto& event) {
            const auto t0 = TClock::now();
            event();
            longest = std::max(
                longest, std::chrono::duration<double, std::milli>(TClock::now() - t0).count());
        };
        std::string copy;
        std::size_t typed = 0;
        bool pasted = false;
        uint32_t noise = 12345;
        for (int i = 0; i < 1000000 && !d.S().Idle(); ++i) {
            d.Sound.Budget = 100 * 16;
            for (int k = 0; k < 100000 && d.Sound.Budget > 0; ++k)
                const_cast<TSoundOut&>(d.App->SoundOut()).Feed();
            d.Sound.Budget = 0;
            d.Sound.Written.clear();
            auto calls = std::move(d.Later);
            d.Later.clear();
            for (auto& call : calls)
                timed(call);
            for (; typed < sent.size(); ++typed) { // one key each, one in ten wrong
                noise = noise * 1103515245u + 12345u;
                copy += (noise >> 16) % 10 == 0 ? 'x' : sent[typed];
                if (typed % 5 == 4) copy += ' ';
                timed([&] { d.App->CopyChanged(copy); });
            }
            if (!pasted && d.App->Copy().ItemsSent() >= 750) {
                pasted = true;
                timed([&] { d.App->CopyChanged(copy + std::string(100000, 'e')); });
            }
        }
        const auto t0 = TClock::now();
        d.App->CheckCopy();
        const double check = std::chrono::duration<double, std::milli>(TClock::now() - t0).count();
        state.counters["items"] = d.App->Copy().ItemsSent();
        state.counters["accuracy_percent"] = 100 * d.App->Copy().LastResult()->Check.Accuracy();
        state.counters["longest_event_ms"] = longest;
        state.counters["final_check_ms"] = check;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CopyPracticeLongestEvent)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the sound output's pump timer
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
