#include "RenderJob.h"

#include "audio/WavFile.h"
#include "base/FileIO.h"
#include "base/Ranges.h"
#include "base/Speed.h"
#include "base/Text1252.h"
#include "engine/MorseEngine.h"
#include "settings/EngineSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <istream>

namespace brindle {

namespace {

bool ParseInt(const std::string& text, const TRange& range, int& value) {
    int v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || text.empty() || !range.Contains(v)) return false;
    value = v;
    return true;
}

std::string RangeText(const TRange& r) {
    return std::to_string(r.Min) + ".." + std::to_string(r.Max);
}

bool ParseReal(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

} // namespace

std::string RenderUsage() {
    const auto range = RangeText;
    const std::string speed = range(ranges::Speed);
    return "usage: brindle-render [options] -o OUT.wav [TEXT...]\n"
           "  Renders Morse code of TEXT (or of -i FILE, or of standard input) to a 16-bit\n"
           "  PCM WAV file at 8000 samples per second. Prosigns are written as <ar>, <sk>, ...\n"
           "options:\n"
           "  -o, --output FILE      the WAV file to write (required)\n"
           "  -i, --input FILE       read the text from FILE ('-' for standard input), at most\n"
           "                         " +
           std::to_string(RenderInputMaxBytes >> 20) +
           " MiB\n"
           "  --cpm N                speed in characters per minute, " +
           speed +
           " (60)\n"
           "  --wpm W                speed in words per minute (W x 5 CpM)\n"
           "  --spacing MODE         off, farnsworth or wordsworth (off)\n"
           "  --char-cpm N           character speed under spacing, " +
           speed +
           " (60)\n"
           "  --tone HZ              tone pitch, " +
           range(ranges::Frequency) +
           " (800)\n"
           "  --dit-tone HZ          give dits their own pitch, " +
           range(ranges::Frequency) +
           "\n"
           "  --slope N              key edge length in samples, " +
           range(ranges::Slope) +
           " (20)\n"
           "  --ratio P              dah length in percent of a dot, " +
           range(ranges::Ratio) +
           " (300)\n"
           "  --weight P             key-down share in percent, " +
           range(ranges::Weight) +
           " (100)\n"
           "  --level DB             tone level in dB, " +
           range(ranges::OutputLevel) +
           " (-10)\n"
           "  --noise DB             add noise at this level in dB, " +
           range(ranges::NoiseLevel) +
           " (off)\n"
           "  --noise-type TYPE      gaussian or uniform (gaussian)\n"
           "  --stereo               reference tone left, keyed tone right\n"
           "  -h, --help             show this help\n";
}

bool ParseRenderArgs(const std::vector<std::string>& args, TRenderOptions& o, std::string& error) {
    bool textOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (textOnly || a.empty() || a[0] != '-' || a == "-") {
            o.Text.push_back(a);
            continue;
        }
        if (a == "--") {
            textOnly = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            o.Help = true;
            continue;
        }
        if (a == "--stereo") {
            o.Stereo = true;
            continue;
        }
        std::string name = a;
        std::string value;
        bool haveValue = false;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            haveValue = true;
        }
        static const char* const kValued[] = {
            "-o",        "--output",   "-i",      "--input",      "--cpm",       "--wpm",
            "--spacing", "--char-cpm", "--tone",  "--dit-tone",   "--slope",     "--ratio",
            "--weight",  "--level",    "--noise", "--noise-type", "--noise-seed"};
        bool known = false;
        for (const char* k : kValued)
            known = known || name == k;
        if (!known) {
            error = "unknown option '" + a + "'";
            return false;
        }
        if (!haveValue) {
            if (i + 1 >= args.size()) {
                error = "option '" + name + "' needs a value";
                return false;
            }
            value = args[++i];
        }
        auto bad = [&](const std::string& range) {
            error = "bad value '" + value + "' for " + name + " (" + range + ")";
            return false;
        };
        int v = 0;
        if (name == "-o" || name == "--output") {
            if (value.empty()) return bad("a file name");
            o.Output = value;
        } else if (name == "-i" || name == "--input") {
            if (value.empty()) return bad("a file name or '-'");
            o.InputFile = value;
        } else if (name == "--cpm") {
            if (!ParseInt(value, ranges::Speed, o.Cpm)) return bad(RangeText(ranges::Speed));
        } else if (name == "--wpm") {
            double w = 0;
            const std::string wpm = std::to_string(ranges::Speed.Min / 5) + ".." +
                                    std::to_string(ranges::Speed.Max / 5);
            if (!ParseReal(value, w) || !(std::fabs(w) <= 1e6)) return bad(wpm);
            const int cpm = WpmToCpm(w);
            if (!ranges::Speed.Contains(cpm)) return bad(wpm);
            o.Cpm = cpm;
        } else if (name == "--spacing") {
            if (value == "off")
                o.Spacing = 0;
            else if (value == "farnsworth")
                o.Spacing = 1;
            else if (value == "wordsworth")
                o.Spacing = 2;
            else
                return bad("off, farnsworth or wordsworth");
        } else if (name == "--char-cpm") {
            if (!ParseInt(value, ranges::Speed, o.CharCpm)) return bad(RangeText(ranges::Speed));
        } else if (name == "--tone") {
            if (!ParseInt(value, ranges::Frequency, o.ToneHz))
                return bad(RangeText(ranges::Frequency));
        } else if (name == "--dit-tone") {
            if (!ParseInt(value, ranges::Frequency, v)) return bad(RangeText(ranges::Frequency));
            o.DitToneHz = v;
        } else if (name == "--slope") {
            if (!ParseInt(value, ranges::Slope, o.Slope)) return bad(RangeText(ranges::Slope));
        } else if (name == "--ratio") {
            if (!ParseInt(value, ranges::Ratio, o.Ratio)) return bad(RangeText(ranges::Ratio));
        } else if (name == "--weight") {
            if (!ParseInt(value, ranges::Weight, o.Weight)) return bad(RangeText(ranges::Weight));
        } else if (name == "--level") {
            if (!ParseInt(value, ranges::OutputLevel, o.LevelDb))
                return bad(RangeText(ranges::OutputLevel));
        } else if (name == "--noise") {
            if (!ParseInt(value, ranges::NoiseLevel, v)) return bad(RangeText(ranges::NoiseLevel));
            o.NoiseDb = v;
        } else if (name == "--noise-type") {
            if (value == "gaussian")
                o.NoiseType = TNoiseType::Gaussian;
            else if (value == "uniform")
                o.NoiseType = TNoiseType::Constant;
            else
                return bad("gaussian or uniform");
        } else if (name == "--noise-seed") {
            if (!ParseInt(value, TRange{1, 2147483647}, v)) return bad("1..2147483647");
            o.NoiseSeed = static_cast<uint32_t>(v);
        }
    }
    if (!o.Help && o.Output.empty()) {
        error = "no output file given (-o OUT.wav)";
        return false;
    }
    if (!o.Text.empty() && o.InputFile) {
        error = "give either TEXT or -i FILE, not both";
        return false;
    }
    return true;
}

