#include "export/Speech.h"

#include "base/ControlCodes.h"
#include "engine/MorseTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

using namespace brindle;

namespace {

std::string Prosign(const char* name) {
    return std::string(1, static_cast<char>(ProsignCode(ProsignIndex(name))));
}

// The samples of text said by speech, checked to start and end on the voice and to peak at
// the level asked for.
std::vector<int16_t> Said(TSpeech& speech, const std::string& text, int16_t peak = 20000) {
    std::vector<int16_t> samples;
    EXPECT_TRUE(speech.Say(text, peak, samples)) << text;
    if (samples.empty()) {
        ADD_FAILURE() << "no speech for " << text;
        return samples;
    }
    int top = 0;
    for (const int16_t s : samples)
        top = std::max(top, std::abs(static_cast<int>(s)));
    EXPECT_NEAR(top, peak, 1) << text;
    EXPECT_GE(std::abs(samples.front()), peak / 100) << "silence kept before " << text;
    EXPECT_GE(std::abs(samples.back()), peak / 100) << "silence kept after " << text;
    return samples;
}

std::unique_ptr<TSpeech> OpenOrFail(const std::string& voice, int wpm, int rate) {
    std::string error;
    auto speech = TSpeech::Open(voice, wpm, rate, error);
    EXPECT_NE(speech, nullptr) << error;
    return speech;
}

} // namespace

TEST(SpokenText, ProsignsQCodesAndSpelledItems) {
    // A spelled "A" that more follows gets a comma, or espeak-ng reads the article.
    EXPECT_EQ(SpokenText(Prosign("<ar>"), TSpokenKind::Word), "A, R");
    EXPECT_EQ(SpokenText(Prosign("<sk>"), TSpokenKind::Group), "S K");
    EXPECT_EQ(SpokenText("QRZ?", TSpokenKind::Word), "Q R Z question mark");
    EXPECT_EQ(SpokenText("qth", TSpokenKind::Word), "Q T H");
    EXPECT_EQ(SpokenText("KM5R", TSpokenKind::Group), "K M 5 R");
    EXPECT_EQ(SpokenText("km5r", TSpokenKind::Group), "K M 5 R");
    EXPECT_EQ(SpokenText("DL1ABC/P", TSpokenKind::Callsign), "D L 1 A, B C stroke P");
    EXPECT_EQ(SpokenText("ea", TSpokenKind::Group), "E A");
    EXPECT_EQ(SpokenText("", TSpokenKind::Line), "");
}

