#include "export/ChapterMarks.h"
#include "support/Ffprobe.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace brindle;

namespace {

constexpr int kRate = 8000; // [Hz]

struct TSndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using TSndfile = std::unique_ptr<SNDFILE, TSndfileCloser>;

// Three seconds of a 700 Hz tone, mono, encoded by libsndfile.
bool WriteTone(const std::string& path, int format) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = format;
    TSndfile file(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file) return false;
    std::vector<short> samples(3 * kRate);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(12000 * std::sin(2 * M_PI * 700 * i / kRate));
    return sf_writef_short(file.get(), samples.data(), static_cast<sf_count_t>(samples.size())) ==
           static_cast<sf_count_t>(samples.size());
}

std::vector<short> ReadSamples(const std::string& path) {
    SF_INFO info{};
    TSndfile file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) return {};
    std::vector<short> samples(static_cast<size_t>(info.frames * info.channels));
    samples.resize(static_cast<size_t>(sf_readf_short(file.get(), samples.data(), info.frames)));
    return samples;
}

// A synchsafe size; 0x7FFFFFFF when a byte has its top bit set.
size_t Synchsafe(const std::string& data, size_t pos) {
    size_t size = 0;
    for (size_t i = pos; i < pos + 4; ++i) {
        if (data[i] & 0x80) return 0x7FFFFFFF;
        size = (size << 7) | static_cast<size_t>(data[i]);
    }
    return size;
}

// The frames of an ID3v2.4 tag (or of its CHAP frame) by their ids, in order.
std::vector<std::pair<std::string, std::string>> Id3Frames(const std::string& data) {
    std::vector<std::pair<std::string, std::string>> frames;
    for (size_t pos = 0; pos + 10 <= data.size();) {
        const size_t size = Synchsafe(data, pos + 4);
        frames.emplace_back(data.substr(pos, 4), data.substr(pos + 10, size));
        pos += 10 + size;
    }
    return frames;
}

uint32_t Be32(const std::string& data, size_t pos) {
    uint32_t value = 0;
    for (size_t i = pos; i < pos + 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    return value;
}

// The sequence numbers of an Ogg file's pages; ogg_packet counts of its first page.
std::vector<long> OggPageNumbers(const std::string& path, int& firstPagePackets) {
    const std::string bytes = test::ReadWhole(path);
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    std::memcpy(ogg_sync_buffer(&sync, static_cast<long>(bytes.size())), bytes.data(),
                bytes.size());
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    std::vector<long> numbers;
    ogg_page page;
    for (int got; (got = ogg_sync_pageout(&sync, &page)) != 0;) {
        if (got < 0) { // a damaged page: marked so that the sequence check fails
            numbers.push_back(-1);
            continue;
        }
        if (numbers.empty()) firstPagePackets = ogg_page_packets(&page);
        numbers.push_back(ogg_page_pageno(&page));
    }
    ogg_sync_clear(&sync);
    return numbers;
}

const std::string kLongTitle = "x" + [] {
    std::string umlauts;
    for (int i = 0; i < 100; ++i)
        umlauts += "\xC3\xA4"; // ä
    return umlauts;
}();

// At 8000 Hz: 0 s, 1.5 s and 2.5005 s, which is 2501 ms to the nearest millisecond.
const std::vector<TChapterMark> kChapters{{"Warm-up", 0, 12000},
                                          {"Groups of \"five\" \xE2\x80\x94 K", 12000, 20004},
                                          {kLongTitle, 20004, 24000}};

void ExpectChapters(const test::TProbe& probe, const std::vector<std::string>& titles) {
    const double starts[] = {0, 1.5, 2.501};
    ASSERT_EQ(probe.Chapters.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(probe.Chapters[i].Start, starts[i], 1e-4) << i;
        EXPECT_EQ(probe.Chapters[i].Title, titles[i]) << i;
    }
}

} // namespace

