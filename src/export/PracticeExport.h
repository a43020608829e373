// Renders a practice script to audio files: the Morse code of its pieces at their speeds, the
// spoken answers around its items, one file with chapter marks or one file per chapter. Runs on
// the caller's thread and one more: with one file, the rendering (and the speech) runs beside the
// encoder; with a file per chapter, two chapters are encoded at once. Reports its progress and
// stops on a cancel, leaving no partial file.
#pragma once

#include "export/AudioFormat.h"
#include "export/MorseRender.h"
#include "export/PracticeScript.h"
#include "export/Speech.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

enum class TSpeakWhen { Never, After, Before, Both };

struct TSpeakOptions {
    TSpeakWhen When = TSpeakWhen::Never;
    int GapMs = 500; // [ms] between the Morse and the speech
    TSpokenKind Items = TSpokenKind::Word;
    std::string Voice = "en"; // espeak-ng's name
    int Wpm = 175;            // [words per minute] of the speech
    bool RepeatMorse = false; // the Morse again after the answer
};

struct TExportRequest {
    TToneOptions Tone;
    TAudioFormat Format = TAudioFormat::Wav;
    double Quality = 1.0;
    std::string Output; // the file; with Split, numbered files "name-01.ext", ...
    bool Split = false; // one file per chapter
    std::string Title;  // the files' title tag (UTF-8)
    TSpeakOptions Speak;
    TPracticeScript Script;
};

// Shared with the thread that shows the progress.
struct TExportProgress {
    std::atomic<int64_t> FramesDone{0};
    std::atomic<int64_t> FramesEstimated{0}; // set before the work starts
    std::atomic<bool> Cancel{false};
};

struct TExportResult {
    bool Ok = false;
    bool Cancelled = false;
    std::string Error; // one line
    std::vector<std::string> Files;
    int64_t Frames = 0;           // of all files
    std::vector<std::string> Qrm; // what each interfering station sent, a line each
};

// The files a request writes, in order.
std::vector<std::string> ExportFileNames(const TExportRequest& request);

TExportResult RunExport(const TExportRequest& request, TExportProgress& progress);

} // namespace brindle
