#include "engine/ToneRenderer.h"

#include <cmath>

namespace brindle {

TToneRenderer::TToneRenderer(const TMessageSink& sink) : Tone1_(sink), Tone2_(sink), Blip_(sink) {
    Tone1_.SetFrequency(800);
    Tone2_.SetFrequency(800);
    Blip_.SetLeveldB(-10);
    Blip_.BuildBlip();
}

void TToneRenderer::SetLevel(int logAmplitudeDb, int slopeLength) {
    LogAmplitude_ = logAmplitudeDb;
    Amplitude_ = 32500.0 * std::pow(10.0, LogAmplitude_ / 20.0);
    Blip_.SetLeveldB(LogAmplitude_);
    SetSlopeLength(slopeLength);
}

void TToneRenderer::SetSlopeLength(int slopeLength) {
    SlopeLength_ = slopeLength;
    SlopeStep_ = Amplitude_ / (SlopeLength_ + 1);
}

void TToneRenderer::SetMuted(bool on) {
    if (on) {
        Amplitude_ = 0.0;
        SlopeStep_ = 0.0;
    } else {
        SetLevel(LogAmplitude_, SlopeLength_);
    }
}

int TToneRenderer::Begin(int16_t* buffer, int byteCount) {
    if (buffer == nullptr || byteCount < 2 || Out_ != nullptr) return 0;
    int n = byteCount / 2;
    Stride_ = 1;
    Pos_ = 0;
    if (Stereo_) {
        n /= 2;
        Stride_ = 2;
        for (int i = 0; i < n; ++i) {
            buffer[2 * i] = static_cast<int16_t>(Tone2_.Value() * Amplitude_);
            Tone2_.Advance();
        }
        Pos_ = 1;
    }
    End_ = Pos_ + n * Stride_;
    Out_ = buffer;
    Written_ = 0;
    return n;
}

void TToneRenderer::End() {
    for (int p = Pos_; p < End_; p += Stride_)
        Out_[p] = 0;
    Out_ = nullptr;
    Written_ = 0;
}

} // namespace brindle
