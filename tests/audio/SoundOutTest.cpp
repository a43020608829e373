// The sound output against a real PulseAudio daemon with a null sink, recorded from its monitor.
#include "audio/SoundOut.h"
#include "engine/MorseEngine.h"
#include "platform/GuiPost.h"
#include "support/EventLoop.h"
#include "support/KeyRuns.h"
#include "support/PulseServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

using namespace brindle;
using brindle::test::RunFor;
using brindle::test::RunUntil;
using brindle::test::TPulseServer;

namespace {

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        Engine.SetSoundMode(true);
        test::OffsetTonePhase(Engine);
        Engine.OnLastChar = [this](TMorseEngine&) { LastChar = true; };
    }
    void TearDown() override { Server.Stop(); }
    // Starts the server and waits until the output has found its sink.
    bool ServerWithOutputs(TSoundOut& out) {
        return Server.Start() && RunUntil([&] { return !out.Outputs().empty(); }, 15000);
    }
    void Wire(TSoundOut& out) {
        out.SetBufferTime(100);
        out.SetChannels(1);
        out.OnBufferPlayed = [this](int16_t* b, int bytes) { Engine.RenderBuffer(b, bytes); };
        out.OwnerHasQueued = [this] { return Engine.HasChars(); }; // as the window answers
        Engine.SetEventPost(PostToGuiThread); // the feeder renders on a thread of its own
    }
    TPulseServer& Server = TPulseServer::Instance();
    TMorseEngine Engine;
    bool LastChar = false;
    std::vector<std::string> Messages;
    TMessageSink Sink = [this](const TMessage& m) { Messages.push_back(m.Text); };
};

} // namespace

TEST_F(Sound, NoServerMeansNoDevice) {
    TSoundOut out(Sink);
    EXPECT_FALSE(out.DevicePresent());
    EXPECT_FALSE(out.Open());
    EXPECT_FALSE(out.StartOutput());
    const std::vector<std::string> expected = {"Error: No sound output device available",
                                               "Error: No sound output device available",
                                               "Error: Sound output device not open"};
    EXPECT_EQ(Messages, expected);
    EXPECT_FALSE(out.IsOpen());
}

// Made while the server answers, the output lists the sink with its stable name, by which a saved
// choice finds it again. Streams coming and going change the sink's state, not the list of
// outputs: a listener that reopens the output on every change (as the main window does) must not
// be set off by its own streams.
TEST_F(Sound, OutputsCarryTheirSinkNamesAndOwnStreamsDoNotChangeTheList) {
    ASSERT_TRUE(Server.Start());
    TSoundOut out(Sink);
    ASSERT_TRUE(RunUntil([&] { return !out.Outputs().empty(); }, 15000));
    const int index = out.OutputIndex(TPulseServer::SinkName);
    ASSERT_GE(index, 0);
    EXPECT_EQ(out.OutputName(index), TPulseServer::SinkName);
    EXPECT_NE(out.Outputs()[static_cast<std::size_t>(index)], TPulseServer::SinkName);
    EXPECT_EQ(out.ChooseOutput(TPulseServer::SinkName), index);

    Wire(out);
    RunFor(500);
    int changes = 0;
    ASSERT_TRUE(out.HookOutputsChanged([&changes] { ++changes; }));
    ASSERT_TRUE(out.StartOutput());
    for (int i = 0; i < 5; ++i) {
        RunFor(300);
        out.StopOutput(); // and at once a new stream, as a reopening does
        ASSERT_TRUE(out.StartOutput());
    }
    RunFor(300);
    EXPECT_EQ(changes, 0);
    out.UnhookOutputsChanged();
}

// The server's index of the sink a playback stream of ours plays on; -1 when none plays.
int SinkOfOurStream(TPulseServer& server, const std::string& sinkName) {
    std::istringstream sinks(server.Pactl({"list", "short", "sinks"}));
    std::string index, name, line;
    while (std::getline(sinks, line)) {
        std::istringstream(line) >> index >> name;
        if (name != sinkName) continue;
        std::istringstream inputs(server.Pactl({"list", "short", "sink-inputs"}));
        std::string input, sink;
        while (std::getline(inputs, line)) {
            std::istringstream(line) >> input >> sink;
            if (sink == index) return std::stoi(index);
        }
    }
    return -1;
}

