// The learning layer's figures: aligning a practice's copy, the queries of a progress window on
// years of history, the database's size per practice, and starting a course practice (its
// characters' statistics) from a history of a million character results.
#include "base/Random.h"
#include "learn/CopyCheck.h"
#include "learn/HistoryStore.h"
#include "learn/KochCourse.h"
#include "practice/RandomChars.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using brindle::TRandomSource;

// count random groups of five letters and digits.
std::vector<std::string> Groups(TRandomSource& r, int count) {
    static const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::vector<std::string> groups;
    for (int i = 0; i < count; ++i) {
        std::string g;
        for (int k = 0; k < 5; ++k)
            g += alphabet[r.Below(static_cast<uint32_t>(alphabet.size()))];
        groups.push_back(g);
    }
    return groups;
}

// A copy of the groups: perMille of the characters missed, wrong or doubled; with skipEvery > 0
// every skipEvery-th group left out.
std::string Copy(TRandomSource& r, const std::vector<std::string>& groups, uint32_t perMille,
                 int skipEvery = 0) {
    std::string copy;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (skipEvery > 0 && i % static_cast<std::size_t>(skipEvery) == 0) continue;
        if (!copy.empty()) copy += ' ';
        for (const char c : groups[i]) {
            const uint32_t roll = r.Below(1000);
            if (roll < perMille / 3) continue;
            if (roll < 2 * perMille / 3)
                copy += static_cast<char>('a' + r.Below(26));
            else if (roll < perMille)
                copy += std::string(2, c);
            else
                copy += c;
        }
    }
    return copy;
}

// A practice of 1000 characters (200 groups of five). Copies: 0 exact, 1 with 5 % errors,
// 2 with 5 % errors and every 20th group missed, 3 unrelated (the worst case: the whole matrix).
void BM_CheckCopy1000(benchmark::State& state) {
    TRandomSource r(1);
    const auto groups = Groups(r, 200);
    std::string copy;
    switch (state.range(0)) {
    case 0: copy = Copy(r, groups, 0); break;
    case 1: copy = Copy(r, groups, 50); break;
    case 2: copy = Copy(r, groups, 50, 20); break;
    default: copy = Copy(r, Groups(r, 200), 0); break;
    }
    for (auto _ : state) {
        const auto check = brindle::CheckCopy(groups, copy);
        benchmark::DoNotOptimize(check.CorrectChars);
    }
    state.counters["accuracy_pct"] = brindle::CheckCopy(groups, copy).Accuracy() * 100.0;
}
BENCHMARK(BM_CheckCopy1000)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// 10,000 characters with 5 % errors.
void BM_CheckCopy10000(benchmark::State& state) {
    TRandomSource r(2);
    const auto groups = Groups(r, 2000);
    const std::string copy = Copy(r, groups, 50);
    for (auto _ : state) {
        const auto check = brindle::CheckCopy(groups, copy);
        benchmark::DoNotOptimize(check.CorrectChars);
    }
}
BENCHMARK(BM_CheckCopy10000)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Histories

// A history built once per run in a temporary folder (in memory when /dev/shm exists, so that
// building it does not wait for the disk; the queries read from the cache either way).
class THistory {
public:
    // practices of items x itemChars characters each, 10 a day, the last one now.
    THistory(int practices, int items, int itemChars) : Practices(practices) {
        const std::string base = std::filesystem::exists("/dev/shm")
                                     ? std::string("/dev/shm")
                                     : std::filesystem::temp_directory_path().string();
        std::string folder = base + "/brindle-bench-XXXXXX";
        if (!mkdtemp(folder.data())) std::abort();
        Folder = folder;
        Path = Folder + "/history.sqlite";
        const auto start =
            std::chrono::system_clock::now() - std::chrono::hours(24) * practices / 10;
        brindle::THistoryOptions options;
        options.Clock = [&] { return Now; };
        const std::string_view order = brindle::PresetOrder(brindle::TCourseOrder::Lcwo);
        TRandomSource r(99);
        const auto started = std::chrono::steady_clock::now();
        {
            brindle::THistoryStore store(Path, options);
            for (int p = 0; p < practices; ++p) {
                Now = start + std::chrono::minutes(144) * p;
                const int lesson = 1 + (p * 40) / practices;
                const std::string lessonChars = brindle::LessonChars(order, lesson);
                const auto pick = [&] {
                    return lessonChars[r.Below(static_cast<uint32_t>(lessonChars.size()))];
                };
                const auto id = store.StartPractice(brindle::TPracticeStart{
                    "course", 100, 60,
                    brindle::TCourseLesson{brindle::TCourseOrder::Lcwo, lesson}});
                int sent = 0, correct = 0;
                for (int i = 0; i < items; ++i) {
                    std::string item, copy;
                    brindle::TItemTiming timing;
                    for (int k = 0; k < itemChars; ++k) {
                        const char c = pick();
                        item += c;
                        const uint32_t roll = r.Below(100); // 3 % missed, 3 % wrong
                        if (roll >= 3) copy += roll < 6 ? pick() : c;
                        timing.CharMs.push_back(200 + static_cast<int>(r.Below(1300)));
                    }
                    const auto checked = brindle::CheckCopy({item}, copy).Items[0];
                    sent += checked.SentChars();
                    correct += checked.CorrectChars;
                    if (!store.AddItem(id, checked, timing)) std::abort();
                }
                store.FinishPractice(id, false, sent, correct);
                CharResults += static_cast<long long>(items) * itemChars;
            }
        }
        BuildSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        Bytes = static_cast<long long>(std::filesystem::file_size(Path));
    }
    ~THistory() {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }

