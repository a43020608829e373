#include "export/ChapterMarks.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

namespace brindle {

namespace {

// The time of frame [ms], rounded to the nearest millisecond.
int64_t Milliseconds(int64_t frame, int sampleRate) {
    if (frame <= 0 || sampleRate <= 0) return 0;
    return (frame * 1000 + sampleRate / 2) / sampleRate;
}

// ---- ID3v2.4 ------------------------------------------------------------------------------

void AppendBe32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

// Seven bits a byte, the top bit clear: the sizes of the tag and of its frames.
void AppendSynchsafe(std::string& out, uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7)
        out += static_cast<char>((value >> shift) & 0x7F);
}

std::string Id3Frame(std::string_view id, const std::string& body) {
    std::string frame(id);
    AppendSynchsafe(frame, static_cast<uint32_t>(body.size()));
    frame += '\0'; // no frame flags
    frame += '\0';
    return frame + body;
}

std::string Id3TextFrame(std::string_view id, const std::string& text) {
    return Id3Frame(id, '\x03' + text); // 3: UTF-8
}

// At most maxBytes of text, cut before a character, not inside one.
std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

// The longest chapter title [bytes]. Readers take the size of a frame inside a CHAP frame
// differently (ffmpeg reads it as a plain integer, not a synchsafe one, and drops the chapter
// when they disagree); below 128 the two are the same bytes.
constexpr size_t kMaxChapterTitleBytes = 126;
// The CTOC frame counts its entries in one byte.
constexpr size_t kMaxTocEntries = 255;

uint32_t Id3Time(int64_t frame, int sampleRate) {
    return static_cast<uint32_t>(std::min<int64_t>(Milliseconds(frame, sampleRate), 0xFFFFFFFF));
}

// ---- Ogg ----------------------------------------------------------------------------------

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

class TOggSync {
public:
    TOggSync() { ogg_sync_init(&State); }
    ~TOggSync() { ogg_sync_clear(&State); }
    TOggSync(const TOggSync&) = delete;
    TOggSync& operator=(const TOggSync&) = delete;

    ogg_sync_state State{};
};

class TOggStream {
public:
    explicit TOggStream(int serial) { ogg_stream_init(&State, serial); }
    ~TOggStream() { ogg_stream_clear(&State); }
    TOggStream(const TOggStream&) = delete;
    TOggStream& operator=(const TOggStream&) = delete;

    ogg_stream_state State{};
};

enum class TOggCodec { Vorbis, Opus };

constexpr std::string_view kVorbisId{"\x01vorbis", 7};
constexpr std::string_view kVorbisComment{"\x03vorbis", 7};
constexpr std::string_view kVorbisSetup{"\x05vorbis", 7};
constexpr std::string_view kOpusId{"OpusHead"};
constexpr std::string_view kOpusComment{"OpusTags"};

constexpr size_t kReadBytes = 64 * 1024;

uint32_t ReadLe32(const std::string& data, size_t pos) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(data[pos + i]);
    return value;
}

void AppendLe32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The comment header: the vendor string and the comments, and for Opus the binary data after
// them that is to be kept.
struct TOggComments {
    std::string Vendor;
    std::vector<std::string> Comments;
    std::string Kept;
};

bool ParseComments(const std::string& packet, TOggCodec codec, TOggComments& comments) {
    size_t pos = codec == TOggCodec::Vorbis ? kVorbisComment.size() : kOpusComment.size();
    auto take = [&](std::string& out) {
        if (packet.size() - pos < 4) return false;
        const uint32_t length = ReadLe32(packet, pos);
        pos += 4;
        if (packet.size() - pos < length) return false;
        out = packet.substr(pos, length);
        pos += length;
        return true;
    };
    if (!take(comments.Vendor) || packet.size() - pos < 4) return false;
    const uint32_t count = ReadLe32(packet, pos);
    pos += 4;
    if (count > (packet.size() - pos) / 4) return false;
    comments.Comments.resize(count);
    for (std::string& comment : comments.Comments)
        if (!take(comment)) return false;
    if (codec == TOggCodec::Vorbis) return pos < packet.size() && (packet[pos] & 1) != 0;
    // Opus: what follows is kept when its first byte says so, else it is padding.
    if (pos < packet.size() && (packet[pos] & 1) != 0) comments.Kept = packet.substr(pos);
    return true;
}

