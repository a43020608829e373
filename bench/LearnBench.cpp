// The learning layer's figures: aligning a practice's copy, the queries of a progress window on
// years of history, the database's size per practice, and starting a course practice (its
// characters' statistics) from a history of a million character results.
#include "base/Random.h"
#include "learn/CopyCheck.h"

#include <benchmark/benchmark.h>

#include <string>
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

} // namespace

BENCHMARK_MAIN();
