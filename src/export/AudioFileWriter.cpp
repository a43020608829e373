#include "export/AudioFileWriter.h"

#include "base/FileIO.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace brindle {

namespace {

struct TSndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

int SndfileFormat(TAudioFormat format) {
    switch (format) {
    case TAudioFormat::Wav: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case TAudioFormat::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    case TAudioFormat::Opus: return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case TAudioFormat::Vorbis: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case TAudioFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    }
    return 0;
}

} // namespace

// The file as libsndfile sees it: positions start after Base (the MP3 file's tag), writes go to
// the temporary file, and the first write error is kept (libsndfile's encoders do not all report
// a short write).
struct TAudioFileWriter::TSink {
    TAtomicFileWriter File;    // the file under its final name on Commit
    TAtomicFileWriter Scratch; // Ogg with chapters: the encoder's output, copied with its marks
    TAtomicFileWriter Cue;
    TAtomicFileWriter* Target = &File;
    std::unique_ptr<SNDFILE, TSndfileCloser> Sound;
    sf_count_t Base = 0;
    sf_count_t Pos = 0;
    sf_count_t Length = 0;
    std::string Error;

    static TSink& Of(void* user) { return *static_cast<TSink*>(user); }
    static sf_count_t Length_(void* user) { return Of(user).Length; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        TSink& s = Of(user);
        const sf_count_t from = whence == SEEK_CUR ? s.Pos : whence == SEEK_END ? s.Length : 0;
        if (from + offset < 0) return -1;
        s.Pos = from + offset;
        return s.Pos;
    }
    static sf_count_t Read(void* ptr, sf_count_t count, void* user) {
        TSink& s = Of(user);
        const int fd = ::open(s.Target->TempPath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return 0;
        const ssize_t got = ::pread(fd, ptr, static_cast<std::size_t>(count), s.Base + s.Pos);
        ::close(fd);
        if (got <= 0) return 0;
        s.Pos += got;
        return got;
    }
    static sf_count_t Write(const void* ptr, sf_count_t count, void* user) {
        TSink& s = Of(user);
        if (!s.Error.empty()) return 0;
        std::string error;
        if (!s.Target->WriteAt(
                std::string_view(static_cast<const char*>(ptr), static_cast<std::size_t>(count)),
                s.Base + s.Pos, error)) {
            s.Error = error;
            return 0;
        }
        s.Pos += count;
        s.Length = std::max(s.Length, s.Pos);
        return count;
    }
    static sf_count_t Tell(void* user) { return Of(user).Pos; }
};

TAudioFileWriter::TAudioFileWriter() = default;

TAudioFileWriter::~TAudioFileWriter() {
    Discard();
}

void TAudioFileWriter::Discard() {
    Sink_.reset();
    Frames_ = 0;
}

bool TAudioFileWriter::Fail(std::string& error, const std::string& reason) {
    error = reason;
    Discard();
    return false;
}

bool TAudioFileWriter::Open(const std::string& path, const TAudioFileSpec& spec,
                            std::string& error) {
    Discard();
    Spec_ = spec;
    Path_ = path;
    Sink_ = std::make_unique<TSink>();
    TSink& s = *Sink_;
    if (!s.File.Open(path, error)) return Fail(error, error);
    const TChapterMarks marks = ChapterMarksOf(spec.Format);
    const bool chapters = !spec.ChapterTitles.empty();
    if (chapters && marks == TChapterMarks::OggComments) {
        if (!s.Scratch.Open(path + ".part", error)) return Fail(error, error);
        s.Target = &s.Scratch;
    }
    if (chapters && marks == TChapterMarks::CueSheet) {
        if (!s.Cue.Open(FileStem(path) + ".cue", error)) return Fail(error, error);
    }
    if (marks == TChapterMarks::Id3Chapters) {
        // The tag goes before the audio; its times are filled in on Commit.
        std::vector<TChapterMark> placeholders;
        for (const std::string& title : spec.ChapterTitles)
            placeholders.push_back({title, 0, 0});
        const std::string tag = BuildId3v2Tag(spec.Tags, placeholders, spec.SampleRate);
        if (!s.File.WriteAt(tag, 0, error)) return Fail(error, error);
        s.Base = static_cast<sf_count_t>(tag.size());
    }

    SF_INFO info{};
    info.samplerate = spec.SampleRate;
    info.channels = spec.Channels;
    info.format = SndfileFormat(spec.Format);
    SF_VIRTUAL_IO io{&TSink::Length_, &TSink::Seek, &TSink::Read, &TSink::Write, &TSink::Tell};
    s.Sound.reset(sf_open_virtual(&io, SFM_WRITE, &info, &s));
    if (!s.Sound) {
        const std::string reason = !s.Error.empty() ? s.Error : sf_strerror(nullptr);
        return Fail(error, "cannot write " + std::string(FormatTitle(spec.Format)) + ": " + reason);
    }
    SNDFILE* f = s.Sound.get();
    if (IsLossy(spec.Format)) {
        if (spec.Format == TAudioFormat::Mp3) {
            // LAME's variable rate: smaller than a constant 16 kbit/s and faster to encode.
            int mode = SF_BITRATE_MODE_VARIABLE;
            sf_command(f, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        }
        double compression = 1.0 - std::clamp(spec.Quality, 0.0, 1.0);
        sf_command(f, SFC_SET_COMPRESSION_LEVEL, &compression, sizeof compression);
    } else if (spec.Format == TAudioFormat::Flac) {
        double compression = 0.5;
        sf_command(f, SFC_SET_COMPRESSION_LEVEL, &compression, sizeof compression);
    }
    if (spec.Format != TAudioFormat::Mp3) {
        // MP3's tags are in the tag written above.
        if (!spec.Tags.Title.empty()) sf_set_string(f, SF_STR_TITLE, spec.Tags.Title.c_str());
        if (!spec.Tags.Artist.empty()) sf_set_string(f, SF_STR_ARTIST, spec.Tags.Artist.c_str());
    }
    return true;
}

bool TAudioFileWriter::Write(const int16_t* samples, std::size_t frames, std::string& error) {
    if (!Sink_ || !Sink_->Sound) {
        error = "the file is not open";
        return false;
    }
    // A WAV file counts its bytes in 32 bits.
    constexpr int64_t kWavMaxBytes = 0xFFFFFFFFll - 1024;
    if (Spec_.Format == TAudioFormat::Wav &&
        (Frames_ + static_cast<int64_t>(frames)) * Spec_.Channels * 2 > kWavMaxBytes)
        return Fail(error, "the text is too long for one WAV file (4 GiB)");
    const sf_count_t put =
        sf_writef_short(Sink_->Sound.get(), samples, static_cast<sf_count_t>(frames));
    if (!Sink_->Error.empty()) return Fail(error, Sink_->Error);
    if (put != static_cast<sf_count_t>(frames)) return Fail(error, sf_strerror(Sink_->Sound.get()));
    Frames_ += put;
    return true;
}

bool TAudioFileWriter::Commit(const std::vector<TChapterMark>& chapters, std::string& error) {
    if (!Sink_ || !Sink_->Sound) {
        error = "the file is not open";
        return false;
    }
    TSink& s = *Sink_;
    const int closed = sf_close(s.Sound.release());
    if (!s.Error.empty()) return Fail(error, s.Error);
    if (closed != 0) return Fail(error, sf_error_number(closed));
    if (chapters.size() != Spec_.ChapterTitles.size())
        return Fail(error, "the chapters do not match the titles given");
    if (!chapters.empty()) {
        switch (ChapterMarksOf(Spec_.Format)) {
        case TChapterMarks::Id3Chapters:
            if (!s.File.WriteAt(BuildId3v2Tag(Spec_.Tags, chapters, Spec_.SampleRate), 0, error))
                return Fail(error, error);
            break;
        case TChapterMarks::OggComments:
            if (!AddOggChapters(s.Scratch.TempPath(), s.File.TempPath(), chapters, Spec_.SampleRate,
                                error))
                return Fail(error, error);
            s.Scratch.Discard();
            break;
        case TChapterMarks::CueSheet:
            if (!s.Cue.Write(BuildCueSheet(FileBaseName(Path_), Spec_.Format, Spec_.Tags, chapters,
                                           Spec_.SampleRate),
                             error) ||
                !s.Cue.Commit(error))
                return Fail(error, error);
            break;
        }
    }
    if (!s.File.Commit(error)) return Fail(error, error);
    Sink_.reset();
    return true;
}

} // namespace brindle
