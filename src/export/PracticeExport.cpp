#include "export/PracticeExport.h"

#include "base/FileIO.h"
#include "export/AudioFileWriter.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace brindle {

namespace {

using TSink = std::function<bool(const int16_t*, std::size_t frames)>;

// Rough length of a script, for the progress bar: a character and its share of the spaces take
// 60/CpM seconds; an answer about 0.7 s with its gaps. [frames]
int64_t EstimateFrames(const TExportRequest& r) {
    double seconds = 0;
    const bool speak = r.Speak.When != TSpeakWhen::Never;
    const int says = r.Speak.When == TSpeakWhen::Both ? 2 : 1;
    for (const TPracticeChapter& c : r.Script)
        for (const TPracticePiece& p : c.Pieces) {
            const int cpm = std::max(1, p.Cpm > 0 ? p.Cpm : r.Tone.Cpm);
            double morse = static_cast<double>(p.Chars.size()) * 60.0 / cpm;
            if (speak && p.Item) {
                if (r.Speak.RepeatMorse) morse *= 2;
                seconds += says * (0.7 + 2 * r.Speak.GapMs / 1000.0);
            }
            seconds += morse;
        }
    return static_cast<int64_t>(seconds * MorseSampleRate);
}

// The spoken answers, each made once: items repeat a great deal in practice.
class TAnswers {
public:
    TAnswers(TSpeech* speech, TSpokenKind kind, int16_t peak)
        : Speech_(speech), Kind_(kind), Peak_(peak) {}

    bool Get(const std::string& item, std::vector<int16_t>& samples, std::string& error) {
        std::lock_guard lock(Mutex_);
        auto it = Cache_.find(item);
        if (it == Cache_.end()) {
            std::vector<int16_t> said;
            if (!Speech_->Say(SpokenText(item, Kind_), Peak_, said)) {
                error = "the speech synthesiser failed on '" + SpokenText(item, Kind_) + "'";
                return false;
            }
            it = Cache_.emplace(item, std::move(said)).first;
        }
        samples = it->second;
        return true;
    }

private:
    TSpeech* Speech_;
    TSpokenKind Kind_;
    int16_t Peak_;
    std::mutex Mutex_;
    std::map<std::string, std::vector<int16_t>> Cache_;
};

// Renders chapters into a sink: the Morse code of each piece and the answers around its items.
class TChapterRenderer {
public:
    // seedOffset: the band conditions of each renderer (a file each) go their own way.
    TChapterRenderer(const TExportRequest& r, TAnswers* answers, TExportProgress& progress,
                     uint32_t seedOffset = 0)
        : R_(r), Answers_(answers), Progress_(progress), Channels_(r.Tone.Stereo ? 2 : 1),
          Band_(TBand::For(r.Tone, seedOffset)) {}

    // What the other stations sent, a line each.
    std::vector<std::string> QrmSummary() const {
        return Band_ && Band_->Qrm ? Band_->Qrm->Summary(160) : std::vector<std::string>{};
    }

    // False when the sink refused (a cancel or a write failure) or the speech failed (error set).
    bool Render(const TPracticeChapter& chapter, const TSink& sink, std::string& error) {
        const TSpeakWhen when = Answers_ ? R_.Speak.When : TSpeakWhen::Never;
        for (const TPracticePiece& piece : chapter.Pieces) {
            const bool answer = when != TSpeakWhen::Never && piece.Item;
            if (answer && (when == TSpeakWhen::Before || when == TSpeakWhen::Both))
                if (!Say(piece, sink, error) || !Silence(R_.Speak.GapMs, sink)) return false;
            if (!Morse(piece, sink)) return false;
            if (answer && (when == TSpeakWhen::After || when == TSpeakWhen::Both)) {
                if (!Silence(R_.Speak.GapMs, sink) || !Say(piece, sink, error)) return false;
                if (R_.Speak.RepeatMorse && (!Silence(R_.Speak.GapMs, sink) || !Morse(piece, sink)))
                    return false;
            }
            if (answer && !Silence(R_.Speak.GapMs, sink)) return false;
        }
        return true;
    }

private:
    bool Morse(const TPracticePiece& piece, const TSink& sink) {
        TToneOptions tone = R_.Tone;
        if (piece.Cpm > 0) tone.Cpm = piece.Cpm;
        bool ok = true;
        RenderChars(
            piece.Chars, tone,
            [&](const int16_t* data, std::size_t count) {
                ok = !Progress_.Cancel.load(std::memory_order_relaxed) &&
                     sink(data, count / static_cast<std::size_t>(Channels_));
                return ok;
            },
            Band_.get());
        return ok;
    }

