#include "RenderJob.h"
#include "audio/WavFile.h"
#include "base/FileIO.h"
#include "engine/MorseEngine.h"
#include "support/KeyRuns.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brindle;
using brindle::test::ExpectedRuns;
using brindle::test::KeyRuns;
using brindle::test::TRun;
namespace fs = std::filesystem;

namespace {

class RenderTool : public ::testing::Test {
protected:
    int Run(std::vector<std::string> args, const std::string& input = "") {
        std::istringstream in(input);
        Out.str("");
        Err.str("");
        return RunRender(args, in, Out, Err);
    }
    std::string Path(const std::string& name) const { return (Dir / name).string(); }
    TWavData ReadWav(const std::string& path) {
        std::string bytes, error;
        EXPECT_TRUE(ReadFileBytes(path, bytes, error)) << error;
        TWavData wav;
        EXPECT_TRUE(ParseWav(bytes, wav, error)) << error;
        return wav;
    }
    // Key runs of a tone at 101 Hz, which is exactly zero only at every 4000th sample.
    static std::vector<TRun> Runs101(const std::vector<int16_t>& s) {
        std::vector<bool> unknown(s.size());
        for (std::size_t k = 0; k < unknown.size(); k += 4000)
            unknown[k] = true;
        return KeyRuns(s, &unknown);
    }
    test::TTempDir Temp{"brindle-render"};
    const fs::path& Dir = Temp.Path;
    std::ostringstream Out, Err;
};

} // namespace

// Mono at the engine's defaults and stereo at a Farnsworth speed given in words per minute; noise.
TEST_F(RenderTool, RunsHaveTheEngineDurationsAndNoiseIsAdded) {
    ASSERT_EQ(Run({"--cpm", "60", "--tone", "101", "--level", "0", "-o", Path("p.wav"), "paris",
                   "paris"}),
              0)
        << Err.str();
    EXPECT_EQ(Err.str(), "");
    ASSERT_EQ(Run({"--wpm", "10", "--spacing", "farnsworth", "--char-cpm", "100", "--stereo",
                   "--tone", "101", "--level", "0", "-o", Path("s.wav"), "ee"}),
              0)
        << Err.str();
    const TWavData mono = ReadWav(Path("p.wav")), stereo = ReadWav(Path("s.wav"));
    EXPECT_EQ(std::tie(mono.SampleRate, mono.Channels, stereo.Channels),
              std::make_tuple(8000, 1, 2));
    TMorseEngine engine;
    const auto expected = ExpectedRuns("paris paris", engine);
    EXPECT_EQ(Runs101(mono.Samples), expected);
    const auto total = std::accumulate(
        expected.begin(), expected.end(), std::size_t{0},
        [](std::size_t n, const TRun& r) { return n + static_cast<std::size_t>(r.Length); });
    EXPECT_EQ(mono.Samples.size(), total); // ends with the last character's space
    std::vector<int16_t> right;
    for (std::size_t k = 1; k < stereo.Samples.size(); k += 2)
        right.push_back(stereo.Samples[k]);
    engine.SetFWSpeed(100);
    engine.SetSpeed(50);
    engine.SetSpacing(TSpacing::Farnsworth);
    EXPECT_EQ(Runs101(right), ExpectedRuns("ee", engine));
    // Noise fills the lead-in.
    ASSERT_EQ(Run({"--noise", "-30", "--noise-type", "uniform", "--noise-seed", "5", "-o",
                   Path("n.wav"), "e"}),
              0);
    const auto s = ReadWav(Path("n.wav")).Samples;
    int nonZeroInLeadIn = 0;
    for (int k = 0; k < 1500; ++k)
        nonZeroInLeadIn += s[static_cast<std::size_t>(k)] != 0;
    EXPECT_GT(nonZeroInLeadIn, 1000);
}

TEST_F(RenderTool, TextFromFileAndStandardInputAndUnsendableCharacters) {
    const std::string in = Path("in.txt");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(in, "cq <AR>\r\nk\n", error));
    ASSERT_EQ(Run({"-i", in, "-o", Path("a.wav")}), 0) << Err.str();
    ASSERT_EQ(Run({"-o", Path("b.wav")}, "cq <AR>\r\nk\n"), 0) << Err.str();
    ASSERT_EQ(Run({"-o", Path("c.wav"), "cq", "+\rk\r"}), 0) << Err.str();
    const auto a = ReadWav(Path("a.wav")).Samples;
    EXPECT_FALSE(a.empty());
    for (const char* other : {"b.wav", "c.wav"})
        EXPECT_EQ(KeyRuns(a), KeyRuns(ReadWav(Path(other)).Samples)) << other;
    // Characters without a code are left out and counted in one warning; prosigns by name stay.
    const TPreparedText t = PrepareRenderText("Cq <sk> <xx>\ta\r\nb\nc\rd [\xE4]");
    EXPECT_EQ(t.Chars, "Cq # xx a\rb\rc\rd \xE4");
    EXPECT_EQ(t.Dropped, 4u); // < > [ ]
    ASSERT_EQ(Run({"-o", Path("w.wav"), "hi [\xE2\x98\x83]"}), 0);
    EXPECT_EQ(Err.str(),
              "brindle-render: warning: 3 characters cannot be sent in Morse and were left out\n");
}

