// brindle-render's work: parsing its command line, turning input text into engine characters,
// and rendering them through the engine's sound mode into a WAV file, exactly as Brindle plays.
#pragma once

#include "audio/NoiseGen.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace brindle {

struct TRenderOptions {
    int Cpm = 60;     // [CpM]
    int Spacing = 0;  // 0 off, 1 Farnsworth, 2 Wordsworth
    int CharCpm = 60; // [CpM] character speed under spacing
    int ToneHz = 800;
    std::optional<int> DitToneHz;
    int Slope = 20;   // [samples]
    int Ratio = 300;  // [% of a dot]
    int Weight = 100; // [%]
    int LevelDb = -10;
    std::optional<int> NoiseDb;
    TNoiseType NoiseType = TNoiseType::Gaussian;
    uint32_t NoiseSeed = 0; // 0: from the clock
    bool Stereo = false;
    bool Help = false;
    std::string Output;
    std::optional<std::string> InputFile; // "-" or absent: standard input
    std::vector<std::string> Text;        // words from the command line
};

// Parses argv; on a bad option or value returns false with a one-line reason.
bool ParseRenderArgs(const std::vector<std::string>& args, TRenderOptions& options,
                     std::string& error);
std::string RenderUsage();

// Text in the program's encoding (Windows-1252) to engine characters: prosign names become
// their codes, line ends become carriage returns, tabs spaces; characters the engine cannot send
// are dropped and counted.
struct TPreparedText {
    std::string Chars;
    std::size_t Dropped = 0;
};
TPreparedText PrepareRenderText(const std::string& text1252);

// Renders chars with the options into interleaved 16-bit samples, from Start until the last
// character (with its own space) has been sent. Calls sink for each finished block of samples.
struct TRenderResult {
    std::size_t Frames = 0;
    int Channels = 1;
};
TRenderResult RenderChars(const std::string& chars, const TRenderOptions& options,
                          const std::function<bool(const int16_t*, std::size_t count)>& sink);

// The most of its input brindle-render reads (16 MiB), from a file, a device, a pipe or standard
// input: far more text than one WAV file holds even at the highest speed. A larger input is
// refused (exit code 1) rather than cut, so that a WAV file is never silently short; the rest of
// an endless input is left unread. [bytes]
inline constexpr std::size_t RenderInputMaxBytes = std::size_t{16} << 20;

// The whole program: returns the exit code (0 done, 1 input/output failure, 2 bad usage).
int RunRender(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err);

} // namespace brindle
