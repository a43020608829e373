// The sound output's buffer rotation, format changes and recovery, on a backend in memory.
#include "audio/SoundOut.h"
#include "engine/SoundFeed.h"
#include "support/FakeSoundBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace brindle;
using brindle::test::TFakeSoundBackend;

namespace {

class Rotation : public ::testing::Test {
protected:
    std::unique_ptr<TSoundOut> Make() {
        auto backend = std::make_unique<TFakeSoundBackend>(State);
        Fake = backend.get();
        auto out = std::make_unique<TSoundOut>(
            [this](const TMessage& m) { Messages.push_back(m.Text); }, std::move(backend));
        out->SetBufferTime(100);
        out->SetChannels(1);
        // Each refill writes its running number into every sample.
        out->OnBufferPlayed = [this](int16_t* b, int bytes) {
            ++Refills;
            Sizes.push_back(bytes);
            WrittenWhenRefilled.push_back(State.Written.size());
            for (int i = 0; i < bytes / 2; ++i)
                b[i] = static_cast<int16_t>(Refills);
        };
        return out;
    }
    // Every sample written is the number of its refill, and each refill is one buffer long.
    void ExpectWholeRefillsInOrder(std::size_t from, int firstRefill, std::size_t samples) {
        const auto& w = State.Written;
        ASSERT_GE(w.size(), from + 2 * samples);
        for (std::size_t k = from; k < w.size(); ++k)
            ASSERT_EQ(w[k], static_cast<int16_t>(firstRefill + (k - from) / samples)) << k;
    }
    TFakeSoundBackend::TState State;
    TFakeSoundBackend* Fake = nullptr;
    std::vector<std::string> Messages;
    int Refills = 0;
    std::vector<int> Sizes;
    std::vector<std::size_t> WrittenWhenRefilled;
};

} // namespace

TEST_F(Rotation, BuffersAreRefilledInTurnAndWrittenInOrder) {
    State.Room = 500; // the device takes a little at a time: partial buffers are written
    auto out = Make();
    ASSERT_TRUE(out->StartOutput());
    // Both buffers were filled before anything was written.
    ASSERT_GE(WrittenWhenRefilled.size(), 2u);
    EXPECT_EQ(WrittenWhenRefilled[0], 0u);
    EXPECT_EQ(WrittenWhenRefilled[1], 0u);
    for (int i = 0; i < 40; ++i)
        out->Feed();
    // The stream is refill 1, 2, 3, ... each a whole buffer of 800 samples, without gaps.
    const auto& w = State.Written;
    ASSERT_GE(w.size(), 4u * 800);
    for (std::size_t k = 0; k < w.size(); ++k)
        ASSERT_EQ(w[k], static_cast<int16_t>(k / 800 + 1)) << k;
    for (const int s : Sizes)
        EXPECT_EQ(s, 1600);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Rotation, NoOwnerMeansSilence) {
    auto out = Make();
    out->OnBufferPlayed = nullptr;
    ASSERT_TRUE(out->StartOutput());
    out->Feed();
    ASSERT_FALSE(State.Written.empty());
    for (const int16_t v : State.Written)
        ASSERT_EQ(v, 0);
}

TEST_F(Rotation, BufferTimeChangeWhilePlayingRestartsWithTheNewSize) {
    auto out = Make();
    ASSERT_TRUE(out->StartOutput());
    Sizes.clear();
    WrittenWhenRefilled.clear();
    const std::size_t before = State.Written.size();
    out->SetBufferTime(50);
    EXPECT_TRUE(out->IsPlaying());
    EXPECT_EQ(State.LastBufferBytes, 800);
    ASSERT_GE(Sizes.size(), 2u);
    EXPECT_EQ(Sizes[0], 800);
    EXPECT_EQ(Sizes[1], 800);
    EXPECT_EQ(WrittenWhenRefilled[1], before); // both filled before the first new write
}

TEST_F(Rotation, DeviceNumbers) {
    auto out = Make();
    ASSERT_TRUE(out->Open());
    const int opens = State.Opens;
    out->SetDeviceID(0); // unchanged: nothing happens
    EXPECT_EQ(State.Opens, opens);
    out->SetDeviceID(TSoundOut::DefaultOutputId);
    EXPECT_EQ(State.Opens, opens + 1);
    out->SetDeviceID(TSoundOut::DefaultOutputId); // the default output is opened again every time
    EXPECT_EQ(State.Opens, opens + 2);
    EXPECT_EQ(State.LastDevice, -1);
    out->SetDeviceID(1); // one device present: number 1 does not exist
    EXPECT_FALSE(out->IsOpen());
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(), "Error: Waveform output device not available: 1");
}

