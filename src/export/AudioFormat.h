// The audio file formats practice is exported to, how each is chosen (by name or by the file's
// extension), and how its chapters are marked.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindle {

enum class TAudioFormat { Wav, Mp3, Opus, Vorbis, Flac };

// Where a format keeps its chapter marks when the chapters share one file.
enum class TChapterMarks {
    OggComments, // CHAPTERnnn=HH:MM:SS.mmm and CHAPTERnnnNAME= comments (Opus, Vorbis)
    Id3Chapters, // an ID3v2 tag with CTOC and CHAP frames before the MP3 data
    CueSheet,    // a .cue file beside the audio file (WAV, FLAC)
};

// "wav", "mp3", "opus", "ogg" or "vorbis", "flac" (any case).
std::optional<TAudioFormat> FormatFromName(std::string_view name);
// By the extension of path: .wav, .mp3, .opus, .ogg (Vorbis), .flac (any case).
std::optional<TAudioFormat> FormatFromPath(std::string_view path);
std::string_view FormatName(TAudioFormat format);      // "wav", "mp3", "opus", "ogg", "flac"
std::string_view FormatExtension(TAudioFormat format); // ".wav", ...
std::string_view FormatTitle(TAudioFormat format);     // "MP3", "Ogg Opus", ...
// The names the options take, for messages: "wav, mp3, opus, ogg (Vorbis), flac".
std::string FormatNames();
TChapterMarks ChapterMarksOf(TAudioFormat format);
bool IsLossy(TAudioFormat format);

// The encoder's quality, 0 (smallest file) .. 1 (best sound); ignored by WAV and FLAC. The
// defaults are the smallest files whose tone has no audible artefact.
double DefaultQuality(TAudioFormat format);

} // namespace brindle
