#include "export/Speech.h"

#include "base/ControlCodes.h"
#include "base/Text1252.h"
#include "engine/MorseTables.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <set>
#include <string_view>

namespace brindle {

namespace {

// ---- The text to say ----

// The English names of the signs that are no prosign's code character ("+", "=", "-", "&" and
// the like are: they are said as their prosign).
std::string_view SignName(uint8_t c) {
    switch (c) {
    case '/': return "stroke";
    case '?': return "question mark";
    case '.': return "period";
    case ',': return "comma";
    case '\'': return "apostrophe";
    case '(': return "open bracket";
    case ')': return "close bracket";
    case ':': return "colon";
    case ';': return "semicolon";
    case '"': return "quote";
    case '@': return "at";
    case '!': return "exclamation mark";
    case '_': return "underscore";
    case '$': return "dollar";
    default: return {};
    }
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// A letter of Windows-1252: ASCII, the accented letters with two cases, and ß, Þ and Ÿ.
bool IsLetter(uint8_t c) {
    if (IsSeparatorCode(c)) return false;
    return Upper1252(c) != c || Lower1252(c) != c || c == 0xDF || c == 0xDE || c == 0x9F;
}

bool IsVowel(uint8_t c) {
    const uint8_t lower = Lower1252(c);
    if (std::string_view("aeiouy").find(static_cast<char>(lower)) != std::string_view::npos)
        return true;
    // à..æ, è..ï, ò..ö, ø, ù..ý, œ
    return (lower >= 0xE0 && lower <= 0xE6) || (lower >= 0xE8 && lower <= 0xEF) ||
           (lower >= 0xF2 && lower <= 0xF6) || lower == 0xF8 || (lower >= 0xF9 && lower <= 0xFD) ||
           lower == 0x9C;
}

// The pieces of the spoken text, in Windows-1252, joined by spaces at the end. A letter spelled
// is its capital: espeak-ng says a lone capital by its letter name.
class TSpokenPieces {
public:
    void Add(std::string_view piece) {
        if (!piece.empty()) Pieces_.emplace_back(piece);
    }

    // One character said on its own: a letter by name, a digit, a prosign's letters, a sign by
    // its name; other printable characters are left to the synthesiser, the rest dropped.
    void Spell(uint8_t c) {
        if (const int prosign = ProsignOfCode(c); prosign > 0) {
            for (const char letter : ProsignName(prosign))
                if (letter != '<' && letter != '>') Spell(static_cast<uint8_t>(letter));
        } else if (IsLetter(c)) {
            Add(std::string(1, static_cast<char>(Upper1252(c))));
        } else if (IsDigit(c)) {
            Add(std::string(1, static_cast<char>(c)));
        } else if (const std::string_view name = SignName(c); !name.empty()) {
            Add(name);
        } else if (c > ' ' && c != 127 && c != BlipMark && !IsSeparatorCode(c)) {
            Add(std::string(1, static_cast<char>(c)));
        }
    }

    void SpellAll(std::string_view text) {
        for (const char c : text)
            Spell(static_cast<uint8_t>(c));
    }

    // A run of letters and digits of a word: said as a word when it reads as one, else spelled.
    // Q-codes (three letters from q), runs with digits and runs without a vowel are spelled.
    void SayRun(std::string_view run) {
        const bool qCode = run.size() == 3 && Lower1252(static_cast<uint8_t>(run[0])) == 'q' &&
                           std::all_of(run.begin(), run.end(),
                                       [](char c) { return IsLetter(static_cast<uint8_t>(c)); });
        const bool digits = std::any_of(run.begin(), run.end(),
                                        [](char c) { return IsDigit(static_cast<uint8_t>(c)); });
        const bool vowel = std::any_of(run.begin(), run.end(),
                                       [](char c) { return IsVowel(static_cast<uint8_t>(c)); });
        if (qCode || digits || !vowel)
            SpellAll(run);
        else
            Add(Lower1252(run));
    }

    // A word: its runs of letters and digits (an apostrophe between letters belongs to the
    // run: "don't"), and every other character spelled.
    void SayWord(std::string_view word) {
        std::size_t i = 0;
        while (i < word.size()) {
            std::size_t end = i;
            while (end < word.size()) {
                const auto c = static_cast<uint8_t>(word[end]);
                const bool inner = c == '\'' && end > i && end + 1 < word.size() &&
                                   IsLetter(static_cast<uint8_t>(word[end - 1])) &&
                                   IsLetter(static_cast<uint8_t>(word[end + 1]));
                if (ProsignOfCode(c) > 0 || !(IsLetter(c) || IsDigit(c) || inner)) break;
                ++end;
            }
            if (end > i) {
                SayRun(word.substr(i, end - i));
                i = end;
            } else {
                Spell(static_cast<uint8_t>(word[i++]));
            }
        }
    }

    // UTF-8. A spelled "A" followed by more would be read as the article: a comma after it
    // makes it the letter.
    std::string Text() const {
        std::string out;
        for (std::size_t i = 0; i < Pieces_.size(); ++i) {
            if (i > 0) out += ' ';
            out += Pieces_[i];
            if (Pieces_[i] == "A" && i + 1 < Pieces_.size()) out += ',';
        }
        return Cp1252ToUtf8(out);
    }

private:
    std::vector<std::string> Pieces_;
};

// The words of engine text: spaces, line ends, item ends and pauses separate them.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto isSeparator = [](char c) {
            const auto u = static_cast<uint8_t>(c);
            return IsSeparatorCode(u) || u == '\n' || u == '\t';
        };
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        std::size_t end = i;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        if (end > i) words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

// ---- espeak-ng ----

// The library's one set-up for the process, and the voice and rate last given to it.
struct TEspeak {
    std::mutex Lock;
    bool Started = false;
    int SampleRate = 0; // [Hz] of the synthesised speech
    std::string Voice;  // empty: unknown, set it again
    int WordsPerMinute = 0;
};

TEspeak& Espeak() {
    static TEspeak espeak;
    return espeak;
}

// Synthesised samples arrive here; the buffer is the user data of the synthesis call.
int CollectSamples(short* wav, int count, espeak_EVENT* events) {
    if (wav != nullptr && count > 0 && events != nullptr && events->user_data != nullptr) {
        auto& out = *static_cast<std::vector<int16_t>*>(events->user_data);
        out.insert(out.end(), wav, wav + count);
    }
    return 0;
}

// With the lock held: starts the library the first time.
bool StartLocked(TEspeak& espeak, std::string& error) {
    if (espeak.Started) return true;
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    if (status == ENS_OK)
        status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    if (status != ENS_OK || espeak_ng_GetSampleRate() <= 0) {
        char message[512] = "";
        espeak_ng_GetStatusCodeMessage(status, message, sizeof message);
        espeak_ng_ClearErrorContext(&context);
        error = std::string("espeak-ng could not start: ") + message;
        return false;
    }
    espeak_ng_ClearErrorContext(&context);
    espeak_SetSynthCallback(CollectSamples);
    espeak.SampleRate = espeak_ng_GetSampleRate();
    espeak.Started = true;
    return true;
}

// With the lock held: the voice and rate of one TSpeech, unless they are set already.
bool UseVoiceLocked(TEspeak& espeak, const std::string& voice, int wordsPerMinute) {
    if (espeak.Voice != voice) {
        if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) {
            espeak.Voice.clear();
            return false;
        }
        espeak.Voice = voice;
        espeak.WordsPerMinute = 0; // a new voice: the rate is set again
    }
    if (espeak.WordsPerMinute != wordsPerMinute) {
        if (espeak_SetParameter(espeakRATE, wordsPerMinute, 0) != EE_OK) return false;
        espeak.WordsPerMinute = wordsPerMinute;
    }
    return true;
}

// With the lock held: the short names of the voices ("gmw/en-US" is "en-us").
std::string VoiceNamesLocked() {
    std::set<std::string> names;
    const espeak_VOICE** voices = espeak_ListVoices(nullptr);
    for (std::size_t i = 0; voices != nullptr && voices[i] != nullptr; ++i) {
        if (voices[i]->identifier == nullptr) continue;
        std::string name = voices[i]->identifier;
        name.erase(0, name.rfind('/') + 1);
        std::transform(name.begin(), name.end(), name.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
        if (!name.empty()) names.insert(name);
    }
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return list;
}

// Speech from the synthesiser's rate to the rate wanted, as floats of full scale 1.
std::vector<float> Resample(const std::vector<int16_t>& speech, int fromRate, int toRate) {
    std::vector<float> in(speech.size());
    src_short_to_float_array(speech.data(), in.data(), static_cast<int>(speech.size()));
    if (fromRate == toRate || in.empty()) return in;
    const double ratio = static_cast<double>(toRate) / fromRate;
    std::vector<float> out(static_cast<std::size_t>(std::ceil(in.size() * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = in.data();
    data.data_out = out.data();
    data.input_frames = static_cast<long>(in.size());
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (src_simple(&data, SRC_SINC_FASTEST, 1) != 0) return {};
    out.resize(static_cast<std::size_t>(data.output_frames_gen));
    return out;
}

} // namespace

std::string SpokenText(const std::string& item, TSpokenKind kind) {
    TSpokenPieces pieces;
    for (const std::string_view word : Words(item)) {
        if (kind == TSpokenKind::Group || kind == TSpokenKind::Callsign)
            pieces.SpellAll(word);
        else
            pieces.SayWord(word);
    }
    return pieces.Text();
}

struct TSpeech::TState {
    std::string Voice;
    int WordsPerMinute = 0;
    int SampleRate = 0; // [Hz] of the samples given out
};

std::unique_ptr<TSpeech> TSpeech::Open(const std::string& voice, int wordsPerMinute, int sampleRate,
                                       std::string& error) {
    if (wordsPerMinute < MinWordsPerMinute || wordsPerMinute > MaxWordsPerMinute) {
        error = "the speech rate of " + std::to_string(wordsPerMinute) +
                " words per minute is outside " + std::to_string(MinWordsPerMinute) + " to " +
                std::to_string(MaxWordsPerMinute);
        return nullptr;
    }
    if (sampleRate < 1000 || sampleRate > 384000) {
        error = "the speech sample rate of " + std::to_string(sampleRate) +
                " Hz is outside 1000 to 384000";
        return nullptr;
    }
    const std::string name = voice.empty() ? std::string("en") : voice;
    TEspeak& espeak = Espeak();
    const std::lock_guard lock(espeak.Lock);
    if (!StartLocked(espeak, error)) return nullptr;
    if (!UseVoiceLocked(espeak, name, wordsPerMinute)) {
        error =
            "the voice '" + name + "' is not installed; installed voices: " + VoiceNamesLocked();
        return nullptr;
    }
    std::unique_ptr<TSpeech> speech(new TSpeech);
    speech->State_ = std::make_unique<TState>();
    speech->State_->Voice = name;
    speech->State_->WordsPerMinute = wordsPerMinute;
    speech->State_->SampleRate = sampleRate;
    return speech;
}

TSpeech::~TSpeech() = default;

bool TSpeech::Say(const std::string& text, int16_t peakLevel, std::vector<int16_t>& samples) {
    if (text.empty()) return true;
    std::vector<int16_t> speech;
    int speechRate = 0; // [Hz]
    {
        TEspeak& espeak = Espeak();
        const std::lock_guard lock(espeak.Lock);
        if (!UseVoiceLocked(espeak, State_->Voice, State_->WordsPerMinute)) return false;
        const espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                                 espeakCHARS_UTF8, nullptr, &speech);
        if (result != EE_OK) return false;
        speechRate = espeak.SampleRate;
    }
    const std::vector<float> voice = Resample(speech, speechRate, State_->SampleRate);
    if (voice.empty() && !speech.empty()) return false;

    float peak = 0.0f;
    for (const float x : voice)
        peak = std::max(peak, std::fabs(x));
    if (peak <= 0.0f) return true; // nothing audible
    const float floor = peak * 0.01f;
    const auto loud = [floor](float x) { return std::fabs(x) >= floor; };
    const auto first = std::find_if(voice.begin(), voice.end(), loud);
    const auto last = std::find_if(voice.rbegin(), voice.rend(), loud).base();
    const double scale = std::clamp<int>(peakLevel, 0, 32767) / static_cast<double>(peak);
    samples.reserve(samples.size() + static_cast<std::size_t>(last - first));
    for (auto it = first; it != last; ++it)
        samples.push_back(
            static_cast<int16_t>(std::clamp(std::lround(*it * scale), -32767L, 32767L)));
    return true;
}

std::string InstalledVoices() {
    TEspeak& espeak = Espeak();
    const std::lock_guard lock(espeak.Lock);
    std::string error;
    if (!StartLocked(espeak, error)) return {};
    return VoiceNamesLocked();
}

} // namespace brindle