std::string BuildComments(const TOggComments& comments, TOggCodec codec) {
    std::string packet(codec == TOggCodec::Vorbis ? kVorbisComment : kOpusComment);
    AppendLe32(packet, static_cast<uint32_t>(comments.Vendor.size()));
    packet += comments.Vendor;
    AppendLe32(packet, static_cast<uint32_t>(comments.Comments.size()));
    for (const std::string& comment : comments.Comments) {
        AppendLe32(packet, static_cast<uint32_t>(comment.size()));
        packet += comment;
    }
    if (codec == TOggCodec::Vorbis)
        packet += '\x01'; // framing bit
    else
        packet += comments.Kept;
    return packet;
}

// A CHAPTERnnn= or CHAPTERnnnNAME= comment, which is replaced rather than repeated.
bool IsChapterComment(const std::string& comment) {
    const size_t equals = comment.find('=');
    if (equals == std::string::npos || equals < 8) return false;
    std::string key = comment.substr(0, equals);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (key.compare(0, 7, "CHAPTER") != 0) return false;
    size_t digits = 7;
    while (digits < key.size() && std::isdigit(static_cast<unsigned char>(key[digits])))
        ++digits;
    return digits > 7 && (digits == key.size() || key.substr(digits) == "NAME");
}

// HH:MM:SS.mmm
std::string OggTime(int64_t frame, int sampleRate) {
    const int64_t ms = Milliseconds(frame, sampleRate);
    char text[96];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

// Copies one Ogg Vorbis or Opus file to another with new comments; each step sets Error and
// returns false when it fails.
class TOggChapterCopy {
public:
    TOggChapterCopy(const std::string& inPath, const std::string& outPath)
        : InPath(inPath), OutPath(outPath) {}

    bool Run(const std::vector<TChapterMark>& chapters, int sampleRate) {
        In.reset(std::fopen(InPath.c_str(), "rb"));
        if (!In) return Fail("cannot open " + InPath + ": " + std::strerror(errno));
        if (!ReadHeaders()) return false;
        TOggComments comments;
        if (!ParseComments(Headers[1], Codec, comments))
            return Fail(InPath + " has a damaged comment header");
        std::erase_if(comments.Comments, IsChapterComment);
        for (size_t i = 0; i < chapters.size(); ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "CHAPTER%03zu", i + 1);
            comments.Comments.push_back(key + ("=" + OggTime(chapters[i].StartFrame, sampleRate)));
            comments.Comments.push_back(key + ("NAME=" + chapters[i].Title));
        }
        Headers[1] = BuildComments(comments, Codec);

        Out.reset(std::fopen(OutPath.c_str(), "wb"));
        if (!Out) return Fail("cannot write " + OutPath + ": " + std::strerror(errno));
        OutOpened = true;
        return WriteHeaders() && CopyPages() && CloseOut();
    }

    // Removes what was written of the output after a failure.
    void Discard() {
        Out.reset();
        std::error_code ignored;
        if (OutOpened) std::filesystem::remove(OutPath, ignored);
    }

    std::string Error;

private:
    bool Fail(std::string error) {
        Error = std::move(error);
        return false;
    }

    // The next page of the input: 1, 0 at its end, -1 on failure.
    int NextPage(ogg_page& page) {
        for (;;) {
            const int got = ogg_sync_pageout(&Sync.State, &page);
            if (got > 0) {
                SeenPage = true;
                return 1;
            }
            if (got < 0) {
                Fail(SeenPage ? InPath + " has damaged Ogg data" : InPath + " is not an Ogg file");
                return -1;
            }
            char* buffer = ogg_sync_buffer(&Sync.State, kReadBytes);
            const size_t read = std::fread(buffer, 1, kReadBytes, In.get());
            if (std::ferror(In.get())) {
                Fail("cannot read " + InPath + ": " + std::strerror(errno));
                return -1;
            }
            if (read == 0) {
                if (!SeenPage) {
                    Fail(InPath + " is not an Ogg file");
                    return -1;
                }
                if (Sync.State.fill > Sync.State.returned) {
                    Fail(InPath + " ends inside an Ogg page");
                    return -1;
                }
                return 0;
            }
            ogg_sync_wrote(&Sync.State, static_cast<long>(read));
        }
    }

    // The header packets of the first stream, which must end where a page ends.
    bool ReadHeaders() {
        ogg_page page;
        if (NextPage(page) <= 0) return false;
        if (!ogg_page_bos(&page)) return Fail(InPath + " does not begin with an Ogg stream");
        Serial = ogg_page_serialno(&page);
        TOggStream stream(Serial);
        size_t wanted = 1;
        for (;;) {
            if (ogg_page_serialno(&page) != Serial)
                return Fail(InPath + " holds more than one Ogg stream");
            if (ogg_stream_pagein(&stream.State, &page) != 0)
                return Fail(InPath + " has a damaged Ogg page");
            LastHeaderPage = ogg_page_pageno(&page);
            HeadersEndStream = ogg_page_eos(&page) != 0;
            while (Headers.size() < wanted) {
                ogg_packet packet;
                const int got = ogg_stream_packetout(&stream.State, &packet);
                if (got == 0) break;
                if (got < 0) return Fail(InPath + " misses a page of its headers");
                Headers.emplace_back(reinterpret_cast<const char*>(packet.packet),
                                     static_cast<size_t>(packet.bytes));
                if (Headers.size() == 1) {
                    if (Headers[0].starts_with(kVorbisId)) {
                        Codec = TOggCodec::Vorbis;
                        wanted = 3;
                    } else if (Headers[0].starts_with(kOpusId)) {
                        Codec = TOggCodec::Opus;
                        wanted = 2;
                    } else {
                        return Fail(InPath + " is neither Ogg Vorbis nor Ogg Opus");
                    }
                }
            }
            if (Headers.size() == wanted) break;
            const int got = NextPage(page);
            if (got == 0) return Fail(InPath + " ends inside its headers");
            if (got < 0) return false;
        }
        const bool vorbis = Codec == TOggCodec::Vorbis;
        if (!Headers[1].starts_with(vorbis ? kVorbisComment : kOpusComment) ||
            (vorbis && !Headers[2].starts_with(kVorbisSetup)))
            return Fail(InPath + " has its headers out of order");
        // Nothing else may be on the last header page: neither a whole packet nor the start
        // of one (a last lacing value of 255).
        ogg_packet more;
        const int segments = page.header[26];
        if (ogg_stream_packetpeek(&stream.State, &more) != 0 ||
            (segments > 0 && page.header[27 + segments - 1] == 255))
            return Fail(InPath + " has headers that do not end at a page boundary");
        return true;
    }

    bool WritePage(const ogg_page& page) {
        if (std::fwrite(page.header, 1, page.header_len, Out.get()) !=
                static_cast<size_t>(page.header_len) ||
            std::fwrite(page.body, 1, page.body_len, Out.get()) !=
                static_cast<size_t>(page.body_len))
            return Fail("cannot write " + OutPath + ": " + std::strerror(errno));
        return true;
    }

    // The identification header alone on the first page, the others after it, flushed so that
    // the audio begins on a page of its own.
    bool WriteHeaders() {
        TOggStream stream(Serial);
        ogg_page page;
        for (size_t i = 0; i < Headers.size(); ++i) {
            ogg_packet packet{};
            packet.packet = reinterpret_cast<unsigned char*>(Headers[i].data());
            packet.bytes = static_cast<long>(Headers[i].size());
            packet.b_o_s = i == 0;
            packet.e_o_s = HeadersEndStream && i + 1 == Headers.size();
            packet.granulepos = 0;
            packet.packetno = static_cast<ogg_int64_t>(i);
            if (ogg_stream_packetin(&stream.State, &packet) != 0)
                return Fail("cannot make the Ogg headers of " + OutPath);
            if (i == 0 || i + 1 == Headers.size()) {
                while (ogg_stream_flush(&stream.State, &page) != 0) {
                    if (!WritePage(page)) return false;
                    ++HeaderPagesWritten;
                }
            }
        }
        return true;
    }

    // Every page after the headers, those of the stream numbered on from the new headers.
    bool CopyPages() {
        const int64_t shift = HeaderPagesWritten - (LastHeaderPage + 1);
        ogg_page page;
        int got = 0;
        while ((got = NextPage(page)) > 0) {
            if (ogg_page_serialno(&page) == Serial) {
                const auto number = static_cast<uint32_t>(ogg_page_pageno(&page) + shift);
                for (int i = 0; i < 4; ++i)
                    page.header[18 + i] = static_cast<unsigned char>((number >> (8 * i)) & 0xFF);
                ogg_page_checksum_set(&page);
            }
            if (!WritePage(page)) return false;
        }
        return got == 0;
    }

    bool CloseOut() {
        const bool failed = std::ferror(Out.get()) != 0;
        if (std::fclose(Out.release()) != 0 || failed)
            return Fail("cannot write " + OutPath + ": " + std::strerror(errno));
        return true;
    }

    std::string InPath;
    std::string OutPath;
    TFile In;
    TFile Out;
    bool OutOpened = false;
    TOggSync Sync;
    bool SeenPage = false;
    int Serial = 0;
    TOggCodec Codec = TOggCodec::Vorbis;
    std::vector<std::string> Headers;
    int64_t LastHeaderPage = 0;
    bool HeadersEndStream = false;
    int64_t HeaderPagesWritten = 0;
};