TPreparedText PrepareRenderText(const std::string& text) {
    const TCharSet chars; // standard and extended characters
    // An unknown "<" group stays as text here, so that its characters are judged (and counted
    // when dropped) one by one.
    const std::string coded = ReplaceProsignNames(text, TUnknownProsign::KeepText);
    TPreparedText out;
    out.Chars.reserve(coded.size());
    for (std::size_t i = 0; i < coded.size(); ++i) {
        char c = coded[i];
        if (c == '\r' || c == '\n') {
            // CR LF, LF and CR each end a line: one carriage return (a word space).
            if (c == '\r' && i + 1 < coded.size() && coded[i + 1] == '\n') ++i;
            c = 13;
        } else if (c == '\t') {
            c = ' ';
        }
        if (chars.IsSendable(static_cast<uint8_t>(c)))
            out.Chars += c;
        else
            ++out.Dropped;
    }
    return out;
}

TRenderResult RenderChars(const std::string& chars, const TRenderOptions& o,
                          const std::function<bool(const int16_t*, std::size_t)>& sink) {
    TSettings settings;
    settings.Main.Speed = o.Cpm;
    settings.TX.AutoStart = true;
    settings.TX.Frequency = o.ToneHz;
    settings.TX.Slope = o.Slope;
    settings.TX.OutputLevel = o.LevelDb;
    settings.TX.Extended = 1;
    settings.Tutor.Farnsworth = o.Spacing;
    settings.Tutor.FarnsworthSpeed = o.CharCpm;
    TMorseEngine engine;
    engine.SetSoundMode(true);
    ApplyEngineSettings(settings, engine);
    // What the program's settings do not hold.
    engine.SetWeight(o.Weight);
    engine.SetRatio(o.Ratio);
    engine.SetFrequency2(o.ToneHz);
    if (o.DitToneHz) {
        engine.SetDiffFrequency(*o.DitToneHz);
        engine.SetDiffFreqOn(true);
    }
    engine.SetStereo(o.Stereo);

    TNoiseGen noise(o.NoiseSeed != 0 ? o.NoiseSeed : ClockSeed());
    if (o.NoiseDb) {
        noise.SetLeveldB(*o.NoiseDb);
        noise.SetNoiseType(o.NoiseType);
    }

    TRenderResult result;
    result.Channels = o.Stereo ? 2 : 1;
    if (chars.empty()) return result;

    std::size_t queued = 0;
    std::size_t sent = 0;
    long long endFrame = -1; // frame just after the last character's space
    std::size_t framesBefore = 0;
    engine.OnCharSent = [&](TMorseEngine& e, uint8_t) {
        if (++sent == chars.size() && endFrame < 0)
            endFrame = static_cast<long long>(framesBefore) + e.RenderedInCall();
    };
    engine.Start();

    // Buffers of 100 ms, as the program's sound output hands them over.
    constexpr std::size_t kFrames = 800;
    std::vector<int16_t> buffer(kFrames * static_cast<std::size_t>(result.Channels));
    const int bytes = static_cast<int>(buffer.size() * sizeof(int16_t));
    while (endFrame < 0) {
        while (queued < chars.size() && engine.PutChar(static_cast<uint8_t>(chars[queued])))
            ++queued;
        engine.RenderBuffer(buffer.data(), bytes);
        if (o.NoiseDb) noise.AddNoise(buffer.data(), bytes);
        std::size_t frames = kFrames;
        if (endFrame >= 0) frames = static_cast<std::size_t>(endFrame) - framesBefore;
        if (!sink(buffer.data(), frames * static_cast<std::size_t>(result.Channels))) return result;
        framesBefore += frames;
    }
    result.Frames = framesBefore;
    return result;
}

