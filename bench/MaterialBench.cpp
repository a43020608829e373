// Cleaning and loading a large text: every filter and loader must run in linear time.
#include "base/FileIO.h"
#include "engine/MorseEngine.h"
#include "practice/PracticeMaterial.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// About megabytes MB of prose with punctuation, prosign names, code characters and odd bytes.
std::string MakeText(int megabytes) {
    const std::string chunk =
        "It\xE2\x80\x99s a long way, said the operator <AR> to the \xE2\x80\x9Cnew\xE2\x80\x9D "
        "ham; "
        "cq cq de dl1abc k  73 & 88 #5 \xC3\xA4\xC3\xB6 <xx> [ok] <sos> 599 tu ^ e e\r\n\tnext "
        "line with    spaces and\ttabs \xE2\x80\x94 done.\n";
    std::string text;
    text.reserve(static_cast<std::size_t>(megabytes) * 1'000'000 + chunk.size());
    while (text.size() < static_cast<std::size_t>(megabytes) * 1'000'000)
        text += chunk;
    return text;
}

class TTempFile {
public:
    explicit TTempFile(const std::string& bytes) {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "brindle-bench-XXXXXX").string();
        const int fd = mkstemp(tmpl.data());
        if (fd >= 0) close(fd);
        Path = tmpl;
        std::string error;
        if (!brindle::WriteFileAtomically(Path, bytes, error)) std::abort();
    }
    ~TTempFile() { std::filesystem::remove(Path); }
    std::string Path;
};

void BM_LoadFile(benchmark::State& state) {
    const int mb = static_cast<int>(state.range(0));
    const auto kind = static_cast<brindle::TMaterialKind>(state.range(1));
    const TTempFile file(MakeText(mb));
    brindle::TCharSet engine;
    for (auto _ : state) {
        brindle::TPracticeMaterial material;
        const auto result = material.Load(kind, file.Path, engine);
        if (!result.Ok) state.SkipWithError(result.Error.c_str());
        benchmark::DoNotOptimize(result.Count);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mb) * 1'000'000);
}
// kinds: 0 words, 1 phrases, 2 text; files are loaded up to 16 MiB.
BENCHMARK(BM_LoadFile)
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({10, 2})
    ->Args({16, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The text's cleaning chain alone, also on 100 MB: it stays linear beyond what a file may hold.
void BM_CleanText(benchmark::State& state) {
    const int mb = static_cast<int>(state.range(0));
    const std::string text = MakeText(mb);
    brindle::TCharSet engine;
    for (auto _ : state)
        benchmark::DoNotOptimize(brindle::TPracticeMaterial::CleanText(text, engine).size());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mb) * 1'000'000);
}
BENCHMARK(BM_CleanText)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