TEST(ChapterMarks, Id3TagLayoutAndFixedSize) {
    const std::string tag = BuildId3v2Tag({"Lesson 5", "Brindle"}, kChapters, kRate);
    ASSERT_GT(tag.size(), 10u);
    EXPECT_EQ(tag.substr(0, 6), std::string("ID3\x04\x00\x00", 6));
    EXPECT_EQ(Synchsafe(tag, 6), tag.size() - 10);
    const auto frames = Id3Frames(tag.substr(10));
    size_t size = 0;
    for (const auto& [id, body] : frames)
        size += 10 + body.size();
    EXPECT_EQ(size, tag.size() - 10);

    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[0], (std::pair<std::string, std::string>("TIT2", "\x03Lesson 5")));
    EXPECT_EQ(frames[1], (std::pair<std::string, std::string>("TPE1", "\x03"
                                                                      "Brindle")));
    EXPECT_EQ(frames[2].first, "CTOC");
    EXPECT_EQ(frames[2].second, std::string("toc\0\x03\x03"
                                            "ch1\0ch2\0ch3\0",
                                            18));
    const std::string& second = frames[4].second; // ch2
    EXPECT_EQ(frames[4].first, "CHAP");
    EXPECT_EQ(second.substr(0, 4), std::string("ch2\0", 4));
    EXPECT_EQ(Be32(second, 4), 1500u);
    EXPECT_EQ(Be32(second, 8), 2501u);
    EXPECT_EQ(Be32(second, 12), 0xFFFFFFFFu);
    EXPECT_EQ(Be32(second, 16), 0xFFFFFFFFu);
    EXPECT_EQ(Id3Frames(second.substr(20))[0].second, "\x03" + kChapters[1].Title);
    // The long title is cut before a character, below 128 bytes.
    const auto longTitle = Id3Frames(frames[5].second.substr(20))[0].second;
    EXPECT_EQ(longTitle, "\x03" + kLongTitle.substr(0, 125));

    // Other times, same size; no chapters, no CTOC.
    std::vector<TChapterMark> later = kChapters;
    for (TChapterMark& chapter : later)
        chapter.StartFrame += 400000, chapter.EndFrame += 400000;
    const std::string laterTag = BuildId3v2Tag({"Lesson 5", "Brindle"}, later, kRate);
    EXPECT_EQ(laterTag.size(), tag.size());
    EXPECT_NE(laterTag, tag);
    EXPECT_EQ(Id3Frames(BuildId3v2Tag({"Lesson 5", "Brindle"}, {}, kRate).substr(10)).size(), 2u);
}

TEST(ChapterMarks, OggChaptersReadByFfprobeAudioUntouched) {
    // A title longer than a page can hold puts the comment header on several pages, so the
    // audio pages are numbered anew.
    std::vector<TChapterMark> chapters = kChapters;
    chapters[2].Title = std::string(70000, 'k');
    for (const int format : {SF_FORMAT_OGG | SF_FORMAT_VORBIS, SF_FORMAT_OGG | SF_FORMAT_OPUS}) {
        SCOPED_TRACE(format);
        test::TTempDir dir;
        const std::string in = dir.File("in.ogg"), out = dir.File("out.ogg");
        ASSERT_TRUE(WriteTone(in, format)) << sf_strerror(nullptr);
        std::string error;
        ASSERT_TRUE(AddOggChapters(in, out, chapters, kRate, error)) << error;
        ExpectChapters(test::Probe(out), {chapters[0].Title, chapters[1].Title, chapters[2].Title});

        const std::vector<short> original = ReadSamples(in);
        EXPECT_EQ(original.size(), 3u * kRate);
        EXPECT_EQ(ReadSamples(out), original);
        int inFirst = 0, outFirst = 0;
        const std::vector<long> inPages = OggPageNumbers(in, inFirst);
        const std::vector<long> outPages = OggPageNumbers(out, outFirst);
        EXPECT_GT(outPages.size(), inPages.size());
        for (size_t i = 0; i < outPages.size(); ++i)
            ASSERT_EQ(outPages[i], long(i));
        EXPECT_EQ(outFirst, 1); // the identification header alone

        // Chapters added again replace those there.
        const std::string again = dir.File("again.ogg");
        ASSERT_TRUE(AddOggChapters(out, again, {{"Only", 8000, 24000}}, kRate, error)) << error;
        const test::TProbe probe = test::Probe(again);
        ASSERT_EQ(probe.Chapters.size(), 1u);
        EXPECT_EQ(probe.Chapters[0].Title, "Only");
        EXPECT_NEAR(probe.Chapters[0].Start, 1.0, 1e-4);
    }
}

