// 16-bit PCM WAV files: building the bytes of a file from samples, and reading such a file back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct TWavData {
    int SampleRate = 8000; // [samples/s]
    int Channels = 1;
    std::vector<int16_t> Samples; // interleaved, left channel first
};

// The 44-byte header of a PCM WAV file holding dataBytes bytes of 16-bit samples.
std::string BuildWavHeader(int channels, int sampleRate, uint32_t dataBytes);

// The complete bytes of a canonical 44-byte-header PCM WAV file.
std::string BuildWav(const TWavData& wav);

// Parses a 16-bit PCM WAV file; false with a reason when it is not one.
bool ParseWav(std::string_view bytes, TWavData& wav, std::string& error);

} // namespace brindle