    std::string Folder;
    std::string Path;
    int Practices = 0;
    long long CharResults = 0;
    long long Bytes = 0; // of the file after closing (the log copied in)
    double BuildSeconds = 0;
    std::chrono::system_clock::time_point Now;
};

// About three years at ten practices a day, five items of five characters each.
THistory& ThreeYears() {
    static THistory history(10000, 5, 5);
    return history;
}

// A million character results: 5000 practices of 20 items of 10 characters.
THistory& MillionChars() {
    static THistory history(5000, 20, 10);
    return history;
}

// Everything a progress window asks for when it opens: the practices, the characters' accuracy,
// the confusions and the slowest characters, all time and over the last 30 days.
void BM_ProgressWindowQueries(benchmark::State& state) {
    THistory& h = ThreeYears();
    brindle::THistoryStore store(h.Path);
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = store.Practices().size();
        rows += store.CharAccuracy().size() + store.CharAccuracy(30).size();
        rows += store.Confusions().size() + store.Confusions(30).size();
        rows += store.SlowestChars().size() + store.SlowestChars(30).size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["practices"] = h.Practices;
    state.counters["char_results"] = static_cast<double>(h.CharResults);
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ProgressWindowQueries)->Unit(benchmark::kMillisecond);

// Each query of the set alone: 0 practices, 1 accuracy per character, 2 the same over 30 days,
// 3 confusions, 4 the same over 30 days, 5 slowest characters, 6 the same over 30 days.
void BM_ProgressQuery(benchmark::State& state) {
    brindle::THistoryStore store(ThreeYears().Path);
    for (auto _ : state) {
        std::size_t n = 0;
        switch (state.range(0)) {
        case 0: n = store.Practices().size(); break;
        case 1: n = store.CharAccuracy().size(); break;
        case 2: n = store.CharAccuracy(30).size(); break;
        case 3: n = store.Confusions().size(); break;
        case 4: n = store.Confusions(30).size(); break;
        case 5: n = store.SlowestChars().size(); break;
        default: n = store.SlowestChars(30).size(); break;
        }
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_ProgressQuery)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

// The file's size per practice, and what writing the history took (one transaction per item).
void BM_HistorySize(benchmark::State& state) {
    THistory& h = ThreeYears();
    for (auto _ : state)
        benchmark::DoNotOptimize(h.Bytes);
    state.counters["bytes_per_practice"] = static_cast<double>(h.Bytes) / h.Practices;
    state.counters["file_MB"] = static_cast<double>(h.Bytes) / 1e6;
    state.counters["build_s"] = h.BuildSeconds;
}
BENCHMARK(BM_HistorySize)->Iterations(1);

// Starting a course practice of the last LCWO lesson (41 characters): the characters' record
// from a history of a million character results, their shares, the weighted draw, the practice's
// row.
void BM_CoursePracticeStart(benchmark::State& state) {
    THistory& h = MillionChars();
    brindle::THistoryStore store(h.Path);
    const std::string chars =
        brindle::LessonChars(brindle::PresetOrder(brindle::TCourseOrder::Lcwo), 40);
    brindle::TRandomChars draw([] { return 1u; });
    for (auto _ : state) {
        const auto stats = store.CharStats(chars);
        draw.SetWeightedCharacters(chars, brindle::LessonShares(chars, stats));
        benchmark::DoNotOptimize(store.StartPractice(brindle::TPracticeStart{
            "course", 100, 60, brindle::TCourseLesson{brindle::TCourseOrder::Lcwo, 40}}));
    }
    state.counters["char_results"] = static_cast<double>(h.CharResults);
}
BENCHMARK(BM_CoursePracticeStart)->Unit(benchmark::kMillisecond);

// The record of the lesson's characters alone.
void BM_CourseCharStats(benchmark::State& state) {
    brindle::THistoryStore store(MillionChars().Path);
    const std::string chars =
        brindle::LessonChars(brindle::PresetOrder(brindle::TCourseOrder::Lcwo), 40);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.CharStats(chars).size());
}
BENCHMARK(BM_CourseCharStats)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