TEST(ChapterMarks, OggFailuresLeaveNoFile) {
    test::TTempDir dir;
    const std::string wav = dir.File("tone.wav"), ogg = dir.File("tone.ogg"),
                      out = dir.File("out.ogg");
    ASSERT_TRUE(WriteTone(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(WriteTone(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    const std::string cut = dir.File("cut.ogg");
    std::ofstream(cut, std::ios::binary) << test::ReadWhole(ogg).substr(0, 100);

    // Opus headers with an audio packet on the page of the comment header.
    const std::string shared = dir.File("shared.opus");
    {
        ogg_stream_state stream;
        ogg_stream_init(&stream, 7);
        std::ofstream file(shared, std::ios::binary);
        std::string packets[] = {std::string("OpusHead\x01\x01\x38\x01\x40\x1F\0\0\0\0\0", 19),
                                 std::string("OpusTags\0\0\0\0\0\0\0\0", 16), "\xF8\xFF\xFE"};
        for (int i = 0; i < 3; ++i) {
            ogg_packet packet{};
            packet.packet = reinterpret_cast<unsigned char*>(packets[i].data());
            packet.bytes = static_cast<long>(packets[i].size());
            packet.b_o_s = i == 0;
            packet.granulepos = i == 2 ? 960 : 0;
            packet.packetno = i;
            ogg_stream_packetin(&stream, &packet);
            ogg_page page;
            while (i != 1 && ogg_stream_flush(&stream, &page) != 0) {
                file.write(reinterpret_cast<const char*>(page.header), page.header_len);
                file.write(reinterpret_cast<const char*>(page.body), page.body_len);
            }
        }
        ogg_stream_clear(&stream);
    }

    const std::pair<std::string, std::string> cases[] = {
        {wav, "is not an Ogg file"},
        {dir.File("missing.ogg"), "cannot open"},
        {cut, "ends inside"},
        {shared, "do not end at a page boundary"},
    };
    for (const auto& [in, reason] : cases) {
        std::string error;
        EXPECT_FALSE(AddOggChapters(in, out, kChapters, kRate, error)) << in;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(out)) << in;
    }
    // Not over its own input.
    const auto size = std::filesystem::file_size(ogg);
    std::string error;
    EXPECT_FALSE(AddOggChapters(ogg, ogg, kChapters, kRate, error));
    EXPECT_EQ(std::filesystem::file_size(ogg), size);
}

TEST(ChapterMarks, CueSheet) {
    // 1.5 s is 112.5 cue frames: the index is at 112, not after the chapter's start.
    const std::vector<TChapterMark> chapters{
        {"Warm-up", 0, 12000}, {"Groups \"A\"", 12000, 48012000}, {"Late", 48012000, 48020000}};
    EXPECT_EQ(BuildCueSheet("lesson 5.wav", TAudioFormat::Wav, {"Koch \"5\"", "Brindle"}, chapters,
                            kRate),
              "TITLE \"Koch '5'\"\n"
              "PERFORMER \"Brindle\"\n"
              "FILE \"lesson 5.wav\" WAVE\n"
              "  TRACK 01 AUDIO\n"
              "    TITLE \"Warm-up\"\n"
              "    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n"
              "    TITLE \"Groups 'A'\"\n"
              "    INDEX 01 00:01:37\n"
              "  TRACK 03 AUDIO\n"
              "    TITLE \"Late\"\n"
              "    INDEX 01 100:01:37\n");
    EXPECT_EQ(BuildCueSheet("a.mp3", TAudioFormat::Mp3, {"", "Brindle"}, {chapters[1]}, kRate),
              "PERFORMER \"Brindle\"\n"
              "FILE \"a.mp3\" MP3\n"
              "  TRACK 01 AUDIO\n"
              "    TITLE \"Groups 'A'\"\n"
              "    INDEX 01 00:01:37\n");
}
