// Exported practice read back: every format decodes to the Morse of the WAV rendering, chapters
// are where the text puts them (as ffprobe reads them), spoken answers sit between the items with
// the gaps asked for, and a failure or a cancel leaves no file.
#include "export/AudioFileWriter.h"
#include "export/Interferers.h"
#include "export/PracticeExport.h"
#include "support/Ffprobe.h"
#include "support/Goertzel.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numeric>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

struct TDecoded {
    int Rate = 0;
    int Channels = 0;
    std::vector<int16_t> Samples; // the first channel
};

TDecoded Decode(const std::string& path) {
    TDecoded d;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!f) return d;
    d.Rate = info.samplerate;
    d.Channels = info.channels;
    std::vector<int16_t> all(4096 * static_cast<std::size_t>(info.channels));
    sf_count_t got = 0;
    while ((got = sf_readf_short(f, all.data(), 4096)) > 0)
        for (sf_count_t k = 0; k < got; ++k)
            d.Samples.push_back(all[static_cast<std::size_t>(k * info.channels)]);
    sf_close(f);
    return d;
}

// Key-down and key-up runs of a decoded tone: the peak of the last 1.25 ms (a period of the
// tone) above half the tone's peak. [samples] Starts with the first key-down run.
std::vector<int> ToneRuns(const std::vector<int16_t>& s, int16_t peak) {
    std::vector<int> runs;
    bool prev = false;
    constexpr std::size_t kWindow = 10;
    for (std::size_t k = 0; k < s.size(); ++k) {
        int m = 0;
        for (std::size_t j = k >= kWindow ? k - kWindow + 1 : 0; j <= k; ++j)
            m = std::max(m, std::abs(static_cast<int>(s[j])));
        const bool on = m > peak / 2;
        if (runs.empty() && !on) continue;
        if (runs.empty() || on != prev)
            runs.push_back(1);
        else
            ++runs.back();
        prev = on;
    }
    return runs;
}

class Export : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return (Temp.Path / name).string(); }

    TExportResult Run(TExportRequest r) {
        TExportProgress progress;
        return RunExport(r, progress);
    }
    TExportRequest Request(const std::string& name, const std::string& text,
                           TChapterSplit split = {}) {
        TExportRequest r;
        r.Tone.Cpm = 100;
        r.Tone.LevelDb = -6;
        r.Output = Path(name);
        r.Format = *FormatFromPath(name);
        r.Quality = DefaultQuality(r.Format);
        r.Script = ScriptFromText(text, split, false, TSpokenKind::Word, r.Tone.Cpm, 0, 300);
        return r;
    }
    // Frames of chars rendered alone at the request's tone.
    static std::vector<int16_t> Alone(const std::string& chars, const TToneOptions& tone) {
        std::vector<int16_t> s;
        RenderChars(chars, tone, [&](const int16_t* d, std::size_t n) {
            s.insert(s.end(), d, d + n);
            return true;
        });
        return s;
    }
    test::TTempDir Temp{"brindle-export"};
};

} // namespace

// Each format decodes to the WAV rendering's key runs, within 1 ms per run, at 8000 Hz (Opus
// decodes at 48 kHz and is compared at that rate), with the tone's pitch; the title and the
// artist are tagged.
TEST_F(Export, EveryFormatKeepsTheTimingAndPitchOfTheMorse) {
    const std::string text = "paris 73 <ar>"; // "<", ">" are left out
    ASSERT_TRUE(Run(Request("ref.wav", text)).Ok);
    const TDecoded ref = Decode(Path("ref.wav"));
    ASSERT_EQ(ref.Rate, 8000);
    const int16_t peak = TonePeak(-6);
    const std::vector<int> expected = ToneRuns(ref.Samples, peak);
    ASSERT_GT(expected.size(), 40u);
    for (const char* name : {"t.mp3", "t.opus", "t.ogg", "t.flac"}) {
        SCOPED_TRACE(name);
        const TExportResult result = Run(Request(name, text));
        ASSERT_TRUE(result.Ok) << result.Error;
        const test::TProbe probe = test::Probe(Path(name));
        EXPECT_EQ(probe.Tag("title"), "t"); // the file's name
        EXPECT_EQ(probe.Tag("artist"), "Brindle");
        const TDecoded d = Decode(Path(name));
        ASSERT_TRUE(d.Rate == 8000 || d.Rate == 48000) << d.Rate;
        const int scale = d.Rate / 8000;
        std::vector<int16_t> s = d.Samples;
        if (scale > 1) { // every scale-th sample: the tone's envelope is what is compared
            std::vector<int16_t> down;
            for (std::size_t k = 0; k < s.size(); k += static_cast<std::size_t>(scale))
                down.push_back(*std::max_element(
                    s.begin() + static_cast<long>(k),
                    s.begin() + static_cast<long>(std::min(s.size(), k + scale))));
            s = down;
        }
        const std::vector<int> runs = ToneRuns(s, peak);
        ASSERT_GE(runs.size(), expected.size() - 1);
        for (std::size_t i = 0; i + 1 < expected.size(); ++i)
            EXPECT_NEAR(runs[i], expected[i], 8) << "run " << i;
        // The pitch: zero crossings over the first dah of "paris" (its second element).
        const auto lead = static_cast<std::size_t>(
            std::find_if(d.Samples.begin(), d.Samples.end(),
                         [&](int16_t v) { return std::abs(static_cast<int>(v)) > peak / 2; }) -
            d.Samples.begin());
        const std::size_t from = lead + static_cast<std::size_t>(runs[0] + runs[1]) * scale;
        int crossings = 0;
        for (std::size_t k = from + 40 * scale; k < from + (runs[2] - 40) * scale; ++k)
            crossings += (d.Samples[k] < 0) != (d.Samples[k + 1] < 0);
        const double hz = crossings / 2.0 / ((runs[2] - 80) / 8000.0);
        ASSERT_GT(runs[2], 200); // a dah at 100 CpM: 360 samples
        EXPECT_NEAR(hz, 800, 16);
    }
}

