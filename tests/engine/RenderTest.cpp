// Sound mode: the per-sample machine, checked to the sample.
#include "audio/SineTable.h"
#include "engine/MorseEngine.h"
#include "support/KeyRuns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using brindle::TEnginePhase;
using brindle::TMorseEngine;
using brindle::TSpacing;
using brindle::test::KeyRuns;
using brindle::test::TEventLog;
using brindle::test::TRun;
using Runs = std::vector<TRun>;
using Lines = std::vector<std::string>;

namespace {

class Render : public ::testing::Test {
protected:
    void SetUp() override {
        Engine.SetSoundMode(true);
        brindle::test::OffsetTonePhase(Engine);
        Log.Attach(Engine, [this] {
            return static_cast<long long>(Mono.size()) + Engine.RenderedInCall();
        });
    }
    void Queue(const std::string& text) {
        for (const char c : text)
            ASSERT_TRUE(Engine.PutChar(static_cast<uint8_t>(c)));
    }
    // Queues text, starts and renders frames samples.
    void Begin(const std::string& text, int frames, int bufferFrames = 800) {
        Queue(text);
        Engine.Start();
        RenderMono(frames, bufferFrames);
    }
    // Renders frames samples in buffers of bufferFrames, as the sound output would.
    void RenderMono(int frames, int bufferFrames = 800) {
        std::vector<int16_t> buf(static_cast<std::size_t>(bufferFrames));
        while (frames > 0) {
            const int n = std::min(frames, bufferFrames);
            Engine.RenderBuffer(buf.data(), n * 2);
            Mono.insert(Mono.end(), buf.begin(), buf.begin() + n);
            frames -= n;
        }
    }
    // Renders until the last character has been sent; returns the runs up to that point.
    Runs RenderText(const std::string& text) {
        Queue(text);
        Engine.Start();
        long long end = -1;
        auto previous = Engine.OnLastChar;
        Engine.OnLastChar = [&](TMorseEngine& e) {
            previous(e);
            end = static_cast<long long>(Mono.size()) + e.RenderedInCall();
        };
        while (end < 0 && Mono.size() < 2'000'000)
            RenderMono(800);
        Engine.OnLastChar = previous;
        return KeyRuns({Mono.begin(), Mono.begin() + end});
    }

    TMorseEngine Engine;
    TEventLog Log;
    std::vector<int16_t> Mono;
};

} // namespace

TEST_F(Render, LetterEAtTheDefaults) {
    const Runs runs = RenderText("e");
    // lead-in: the rest of the idle dot (a whole one here) + 800 samples of PTT lead
    // dit: 20 + 779 + 20 samples of tone, gap 781, character space 1600
    const Runs expected = {{false, 1600}, {true, 819}, {false, 781 + 1600}};
    EXPECT_EQ(runs, expected);
    const Lines events = {"0 start", "1 ptt on", "1600 start e", "4800 sent e", "4800 last"};
    EXPECT_EQ(Log.Lines, events);
}

TEST_F(Render, ElementsCharacterAndWordSpaces) {
    const Runs runs = RenderText("at e");
    const Runs expected = {{false, 1600}, {true, 819},
                           {false, 781},                              // a: dit
                           {true, 2440},  {false, 781 + 1600},        //    dah, char space
                           {true, 2440},  {false, 781 + 1600 + 3200}, // t, word space
                           {true, 819},   {false, 781 + 1600}};       // e
    EXPECT_EQ(runs, expected);
}