TEST_F(Rotation, OpenFailures) {
    State.FailOpen = true;
    auto out = Make();
    EXPECT_FALSE(out->StartOutput());
    const std::vector<std::string> expected = {"Error opening waveout device 0 : Null Output Err 6",
                                               "Error: Sound output device not open"};
    EXPECT_EQ(Messages, expected);
}

TEST_F(Rotation, LostDeviceComesBackWhenTheOwnerWantsSound) {
    bool wanted = false;
    auto backend = std::make_unique<TFakeSoundBackend>(State);
    TFakeSoundBackend* fake = backend.get();
    TSoundOut out({}, std::move(backend));
    out.OwnerWantsSound = [&wanted] { return wanted; };
    int changes = 0;
    ASSERT_TRUE(out.HookOutputsChanged([&changes] { ++changes; }));
    int lost = 0, back = 0;
    out.OnOutputLost = [&] {
        ++lost;
        EXPECT_FALSE(out.IsPlaying());
    };
    out.OnOutputBack = [&] {
        ++back;
        EXPECT_TRUE(out.IsPlaying());
    };
    ASSERT_TRUE(out.StartOutput());
    fake->FailStream();
    State.Outputs.clear();
    fake->RunPosted();
    fake->OnOutputsChanged();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(out.DevicePresent());
    EXPECT_EQ(lost, 1);
    State.Outputs = {{"null", "Null Output"}};
    fake->OnOutputsChanged(); // not wanted: stays closed
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(back, 0);
    wanted = true;
    fake->OnOutputsChanged();
    EXPECT_TRUE(out.IsPlaying());
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(back, 1);
}

TEST_F(Rotation, EngineAndNoiseFillThePlayedBuffers) {
    TMorseEngine engine;
    engine.SetSoundMode(true);
    TMorseEngine twin; // renders the same signal without noise
    twin.SetSoundMode(true);
    for (TMorseEngine* e : {&engine, &twin}) {
        for (const char c : std::string("ee"))
            e->PutChar(static_cast<uint8_t>(c));
        e->Start();
    }
    TNoiseGen noise(7);
    noise.SetLeveldB(-30);
    bool noiseOn = false;
    auto out = Make();
    out->OnBufferPlayed = SoundBufferFiller(engine, noise, [&noiseOn] { return noiseOn; });
    ASSERT_TRUE(out->StartOutput());
    std::vector<int16_t> expected(1600);
    twin.RenderBuffer(expected.data(), 3200);
    ASSERT_GE(State.Written.size(), 1600u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), State.Written.begin()));
    noiseOn = true;
    State.Written.clear();
    out->Feed();
    // Written now: renders 5 and 6 (filled before noise was on), then 7, the first with noise.
    std::vector<int16_t> next(800);
    for (int render = 3; render <= 7; ++render)
        twin.RenderBuffer(next.data(), 1600);
    ASSERT_GE(State.Written.size(), 2400u);
    int differing = 0;
    for (std::size_t k = 0; k < 800; ++k)
        differing += State.Written[1600 + k] != next[k];
    EXPECT_GT(differing, 700);
}

// A failure posted for a stream that the owner closed and reopened in the same turn concerns a
// stream that is gone: the new one plays on.
TEST_F(Rotation, FailureOfAStreamThatIsGoneLeavesTheNewOnePlaying) {
    auto out = Make();
    ASSERT_TRUE(out->StartOutput());
    Fake->FailStream();
    out->SetDeviceID(TSoundOut::DefaultOutputId); // closes and reopens before the event runs
    ASSERT_TRUE(out->IsPlaying());
    Fake->RunPosted();
    EXPECT_TRUE(out->IsPlaying());
    EXPECT_TRUE(State.Open);
}

