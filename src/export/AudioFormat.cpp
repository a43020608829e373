#include "export/AudioFormat.h"

#include "base/FileIO.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace brindle {

namespace {

struct TFormatRow {
    TAudioFormat Format;
    std::string_view Name;
    std::string_view Extension;
    std::string_view Title;
    TChapterMarks Marks;
    double Quality;
};

// The default qualities keep every edge of the decoded tone within a millisecond of the WAV
// rendering at 8000 samples per second, in the smallest file that encodes fast: MP3 at LAME's
// variable rate V9 (about 10 kbit/s), Opus at about 18 kbit/s (below that libopus switches to
// its speech coder, three times slower and made for voices, not tones), Vorbis at its lowest
// setting (about 6 kbit/s).
constexpr std::array<TFormatRow, 5> kFormats{{
    {TAudioFormat::Wav, "wav", ".wav", "WAV", TChapterMarks::CueSheet, 1.0},
    {TAudioFormat::Mp3, "mp3", ".mp3", "MP3", TChapterMarks::Id3Chapters, 0.1},
    {TAudioFormat::Opus, "opus", ".opus", "Ogg Opus", TChapterMarks::OggComments, 0.07},
    {TAudioFormat::Vorbis, "ogg", ".ogg", "Ogg Vorbis", TChapterMarks::OggComments, 0.1},
    {TAudioFormat::Flac, "flac", ".flac", "FLAC", TChapterMarks::CueSheet, 1.0},
}};

const TFormatRow& Row(TAudioFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(),
                         [&](const TFormatRow& r) { return r.Format == format; });
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

} // namespace

std::optional<TAudioFormat> FormatFromName(std::string_view name) {
    const std::string n = Lower(name);
    if (n == "vorbis") return TAudioFormat::Vorbis;
    for (const TFormatRow& r : kFormats)
        if (n == r.Name) return r.Format;
    return std::nullopt;
}

std::optional<TAudioFormat> FormatFromPath(std::string_view path) {
    const std::string whole(path);
    const std::size_t stem = FileStem(whole).size();
    if (stem == whole.size()) return std::nullopt;
    const std::string ext = Lower(path.substr(stem));
    for (const TFormatRow& r : kFormats)
        if (ext == r.Extension) return r.Format;
    return std::nullopt;
}

std::string_view FormatName(TAudioFormat format) {
    return Row(format).Name;
}

std::string_view FormatExtension(TAudioFormat format) {
    return Row(format).Extension;
}

std::string_view FormatTitle(TAudioFormat format) {
    return Row(format).Title;
}

std::string FormatNames() {
    return "wav, mp3, opus, ogg (Vorbis), flac";
}

TChapterMarks ChapterMarksOf(TAudioFormat format) {
    return Row(format).Marks;
}

bool IsLossy(TAudioFormat format) {
    return format == TAudioFormat::Mp3 || format == TAudioFormat::Opus ||
           format == TAudioFormat::Vorbis;
}

double DefaultQuality(TAudioFormat format) {
    return Row(format).Quality;
}

} // namespace brindle