    bool Say(const TPracticePiece& piece, const TSink& sink, std::string& error) {
        std::vector<int16_t> said;
        if (!Answers_->Get(piece.Spoken, said, error)) return false;
        if (Channels_ == 1) return Put(said.data(), said.size(), sink);
        std::vector<int16_t> both(said.size() * 2);
        for (std::size_t i = 0; i < said.size(); ++i)
            both[2 * i] = both[2 * i + 1] = said[i];
        return Put(both.data(), said.size(), sink);
    }

    bool Silence(int ms, const TSink& sink) {
        const std::size_t frames = static_cast<std::size_t>(ms) * MorseSampleRate / 1000;
        Zeros_.assign(frames * static_cast<std::size_t>(Channels_), 0);
        return Put(Zeros_.data(), frames, sink);
    }

    bool Put(const int16_t* data, std::size_t frames, const TSink& sink) {
        return !Progress_.Cancel.load(std::memory_order_relaxed) &&
               (frames == 0 || sink(data, frames));
    }

    const TExportRequest& R_;
    TAnswers* Answers_;
    TExportProgress& Progress_;
    int Channels_;
    std::vector<int16_t> Zeros_;
    std::unique_ptr<TBand> Band_;
};

// Blocks of samples from the rendering thread to the encoder, at most a few seconds ahead.
class TBlockQueue {
public:
    void Push(std::vector<int16_t> block) {
        std::unique_lock lock(Mutex_);
        Room_.wait(lock, [&] { return Blocks_.size() < kMaxBlocks || Closed_; });
        if (Closed_) return;
        Blocks_.push_back(std::move(block));
        Ready_.notify_one();
    }
    // False when the queue is closed and empty.
    bool Pop(std::vector<int16_t>& block) {
        std::unique_lock lock(Mutex_);
        Ready_.wait(lock, [&] { return !Blocks_.empty() || Closed_; });
        if (Blocks_.empty()) return false;
        block = std::move(Blocks_.front());
        Blocks_.pop_front();
        Room_.notify_one();
        return true;
    }
    void Close() {
        std::lock_guard lock(Mutex_);
        Closed_ = true;
        Ready_.notify_all();
        Room_.notify_all();
    }

private:
    static constexpr std::size_t kMaxBlocks = 32;
    std::mutex Mutex_;
    std::condition_variable Ready_, Room_;
    std::deque<std::vector<int16_t>> Blocks_;
    bool Closed_ = false;
};

TAudioFileSpec SpecOf(const TExportRequest& r, std::vector<std::string> chapterTitles,
                      const std::string& title) {
    TAudioFileSpec spec;
    spec.Format = r.Format;
    spec.Channels = r.Tone.Stereo ? 2 : 1;
    spec.SampleRate = MorseSampleRate;
    spec.Quality = r.Quality;
    spec.Tags.Title = title;
    spec.ChapterTitles = std::move(chapterTitles);
    return spec;
}

std::string TitleOf(const TExportRequest& r) {
    return !r.Title.empty() ? r.Title : FileBaseName(FileStem(r.Output));
}

// One file with the chapters marked: the rendering on a thread of its own, the encoding here.
TExportResult ExportOneFile(const TExportRequest& r, TAnswers* answers, TExportProgress& progress) {
    TExportResult result;
    std::vector<std::string> titles;
    if (r.Script.size() > 1)
        for (const TPracticeChapter& c : r.Script)
            titles.push_back(c.Title);
    TAudioFileWriter writer;
    if (!writer.Open(r.Output, SpecOf(r, titles, TitleOf(r)), result.Error)) return result;

    const std::size_t channels = r.Tone.Stereo ? 2 : 1;
    TBlockQueue queue;
    std::vector<TChapterMark> marks;
    std::string renderError;
    std::vector<std::string> qrm;
    std::thread renderer([&] {
        TChapterRenderer render(r, answers, progress);
        std::vector<int16_t> block;
        int64_t frames = 0;
        auto sink = [&](const int16_t* data, std::size_t count) {
            block.insert(block.end(), data, data + count * channels);
            frames += static_cast<int64_t>(count);
            if (block.size() >= 8192) {
                queue.Push(std::move(block));
                block = {};
            }
            return !progress.Cancel.load(std::memory_order_relaxed);
        };
        for (const TPracticeChapter& c : r.Script) {
            TChapterMark mark{c.Title, frames, frames};
            if (!render.Render(c, sink, renderError)) break;
            mark.EndFrame = frames;
            marks.push_back(mark);
        }
        if (!block.empty()) queue.Push(std::move(block));
        qrm = render.QrmSummary();
        queue.Close();
    });
    std::vector<int16_t> block;
    bool ok = true;
    while (queue.Pop(block)) {
        if (!ok) continue; // drain, so that the renderer can finish
        const std::size_t frames = block.size() / channels;
        ok = writer.Write(block.data(), frames, result.Error);
        if (!ok) progress.Cancel = true;
        progress.FramesDone += static_cast<int64_t>(frames);
    }
    renderer.join();
    if (!ok) return result;
    if (!renderError.empty()) {
        result.Error = renderError;
        return result;
    }
    if (progress.Cancel) {
        result.Cancelled = true;
        return result;
    }
    if (!titles.empty())
        marks.resize(titles.size());
    else
        marks.clear();
    result.Frames = writer.FramesWritten();
    if (!writer.Commit(marks, result.Error)) return result;
    result.Files.push_back(r.Output);
    result.Qrm = qrm;
    result.Ok = true;
    return result;
}

// A file per chapter, two at a time.
TExportResult ExportSplit(const TExportRequest& r, TAnswers* answers, TExportProgress& progress) {
    TExportResult result;
    const std::vector<std::string> names = ExportFileNames(r);
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::vector<bool> written(names.size(), false);
    std::atomic<int64_t> framesAll{0};
    auto work = [&] {
        for (std::size_t i = next++; i < names.size(); i = next++) {
            if (progress.Cancel) return;
            TChapterRenderer render(r, answers, progress, static_cast<uint32_t>(i));
            const TPracticeChapter& c = r.Script[i];
            std::string error;
            TAudioFileWriter writer;
            bool ok = writer.Open(names[i], SpecOf(r, {}, TitleOf(r) + " - " + c.Title), error);
            ok = ok && render.Render(
                           c,
                           [&](const int16_t* data, std::size_t frames) {
                               progress.FramesDone += static_cast<int64_t>(frames);
                               return writer.Write(data, frames, error);
                           },
                           error);
            if (ok && !progress.Cancel) ok = writer.Commit({}, error);
            std::lock_guard lock(mutex);
            if (ok && !progress.Cancel) {
                written[i] = true;
                framesAll += writer.FramesWritten();
            } else if (!error.empty() && result.Error.empty()) {
                result.Error = error;
                progress.Cancel = true;
            }
        }
    };
    std::thread second(work);
    work();
    second.join();
    if (progress.Cancel) {
        // A failed or cancelled export leaves none of its files behind.
        for (std::size_t i = 0; i < names.size(); ++i)
            if (written[i]) ::unlink(names[i].c_str());
        result.Cancelled = result.Error.empty();
        return result;
    }
    result.Files = names;
    result.Frames = framesAll;
    result.Ok = true;
    return result;
}

} // namespace

