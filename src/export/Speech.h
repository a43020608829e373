// Spoken answers: what an item is called aloud (prosigns and Q-codes by their letters, groups
// spelled), and the speech itself from espeak-ng's library, at the Morse sample rate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

// What an item of practice is, which decides how it is said.
enum class TSpokenKind {
    Word,     // said as a word; Q-codes, prosigns and digits said by their letters or digits
    Group,    // a code group: spelled letter by letter
    Callsign, // spelled, digits as digits, "/" as "stroke"
    Line,     // a line of text said as text; prosigns and Q-codes by their letters
};

// The text to say for item, which is in engine characters (Windows-1252, prosigns as their code
// characters): UTF-8 for the synthesiser. Prosigns are their letters ("A R"), Q-codes theirs
// ("Q R Z"), and signs their names ("question mark", "stroke").
std::string SpokenText(const std::string& item, TSpokenKind kind);

// espeak-ng, set up for one voice and speed. The library keeps global state: every TSpeech in
// the process shares one lock, so speech from two threads is made one after the other.
class TSpeech {
public:
    // The voice by its espeak-ng name ("en", "en-us", "de", ...; empty: "en"), the speech rate
    // [words per minute] and the sample rate the speech is wanted at [Hz]. Null with a message
    // naming the installed voices when the voice is not there, or when espeak-ng cannot start.
    static std::unique_ptr<TSpeech> Open(const std::string& voice, int wordsPerMinute,
                                         int sampleRate, std::string& error);
    ~TSpeech();
    TSpeech(const TSpeech&) = delete;
    TSpeech& operator=(const TSpeech&) = delete;

    // Appends text (UTF-8) said aloud to samples, at the sample rate asked for, its peak at
    // peakLevel (full scale 32767); silence before and after the voice is trimmed.
    bool Say(const std::string& text, int16_t peakLevel, std::vector<int16_t>& samples);

    static constexpr int MinWordsPerMinute = 80;
    static constexpr int MaxWordsPerMinute = 450;

private:
    TSpeech() = default;
    struct TState;
    std::unique_ptr<TState> State_;
};

// The names of the installed voices, comma-separated, for messages.
std::string InstalledVoices();

} // namespace brindle