// The error, then the usage; nothing written.
TEST_F(RenderTool, BadUsageExitsTwo) {
    const std::string x = Path("x.wav");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus", "-o", x, "e"}, "unknown option '--bogus'"},
        {{"--cpm", "5", "-o", x, "e"}, "bad value '5' for --cpm (10..300)"},
        {{"--cpm", "6x", "-o", x, "e"}, "bad value '6x' for --cpm (10..300)"},
        {{"--spacing", "fast", "-o", x, "e"},
         "bad value 'fast' for --spacing (off, farnsworth or wordsworth)"},
        {{"--wpm", "abc", "-o", x, "e"}, "bad value 'abc' for --wpm (2..60)"},
        {{"e"}, "no output file given (-o OUT.wav)"},
        {{"-o"}, "option '-o' needs a value"},
        {{"-o", Path("x.aac"), "e"},
         "cannot tell the format of '" + Path("x.aac") +
             "': name it .wav, .mp3, .opus, .ogg or .flac, or give "
             "--format (wav, mp3, opus, ogg (Vorbis), flac)"},
        {{"--format", "aac", "-o", x, "e"},
         "bad value 'aac' for --format (wav, mp3, opus, ogg (Vorbis), flac)"},
        {{"--quality", "1.5", "-o", x, "e"}, "bad value '1.5' for --quality (0..1)"},
        {{"--chapters", "0-words", "-o", x, "e"},
         "bad value '0-words' for --chapters (lines, paragraphs or N-words)"},
        {{"--split", "-o", x, "e"}, "--split needs --chapters"},
        {{"--repeat", "--speak", "both", "-o", x, "e"}, "--repeat needs --speak after"},
        {{"--speak-wpm", "79", "-o", x, "e"}, "bad value '79' for --speak-wpm (80..450)"},
        {{"--material", "dx", "-o", x},
         "bad value 'dx' for --material (callsigns, qso or contest)"},
        {{"--material", "qso", "--count", "0", "-o", x}, "bad value '0' for --count (1..100000)"},
        {{"--material", "qso", "--seed", "4294967296", "-o", x},
         "bad value '4294967296' for --seed (0..4294967295)"},
        {{"--material", "qso", "--seed", "-1", "-o", x},
         "bad value '-1' for --seed (0..4294967295)"},
        {{"--material", "qso", "-o", x, "e"}, "give either --material or a text, not both"},
        {{"--count", "5", "-o", x, "e"},
         "--count, --countries, --portable and --cut need --material"},
        {{"--cut", "-o", x, "e"}, "--count, --countries, --portable and --cut need --material"},
        {{"--qsb", "medium", "-o", x, "e"}, "bad value 'medium' for --qsb (slow, fast or flutter)"},
        {{"--qsb-depth", "61", "-o", x, "e"}, "bad value '61' for --qsb-depth (3..60)"},
        {{"--qrn", "0.05", "-o", x, "e"}, "bad value '0.05' for --qrn (0.1..20)"},
        {{"--qrn-level", "1", "-o", x, "e"}, "bad value '1' for --qrn-level (-60..0)"},
        {{"--band-noise", "40", "-o", x, "e"}, "bad value '40' for --band-noise (50..2000)"},
        {{"--qrm", "4", "-o", x, "e"}, "bad value '4' for --qrm (0..3)"},
        {{"--band-noise", "500", "-o", x, "e"}, "--band-noise needs --noise (its level)"},
        {{"--material", "callsigns", "--countries", "Atlantis", "-o", x},
         "no country of the callsign table is named by 'Atlantis' (names such as Germany or "
         "prefixes such as DL)"},
    };
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(Run(args), 2) << error;
        EXPECT_EQ(Err.str().substr(0, error.size() + 16), "brindle-render: " + error);
        EXPECT_NE(Err.str().find("\nusage: brindle-render"), std::string::npos) << error;
    }
    // A voice that is not there: the voices that are, without the usage.
    EXPECT_EQ(Run({"--speak", "after", "--voice", "xx-none", "-o", x, "e"}), 2);
    EXPECT_EQ(Err.str().rfind("brindle-render: the voice 'xx-none' is not installed; installed "
                              "voices: ",
                              0),
              0u);
    EXPECT_NE(Err.str().find(", en, "), std::string::npos) << Err.str();
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(Out.str().find("--noise-type"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(Dir));
}