// An event loop run from inside the refill handler (a message box) lets the pump timer feed
// again: that nested feed must not hand over the buffer being refilled.
TEST_F(Rotation, FeedFromInsideTheRefillHandlerDoesNothing) {
    State.Room = 500;
    auto out = Make();
    auto fill = out->OnBufferPlayed;
    out->OnBufferPlayed = [&](int16_t* b, int bytes) {
        fill(b, bytes);
        out->Feed();
    };
    ASSERT_TRUE(out->StartOutput());
    for (int i = 0; i < 40; ++i)
        out->Feed();
    ExpectWholeRefillsInOrder(0, 1, 800);
}

namespace {

// Refills that ask for a change of format or device on the third buffer, and note how deep the
// handler is nested.
struct TChangeInHandler {
    std::function<void()> Change;
    int Refills = 0;
    int Depth = 0;
    int MaxDepth = 0;
    std::vector<int> Sizes;
    std::vector<std::size_t> WrittenWhenRefilled;
};

void Install(TSoundOut& out, TChangeInHandler& h, const TFakeSoundBackend::TState& state) {
    out.OnBufferPlayed = [&h, &state](int16_t* b, int bytes) {
        ++h.Depth;
        h.MaxDepth = std::max(h.MaxDepth, h.Depth);
        const int number = ++h.Refills;
        h.Sizes.push_back(bytes);
        h.WrittenWhenRefilled.push_back(state.Written.size());
        if (number == 3) h.Change();
        for (int i = 0; i < bytes / 2; ++i) // after the change: the buffer must still be there
            b[i] = static_cast<int16_t>(number);
        --h.Depth;
    };
}

} // namespace

TEST_F(Rotation, BufferTimeChangeInsideTheRefillHandlerAppliesAfterTheFeed) {
    auto out = Make();
    TChangeInHandler h;
    h.Change = [&] { out->SetBufferTime(200); };
    Install(*out, h, State);
    ASSERT_TRUE(out->StartOutput()); // refill 3 comes in its first feed already
    out->Feed();
    EXPECT_EQ(h.MaxDepth, 1);
    EXPECT_EQ(out->BufferTime(), 200);
    EXPECT_EQ(State.LastBufferBytes, 3200);
    EXPECT_TRUE(out->IsPlaying());
    const std::vector<int> sizes = {1600, 1600, 1600, 3200, 3200};
    ASSERT_GE(h.Sizes.size(), sizes.size());
    EXPECT_EQ(std::vector<int>(h.Sizes.begin(), h.Sizes.begin() + 5), sizes);
    // The reopened stream starts with the two buffers of the new size, filled before writing.
    EXPECT_EQ(h.WrittenWhenRefilled[3], h.WrittenWhenRefilled[4]);
    ExpectWholeRefillsInOrder(h.WrittenWhenRefilled[3], 4, 1600);
}

TEST_F(Rotation, DeviceChangeInsideTheRefillHandlerAppliesAfterTheFeed) {
    auto out = Make();
    TChangeInHandler h;
    h.Change = [&] { out->SetDeviceID(TSoundOut::DefaultOutputId); };
    Install(*out, h, State);
    ASSERT_TRUE(out->StartOutput()); // refill 3 comes in its first feed already
    out->Feed();
    EXPECT_EQ(h.MaxDepth, 1);
    EXPECT_EQ(State.Opens, 2);
    EXPECT_EQ(State.LastDevice, TSoundOut::DefaultOutputId);
    EXPECT_TRUE(out->IsPlaying());
    ASSERT_GE(h.WrittenWhenRefilled.size(), 5u);
    ExpectWholeRefillsInOrder(h.WrittenWhenRefilled[3], 4, 800);
}

// A saved output is the same device after the list reorders (a headset plugged in before it).
TEST_F(Rotation, SavedOutputIsFoundByItsNameFirst) {
    State.Outputs = {{"usb", "Headset"}, {"pci", "Built-in"}};
    auto out = Make();
    EXPECT_EQ(out->ChooseOutput(0, "usb"), 0);
    State.Outputs = {{"pci", "Built-in"}, {"bt", "Speaker"}, {"usb", "Headset"}};
    EXPECT_EQ(out->ChooseOutput(0, "usb"), 2);
    EXPECT_EQ(out->ChooseOutput(1, "gone"), 1); // name absent: the index still holds
    EXPECT_EQ(out->ChooseOutput(1, ""), 1);
    EXPECT_EQ(out->ChooseOutput(7, "gone"), 0); // neither: the first output
    EXPECT_EQ(out->OutputName(2), "usb");
    EXPECT_EQ(out->OutputName(3), "");
}