// Chapters by words: marked at the chapters' first samples in MP3 (ID3v2 CHAP) and Ogg (CHAPTER
// comments), in a cue sheet beside FLAC; --split writes a file per chapter; a speed step makes
// each chapter faster.
TEST_F(Export, ChaptersAreMarkedWhereTheTextPutsThem) {
    const std::string text = "one two three four five";
    const TChapterSplit two{TChapterRule::Words, 2};
    TExportRequest r = Request("c.mp3", text, two);
    ASSERT_EQ(r.Script.size(), 3u);
    // The chapters' starts: each chapter rendered alone follows the one before.
    std::vector<int> startsMs;
    std::size_t frames = 0;
    for (const TPracticeChapter& c : r.Script) {
        startsMs.push_back(static_cast<int>(std::lround(frames / 8.0)));
        frames += Alone(c.Pieces[0].Chars, r.Tone).size();
    }
    for (const char* name : {"c.mp3", "c.opus", "c.ogg"}) {
        SCOPED_TRACE(name);
        TExportRequest req = Request(name, text, two);
        const TExportResult result = Run(req);
        ASSERT_TRUE(result.Ok) << result.Error;
        EXPECT_EQ(result.Frames, static_cast<int64_t>(frames));
        const auto chapters = test::Probe(Path(name)).Chapters;
        ASSERT_EQ(chapters.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(chapters[i].Start * 1000, startsMs[i], 1);
            EXPECT_EQ(chapters[i].Title, "Chapter " + std::to_string(i + 1));
        }
    }
    ASSERT_TRUE(Run(Request("c.flac", text, two)).Ok);
    const std::string cue = test::ReadWhole(Temp.Path / "c.cue");
    EXPECT_NE(cue.find("FILE \"c.flac\""), std::string::npos) << cue;
    EXPECT_NE(cue.find("TRACK 03 AUDIO"), std::string::npos) << cue;

    TExportRequest split = Request("s.ogg", text, two);
    split.Split = true;
    const TExportResult many = Run(split);
    ASSERT_TRUE(many.Ok) << many.Error;
    EXPECT_EQ(many.Files,
              (std::vector<std::string>{Path("s-01.ogg"), Path("s-02.ogg"), Path("s-03.ogg")}));
    for (std::size_t i = 0; i < 3; ++i) {
        const TDecoded d = Decode(many.Files[i]);
        EXPECT_NEAR(static_cast<double>(d.Samples.size()),
                    static_cast<double>(Alone(split.Script[i].Pieces[0].Chars, split.Tone).size()),
                    8);
    }
    EXPECT_FALSE(fs::exists(Path("s.ogg")));

    const TPracticeScript ramp =
        ScriptFromText("a b c d", {TChapterRule::Words, 1}, false, TSpokenKind::Word, 100, 30, 150);
    ASSERT_EQ(ramp.size(), 4u);
    EXPECT_EQ(std::vector<int>({ramp[0].Pieces[0].Cpm, ramp[1].Pieces[0].Cpm, ramp[2].Pieces[0].Cpm,
                                ramp[3].Pieces[0].Cpm}),
              std::vector<int>({100, 130, 150, 150}));
}

