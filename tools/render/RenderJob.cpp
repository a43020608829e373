#include "RenderJob.h"

#include "base/FileIO.h"
#include "base/Ranges.h"
#include "base/Speed.h"
#include "base/Text1252.h"
#include "engine/MorseTables.h"
#include "export/MorseRender.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <istream>
#include <mutex>
#include <thread>

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
    return "usage: brindle-render [options] -o OUT.EXT [TEXT...]\n"
           "  Renders Morse code of TEXT (or of -i FILE, or of standard input) to an audio file\n"
           "  at 8000 samples per second: WAV (16-bit), MP3, Ogg Opus, Ogg Vorbis or FLAC, by\n"
           "  the extension .wav, .mp3, .opus, .ogg or .flac. Every format keeps the 8000 Hz\n"
           "  rate (MP3 as MPEG 2.5; Opus and Vorbis take it as it is): nothing is resampled.\n"
           "  Prosigns are written as <ar>, <sk>, ...\n"
           "options:\n"
           "  -o, --output FILE      the file to write (required)\n"
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
           "file, chapters and spoken answers:\n"
           "  --format NAME          wav, mp3, opus, ogg (Vorbis) or flac, whatever the extension\n"
           "  --quality Q            the encoder's quality from 0 (smallest) to 1 (best); by\n"
           "                         default MP3 0.1 (about 10 kbit/s), Opus 0.07 (18 kbit/s),\n"
           "                         Vorbis 0.1 (6 kbit/s)\n"
           "  --title TEXT           the title tag (the file's name by default); artist Brindle\n"
           "  --chapters RULE        lines, paragraphs or N-words: a chapter each; marked in\n"
           "                         the file (MP3: ID3v2 CHAP, Ogg: CHAPTERnnn comments) or in\n"
           "                         a .cue sheet beside it (WAV, FLAC)\n"
           "  --split                a file per chapter, numbered: OUT-01.EXT, OUT-02.EXT, ...\n"
           "  --speed-step CPM       each chapter this much faster, 0..100 (0)\n"
           "  --speak WHEN           say each item aloud: after, before or both (off)\n"
           "  --speak-gap MS         the pause between the Morse and the answer, 0..10000 (500)\n"
           "  --items KIND           what an item is: words, groups, callsigns or lines (words)\n"
           "  --voice NAME           espeak-ng's voice for the answers (en)\n"
           "  --speak-wpm N          the answers' speech rate in words per minute, 80..450 (175)\n"
           "  --repeat               the Morse again after the answer (with --speak after)\n"
           "  --quiet                no progress bar (it is drawn only on a terminal)\n"
           "band conditions (off unless asked; --seed makes them repeatable):\n"
           "  --qsb SPEED            fading: slow (0.1 Hz), fast (1 Hz) or flutter (10 Hz)\n"
           "  --qsb-depth DB         the deepest fade below the mean, 3..60 (30)\n"
           "  --qrn RATE             static crashes per second on average, 0.1..20\n"
           "  --qrn-level DB         the loudest crash, -60..0 (-20)\n"
           "  --band-noise HZ        the noise (--noise) through a receiver's filter of this\n"
           "                         width around the tone, 50..2000\n"
           "  --qrm N                other stations, 0..3, 150..600 Hz off the tone, each at\n"
           "                         its own speed, level and fading; what each sent is told\n"
           "on-air material instead of a text:\n"
           "  --material KIND        callsigns, qso (whole contacts) or contest (exchanges)\n"
           "  --count N              how many, 1..100000 (100 callsigns, 5 contacts, 100\n"
           "                         exchanges)\n"
           "  --seed N               the same seed gives the same material and band,\n"
           "                         0..4294967295 (from the clock, and told, when not given)\n"
           "  --countries LIST       callsigns of these countries or prefixes only, comma-\n"
           "                         separated (Germany,G,JA)\n"
           "  --portable             now and then a /P, /M or /QRP after a callsign\n"
           "  --exchange KIND        serial (5NN 001, counting up) or zone (5NN 14) (serial)\n"
           "  --cut                  cut numbers in exchanges: T for 0, N for 9\n"
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
        if (a == "--stereo" || a == "--split" || a == "--repeat" || a == "--quiet" ||
            a == "--portable" || a == "--cut") {
            (a == "--stereo"     ? o.Stereo
             : a == "--split"    ? o.Split
             : a == "--repeat"   ? o.Speak.RepeatMorse
             : a == "--portable" ? o.Portable
             : a == "--cut"      ? o.Cut
                                 : o.Quiet) = true;
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
            "-o",           "--output",     "-i",         "--input",     "--cpm",
            "--wpm",        "--spacing",    "--char-cpm", "--tone",      "--dit-tone",
            "--slope",      "--ratio",      "--weight",   "--level",     "--noise",
            "--noise-type", "--noise-seed", "--format",   "--quality",   "--title",
            "--chapters",   "--speed-step", "--speak",    "--speak-gap", "--items",
            "--voice",      "--speak-wpm",  "--material", "--count",     "--seed",
            "--countries",  "--exchange",   "--qsb",      "--qsb-depth", "--qrn",
            "--qrn-level",  "--band-noise", "--qrm"};
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
        } else if (name == "--format") {
            o.Format = FormatFromName(value);
            if (!o.Format) return bad(FormatNames());
        } else if (name == "--quality") {
            double q = 0;
            if (!ParseReal(value, q) || q < 0 || q > 1) return bad("0..1");
            o.Quality = q;
        } else if (name == "--title") {
            o.Title = value;
        } else if (name == "--chapters") {
            if (!ParseChapterSplit(value, o.Chapters)) return bad("lines, paragraphs or N-words");
        } else if (name == "--speed-step") {
            if (!ParseInt(value, TRange{0, 100}, o.SpeedStepCpm)) return bad("0..100");
        } else if (name == "--speak") {
            if (value == "after")
                o.Speak.When = TSpeakWhen::After;
            else if (value == "before")
                o.Speak.When = TSpeakWhen::Before;
            else if (value == "both")
                o.Speak.When = TSpeakWhen::Both;
            else
                return bad("after, before or both");
        } else if (name == "--speak-gap") {
            if (!ParseInt(value, TRange{0, 10000}, o.Speak.GapMs)) return bad("0..10000");
        } else if (name == "--items") {
            if (!ParseItemKind(value, o.Speak.Items))
                return bad("words, groups, callsigns or lines");
        } else if (name == "--voice") {
            if (value.empty()) return bad("a voice's name");
            o.Speak.Voice = value;
        } else if (name == "--material") {
            using M = TRenderOptions::TMaterial;
            o.Material = value == "callsigns" ? M::Callsigns
                         : value == "qso"     ? M::Qso
                         : value == "contest" ? M::Contest
                                              : M::None;
            if (o.Material == M::None) return bad("callsigns, qso or contest");
        } else if (name == "--count") {
            if (!ParseInt(value, TRange{1, 100000}, o.Count)) return bad("1..100000");
        } else if (name == "--seed") {
            unsigned long long seed = 0;
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, seed);
            if (value.empty() || ec != std::errc() || ptr != end || seed > 0xFFFFFFFFull)
                return bad("0..4294967295");
            o.Seed = static_cast<uint32_t>(seed);
        } else if (name == "--countries") {
            o.Countries = value;
        } else if (name == "--exchange") {
            if (value == "serial")
                o.Exchange = TExchange::Serial;
            else if (value == "zone")
                o.Exchange = TExchange::Zone;
            else
                return bad("serial or zone");
        } else if (name == "--qsb") {
            auto& hz = o.Conditions.QsbHz;
            hz = value == "slow"      ? QsbSlowHz
                 : value == "fast"    ? QsbFastHz
                 : value == "flutter" ? QsbFlutterHz
                                      : 0.0;
            if (hz == 0.0) return bad("slow, fast or flutter");
        } else if (name == "--qsb-depth") {
            if (!ParseInt(value, TRange{3, 60}, v)) return bad("3..60");
            o.Conditions.QsbDepthDb = v;
        } else if (name == "--qrn") {
            double rate = 0;
            if (!ParseReal(value, rate) || rate < 0.1 || rate > 20) return bad("0.1..20");
            o.Conditions.QrnPerSecond = rate;
        } else if (name == "--qrn-level") {
            if (!ParseInt(value, TRange{-60, 0}, o.Conditions.QrnLevelDb)) return bad("-60..0");
        } else if (name == "--qrm") {
            if (!ParseInt(value, TRange{0, TInterferers::MaxStations}, o.QrmStations))
                return bad("0.." + std::to_string(TInterferers::MaxStations));
        } else if (name == "--band-noise") {
            if (!ParseInt(value, TRange{50, 2000}, o.Conditions.BandNoiseWidthHz))
                return bad("50..2000");
        } else if (name == "--speak-wpm") {
            if (!ParseInt(value, TRange{TSpeech::MinWordsPerMinute, TSpeech::MaxWordsPerMinute},
                          o.Speak.Wpm))
                return bad(
                    RangeText(TRange{TSpeech::MinWordsPerMinute, TSpeech::MaxWordsPerMinute}));
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
    if (o.Material != TRenderOptions::TMaterial::None && (!o.Text.empty() || o.InputFile)) {
        error = "give either --material or a text, not both";
        return false;
    }
    if (o.Material == TRenderOptions::TMaterial::None &&
        (o.Count != 0 || !o.Countries.empty() || o.Portable || o.Cut)) {
        error = "--count, --countries, --portable and --cut need --material";
        return false;
    }
    if (o.Conditions.BandNoiseWidthHz > 0 && !o.NoiseDb) {
        error = "--band-noise needs --noise (its level)";
        return false;
    }
    if (o.Material != TRenderOptions::TMaterial::None) {
        if (!TOnAirMaterial(0, {false, o.Countries}).Valid(error)) return false;
    }
    if (!o.Help && !o.Format) {
        o.Format = FormatFromPath(o.Output);
        if (!o.Format) {
            error = "cannot tell the format of '" + o.Output +
                    "': name it .wav, .mp3, .opus, .ogg or .flac, or give --format (" +
                    FormatNames() + ")";
            return false;
        }
    }
    if (o.Split && o.Chapters.Rule == TChapterRule::Whole) {
        error = "--split needs --chapters";
        return false;
    }
    if (o.Speak.RepeatMorse && o.Speak.When != TSpeakWhen::After) {
        error = "--repeat needs --speak after";
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

std::string GenerateMaterial(const TRenderOptions& o, uint32_t seed) {
    TOnAirMaterial material(seed, {o.Portable, o.Countries});
    std::string text;
    switch (o.Material) {
    case TRenderOptions::TMaterial::Callsigns: {
        const int n = o.Count > 0 ? o.Count : 100;
        for (int i = 0; i < n; ++i)
            text += material.Callsign() + ((i + 1) % 10 == 0 || i + 1 == n ? "\n" : " ");
        break;
    }
    case TRenderOptions::TMaterial::Qso:
        for (int i = 0, n = o.Count > 0 ? o.Count : 5; i < n; ++i) {
            for (const std::string& over : material.Qso())
                text += over + "\n";
            text += "\n";
        }
        break;
    case TRenderOptions::TMaterial::Contest:
        for (int i = 0, n = o.Count > 0 ? o.Count : 100; i < n; ++i)
            text += material.Exchange(o.Exchange, o.Cut) + "\n";
        break;
    case TRenderOptions::TMaterial::None: break;
    }
    return text;
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

// The progress bar on a terminal: the share done and the time left, redrawn five times a second
// on one line, and cleared at the end.
class TProgressBar {
public:
    TProgressBar(std::ostream& err, bool shown)
        : Err_(err), Shown_(shown), Start_(std::chrono::steady_clock::now()) {
        Draw(TExportProgress{});
    }
    ~TProgressBar() {
        if (Drawn_) Err_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
    }
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    // Waits up to 200 ms for the work to end; true when it has ended.
    bool Wait(const TExportProgress& progress) {
        std::unique_lock lock(Mutex_);
        if (Done_.wait_for(lock, std::chrono::milliseconds(200), [&] { return Finished_; }))
            return true;
        lock.unlock();
        Draw(progress);
        return false;
    }
    void Finish() {
        std::lock_guard lock(Mutex_);
        Finished_ = true;
        Done_.notify_all();
    }

private:
    void Draw(const TExportProgress& progress) {
        if (!Shown_) return;
        const double estimated =
            static_cast<double>(std::max<int64_t>(1, progress.FramesEstimated));
        const double share = std::clamp(progress.FramesDone / estimated, 0.0, 0.99);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - Start_).count();
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(share * kWidth);
        Err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kWidth - filled), '-') << "] "
             << static_cast<int>(share * 100) << " %";
        if (share > 0.02) {
            const int left = static_cast<int>(elapsed / share * (1 - share) + 0.5);
            Err_ << ", " << left / 60 << ":" << (left % 60 < 10 ? "0" : "") << left % 60
                 << " left   ";
        }
        Err_ << std::flush;
        Drawn_ = true;
    }

    std::ostream& Err_;
    bool Shown_;
    bool Drawn_ = false;
    std::chrono::steady_clock::time_point Start_;
    std::mutex Mutex_;
    std::condition_variable Done_;
    bool Finished_ = false;
};