// ---- Cue sheet ----------------------------------------------------------------------------

// Text for a quoted field: a quote becomes an apostrophe, a line break a space.
std::string CueQuoted(const std::string& text) {
    std::string quoted = "\"" + text + "\"";
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '"')
            quoted[i] = '\'';
        else if (quoted[i] == '\r' || quoted[i] == '\n')
            quoted[i] = ' ';
    }
    return quoted;
}

std::string_view CueFileType(TAudioFormat format) {
    switch (format) {
    case TAudioFormat::Mp3: return "MP3";
    case TAudioFormat::Wav:
    case TAudioFormat::Flac:
    case TAudioFormat::Opus:
    case TAudioFormat::Vorbis: break;
    }
    return "WAVE";
}

// mm:ss:ff, ff in cue frames of 1/75 s, rounded down so that a track never starts after its
// first sound; the minutes take as many digits as they need.
std::string CueTime(int64_t frame, int sampleRate) {
    const int64_t cueFrames = frame > 0 && sampleRate > 0 ? frame * 75 / sampleRate : 0;
    char text[96];
    std::snprintf(
        text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(cueFrames / (75 * 60)),
        static_cast<long long>(cueFrames / 75 % 60), static_cast<long long>(cueFrames % 75));
    return text;
}

} // namespace