// Spoken answers after each item: the item's Morse exactly as rendered alone, the gap asked for,
// speech, the gap, the next item. Before: the answer leads. With the repeat: the Morse again.
TEST_F(Export, SpokenAnswersSitBetweenTheItemsWithTheirGaps) {
    TExportRequest r = Request("a.wav", "");
    r.Script = ScriptFromText("km r", {}, true, TSpokenKind::Group, 100, 0, 300);
    ASSERT_EQ(r.Script[0].Pieces.size(), 2u);
    r.Speak.When = TSpeakWhen::After;
    r.Speak.Items = TSpokenKind::Group;
    r.Speak.GapMs = 300;
    r.Speak.RepeatMorse = true;
    const TExportResult result = Run(r);
    ASSERT_TRUE(result.Ok) << result.Error;
    const std::vector<int16_t> s = Decode(Path("a.wav")).Samples;
    const std::vector<int16_t> km = Alone("km ", r.Tone);
    constexpr std::size_t gap = 2400;
    // Morse, gap, speech, gap, Morse again, gap, then the next item.
    ASSERT_GT(s.size(), 2 * km.size() + 3 * gap);
    EXPECT_TRUE(std::equal(km.begin(), km.end(), s.begin()));
    EXPECT_TRUE(std::all_of(s.begin() + static_cast<long>(km.size()),
                            s.begin() + static_cast<long>(km.size() + gap),
                            [](int16_t v) { return v == 0; }));
    const auto speech = s.begin() + static_cast<long>(km.size() + gap);
    EXPECT_NE(*speech, 0); // the speech is trimmed: it starts at once
    // The speech's end: the last non-zero sample before the repeated Morse.
    std::size_t k = km.size() + gap;
    std::size_t lastVoice = k;
    for (; k < s.size(); ++k) {
        if (s[k] != 0) lastVoice = k;
        if (k - lastVoice > gap - 1) break;
    }
    const std::size_t repeatAt = lastVoice + 1 + gap;
    ASSERT_LT(repeatAt + km.size(), s.size());
    EXPECT_GT(lastVoice - (km.size() + gap), 1600u); // "K M" takes more than 0.2 s
    EXPECT_TRUE(std::equal(km.begin(), km.end(), s.begin() + static_cast<long>(repeatAt)));
    // The second item's answer ends the file with its gap.
    EXPECT_TRUE(
        std::all_of(s.end() - static_cast<long>(gap), s.end(), [](int16_t v) { return v == 0; }));

    r.Speak.When = TSpeakWhen::Before;
    r.Speak.RepeatMorse = false;
    r.Output = Path("b.wav");
    ASSERT_TRUE(Run(r).Ok);
    const std::vector<int16_t> b = Decode(Path("b.wav")).Samples;
    EXPECT_NE(b[0], 0); // the answer comes first
}

// Failures exit with the reason and leave nothing under the final name, nor a temporary file.
TEST_F(Export, FailuresAndCancelLeaveNoFile) {
    TExportRequest r = Request("x.mp3", "test");
    r.Output = Path("missing/x.mp3");
    TExportResult result = Run(r);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, "No such file or directory");

    r = Request("v.mp3", "test");
    r.Script = ScriptFromText("test", {}, true, TSpokenKind::Word, 100, 0, 300);
    r.Speak.When = TSpeakWhen::After;
    r.Speak.Voice = "xx-none";
    result = Run(r);
    EXPECT_FALSE(result.Ok);
    EXPECT_NE(result.Error.find("installed voices"), std::string::npos) << result.Error;

    r = Request("c.ogg", std::string(2000, 'e'), {TChapterRule::Words, 1});
    TExportProgress progress;
    progress.Cancel = true;
    result = RunExport(r, progress);
    EXPECT_TRUE(result.Cancelled);
    EXPECT_TRUE(fs::is_empty(Temp.Path));
}

// Other stations: each at 150..600 Hz from the wanted tone (turned round before the tones'
// highest), heard at its own tone, sending on-air material that can be read afterwards; seeded.
TEST(Interferers, StationsSitAtTheirOffsetsAndTellWhatTheySent) {
    auto render = [](int wantedHz, uint32_t seed, std::vector<TInterferers::TStation>& stations) {
        TInterferers qrm(3, seed, wantedHz, 100, -6);
        std::vector<int16_t> s(40 * 8000, 0);
        for (std::size_t k = 0; k < s.size(); k += 800)
            qrm.AddTo(s.data() + k, 800, 1);
        stations = qrm.Stations();
        return s;
    };
    for (const int wanted : {700, 1900}) {
        std::vector<TInterferers::TStation> stations, again;
        const std::vector<int16_t> s = render(wanted, 3, stations);
        ASSERT_EQ(stations.size(), 3u);
        for (const auto& st : stations) {
            EXPECT_GE(std::abs(st.ToneHz - wanted), TInterferers::MinOffsetHz) << st.ToneHz;
            EXPECT_LE(std::abs(st.ToneHz - wanted), TInterferers::MaxOffsetHz) << st.ToneHz;
            EXPECT_LE(st.ToneHz, 2000);
            EXPECT_GT(test::GoertzelPower(s, st.ToneHz), 100 * test::GoertzelPower(s, wanted))
                << st.ToneHz;
            EXPECT_NE(st.Sent.find(" DE "), std::string::npos) << st.Sent;
        }
        EXPECT_EQ(render(wanted, 3, again), s);
        EXPECT_NE(render(wanted, 4, again), s);
    }
}
