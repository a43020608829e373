// The sound sink of the engine: turns the element scheduler's sample-by-sample orders (silence,
// a rising or falling edge, steady tone, a blip sample) into 16-bit samples of a keyed sine tone,
// written into the buffer the sound output hands over. In stereo the left channel carries the
// second tone, unkeyed. It owns the two tone generators, the blip and the level.
#pragma once

#include "audio/BlipGen.h"
#include "audio/SineGen.h"
#include "base/MessageSink.h"

#include <cstdint>

namespace brindle {

class TToneRenderer {
public:
    explicit TToneRenderer(const TMessageSink& sink = {});

    TSineGen& Tone1() { return Tone1_; }
    TSineGen& Tone2() { return Tone2_; }
    TBlipGen& Blip() { return Blip_; }

    // The level: a peak amplitude for 0 dB and below, and the edge length it is spread over.
    void SetLevel(int logAmplitudeDb, int slopeLength);
    void SetSlopeLength(int slopeLength); // [samples]
    void SetMuted(bool on);
    double Amplitude() const { return Amplitude_; }
    double SlopeStep() const { return SlopeStep_; }
    bool Stereo() const { return Stereo_; }
    void SetStereo(bool on) { Stereo_ = on; }

    // Starts a buffer of byteCount bytes: fills the second tone's channel in stereo and returns
    // how many keyed samples the buffer takes (0: no buffer, or one already being rendered).
    int Begin(int16_t* buffer, int byteCount);
    // Ends the buffer: positions not written (a stop completed early) are silent.
    void End();
    bool Rendering() const { return Out_ != nullptr; }
    // Keyed samples written into the buffer so far (0 outside a buffer).
    int Written() const { return Written_; }

    // The tone of each element: with diffOn dits sound at ditHz, dahs at dahHz; else the tone
    // keeps the frequency it has.
    void SetElementTones(bool diffOn, int ditHz, int dahHz) {
        DiffOn_ = diffOn;
        DitHz_ = ditHz;
        DahHz_ = dahHz;
    }
    void StartElement(bool dit) {
        if (DiffOn_) Tone1_.SetFrequency(static_cast<uint32_t>(dit ? DitHz_ : DahHz_));
    }

    // One keyed sample each; every one advances the tone's phase. A silence after a cut fades
    // the tone that was sounding out over CutSamples instead of stopping it dead.
    void Silence() {
        if (CutLeft_ > 0) {
            const double v = Tone1_.Value() * CutLevel_ * CutLeft_-- / CutSamples;
            Tone1_.Advance();
            Emit(static_cast<int16_t>(v));
            return;
        }
        Level_ = 0.0;
        Tone1_.Advance();
        Emit(0);
    }
    void Rise(int k) { // k = 0 .. slopeLength - 1
        const double v = Tone1_.Value() * SlopeStep_;
        Tone1_.Advance();
        Level_ = (k + 1) * SlopeStep_;
        Emit(static_cast<int16_t>((k + 1) * v));
    }
    void Fall(int k, int slopeLength) { // k = 0 .. slopeLength - 1
        const double v = Tone1_.Value() * SlopeStep_;
        Tone1_.Advance();
        Level_ = (slopeLength - k - 1) * SlopeStep_;
        Emit(static_cast<int16_t>((slopeLength - k) * v));
    }
    void Steady() {
        Level_ = Amplitude_;
        Emit(static_cast<int16_t>(Tone1_.Value() * Amplitude_));
        Tone1_.Advance();
    }
    void BlipSample(int index) {
        Level_ = 0.0;
        Tone1_.Advance();
        Emit(Blip_.BlipSample(index));
    }
    // The tone is cut off (an abort): the silences that follow fade out what was sounding.
    static constexpr int CutSamples = 40; // 5 ms at 8000 samples/s
    void Cut() {
        if (Level_ <= 0.0) return;
        CutLevel_ = Level_;
        CutLeft_ = CutSamples;
        Level_ = 0.0;
    }
    // count silent samples that are not part of the keyed timeline: the tone's phase stands.
    void Hold(int count) {
        for (int i = 0; i < count; ++i)
            Emit(0);
    }

private:
    void Emit(int16_t v) {
        Out_[Pos_] = v;
        Pos_ += Stride_;
        ++Written_;
    }

    TSineGen Tone1_;
    TSineGen Tone2_;
    TBlipGen Blip_;
    int LogAmplitude_ = 0; // [dB]
    int SlopeLength_ = 0;  // [samples]
    double Amplitude_ = 32500.0;
    double SlopeStep_ = 0.0;
    bool Stereo_ = false;
    bool DiffOn_ = false;
    int DitHz_ = 800, DahHz_ = 800;

    double Level_ = 0.0;    // the envelope of the last sample
    double CutLevel_ = 0.0; // the envelope when the tone was cut
    int CutLeft_ = 0;       // samples of the fade after a cut still to come

    int16_t* Out_ = nullptr;
    int Pos_ = 0, Stride_ = 1, End_ = 0;
    int Written_ = 0;
};

} // namespace brindle
