// The engine's parts on their own: the durations as a pure function, the tone renderer's
// samples, and the element scheduler walking a character with nobody but a recorder listening.
#include "engine/ElementScheduler.h"
#include "engine/MorseEngine.h"
#include "engine/Timing.h"
#include "engine/ToneRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace brindle;

TEST(TimingParts, NoDurationIsNegativeAndTheSlopeAlwaysFits) {
    for (int speed = 10; speed <= 300; speed += 7)
        for (int fw : {speed, speed + 40, 300})
            for (auto spacing : {TSpacing::Plain, TSpacing::Farnsworth, TSpacing::Wordsworth})
                for (int weight : {50, 100, 150})
                    for (int slope : {0, 20, 80, 500}) {
                        TTimingInputs in{speed, fw, spacing, weight, 300, slope, 100, 1000};
                        in.Slope = FitSlope(in, slope);
                        const TCWTiming t = ComputeTiming(in);
                        SCOPED_TRACE(std::to_string(speed) + "/" + std::to_string(fw) + " w" +
                                     std::to_string(weight) + " s" + std::to_string(slope));
                        EXPECT_LE(in.Slope, slope);
                        EXPECT_EQ(t.SlopeLength, in.Slope); // a fitted slope is never cut
                        for (int d : {t.DitDownSamples, t.GapSamples, t.DahSamples,
                                      t.CharGapExtraSamples, t.WordGapExtraSamples,
                                      t.CharGapExtraMs, t.WordGapExtraMs, t.DitDownMs, t.GapMs})
                            EXPECT_GE(d, 0);
                        // Rising edge, steady part, falling edge and gap fill two dots exactly.
                        EXPECT_EQ(2 * t.SlopeLength + t.DitDownSamples + t.GapSamples,
                                  2 * t.DotSamples);
                    }
}

TEST(ToneRendererPart, StereoEdgesAndTheUnwrittenRest) {
    TToneRenderer r;
    r.SetStereo(true);
    r.SetLevel(0, 4);
    int16_t buffer[24];
    ASSERT_EQ(r.Begin(buffer, sizeof buffer), 12);
    EXPECT_EQ(r.Begin(buffer, sizeof buffer), 0) << "a nested buffer is refused";
    for (int k = 0; k < 4; ++k)
        r.Rise(k);
    r.Steady();
    for (int k = 0; k < 4; ++k)
        r.Fall(k, 4);
    EXPECT_EQ(r.Written(), 9);
    r.End();
    EXPECT_FALSE(r.Rendering());
    // At 800 Hz of 8000 samples/s the tone repeats every 10 samples: the edge's envelope rises by
    // a fifth of the amplitude per sample and falls back the same way.
    const double step = 32500.0 / 5;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_LE(std::abs(buffer[2 * k + 1]), (k + 1) * step + 1);
        EXPECT_LE(std::abs(buffer[2 * (5 + k) + 1]), (4 - k) * step + 1);
    }
    EXPECT_NE(buffer[2 * 4 + 1], 0) << "the steady sample at phase 4 of 10";
    for (int i = 9; i < 12; ++i)
        EXPECT_EQ(buffer[2 * i + 1], 0) << "keyed channel " << i;
    EXPECT_NE(buffer[2], 0) << "the second tone runs unkeyed on the left";
}

// An abort in the middle of a dah fades the tone out over the renderer's cut, never a step to
// silence (a click), and leaves silence after it.
TEST(ToneRendererPart, AnAbortFadesTheToneOutInsteadOfCuttingIt) {
    TMorseEngine cw;
    cw.SetSoundMode(true);
    cw.PutChar('t');
    cw.Start();
    std::vector<int16_t> before(2000), after(200); // the dah sounds from sample 1600 on
    cw.RenderBuffer(before.data(), static_cast<int>(before.size() * 2));
    ASSERT_GT(*std::max_element(before.end() - 10, before.end()), 0.9 * cw.Amplitude());
    cw.Abort();
    cw.RenderBuffer(after.data(), static_cast<int>(after.size() * 2));
    const int fade = TToneRenderer::CutSamples;
    for (int k = 0; k < fade; ++k)
        EXPECT_LE(std::abs(after[k]), cw.Amplitude() * (fade - k) / fade + 1) << k;
    EXPECT_GT(*std::max_element(after.begin(), after.begin() + 10), 0.7 * cw.Amplitude())
        << "the tone goes on fading";
    EXPECT_TRUE(std::all_of(after.begin() + fade, after.end(), [](int16_t v) { return v == 0; }));
}

namespace {

struct TRecorder : ISchedulerEvents {
    std::vector<std::string> Log;
    void CharStart(uint8_t ch) override { Log.push_back(std::string("start ") + char(ch)); }
    void CharSent(uint8_t ch) override { Log.push_back(std::string("sent ") + char(ch)); }
    void LastChar() override { Log.push_back("last"); }
    void PttChanged(bool on) override { Log.push_back(on ? "ptt on" : "ptt off"); }
    void SignalChanged(bool on, int ms) override {
        Log.push_back((on ? "key " : "up ") + std::to_string(ms));
    }
    void Stopped(bool timed) override { Log.push_back(timed ? "stopped timed" : "stopped"); }
};

} // namespace

TEST(ElementSchedulerPart, WalksAnAWithTheTimesOfTheTiming) {
    const TCWTiming t = ComputeTiming({});
    TTypeAhead buffer;
    TRecorder events;
    TElementScheduler timed(buffer, events);
    timed.Begin(false);
    timed.SetRunning(true);
    buffer.Put('a');
    std::vector<int> waits;
    for (int i = 0; i < 6; ++i)
        waits.push_back(timed.TimedStep(t));
    EXPECT_EQ(waits, (std::vector<int>{t.PttLeadMs, t.DitDownMs, t.GapMs, t.DahDownMs, t.GapMs,
                                       t.CharGapExtraMs}));
    EXPECT_EQ(events.Log, (std::vector<std::string>{"ptt on", "key 100", "start a", "up 100",
                                                    "key 300", "up 100", "sent a", "last"}));
    timed.RequestStop();
    EXPECT_EQ(timed.TimedStep(t), -1);
    EXPECT_EQ(events.Log.back(), "stopped timed");

    // The sample machine sends the same character in the samples the timing gives.
    events.Log.clear();
    TToneRenderer out;
    TElementScheduler samples(buffer, events);
    samples.Begin(true);
    samples.SetRunning(true);
    buffer.Put('a');
    std::vector<int16_t> pcm(16000);
    ASSERT_GT(out.Begin(pcm.data(), 2 * static_cast<int>(pcm.size())), 0);
    int written = 0;
    while ((events.Log.empty() || events.Log.back() != "last") && written < 16000)
        written += samples.SampleStep(t, out, written == 0);
    out.End();
    // One idle sample and the rest of a dot with the PTT on, then the PTT lead and the "a".
    EXPECT_EQ(written, t.DotSamples + t.PttLeadSamples + 4 * t.SlopeLength + t.DitDownSamples +
                           t.DahSamples + 2 * t.GapSamples + t.CharGapExtraSamples);
    EXPECT_EQ(events.Log, (std::vector<std::string>{"ptt on", "start a", "sent a", "last"}));
}
