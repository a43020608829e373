#include "engine/Timing.h"

#include "base/Ranges.h"

#include <algorithm>
#include <cmath>

namespace brindle {

namespace {

// Nearest integer, ties to even, of a value computed in extended precision.
int RoundExtended(long double v) {
    return static_cast<int>(std::lrint(v));
}

} // namespace

TCWTiming ComputeTiming(const TTimingInputs& in) {
    TCWTiming t;
    const bool spaced = in.Spacing != TSpacing::Plain && in.Speed < in.FWSpeed;
    const int v = spaced ? in.FWSpeed : std::max(in.Speed, 1);
    t.DotMs = 6000 / v;
    t.DotSamples = 48000 / v;
    if (spaced) {
        // Extended precision, ties to even: double gives other integers for a few speed pairs.
        const long double stretch =
            300000.0L / in.Speed -
            (in.Spacing == TSpacing::Farnsworth ? 186000.0L : 258000.0L) / in.FWSpeed;
        const long double units = in.Spacing == TSpacing::Farnsworth ? 19.0L : 7.0L;
        t.FwUnitMs = RoundExtended(stretch / units);
        t.FwUnitSamples = RoundExtended(stretch * 8.0L / units);
    }
    if (!spaced) {
        t.CharGapExtraMs = 2 * t.DotMs;
        t.CharGapExtraSamples = 2 * t.DotSamples;
        t.WordGapExtraMs = 4 * t.DotMs;
        t.WordGapExtraSamples = 4 * t.DotSamples;
    } else if (in.Spacing == TSpacing::Farnsworth) {
        t.CharGapExtraMs = 3 * t.FwUnitMs - t.DotMs;
        t.CharGapExtraSamples = 3 * t.FwUnitSamples - t.DotSamples;
        t.WordGapExtraMs = 4 * t.FwUnitMs;
        t.WordGapExtraSamples = 4 * t.FwUnitSamples;
    } else {
        t.CharGapExtraMs = 2 * t.DotMs;
        t.CharGapExtraSamples = 2 * t.DotSamples;
        t.WordGapExtraMs = 7 * t.FwUnitMs - 3 * t.DotMs;
        t.WordGapExtraSamples = 7 * t.FwUnitSamples - 3 * t.DotSamples;
    }
    if (t.DotMs == 0) t.DotMs = 1;
    t.FixedPauseMs = 4 * t.DotMs;
    t.FixedPauseSamples = 4 * t.DotSamples;

    t.GapMs = 2 * t.DotMs * 100 / (in.Weight + 100);
    t.DitDownMs = 2 * t.DotMs - t.GapMs;
    t.DahDownMs = t.DitDownMs + 2 * t.DotMs;
    t.PttLeadMs = (in.TimePttStart / t.DotMs + 1) * t.DotMs;
    t.HoldLimit = in.TimePttHold == 0 ? 1 : in.TimePttHold / t.DotMs + 1;

    t.GapSamples = 2 * t.DotSamples * 100 / (in.Weight + 100);
    t.DitDownSamples = 2 * t.DotSamples - t.GapSamples;
    t.DahSamples = t.DotSamples * in.Ratio / 100;
    t.PttLeadSamples = std::max(in.TimePttStart * 8, t.DotSamples);

    const int slope = std::min({in.Slope, t.DitDownSamples - 1, t.GapSamples});
    t.SlopeLength = std::max(slope, 0);
    if (t.SlopeLength > 0) {
        t.DitDownSamples -= t.SlopeLength + 1;
        t.GapSamples -= t.SlopeLength - 1;
    }
    return t;
}

int FitSlope(TTimingInputs in, int samples) {
    in.Slope = 0;
    const TCWTiming bare = ComputeTiming(in);
    samples = ranges::Slope.Clamp(samples);
    samples = std::min({samples, bare.DitDownSamples - 1, bare.GapSamples});
    return std::max(samples, 0);
}

} // namespace brindle