// Farnsworth (1) and Wordsworth (2) spacing stretch the character and word spaces; a fixed
// pause (255) is 4 dots whatever the spacing.
TEST_F(Render, FarnsworthAndWordsworthSpacingAndTheFixedPause) {
    for (const int mode : {1, 2}) {
        TMorseEngine e;
        e.SetSoundMode(true);
        brindle::test::OffsetTonePhase(e);
        e.SetFWSpeed(100);
        e.SetSpeed(50);
        e.SetSpacing(static_cast<TSpacing>(mode));
        for (const char c : std::string("e\xFF"
                                        "e e"))
            e.PutChar(static_cast<uint8_t>(c));
        e.Start();
        std::vector<int16_t> s(60000);
        e.RenderBuffer(s.data(), static_cast<int>(s.size() * 2));
        const Runs runs = KeyRuns(s);
        ASSERT_GE(runs.size(), 6u);
        // dot 480: dit 20 + 459 + 20, gap 461, fixed pause 1920
        const int charSpace = mode == 1 ? 4749 : 960;
        const int wordSpace = mode == 1 ? 6972 : 25923;
        const Runs expected = {{false, 1280},
                               {true, 499},
                               {false, 461 + charSpace + 1920},
                               {true, 499},
                               {false, 461 + charSpace + wordSpace},
                               {true, 499}};
        EXPECT_EQ(Runs(runs.begin(), runs.begin() + 6), expected) << "mode " << mode;
    }
}

TEST_F(Render, EdgeSamplesAreExact) {
    Engine.SetSlope(3);
    Engine.SetLogAmplitude(0);
    Begin("e", 1600 + 10);
    const brindle::TSinusTab tab(8000);
    const double amp = 32500.0;
    // Tone phase at sample k: 400 (the offset) + 800 k.
    auto sine = [&](int k) { return tab.Value(static_cast<uint32_t>((400 + 800LL * k) % 8000)); };
    for (int i = 0; i < 3; ++i) {
        const int k = 1600 + i;
        EXPECT_EQ(Mono[static_cast<std::size_t>(k)],
                  static_cast<int16_t>((i + 1) * (sine(k) * (amp / 4))))
            << "rising " << i;
    }
    EXPECT_EQ(Mono[1603], static_cast<int16_t>(sine(1603) * amp));
    const int steady = Engine.Timing().DitDownSamples; // 800 - 4
    EXPECT_EQ(steady, 796);
    RenderMono(1000);
    for (int i = 0; i < 3; ++i) {
        const int k = 1603 + steady + i;
        EXPECT_EQ(Mono[static_cast<std::size_t>(k)],
                  static_cast<int16_t>((3 - i) * (sine(k) * (amp / 4))))
            << "falling " << i;
    }
    EXPECT_EQ(Mono[static_cast<std::size_t>(1603 + steady + 3)], 0);
    EXPECT_EQ(Mono[static_cast<std::size_t>(1603 + steady - 1)],
              static_cast<int16_t>(sine(1603 + steady - 1) * amp));
}

TEST_F(Render, SlopeZeroGivesFullToneAtOnce) {
    Engine.SetSlope(0);
    const Runs runs = RenderText("e");
    const Runs expected = {{false, 1600}, {true, 800}, {false, 800 + 1600}};
    EXPECT_EQ(runs, expected);
}

TEST_F(Render, StoredSlopeTooLongForTheSpeedStillRendersTwoDots) {
    Engine.SetSpeed(10);
    Engine.SetSlope(500);
    Engine.SetSpeed(300);
    EXPECT_EQ(Engine.Slope(), 500); // the stored value is kept
    EXPECT_EQ(Engine.Timing().SlopeLength, 159);
    const Runs runs = RenderText("ee");
    // dot 160: edges 159 each, no steady part, gap 2, char space 320
    const Runs expected = {
        {false, 160 + 800}, {true, 318}, {false, 2 + 320}, {true, 318}, {false, 2 + 320}};
    EXPECT_EQ(runs, expected);
    Engine.SetSpeed(10);
    EXPECT_EQ(Engine.Timing().SlopeLength, 500); // applies in full again
}