// Generated material and band conditions: the same seed renders the same file, another seed
// another, and the seed is told.
TEST_F(RenderTool, OnAirMaterialIsRepeatableByItsSeed) {
    // With the band too: fading, crashes and noise.
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        ASSERT_EQ(
            Run({"--material", "qso", "--count", "1", "--seed", name[0] == 'c' ? "1" : "0", "--cpm",
                 "300", "--qsb", "flutter", "--qrn", "2", "--noise", "-30", "-o", Path(name)}),
            0)
            << Err.str();
    EXPECT_NE(Out.str().find(", seed 1)"), std::string::npos) << Out.str();
    EXPECT_EQ(ReadWav(Path("a.wav")).Samples, ReadWav(Path("b.wav")).Samples);
    EXPECT_NE(ReadWav(Path("a.wav")).Samples, ReadWav(Path("c.wav")).Samples);
    TRenderOptions o;
    o.Material = TRenderOptions::TMaterial::Contest;
    o.Count = 3;
    o.Cut = true;
    EXPECT_EQ(GenerateMaterial(o, 1), "5NN TT1\n5NN TT2\n5NN TT3\n");
    o.Material = TRenderOptions::TMaterial::Callsigns;
    o.Count = 12;
    const std::string calls = GenerateMaterial(o, 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), ' '), 10);
}

TEST_F(RenderTool, InputAndOutputFailuresExitOne) {
    EXPECT_EQ(Run({"-i", Path("missing.txt"), "-o", Path("x.wav")}), 1);
    EXPECT_EQ(Err.str(), "brindle-render: cannot read " + Path("missing.txt") +
                             ": No such file or directory\n");
    EXPECT_EQ(Run({"-o", Path("nodir/x.wav"), "e"}), 1);
    EXPECT_EQ(Err.str(), "brindle-render: cannot write " + Path("nodir/x.wav") +
                             ": No such file or directory\n");
    EXPECT_EQ(Run({"-o", Path("x.wav"), "[]"}), 1); // nothing to send
    EXPECT_TRUE(fs::is_empty(Dir));                 // no half-written file anywhere
    // An existing file is replaced only by a complete new one.
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(Path("old.wav"), "old", error));
    EXPECT_EQ(Run({"-o", Path("old.wav"), "[]"}), 1);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(Path("old.wav"), bytes, error));
    EXPECT_EQ(bytes, "old");
}

// A file size limit (as a full disk would) stops the write with its reason; nothing is left under
// the final name nor beside it. A terminal on standard error gets a progress bar, a pipe nothing.
TEST_F(RenderTool, AFullDiskLeavesNoFileAndTheBarIsForTerminalsOnly) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "paris ";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const rlimit limit{64 << 10, 64 << 10};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        const int code = Run({"--cpm", "100", "-o", Path("big.mp3"), text});
        const std::string err = Err.str();
        (void)!write(fds[1], err.data(), err.size());
        _exit(code);
    }
    close(fds[1]);
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(err, "brindle-render: cannot write " + Path("big.mp3") + ": File too large\n");
    EXPECT_TRUE(fs::is_empty(Dir));

    std::istringstream in;
    ASSERT_EQ(RunRender({"-o", Path("a.ogg"), "e"}, in, Out, Err, true), 0);
    EXPECT_EQ(Err.str().rfind("\r[------------------------------] 0 %", 0), 0u) << Err.str();
    EXPECT_EQ(Err.str().back(), '\r'); // the bar is cleared at the end
    ASSERT_EQ(Run({"-o", Path("b.ogg"), "e"}), 0);
    EXPECT_EQ(Err.str(), "");
    Err.str("");
    ASSERT_EQ(RunRender({"--quiet", "-o", Path("c.ogg"), "e"}, in, Out, Err, true), 0);
    EXPECT_EQ(Err.str(), "");
}

TEST_F(RenderTool, InputIsReadUpTo16MiB) {
    auto tooLarge = [](const std::string& what) {
        return "brindle-render: " + what +
               " is larger than 16 MiB: the input can have at most 16 MiB\n";
    };
    ASSERT_EQ(RenderInputMaxBytes, 16u << 20);
    // Standard input, given or by default, up to the limit and one byte more.
    const std::string most = "e" + std::string(RenderInputMaxBytes - 1, '[');
    EXPECT_EQ(Run({"-o", Path("most.wav")}, most), 0);
    EXPECT_EQ(Err.str(), "brindle-render: warning: " + std::to_string(most.size() - 1) +
                             " characters cannot be sent in Morse and were left out\n");
    EXPECT_EQ(Run({"-i", "-", "-o", Path("more.wav")}, most + "e"), 1);
    EXPECT_EQ(Err.str(), tooLarge("standard input"));
    EXPECT_FALSE(fs::exists(Path("more.wav")));
    // A device that never ends (pipes: FileIO.AFifoIsReadToItsEndOrUpToTheLimit).
    if (access("/dev/zero", R_OK) == 0) {
        EXPECT_EQ(Run({"-i", "/dev/zero", "-o", Path("zero.wav")}), 1);
        EXPECT_EQ(Err.str(), tooLarge("/dev/zero"));
        EXPECT_FALSE(fs::exists(Path("zero.wav")));
    }
}
