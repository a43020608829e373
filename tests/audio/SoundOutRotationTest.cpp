// The sound output's buffer rotation, format changes and recovery, on a backend in memory.
#include "audio/SoundRig.h"
#include "engine/SoundFeed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <tuple>

using namespace brindle;
using brindle::test::TSoundRig;

// The device takes a little at a time, so partial buffers are written, and the refill handler
// feeds from inside itself (a message box's event loop lets the pump timer run): that nested feed
// must not hand over the buffer being refilled. The stream is refill 1, 2, 3, ... each a whole
// buffer, without gaps.
TEST(Rotation, BuffersAreRefilledInTurnAndWrittenInOrderEvenWithAFeedFromInsideTheRefill) {
    TSoundRig r;
    r.State.Room = 500;
    r.FeedWhileRefilling = true;
    TSoundOut& out = r.Make();
    ASSERT_TRUE(out.StartOutput());
    // Both buffers were filled before anything was written.
    ASSERT_GE(r.WrittenWhenRefilled.size(), 2u);
    EXPECT_EQ(r.WrittenWhenRefilled[0] + r.WrittenWhenRefilled[1], 0u);
    for (int i = 0; i < 40; ++i)
        out.Feed();
    ASSERT_GE(r.State.Written.size(), 4u * 800);
    r.ExpectWholeRefillsInOrder(0, 1, 800);
    EXPECT_EQ(std::count(r.Sizes.begin(), r.Sizes.end(), 1600), std::ssize(r.Sizes));
    EXPECT_EQ(r.MaxDepth, 1);
    EXPECT_TRUE(r.Messages.empty());
}