TEST_F(Render, StereoLayout) {
    Engine.SetStereo(true);
    Engine.SetFrequency2(600);
    Engine.SetLogAmplitude(0);
    Queue("e");
    Engine.Start();
    std::vector<int16_t> s(2 * 4000);
    Engine.RenderBuffer(s.data(), static_cast<int>(s.size() * 2));
    const brindle::TSinusTab tab(8000);
    for (int k = 0; k < 4000; ++k)
        ASSERT_EQ(s[static_cast<std::size_t>(2 * k)],
                  static_cast<int16_t>(tab.Value(static_cast<uint32_t>(600LL * k % 8000)) * 32500))
            << k;
    std::vector<int16_t> right;
    for (int k = 0; k < 4000; ++k)
        right.push_back(s[static_cast<std::size_t>(2 * k + 1)]);
    const Runs expected = {{false, 1600}, {true, 819}, {false, 4000 - 1600 - 819}};
    EXPECT_EQ(KeyRuns(right), expected);
}

TEST_F(Render, OddAndTinyBuffers) {
    Queue("e");
    Engine.Start();
    std::vector<int16_t> s(8, 1234);
    Engine.RenderBuffer(s.data(), 0);
    Engine.RenderBuffer(s.data(), 1);
    Engine.RenderBuffer(nullptr, 1600);
    EXPECT_EQ(s, std::vector<int16_t>(8, 1234));
    EXPECT_EQ(Engine.Phase(), TEnginePhase::Idle);
    EXPECT_EQ(Log.Lines, Lines{"0 start"});
    Engine.RenderBuffer(s.data(), 5); // two samples; the odd byte is ignored
    EXPECT_EQ(std::vector<int16_t>(s.begin(), s.begin() + 3), (std::vector<int16_t>{0, 0, 1234}));
    Engine.SetStereo(true);
    Engine.RenderBuffer(s.data() + 2, 10); // five values: two frames, the last not written
    EXPECT_EQ(std::vector<int16_t>(s.begin() + 6, s.end()), (std::vector<int16_t>{1234, 1234}));
}

TEST_F(Render, DitPitchOption) {
    Engine.SetDiffFrequency(600);
    Engine.SetDiffFreqOn(true);
    std::vector<uint32_t> pitchAtCharEnd;
    auto previous = Engine.OnCharSent;
    Engine.OnCharSent = [&](TMorseEngine& e, uint8_t c) {
        previous(e, c);
        pitchAtCharEnd.push_back(e.Tone1().Frequency());
    };
    RenderText("te");
    EXPECT_EQ(pitchAtCharEnd, (std::vector<uint32_t>{800, 600}));
    Engine.SetDiffFreqOn(false);
    RenderText("t");
    EXPECT_EQ(Engine.Tone1().Frequency(), 600u); // stays at the last element's pitch
    Engine.SetFrequency(700);
    EXPECT_EQ(Engine.Tone1().Frequency(), 700u);
}

TEST_F(Render, BlipMark) {
    Engine.SetBlipOn(true);
    Begin("^", 8000);
    const Lines events = {"0 start", "1 ptt on", "1600 start ^", "6400 sent ^"};
    EXPECT_EQ(Log.Lines, events); // a blip is followed by no last-character event
    // 2000 samples of silence, the 800 of the blip, 2000 of silence.
    for (int i = 1600; i < 6400; ++i)
        ASSERT_EQ(Mono[static_cast<std::size_t>(i)],
                  i >= 3600 && i < 4400 ? Engine.Blip().BlipSample(i - 3600) : 0)
            << i;
}

TEST_F(Render, BlipAfterACharacterIsNotReportedAsStart) {
    Engine.SetBlipOn(true);
    Begin("e^", 20000);
    // the blip follows the character space directly and is not reported as a start
    const Lines events = {"0 start", "1 ptt on", "1600 start e", "4800 sent e", "9600 sent ^"};
    ASSERT_GE(Log.Lines.size(), 5u);
    EXPECT_EQ(Lines(Log.Lines.begin(), Log.Lines.begin() + 5), events);
}