namespace {

// Reads in up to maxBytes into bytes; more is set when the stream goes on after them (one byte
// more is read to know it). False when the stream fails.
bool ReadAtMost(std::istream& in, std::size_t maxBytes, std::string& bytes, bool& more) {
    char chunk[65536];
    more = false;
    while (in) {
        const std::size_t want =
            bytes.size() < maxBytes ? std::min(sizeof chunk, maxBytes - bytes.size()) : 1;
        in.read(chunk, static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        if (bytes.size() == maxBytes) {
            more = true;
            break;
        }
        bytes.append(chunk, got);
    }
    return !in.bad();
}

} // namespace

int RunRender(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err) {
    TRenderOptions o;
    std::string error;
    if (!ParseRenderArgs(args, o, error)) {
        err << "brindle-render: " << error << "\n" << RenderUsage();
        return 2;
    }
    if (o.Help) {
        out << RenderUsage();
        return 0;
    }

    std::string bytes;
    bool tooLarge = false;
    const bool fromStdin = o.Text.empty() && (!o.InputFile || *o.InputFile == "-");
    if (!o.Text.empty()) {
        for (std::size_t i = 0; i < o.Text.size(); ++i)
            bytes += (i ? " " : "") + o.Text[i];
    } else if (fromStdin) {
        if (!ReadAtMost(in, RenderInputMaxBytes, bytes, tooLarge)) {
            err << "brindle-render: cannot read standard input\n";
            return 1;
        }
    } else if (!ReadFileBytes(*o.InputFile, bytes, error, RenderInputMaxBytes, &tooLarge)) {
        err << "brindle-render: cannot read " << *o.InputFile << ": " << error << "\n";
        return 1;
    }
    if (tooLarge) {
        const std::string most = std::to_string(RenderInputMaxBytes >> 20) + " MiB";
        err << "brindle-render: " << (fromStdin ? "standard input" : *o.InputFile)
            << " is larger than " << most << ": the input can have at most " << most << "\n";
        return 1;
    }

    std::size_t undecodable = 0;
    const TPreparedText text = PrepareRenderText(DecodeTextBytes(bytes, &undecodable));
    const std::size_t dropped = text.Dropped + undecodable;
    if (dropped > 0)
        err << "brindle-render: warning: " << dropped << " character" << (dropped == 1 ? "" : "s")
            << " cannot be sent in Morse and " << (dropped == 1 ? "was" : "were") << " left out\n";
    if (text.Chars.empty()) {
        err << "brindle-render: nothing to send: the input has no character that Morse code has\n";
        return 1;
    }

    TAtomicFileWriter file;
    const int channels = o.Stereo ? 2 : 1;
    std::size_t samples = 0;
    bool ok = file.Open(o.Output, error) && file.Write(BuildWavHeader(channels, 8000, 0), error);
    constexpr std::size_t kMaxSamples = (0xFFFFFFFFu - 36) / 2;
    bool tooLong = false;
    std::string block;
    if (ok) {
        RenderChars(text.Chars, o, [&](const int16_t* data, std::size_t count) {
            if (samples + count > kMaxSamples) {
                tooLong = true;
                return false;
            }
            block.resize(count * 2);
            for (std::size_t k = 0; k < count; ++k) {
                const auto v = static_cast<uint16_t>(data[k]);
                block[2 * k] = static_cast<char>(v & 0xFF);
                block[2 * k + 1] = static_cast<char>(v >> 8);
            }
            samples += count;
            ok = file.Write(block, error);
            return ok;
        });
    }
    if (tooLong) {
        err << "brindle-render: the text is too long for one WAV file (4 GiB)\n";
        return 1;
    }
    ok = ok &&
         file.WriteAt(BuildWavHeader(channels, 8000, static_cast<uint32_t>(samples * 2)), 0,
                      error) &&
         file.Commit(error);
    if (!ok) {
        err << "brindle-render: cannot write " << o.Output << ": " << error << "\n";
        return 1;
    }
    const double seconds =
        static_cast<double>(samples / static_cast<std::size_t>(channels)) / 8000.0;
    out << "Wrote " << o.Output << " (" << text.Chars.size() << " characters, " << seconds
        << " s)\n";
    return 0;
}

} // namespace brindle
