// brindle-render's work: parsing its command line, turning input text into engine characters,
// and rendering them through the engine's sound mode into a WAV file, exactly as Brindle plays.
#pragma once

#include "export/MorseRender.h"
#include "export/PracticeExport.h"
#include "export/PracticeScript.h"
#include "practice/OnAirMaterial.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace brindle {

// The tone's options and the program's own.
struct TRenderOptions : TToneOptions {
    bool Help = false;
    bool Quiet = false; // no progress bar
    std::string Output;
    std::optional<TAudioFormat> Format; // absent: by the output's extension
    std::optional<double> Quality;      // 0..1; absent: the format's default
    std::string Title;
    TChapterSplit Chapters;
    bool Split = false;
    int SpeedStepCpm = 0; // [CpM] per chapter
    TSpeakOptions Speak;
    // Generated on-air material instead of a text.
    enum class TMaterial { None, Callsigns, Qso, Contest };
    TMaterial Material = TMaterial::None;
    int Count = 0;                // items (callsigns, contacts, exchanges); 0: the default
    std::optional<uint32_t> Seed; // absent: from the clock
    std::string Countries;        // callsigns from these countries or prefixes only
    bool Portable = false;
    TExchange Exchange = TExchange::Serial;
    bool Cut = false;
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

// The on-air material the options ask for, as a text: callsigns ten to a line, a contact's overs
// one to a line with an empty line after each contact, an exchange to a line.
std::string GenerateMaterial(const TRenderOptions& options, uint32_t seed);

// The most of its input brindle-render reads (16 MiB), from a file, a device, a pipe or standard
// input: far more text than one WAV file holds even at the highest speed. A larger input is
// refused (exit code 1) rather than cut, so that a WAV file is never silently short; the rest of
// an endless input is left unread. [bytes]
inline constexpr std::size_t RenderInputMaxBytes = std::size_t{16} << 20;

// The whole program: returns the exit code (0 done, 1 input/output failure or interrupted, 2 bad
// usage). With a terminal on err, a progress bar with the time left is drawn there. interrupt,
// when given and set (Ctrl+C), stops the work and removes what was written.
int RunRender(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err, bool errIsTerminal = false,
              const std::atomic<bool>* interrupt = nullptr);

} // namespace brindle