TEST(SpokenText, WordsAndLinesSayWordsAndSpellTheRest) {
    EXPECT_EQ(SpokenText("hello", TSpokenKind::Word), "hello");
    EXPECT_EQ(SpokenText("Hello", TSpokenKind::Word), "hello");
    EXPECT_EQ(SpokenText("tnx", TSpokenKind::Word), "T N X");   // no vowel
    EXPECT_EQ(SpokenText("73", TSpokenKind::Word), "7 3");      // digits
    EXPECT_EQ(SpokenText("don't", TSpokenKind::Word), "don't"); // apostrophe inside the word
    // Separators of engine text: spaces, line end, item end and pause; signs by their names;
    // prosigns and Q-codes inside a line by their letters.
    const std::string line = std::string("tnx fer call\r73 ") + Prosign("<sk>") + ItemEndChar +
                             "qsl? rst 599, name (joe)" + PauseChar + "hw" + Prosign("<bt>");
    EXPECT_EQ(SpokenText(line, TSpokenKind::Line),
              "T N X fer call 7 3 S K Q S L question mark R S T 5 9 9 comma name open bracket "
              "joe close bracket H W B T");
    // Windows-1252 letters come out as UTF-8, capitals when spelled.
    EXPECT_EQ(SpokenText("\xC4rger", TSpokenKind::Word), "\xC3\xA4rger");
    EXPECT_EQ(SpokenText("\xE9t\xE9", TSpokenKind::Line), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(SpokenText("\xF1"
                         "1",
                         TSpokenKind::Group),
              "\xC3\x91 1");
}

TEST(Speech, SaysTextTrimmedAtThePeakAndTheSampleRateAskedFor) {
    auto speech = OpenOrFail("en", 175, 8000);
    ASSERT_NE(speech, nullptr);
    const std::vector<int16_t> once = Said(*speech, "one two");
    EXPECT_GT(once.size(), 8000u * 3 / 10);
    EXPECT_LT(once.size(), 8000u * 3);
    double energy = 0;
    for (const int16_t s : once)
        energy += static_cast<double>(s) * s;
    const double rms = std::sqrt(energy / static_cast<double>(once.size()));
    EXPECT_GT(rms, 20000 * 0.05);
    EXPECT_LT(rms, 20000 * 0.7);

    // Appends behind what is there (espeak-ng varies its speech a little from call to call);
    // nothing for no text.
    std::vector<int16_t> twice = once;
    EXPECT_TRUE(speech->Say("one two", 20000, twice));
    EXPECT_TRUE(std::equal(once.begin(), once.end(), twice.begin()));
    EXPECT_NEAR(static_cast<double>(twice.size()) / once.size(), 2.0, 0.05);
    const std::size_t before = twice.size();
    EXPECT_TRUE(speech->Say("", 20000, twice));
    EXPECT_EQ(twice.size(), before);

    // Twice the sample rate: about twice the samples, at a lower peak as asked.
    auto wide = OpenOrFail("", 175, 16000);
    ASSERT_NE(wide, nullptr);
    const double ratio = static_cast<double>(Said(*wide, "one two", 12000).size()) / once.size();
    EXPECT_NEAR(ratio, 2.0, 0.05);
}

TEST(Speech, EachSpeechKeepsItsOwnRateWhenUsedInTurn) {
    auto slow = OpenOrFail("en-us", 100, 8000);
    auto fast = OpenOrFail("en", 300, 8000);
    ASSERT_TRUE(slow && fast);
    const std::string text = SpokenText("DL1ABC", TSpokenKind::Callsign);
    const std::size_t slow1 = Said(*slow, text).size();
    const std::size_t fast1 = Said(*fast, text).size();
    const std::size_t slow2 = Said(*slow, text).size();
    const std::size_t fast2 = Said(*fast, text).size();
    // The rates differ threefold; each call keeps its own within espeak-ng's small variation.
    EXPECT_LT(fast1 * 2, slow1);
    EXPECT_NEAR(static_cast<double>(slow2) / slow1, 1.0, 0.05);
    EXPECT_NEAR(static_cast<double>(fast2) / fast1, 1.0, 0.05);
}

TEST(Speech, UnknownVoiceAndRatesOutsideTheRangeAreRefused) {
    std::string error;
    EXPECT_EQ(TSpeech::Open("xx-nonexistent", 175, 8000, error), nullptr);
    EXPECT_NE(error.find("'xx-nonexistent'"), std::string::npos) << error;
    EXPECT_NE(error.find("installed voices: "), std::string::npos) << error;
    EXPECT_NE(error.find(", en, "), std::string::npos) << error;
    for (const int wpm : {TSpeech::MinWordsPerMinute - 1, TSpeech::MaxWordsPerMinute + 1}) {
        error.clear();
        EXPECT_EQ(TSpeech::Open("en", wpm, 8000, error), nullptr);
        EXPECT_NE(error.find("80 to 450"), std::string::npos) << error;
    }
    // A refused voice leaves the others working.
    auto speech = OpenOrFail("en", TSpeech::MaxWordsPerMinute, 8000);
    ASSERT_NE(speech, nullptr);
    Said(*speech, "yes");

    // The voice list: sorted, each once, and every name opens.
    std::vector<std::string> names;
    std::stringstream list(InstalledVoices());
    for (std::string name; std::getline(list, name, ',');)
        names.push_back(name.substr(name.front() == ' ' ? 1 : 0));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    for (const char* expected : {"de", "en", "en-us", "fr"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_NE(TSpeech::Open(names.back(), 175, 8000, error), nullptr) << error;
}
