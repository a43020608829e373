// The durations of Morse elements and spaces: pure functions of the speed, the spacing and the
// keying settings, in milliseconds for the line keyer and in samples (8 per ms) for the tone
// renderer. Nothing here keeps state.
#pragma once

#include "engine/Spacing.h"

namespace brindle {

// What the durations depend on, as the engine's properties hold them.
struct TTimingInputs {
    int Speed = 60;   // [CpM]
    int FWSpeed = 60; // [CpM] character speed under Farnsworth/Wordsworth
    TSpacing Spacing = TSpacing::Plain;
    int Weight = 100;                           // [%]
    int Ratio = 300;                            // [% of a dot] dah length
    int Slope = 0;                              // [samples] edge length asked for
    int TimePttStart = 100, TimePttHold = 1000; // [ms]
};

struct TCWTiming {
    int DotMs = 0, DotSamples = 0;
    int FwUnitMs = 0, FwUnitSamples = 0;   // spacing unit, only under Farnsworth/Wordsworth
    int GapMs = 0, GapSamples = 0;         // key-up after every element
    int DitDownMs = 0, DitDownSamples = 0; // samples: steady part, after the slope
    int DahDownMs = 0, DahSamples = 0;     // samples: steady part, never shortened
    int CharGapExtraMs = 0, CharGapExtraSamples = 0;
    int WordGapExtraMs = 0, WordGapExtraSamples = 0;
    int FixedPauseMs = 0, FixedPauseSamples = 0; // codes 254 and 255
    int PttLeadMs = 0, PttLeadSamples = 0;
    int HoldLimit = 0;   // [dot periods]
    int SlopeLength = 0; // [samples], the edge length actually applied
};

// The durations for these inputs. A slope that no longer fits (set at a lower speed) is applied
// only as far as keeps every duration non-negative.
TCWTiming ComputeTiming(const TTimingInputs& in);

// The slope a setter stores when asked for samples: within its range and short enough for the
// unshortened dit and gap at these inputs' speed and weight.
int FitSlope(TTimingInputs in, int samples);

} // namespace brindle