std::string BuildId3v2Tag(const TFileTags& tags, const std::vector<TChapterMark>& chapters,
                          int sampleRate) {
    std::string frames;
    if (!tags.Title.empty()) frames += Id3TextFrame("TIT2", tags.Title);
    if (!tags.Artist.empty()) frames += Id3TextFrame("TPE1", tags.Artist);
    if (!chapters.empty()) {
        std::string toc("toc\0", 4);
        const size_t entries = std::min(chapters.size(), kMaxTocEntries);
        toc += '\x03'; // top level, ordered
        toc += static_cast<char>(entries);
        for (size_t i = 0; i < entries; ++i)
            toc += "ch" + std::to_string(i + 1) + '\0';
        frames += Id3Frame("CTOC", toc);
        for (size_t i = 0; i < chapters.size(); ++i) {
            const TChapterMark& chapter = chapters[i];
            std::string chap = "ch" + std::to_string(i + 1) + '\0';
            AppendBe32(chap, Id3Time(chapter.StartFrame, sampleRate));
            AppendBe32(chap, Id3Time(chapter.EndFrame, sampleRate));
            AppendBe32(chap, 0xFFFFFFFF); // no byte offsets
            AppendBe32(chap, 0xFFFFFFFF);
            chap += Id3TextFrame("TIT2", CutUtf8(chapter.Title, kMaxChapterTitleBytes));
            frames += Id3Frame("CHAP", chap);
        }
    }
    std::string tag("ID3\x04\x00\x00", 6); // version 2.4.0, no flags
    AppendSynchsafe(tag, static_cast<uint32_t>(frames.size()));
    return tag + frames;
}

bool AddOggChapters(const std::string& inPath, const std::string& outPath,
                    const std::vector<TChapterMark>& chapters, int sampleRate, std::string& error) {
    std::error_code ignored;
    if (std::filesystem::equivalent(inPath, outPath, ignored)) {
        error = "cannot add chapters to " + inPath + " in place";
        return false;
    }
    TOggChapterCopy copy(inPath, outPath);
    if (copy.Run(chapters, sampleRate)) return true;
    copy.Discard();
    error = copy.Error;
    return false;
}

std::string BuildCueSheet(const std::string& audioFileName, TAudioFormat format,
                          const TFileTags& tags, const std::vector<TChapterMark>& chapters,
                          int sampleRate) {
    std::string sheet;
    if (!tags.Title.empty()) sheet += "TITLE " + CueQuoted(tags.Title) + "\n";
    if (!tags.Artist.empty()) sheet += "PERFORMER " + CueQuoted(tags.Artist) + "\n";
    sheet += "FILE " + CueQuoted(audioFileName) + " " + std::string(CueFileType(format)) + "\n";
    // Without chapters the file is one track, so that the sheet is still a valid one.
    const std::vector<TChapterMark> whole{{tags.Title, 0, 0}};
    const std::vector<TChapterMark>& tracks = chapters.empty() ? whole : chapters;
    for (size_t i = 0; i < tracks.size(); ++i) {
        char track[64];
        std::snprintf(track, sizeof track, "  TRACK %02zu AUDIO\n", i + 1);
        sheet += track;
        sheet += "    TITLE " + CueQuoted(tracks[i].Title) + "\n";
        sheet += "    INDEX 01 " + CueTime(tracks[i].StartFrame, sampleRate) + "\n";
    }
    return sheet;
}

} // namespace brindle