std::vector<std::string> ExportFileNames(const TExportRequest& r) {
    if (!r.Split) return {r.Output};
    const std::string stem = FileStem(r.Output);
    const std::string ext = r.Output.substr(stem.size());
    const std::size_t n = r.Script.size();
    const int width = std::max<int>(2, static_cast<int>(std::to_string(n).size()));
    std::vector<std::string> names;
    for (std::size_t i = 0; i < n; ++i) {
        std::string number = std::to_string(i + 1);
        number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
        names.push_back(stem + "-" + number + ext);
    }
    return names;
}

TExportResult RunExport(const TExportRequest& r, TExportProgress& progress) {
    progress.FramesDone = 0;
    progress.FramesEstimated = EstimateFrames(r);
    TExportResult result;
    if (r.Script.empty()) {
        result.Error = "nothing to send";
        return result;
    }
    std::unique_ptr<TSpeech> speech;
    std::unique_ptr<TAnswers> answers;
    if (r.Speak.When != TSpeakWhen::Never) {
        speech = TSpeech::Open(r.Speak.Voice, r.Speak.Wpm, MorseSampleRate, result.Error);
        if (!speech) return result;
        answers = std::make_unique<TAnswers>(speech.get(), r.Speak.Items, TonePeak(r.Tone.LevelDb));
    }
    return r.Split ? ExportSplit(r, answers.get(), progress)
                   : ExportOneFile(r, answers.get(), progress);
}

} // namespace brindle
