// Writes one audio file of exported practice through libsndfile: the format's encoder at its
// quality, the title and artist tags, and the chapter marks where the format keeps them. The file
// is written under a temporary name in its folder and renamed on Commit, so that a failure (an
// unwritable folder, a full disk, a size limit) or a cancel never leaves a partial file under the
// final name; a cue sheet beside it is written the same way.
#pragma once

#include "export/AudioFormat.h"
#include "export/ChapterMarks.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

struct TAudioFileSpec {
    TAudioFormat Format = TAudioFormat::Wav;
    int Channels = 1;
    int SampleRate = 8000; // [Hz]
    double Quality = 1.0;  // 0 (smallest) .. 1 (best); see DefaultQuality
    TFileTags Tags;
    // Chapter titles known before the audio (their times are set on Commit): an MP3 file keeps
    // its chapter tag before the audio, so its size must be known when the file is opened.
    std::vector<std::string> ChapterTitles;
};

class TAudioFileWriter {
public:
    TAudioFileWriter();
    ~TAudioFileWriter(); // without Commit: removes what was written
    TAudioFileWriter(const TAudioFileWriter&) = delete;
    TAudioFileWriter& operator=(const TAudioFileWriter&) = delete;

    bool Open(const std::string& path, const TAudioFileSpec& spec, std::string& error);
    // Interleaved frames.
    bool Write(const int16_t* samples, std::size_t frames, std::string& error);
    // Finishes the encoding, marks the chapters (one per title given to Open, in order) and
    // renames the file (and its cue sheet) to their final names.
    bool Commit(const std::vector<TChapterMark>& chapters, std::string& error);
    void Discard();

    int64_t FramesWritten() const { return Frames_; }

    // The virtual file libsndfile writes through; public for its C callbacks.
    struct TSink;

private:
    bool Fail(std::string& error, const std::string& reason);

    std::unique_ptr<TSink> Sink_;
    TAudioFileSpec Spec_;
    std::string Path_;
    int64_t Frames_ = 0;
};

} // namespace brindle
