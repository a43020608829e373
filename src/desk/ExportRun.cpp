#include "desk/ExportRun.h"

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

namespace brindle {

TExportRequest ExportRequestFor(const TExportChoices& c, const TComposedPractice& practice) {
    TExportRequest r;
    r.Tone = practice.Tone;
    r.Format = c.Format;
    r.Quality = DefaultQuality(c.Format);
    r.Output = c.Path;
    r.Title = practice.Title;
    r.Speak.When = c.Speak;
    r.Speak.GapMs = c.SpeakGapMs;
    r.Speak.RepeatMorse = c.RepeatMorse && c.Speak == TSpeakWhen::After;
    r.Speak.Voice = c.Voice;
    r.Speak.Items = practice.Spoken;
    r.Script =
        c.ItemsPerChapter > 0 ? SplitByItems(practice.Script, c.ItemsPerChapter) : practice.Script;
    r.Split = c.Split && r.Script.size() > 1;
    return r;
}

TExportRun::~TExportRun() {
    Cancel();
    if (Thread_.joinable()) Thread_.join();
}

void TExportRun::Start(TExportRequest request) {
    if (Thread_.joinable()) Thread_.join();
    Progress_ = std::make_unique<TExportProgress>();
    Request_ = std::make_unique<TExportRequest>(std::move(request));
    Ended_ = std::make_shared<std::atomic<bool>>(false);
    Result_ = {};
    Thread_ = std::thread([this, ended = Ended_] {
#ifdef __linux__
        // Behind the live sound and the window: the export takes what the practice leaves. Its
        // own threads inherit this.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
#endif
        Result_ = RunExport(*Request_, *Progress_);
        ended->store(true);
    });
}

bool TExportRun::Running() const {
    return Thread_.joinable() && !Ended_->load();
}

double TExportRun::Done() const {
    if (!Progress_) return 0;
    const auto estimated = std::max<int64_t>(1, Progress_->FramesEstimated.load());
    return std::clamp(static_cast<double>(Progress_->FramesDone.load()) /
                          static_cast<double>(estimated),
                      0.0, 0.99);
}

void TExportRun::Cancel() {
    if (Progress_) Progress_->Cancel = true;
}

std::optional<TExportResult> TExportRun::TakeResult() {
    if (!Thread_.joinable() || !Ended_->load()) return std::nullopt;
    Thread_.join();
    return Result_;
}

} // namespace brindle
