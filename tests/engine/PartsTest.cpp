// The engine's parts on their own: the durations as a pure function and the tone renderer's fade.
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
