#include "audio/WavFile.h"

#include <gtest/gtest.h>

using namespace brindle;

TEST(WavFile, RoundTripAndHeader) {
    TWavData wav;
    wav.Channels = 2;
    wav.SampleRate = 8000;
    wav.Samples = {0, 1, -1, 32767, -32768, 12345};
    const std::string bytes = BuildWav(wav);
    ASSERT_EQ(bytes.size(), 44u + 12u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(36, 4), "data");
    TWavData back;
    std::string error;
    ASSERT_TRUE(ParseWav(bytes, back, error)) << error;
    EXPECT_EQ(back.Channels, 2);
    EXPECT_EQ(back.SampleRate, 8000);
    EXPECT_EQ(back.Samples, wav.Samples);
}

TEST(WavFile, RejectsWhatIsNotPcmWav) {
    TWavData wav;
    std::string error;
    EXPECT_FALSE(ParseWav("", wav, error));
    EXPECT_FALSE(ParseWav("RIFF\x04\0\0\0WAVE", wav, error));
    std::string truncated = BuildWav(TWavData{8000, 1, {1, 2, 3}});
    truncated.resize(truncated.size() - 2);
    EXPECT_FALSE(ParseWav(truncated, wav, error));
    EXPECT_EQ(error, "chunk runs past the end of the file");
}