// Without a pick the stream plays on the system's default output, which need not be listed
// first; the default's change is told as a change of the list, and the stream follows it.
TEST_F(Sound, TheDefaultOutputPlaysAndItsChangeIsTold) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    Server.Pactl(
        {"load-module", "module-null-sink", "sink_name=brindle_second", "rate=8000", "channels=1"});
    Server.Pactl({"set-default-sink", "brindle_second"});
    ASSERT_TRUE(RunUntil([&] { return out.Outputs().size() == 2; }, 15000));
    const int second = out.OutputIndex("brindle_second");
    ASSERT_TRUE(RunUntil([&] { return out.DefaultOutput() == second; }, 15000));
    int changes = 0;
    ASSERT_TRUE(out.HookOutputsChanged([&changes] { ++changes; }));
    Wire(out);
    out.SetDeviceID(out.ChooseOutput("")); // no pick
    ASSERT_TRUE(out.StartOutput());
    EXPECT_TRUE(RunUntil([&] { return SinkOfOurStream(Server, "brindle_second") >= 0; }, 5000));
    changes = 0;
    Server.Pactl({"set-default-sink", TPulseServer::SinkName});
    EXPECT_TRUE(RunUntil([&] { return changes > 0; }, 5000));
    // The server may tell more than one change (PipeWire's session manager settles its own).
    EXPECT_TRUE(RunUntil(
        [&] { return out.DefaultOutput() == out.OutputIndex(TPulseServer::SinkName); }, 5000));
    EXPECT_TRUE(
        RunUntil([&] { return SinkOfOurStream(Server, TPulseServer::SinkName) >= 0; }, 5000));
    out.UnhookOutputsChanged();
    EXPECT_TRUE(Messages.empty());
}

// The output picked is unplugged while it plays: the stream plays on (the server moves it), and
// the output is found again by its name when it is back.
TEST_F(Sound, AnOutputRemovedWhilePlayingAndAddedBackIsFoundAgain) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    const std::vector<std::string> load{"load-module", "module-null-sink", "sink_name=brindle_usb",
                                        "rate=8000", "channels=1"};
    std::string module = Server.Pactl(load);
    ASSERT_TRUE(RunUntil([&] { return out.OutputIndex("brindle_usb") >= 0; }, 15000));
    Wire(out);
    out.SetDeviceID(out.ChooseOutput("brindle_usb"));
    ASSERT_TRUE(out.StartOutput());
    EXPECT_TRUE(RunUntil([&] { return SinkOfOurStream(Server, "brindle_usb") >= 0; }, 5000));
    Server.Pactl({"unload-module", module.substr(0, module.find('\n'))});
    ASSERT_TRUE(RunUntil([&] { return out.OutputIndex("brindle_usb") < 0; }, 15000));
    EXPECT_EQ(out.ChooseOutput("brindle_usb"), TSoundOut::DefaultOutputId);
    const int64_t handed = out.FramesHanded();
    EXPECT_TRUE(RunUntil([&] { return out.FramesHanded() > handed + 4000; }, 5000))
        << "the stream does not play on";
    module = Server.Pactl(load);
    ASSERT_TRUE(RunUntil([&] { return out.OutputIndex("brindle_usb") >= 0; }, 15000));
    EXPECT_EQ(out.ChooseOutput("brindle_usb"), out.OutputIndex("brindle_usb"));
    EXPECT_TRUE(Messages.empty());
}

// The last real output goes: the server puts its stand-in in, which plays to nothing, and the
// output says that only stand-ins are left.
TEST_F(Sound, WhenTheLastOutputGoesTheStandInIsTold) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    EXPECT_FALSE(out.OnlyDummyOutputs());
    Server.RemoveSink();
    EXPECT_TRUE(RunUntil([&] { return out.OnlyDummyOutputs(); }, 15000));
}

// A restart of the sound server (an update, or a user's restart of PipeWire) takes the outputs
// and the stream away; when it is back the output starts again by itself and plays on.
TEST_F(Sound, AServerRestartLosesTheOutputAndItComesBackByItself) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    Wire(out);
    int lost = 0, back = 0;
    out.OwnerWantsSound = [] { return true; };
    out.OnOutputLost = [&lost] { ++lost; };
    out.OnOutputBack = [&back] { ++back; };
    ASSERT_TRUE(out.StartOutput());
    ASSERT_TRUE(RunUntil([&] { return out.FramesHanded() > 8000; }, 5000));
    Server.Stop();
    ASSERT_TRUE(RunUntil([&] { return lost == 1 && out.Outputs().empty(); }, 15000));
    EXPECT_FALSE(out.IsPlaying());
    ASSERT_TRUE(Server.Start());
    ASSERT_TRUE(RunUntil([&] { return back == 1 && out.IsPlaying(); }, 15000));
    const int64_t handed = out.FramesHanded();
    EXPECT_TRUE(RunUntil([&] { return out.FramesHanded() > handed + 4000; }, 5000))
        << "the stream does not play on";
    EXPECT_EQ(lost, 1);
}

