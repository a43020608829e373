// An export of practice to an audio file started from the window: the request made from the
// dialog's choices and the practice composed, the work on a thread of its own, its progress for
// the progress bar, and its cancel. No widgets: the window polls it.
#pragma once

#include "export/PracticeExport.h"

#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace brindle {

// What the export dialog asks.
struct TExportChoices {
    std::string Path;
    TAudioFormat Format = TAudioFormat::Mp3;
    int ItemsPerChapter = 0; // 0: one chapter
    bool Split = false;      // a file per chapter
    TSpeakWhen Speak = TSpeakWhen::Never;
    int SpeakGapMs = 500; // [ms]
    bool RepeatMorse = false;
    std::string Voice = "en";
};

// The practice as composed for an export: its script, how it sounds, and how its items are said.
struct TComposedPractice {
    TPracticeScript Script;
    TToneOptions Tone;
    TSpokenKind Spoken = TSpokenKind::Word;
    std::string Title; // UTF-8, the file's title tag
};

// The request for the choices: the practice cut into chapters of the items asked for.
TExportRequest ExportRequestFor(const TExportChoices& choices, const TComposedPractice& practice);

class TExportRun {
public:
    TExportRun() = default;
    ~TExportRun(); // cancels and waits
    TExportRun(const TExportRun&) = delete;
    TExportRun& operator=(const TExportRun&) = delete;

    void Start(TExportRequest request);
    bool Running() const;
    // The share done, 0..1 (an estimate until the end).
    double Done() const;
    void Cancel();
    // When the work has ended: waits for the thread and gives the result once.
    std::optional<TExportResult> TakeResult();

private:
    std::unique_ptr<TExportProgress> Progress_;
    std::unique_ptr<TExportRequest> Request_;
    std::shared_ptr<std::atomic<bool>> Ended_;
    TExportResult Result_;
    std::thread Thread_;
};

} // namespace brindle
