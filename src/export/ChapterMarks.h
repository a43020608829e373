// Chapter marks of an exported practice file: the ID3v2 tag of an MP3 file, the comments of an
// Ogg file, and the cue sheet written beside the other formats. Times are given in sample frames
// and written in milliseconds.
#pragma once

#include "export/AudioFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

struct TChapterMark {
    std::string Title;      // UTF-8, e.g. "Chapter 3" or the chapter's first words
    int64_t StartFrame = 0; // first frame of the chapter
    int64_t EndFrame = 0;   // frame just after it
};

struct TFileTags {
    std::string Title; // UTF-8
    std::string Artist = "Brindle";
};

// An ID3v2.4 tag: TIT2 and TPE1 from tags, and when chapters are given a CTOC frame (top level,
// ordered) listing CHAP frames "ch1", "ch2", ... each with its start and end time [ms] and a TIT2
// sub-frame with its title. Its size depends on the tags and the titles only, not on the times,
// so that a tag written before the audio can be rewritten in place when the times are known.
std::string BuildId3v2Tag(const TFileTags& tags, const std::vector<TChapterMark>& chapters,
                          int sampleRate);

// Copies the Ogg Vorbis or Ogg Opus file inPath to outPath with CHAPTERnnn=HH:MM:SS.mmm and
// CHAPTERnnnNAME=title (nnn from 001) added to its comment header, every page after the headers
// renumbered and its checksum set again. False with a one-line reason when inPath is not such a
// file or outPath cannot be written.
bool AddOggChapters(const std::string& inPath, const std::string& outPath,
                    const std::vector<TChapterMark>& chapters, int sampleRate, std::string& error);

// A cue sheet for the audio file audioFileName (its name only, as written in the FILE line),
// with a TRACK per chapter (INDEX 01 at its start, in cue frames of 1/75 s).
std::string BuildCueSheet(const std::string& audioFileName, TAudioFormat format,
                          const TFileTags& tags, const std::vector<TChapterMark>& chapters,
                          int sampleRate);

} // namespace brindle