// Mute is the stream's own volume in the server: silent while muted, at full level again after,
// also for a stream opened while muted.
TEST_F(Sound, MuteSilencesOurStreamAndFullVolumeComesBack) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    Wire(out);
    auto loudest = [](const std::vector<int16_t>& samples) {
        int peak = 0;
        for (const int16_t s : samples)
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        return peak;
    };
    auto play = [&](const char* text) {
        LastChar = false;
        EXPECT_TRUE(Server.StartRecording());
        RunFor(1000); // the recorder is listening before the text is queued
        for (const char* c = text; *c; ++c)
            Engine.PutChar(static_cast<uint8_t>(*c));
        if (!out.IsPlaying()) {
            Engine.Start();
            EXPECT_TRUE(out.StartOutput()) << (Messages.empty() ? "" : Messages[0]);
        }
        EXPECT_TRUE(RunUntil([this] { return LastChar; }, 30000));
        RunFor(600);
        return Server.StopRecording();
    };
    out.SetVolume(0.0); // before the stream exists
    const auto muted = play("tt");
    EXPECT_LT(loudest(muted), 50);
    out.SetVolume(1.0); // on the open stream
    const auto loud = play("tt");
    EXPECT_GT(loudest(loud), 5000);
    test::ExpectHeardAs(test::ToneRuns(loud), "tt", Engine);
    out.SetVolume(0.0);
    EXPECT_LT(loudest(play("e")), 50);
    out.StopOutput();
    out.Close();
    EXPECT_TRUE(Messages.empty());
}

// The feeder renders whatever this thread does: a GUI thread that answers nothing for 300 ms, and
// then for a whole second, while text is sent leaves no gap, and every character is heard with
// the engine's durations.
TEST_F(Sound, AStalledGuiThreadLeavesNoGap) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    ASSERT_TRUE(out.FeedsOnOwnThread());
    Wire(out);
    Engine.SetSpeed(300);
    const std::string text = "paris paris paris paris";
    ASSERT_TRUE(Server.StartRecording());
    RunFor(1000); // the recorder is listening
    Engine.Start();
    ASSERT_TRUE(out.StartOutput());
    RunFor(500); // the stream runs, silent: its start is not what is measured
    const long long gaps = out.Underflows();
    for (const char c : text)
        Engine.PutChar(static_cast<uint8_t>(c));
    RunFor(300);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RunFor(100);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(RunUntil([this] { return LastChar; }, 30000));
    RunFor(600);
    const auto samples = Server.StopRecording();
    EXPECT_EQ(out.Underflows(), gaps);
    test::ExpectHeardAs(test::ToneRuns(samples), text, Engine);
    EXPECT_TRUE(Messages.empty());
}

// Stopping the output in the middle of a tone (a switch of the output, the program's end) fades
// what the server still holds out at once: the tone ends in a ramp, not in a click. With more
// queued the server holds more than while idle, and that is faded out all the same.
TEST_F(Sound, AStopMidToneEndsInARamp) {
    TSoundOut out(Sink);
    ASSERT_TRUE(ServerWithOutputs(out));
    Wire(out);
    auto heldMs = [&out] { return out.MsUntilHeard(out.FramesHanded()).value_or(-1); };
    Engine.SetSpeed(30); // a dah of 600 ms
    bool keyed = false;
    Engine.OnCharStart = [&keyed](TMorseEngine&, uint8_t) { keyed = true; };
    ASSERT_TRUE(Server.StartRecording());
    RunFor(1000); // the recorder is listening
    Engine.Start();
    ASSERT_TRUE(out.StartOutput());
    double idleMost = 0;
    for (int i = 0; i < 30; ++i, RunFor(10))
        idleMost = std::max(idleMost, heldMs());
    EXPECT_GT(idleMost, 0.0);
    EXPECT_LT(idleMost, TSoundOut::LeadMs + 20.0) << "a key would be heard at once";
    Engine.PutChar('t');
    Engine.PutChar('t');
    ASSERT_TRUE(RunUntil([&keyed] { return keyed; }, 5000));
    double sendingMost = 0;
    for (int i = 0; i < 30; ++i, RunFor(10)) // rendered then; heard by now, with most to come
        sendingMost = std::max(sendingMost, heldMs());
    EXPECT_GT(sendingMost, TSoundOut::LeadMs + 30.0) << "more is held while more is queued";
    out.StopOutput();
    RunFor(500);
    const auto samples = Server.StopRecording();

    int peak = 0;
    for (const int16_t s : samples)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    ASSERT_GT(peak, 5000);
    std::size_t end = samples.size();
    while (end > 0 && std::abs(static_cast<int>(samples[end - 1])) < peak / 20)
        --end;
    ASSERT_GT(end, 400u);
    auto loudest = [&samples](std::size_t from, std::size_t to) {
        int m = 0;
        for (std::size_t i = from; i < to; ++i)
            m = std::max(m, std::abs(static_cast<int>(samples[i])));
        return m;
    };
    EXPECT_GT(loudest(end - 400, end - 200), peak * 9 / 10) << "the dah sounded in full";
    EXPECT_LT(loudest(end - 12, end), peak / 2) << "and faded out instead of stopping dead";
    EXPECT_GT(loudest(end - 40, end - 20), peak / 3) << "within a few ms";
    EXPECT_TRUE(Messages.empty());
}
