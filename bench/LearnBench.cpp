// The learning layer's figures: checking a practice's copy at the end and while it goes on, the
// queries of a progress window on years of history, the database's size per practice, and starting
// a course practice (its characters' statistics) from a history of a million character results.
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

// The learner's copy of one group at a copy rate of percent: each character is copied as another
// one, drawn at random, with the chance 1 - percent / 100, and left out or followed by an extra
// one with a twentieth of that chance each. At 0 % every character is wrong and none is left out
// or added: the copy has the shape of what was sent and nothing else in common with it.
std::string CopyOf(TRandomSource& r, const std::string& group, int percent) {
    static const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    const auto other = [&](char c) {
        char o = c;
        while (o == c)
            o = alphabet[r.Below(static_cast<uint32_t>(alphabet.size()))];
        return o;
    };
    const auto wrong = static_cast<uint32_t>(10 * (100 - percent)); // per mille
    const uint32_t gap = percent == 0 ? 0 : wrong / 20;
    std::string copy;
    for (const char c : group) {
        if (r.Below(1000) < gap) continue;
        copy += r.Below(1000) < wrong ? other(c) : c;
        if (r.Below(1000) < gap) copy += other(c);
    }
    return copy;
}

std::string CopyOf(TRandomSource& r, const std::vector<std::string>& groups, int percent) {
    std::string copy;
    for (const auto& g : groups)
        copy += (copy.empty() ? "" : " ") + CopyOf(r, g, percent);
    return copy;
}

// The final check of a practice: range(0) groups of five, copied at range(1) %. 300 groups are
// ten minutes at 30 groups a minute, 1,500 an hour.
void BM_CheckCopy(benchmark::State& state) {
    TRandomSource r(1);
    const auto groups = Groups(r, static_cast<int>(state.range(0)));
    const std::string copy = CopyOf(r, groups, static_cast<int>(state.range(1)));
    for (auto _ : state) {
        const auto check = brindle::CheckCopy(groups, copy);
        benchmark::DoNotOptimize(check.CorrectChars);
    }
    const auto check = brindle::CheckCopy(groups, copy);
    state.counters["accuracy_pct"] = check.Accuracy() * 100.0;
    state.counters["cost"] = check.Cost;
}
BENCHMARK(BM_CheckCopy)
    ->ArgsProduct({{300, 1500, 5000}, {100, 90, 60, 0}})
    ->Unit(benchmark::kMillisecond);

// Continuous practice: after each heard group the checker takes it and the copy typed so far
// (the groups before it, at 90 %), and checks. Measured over the groups 1,501 to 1,700.
void BM_CheckerItemUpdate(benchmark::State& state) {
    constexpr int Before = 1500;
    constexpr int Measured = 200;
    TRandomSource r(3);
    const auto groups = Groups(r, Before + Measured);
    std::vector<std::string> typed;
    for (const auto& g : groups)
        typed.push_back(CopyOf(r, g, 90));
    brindle::TCopyChecker checker;
    std::string copy;
    for (int i = 0; i < Before; ++i) {
        checker.AddItem(groups[static_cast<std::size_t>(i)]);
        if (i > 0) copy += (i > 1 ? " " : "") + typed[static_cast<std::size_t>(i - 1)];
        checker.SetCopy(copy);
        checker.Check();
    }
    std::size_t i = Before;
    std::size_t rewritten = 0;
    for (auto _ : state) {
        checker.AddItem(groups[i]);
        copy += " " + typed[i - 1];
        checker.SetCopy(copy);
        benchmark::DoNotOptimize(checker.Check().CorrectChars);
        rewritten += checker.ItemCount() - checker.FirstChangedItem();
        ++i;
    }
    state.counters["items_changed"] =
        static_cast<double>(rewritten) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CheckerItemUpdate)->Iterations(200)->Unit(benchmark::kMicrosecond);

// The same practice key by key: each key typed into the copy of groups 1,501 to 1,540 is checked.
void BM_CheckerKeyUpdate(benchmark::State& state) {
    constexpr int Before = 1500;
    TRandomSource r(4);
    const auto groups = Groups(r, Before + 40);
    std::string copy;
    std::string keys; // what is typed after group Before, a key at a time
    brindle::TCopyChecker checker;
    for (int i = 0; i < Before + 40; ++i) {
        const std::string typed =
            (i > 0 ? " " : "") + CopyOf(r, groups[static_cast<std::size_t>(i)], 90);
        if (i < Before) {
            checker.AddItem(groups[static_cast<std::size_t>(i)]);
            copy += typed;
        } else {
            keys += typed;
        }
    }
    checker.SetCopy(copy);
    checker.Check();
    std::size_t next = Before;
    std::size_t k = 0;
    for (auto _ : state) {
        if (k % 6 == 0 && next < groups.size()) checker.AddItem(groups[next++]);
        copy += keys[k++ % keys.size()];
        checker.SetCopy(copy);
        benchmark::DoNotOptimize(checker.Check().CorrectChars);
    }
}
BENCHMARK(BM_CheckerKeyUpdate)->Iterations(200)->Unit(benchmark::kMicrosecond);

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
                brindle::TPracticeEnd end{false, true};
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
                    end.SentChars += checked.SentChars();
                    end.CorrectChars += checked.CorrectChars;
                    end.ExtraChars += checked.ExtraChars;
                    if (!store.AddItem(id, checked, timing)) std::abort();
                }
                store.FinishPractice(id, end);
                // As a practice does: its items and its end in one transaction.
                if (!store.Flush()) std::abort();
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

// The file's size per practice, and what writing the history took (a transaction for each
// practice's start, one for its items and end).
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

// The pass rule's tally after a practice: the newest character's latest 50 copies in its lesson.
void BM_CourseNewestCharTally(benchmark::State& state) {
    brindle::THistoryStore store(MillionChars().Path);
    const brindle::TCourseLesson lesson{brindle::TCourseOrder::Lcwo, 40};
    const uint8_t newest = static_cast<uint8_t>(
        brindle::LessonChars(brindle::PresetOrder(brindle::TCourseOrder::Lcwo), 40).back());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.NewestCharTally(lesson, newest).Copies);
}
BENCHMARK(BM_CourseNewestCharTally)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
