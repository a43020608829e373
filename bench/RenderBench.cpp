// Throughput of the engine's sound mode: samples rendered per second on one core.
#include "engine/MorseEngine.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

void Refill(brindle::TMorseEngine& e, const std::string& text) {
    if (!e.HasChars())
        for (const char c : text)
            e.PutChar(static_cast<uint8_t>(c));
}

// Continuous keyed text at the given speed, 800-sample (100 ms) buffers as the program uses.
void BM_RenderBuffer(benchmark::State& state) {
    brindle::TMorseEngine e;
    e.SetSoundMode(true);
    e.SetSpeed(static_cast<int>(state.range(0)));
    e.SetStereo(state.range(1) != 0);
    const std::string text = "paris cq de dl1abc 599 73 <ar> ";
    std::vector<int16_t> buf(state.range(1) ? 1600 : 800);
    e.Start();
    for (auto _ : state) {
        Refill(e, text);
        e.RenderBuffer(buf.data(), static_cast<int>(buf.size() * 2));
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetItemsProcessed(state.iterations() * 800); // frames
    state.SetLabel("samples/s = items/s; real time = 8000 samples/s");
}
BENCHMARK(BM_RenderBuffer)->Args({60, 0})->Args({300, 0})->Args({60, 1});

} // namespace