int RunRender(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err, bool errIsTerminal, const std::atomic<bool>* interrupt) {
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
    const bool fromStdin = o.Material == TRenderOptions::TMaterial::None && o.Text.empty() &&
                           (!o.InputFile || *o.InputFile == "-");
    const uint32_t seed = o.Seed.value_or(ClockSeed());
    if (o.Material != TRenderOptions::TMaterial::None) {
        bytes = GenerateMaterial(o, seed);
    } else if (!o.Text.empty()) {
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

    if (o.Speak.When != TSpeakWhen::Never &&
        !TSpeech::Open(o.Speak.Voice, o.Speak.Wpm, MorseSampleRate, error)) {
        err << "brindle-render: " << error << "\n";
        return 2;
    }
    TExportRequest request;
    request.Tone = o;
    request.Tone.Conditions.Seed = seed;
    // --seed makes the white noise repeatable too, unless it has its own.
    if (o.Seed && o.NoiseSeed == 0) request.Tone.NoiseSeed = std::max(1u, seed * 2654435761u);
    if (o.NoiseDb) request.Tone.Conditions.NoiseDb = *o.NoiseDb;
    request.Format = *o.Format;
    request.Quality = o.Quality.value_or(DefaultQuality(*o.Format));
    request.Output = o.Output;
    request.Split = o.Split;
    request.Title = o.Title;
    request.Speak = o.Speak;
    const bool speak = o.Speak.When != TSpeakWhen::Never;
    request.Script = ScriptFromText(text.Chars, o.Chapters, speak, o.Speak.Items, o.Cpm,
                                    o.SpeedStepCpm, ranges::Speed.Max);
    TExportResult result;
    {
        TExportProgress progress;
        TProgressBar bar(err, errIsTerminal && !o.Quiet);
        std::thread work([&] {
            result = RunExport(request, progress);
            bar.Finish();
        });
        while (!bar.Wait(progress))
            if (interrupt && interrupt->load()) progress.Cancel = true;
        work.join();
    }
    if (result.Cancelled) {
        err << "brindle-render: interrupted: nothing was written\n";
        return 1;
    }
    if (!result.Ok) {
        err << "brindle-render: cannot write " << o.Output << ": " << result.Error << "\n";
        return 1;
    }
    const double seconds = static_cast<double>(result.Frames) / MorseSampleRate;
    if (result.Files.size() == 1)
        out << "Wrote " << o.Output;
    else
        out << "Wrote " << result.Files.size() << " files, " << result.Files.front() << " to "
            << result.Files.back();
    out << " (" << text.Chars.size() << " characters, " << seconds << " s";
    if (o.Material != TRenderOptions::TMaterial::None || o.Conditions.Any() || o.QrmStations > 0)
        out << ", seed " << seed;
    out << ")\n";
    for (const std::string& line : result.Qrm)
        out << line << "\n";
    return 0;
}

} // namespace brindle