TEST_F(Render, MuteDuringADahKeepsTheTiming) {
    Begin("t", 1600 + 1000);
    Engine.Mute(true);
    RenderMono(8000);
    const Runs runs = KeyRuns(Mono);
    const Runs expected = {{false, 1600}, {true, 1000}, {false, 8000}};
    EXPECT_EQ(runs, expected);
    EXPECT_EQ(Log.Lines[3], "6421 sent t"); // 1600 + dah 2440 + gap 781 + 1600: unchanged
    Engine.Mute(false);
    EXPECT_NEAR(Engine.Amplitude(), 32500.0, 1e-9);
    Engine.SetLogAmplitude(-6);
    EXPECT_NEAR(Engine.Amplitude(), 16288.6, 0.1);
}

TEST_F(Render, PttHoldIsCheckedAtTheStartOfABuffer) {
    RenderText("e"); // last character at 4800, a buffer boundary
    RenderMono(20000);
    // 11 dot periods of 800 samples after 4800, examined at the next buffer start
    EXPECT_EQ(Log.Lines.back(), "13601 ptt off");
}

TEST_F(Render, PttLeadSamples) {
    Engine.SetTimePttStart(300);
    const Runs runs = RenderText("e");
    EXPECT_EQ(runs.front(), (TRun{false, 800 + 2400}));
}

TEST_F(Render, StopAfterCharStopsAtTheNextCharacterBoundary) {
    Begin("ee", 2000);
    Engine.StopAfterChar();
    RenderMono(10000);
    const Lines events = {"0 start",     "1 ptt on",     "1600 start e",
                          "4800 sent e", "4800 ptt off", "4800 stop"};
    EXPECT_EQ(Log.Lines, events);
    EXPECT_FALSE(Engine.Running());
    EXPECT_TRUE(Engine.HasChars());
}

TEST_F(Render, AbortEmptiesAndGoesIdle) {
    Begin("eeee", 2000);
    Engine.Abort();
    EXPECT_FALSE(Engine.HasChars());
    EXPECT_TRUE(Engine.IsIdle());
    RenderMono(800);
    const Lines tail(Log.Lines.end() - 5, Log.Lines.end());
    const Lines expected = {"2000 up 0", "2000 sent e", "2000 last", "2000 ptt off",
                            "2000 stop"}; // the stop completes at the next state-0 step
    EXPECT_EQ(tail, expected);
}

// A speed change in the middle of a dah that already lasted longer than a dah at the new speed:
// the element ends at once instead of running on, and what follows has the new durations.
TEST_F(Render, SpeedChangeInTheMiddleOfAnElement) {
    Begin("tt", 1600 + 20 + 1500, 1); // lead-in, rising edge, 1500 of the 2400 steady samples
    Engine.SetSpeed(120);
    const auto& t = Engine.Timing();
    ASSERT_EQ(t.DahSamples, 1200);
    RenderMono(8000);
    const Runs runs = KeyRuns(Mono);
    ASSERT_GE(runs.size(), 4u);
    EXPECT_EQ(runs[1], (TRun{true, 20 + 1501 + 20}));
    EXPECT_EQ(runs[2], (TRun{false, t.GapSamples + t.CharGapExtraSamples}));
    EXPECT_EQ(runs[3], (TRun{true, 20 + 1200 + 20}));
}

// An event handler that runs the event loop can start a nested render (a sound buffer handed
// back while a message box is open): it must leave the outer render intact.
TEST_F(Render, NestedRenderBufferDoesNothing) {
    std::vector<int16_t> inner(400, 1234);
    int nested = 0;
    Engine.OnCharStart = [&](TMorseEngine& e, uint8_t) {
        ++nested;
        e.RenderBuffer(inner.data(), static_cast<int>(inner.size() * 2));
    };
    const Runs runs = RenderText("e");
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(inner, std::vector<int16_t>(400, 1234));
    const Runs expected = {{false, 1600}, {true, 819}, {false, 781 + 1600}};
    EXPECT_EQ(runs, expected);
}
