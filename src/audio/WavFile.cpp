#include "audio/WavFile.h"

#include <cstring>

namespace brindle {

namespace {

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}
uint32_t Get32(std::string_view b, std::size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(b[at + k]);
    return v;
}
uint16_t Get16(std::string_view b, std::size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 (static_cast<unsigned char>(b[at + 1]) << 8));
}

} // namespace

std::string BuildWavHeader(int channels, int sampleRate, uint32_t dataBytes) {
    const auto ch = static_cast<uint16_t>(channels);
    const auto rate = static_cast<uint32_t>(sampleRate);
    std::string out;
    out.reserve(44);
    out += "RIFF";
    Put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1); // PCM
    Put16(out, ch);
    Put32(out, rate);
    Put32(out, rate * ch * 2);
    Put16(out, static_cast<uint16_t>(ch * 2));
    Put16(out, 16);
    out += "data";
    Put32(out, dataBytes);
    return out;
}

std::string BuildWav(const TWavData& wav) {
    const auto dataBytes = static_cast<uint32_t>(wav.Samples.size() * 2);
    std::string out = BuildWavHeader(wav.Channels, wav.SampleRate, dataBytes);
    out.reserve(44 + dataBytes);
    for (const int16_t s : wav.Samples)
        Put16(out, static_cast<uint16_t>(s));
    return out;
}

bool ParseWav(std::string_view b, TWavData& wav, std::string& error) {
    if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") {
        error = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string_view id = b.substr(at, 4);
        const uint32_t size = Get32(b, at + 4);
        const std::size_t body = at + 8;
        if (size > b.size() - body) {
            error = "chunk runs past the end of the file";
            return false;
        }
        if (id == "fmt ") {
            if (size < 16 || Get16(b, body) != 1 || Get16(b, body + 14) != 16) {
                error = "not 16-bit PCM";
                return false;
            }
            wav.Channels = Get16(b, body + 2);
            wav.SampleRate = static_cast<int>(Get32(b, body + 4));
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                error = "data before format";
                return false;
            }
            wav.Samples.resize(size / 2);
            for (std::size_t i = 0; i < wav.Samples.size(); ++i)
                wav.Samples[i] = static_cast<int16_t>(Get16(b, body + 2 * i));
            return true;
        }
        at = body + size + (size & 1);
    }
    error = "no data chunk";
    return false;
}

} // namespace brindle