// A change of format or device reopens the stream with two buffers of the new size, both filled
// before the first write to it. Asked for inside the refill handler, it waits until the feed has
// returned: the handler is never entered again from within itself.
TEST(Rotation, FormatAndDeviceChangesReopenWithBothNewBuffersFilled) {
    struct TCase {
        const char* What;
        bool InHandler;
        std::function<void(TSoundOut&)> Change;
        // Then: buffer time, bytes per buffer, opens, last device.
        std::tuple<int, int, int, int> After;
    };
    const TCase cases[] = {
        {"buffer time", false, [](TSoundOut& o) { o.SetBufferTime(50); }, {50, 800, 2, 0}},
        {"buffer time in the handler",
         true,
         [](TSoundOut& o) { o.SetBufferTime(200); },
         {200, 3200, 2, 0}},
        {"device in the handler",
         true,
         [](TSoundOut& o) { o.SetDeviceID(TSoundOut::DefaultOutputId); },
         {100, 1600, 2, TSoundOut::DefaultOutputId}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TSoundRig r;
        TSoundOut& out = r.Make();
        if (c.InHandler) r.OnThirdRefill = [&] { c.Change(out); };
        ASSERT_TRUE(out.StartOutput()); // refill 3 comes in its first feed already
        const std::size_t first = c.InHandler ? 3 : r.Sizes.size(); // the new stream's first
        if (!c.InHandler) c.Change(out);
        out.Feed();
        EXPECT_EQ(std::tuple(out.BufferTime(), r.State.LastBufferBytes, r.State.Opens,
                             r.State.LastDevice),
                  c.After);
        EXPECT_TRUE(out.IsPlaying());
        EXPECT_EQ(r.MaxDepth, 1);
        ASSERT_GE(r.Sizes.size(), first + 2);
        const int bytes = std::get<1>(c.After);
        std::vector<int> sizes(first, 1600);
        sizes.resize(r.Sizes.size(), bytes);
        EXPECT_EQ(r.Sizes, sizes);
        EXPECT_EQ(r.WrittenWhenRefilled[first], r.WrittenWhenRefilled[first + 1]);
        r.ExpectWholeRefillsInOrder(r.WrittenWhenRefilled[first], static_cast<int>(first) + 1,
                                    static_cast<std::size_t>(bytes / 2));
    }
}

// An owner that lets go hears the buffers it filled, then silence.
TEST(Rotation, NoOwnerMeansSilenceAndDeviceNumbersAndOpenFailures) {
    TSoundRig r;
    TSoundOut& out = r.Make();
    ASSERT_TRUE(out.StartOutput());
    out.OnBufferPlayed = nullptr;
    const auto from = std::ssize(r.State.Written) + 2 * 800; // after the two buffers it filled
    out.Feed();
    out.Feed();
    const auto& w = r.State.Written;
    ASSERT_GT(std::ssize(w), from + 800);
    EXPECT_EQ(std::count(w.begin() + from, w.end(), 0), std::ssize(w) - from);
    ASSERT_TRUE(out.StopOutput()); // open, not playing
    out.SetDeviceID(0);            // unchanged: nothing happens
    EXPECT_EQ(r.State.Opens, 1);
    out.SetDeviceID(TSoundOut::DefaultOutputId);
    out.SetDeviceID(TSoundOut::DefaultOutputId); // the default output is opened again every time
    EXPECT_EQ(std::pair(r.State.Opens, r.State.LastDevice), std::pair(3, -1));
    out.SetDeviceID(1); // one device present: number 1 does not exist
    EXPECT_FALSE(out.IsOpen());
    out.SetDeviceID(0);
    r.State.FailOpen = true;
    EXPECT_FALSE(out.StartOutput());
    const std::vector<std::string> expected = {"Error: Waveform output device not available: 1",
                                               "Error opening waveout device 0 : Null Output Err 6",
                                               "Error: Sound output device not open"};
    EXPECT_EQ(r.Messages, expected);
}

// A failure posted for a stream that the owner closed and reopened in the same turn concerns a
// stream that is gone: the new one plays on. The device lost, it comes back when an output is
// there again and the owner wants sound.
TEST(Rotation, LostDeviceComesBackWhenTheOwnerWantsSound) {
    TSoundRig r;
    TSoundOut& out = r.Make();
    bool wanted = false;
    out.OwnerWantsSound = [&wanted] { return wanted; };
    int changes = 0, lost = 0, back = 0;
    ASSERT_TRUE(out.HookOutputsChanged([&changes] { ++changes; }));
    // Counted 100 when told in the wrong state: lost while still playing, back while not.
    out.OnOutputLost = [&] { lost += out.IsPlaying() ? 100 : 1; };
    out.OnOutputBack = [&] { back += out.IsPlaying() ? 1 : 100; };
    ASSERT_TRUE(out.StartOutput());
    r.Fake->FailStream();
    out.SetDeviceID(TSoundOut::DefaultOutputId); // closes and reopens before the event runs
    r.Fake->RunPosted();
    EXPECT_TRUE(out.IsPlaying());
    EXPECT_TRUE(r.State.Open);
    EXPECT_EQ(lost, 0);
    out.SetDeviceID(0);
    r.Fake->FailStream();
    r.State.Outputs.clear();
    r.Fake->RunPosted();
    r.Fake->OnOutputsChanged();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(out.DevicePresent());
    EXPECT_EQ(lost, 1);
    r.State.Outputs = {{"null", "Null Output"}};
    r.Fake->OnOutputsChanged(); // not wanted: stays closed
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(back, 0);
    wanted = true;
    r.Fake->OnOutputsChanged();
    EXPECT_TRUE(out.IsPlaying());
    EXPECT_EQ(std::tuple(changes, lost, back), std::tuple(3, 1, 1));
}

TEST(Rotation, EngineAndNoiseFillThePlayedBuffers) {
    TMorseEngine engine;
    TMorseEngine twin; // renders the same signal without noise
    for (TMorseEngine* e : {&engine, &twin}) {
        e->SetSoundMode(true);
        e->PutChar('e');
        e->PutChar('e');
        e->Start();
    }
    TNoiseGen noise(7);
    noise.SetLeveldB(-30);
    bool noiseOn = false;
    TSoundRig r;
    TSoundOut& out = r.Make();
    out.OnBufferPlayed = SoundBufferFiller(engine, noise, [&noiseOn] { return noiseOn; });
    ASSERT_TRUE(out.StartOutput());
    std::vector<int16_t> expected(1600);
    twin.RenderBuffer(expected.data(), 3200);
    ASSERT_GE(r.State.Written.size(), 1600u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), r.State.Written.begin()));
    noiseOn = true;
    r.State.Written.clear();
    out.Feed();
    // Written now: renders 5 and 6 (filled before noise was on), then 7, the first with noise.
    std::vector<int16_t> next(800);
    for (int render = 3; render <= 7; ++render)
        twin.RenderBuffer(next.data(), 1600);
    ASSERT_GE(r.State.Written.size(), 2400u);
    EXPECT_GT(std::inner_product(next.begin(), next.end(), r.State.Written.begin() + 1600, 0,
                                 std::plus<>(), std::not_equal_to<>()),
              700); // samples that differ
}

// A picked output is the same device after the list reorders (a headset plugged in before it);
// without one, or while it is absent, the system's default output plays.
TEST(Rotation, PickedOutputIsFoundByItsNameElseTheDefaultPlays) {
    TSoundRig r;
    r.State.Outputs = {{"usb", "Headset"}, {"pci", "Built-in"}};
    TSoundOut& out = r.Make();
    EXPECT_EQ(out.ChooseOutput("usb"), 0);
    r.State.Outputs = {{"pci", "Built-in"}, {"bt", "Speaker"}, {"usb", "Headset"}};
    EXPECT_EQ(out.ChooseOutput("usb"), 2);
    EXPECT_EQ(out.ChooseOutput("gone"), TSoundOut::DefaultOutputId);
    EXPECT_EQ(out.ChooseOutput(""), TSoundOut::DefaultOutputId);
    EXPECT_EQ(out.OutputName(2), "usb");
    EXPECT_EQ(out.OutputName(3), "");
    EXPECT_FALSE(out.OnlyDummyOutputs());
    r.State.Outputs = {{"auto_null", "Dummy Output", true}};
    EXPECT_TRUE(out.OnlyDummyOutputs());
}
