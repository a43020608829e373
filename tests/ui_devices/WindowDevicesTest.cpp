// The main window against the real things: sound on a private PulseAudio server recorded from its
// monitor, COM keying on a pseudo-terminal through the modem-line shim, suspend on a private
// message bus. Characters are typed with key events.
#include "desk/Parameters.h"
#include "support/BusyCores.h"
#include "support/EventLoop.h"
#include "support/KeyRuns.h"
#include "support/PrivateBus.h"
#include "support/PulseServer.h"
#include "support/SerialShim.h"
#include "support/TempDir.h"
#include "ui/main/CWRichEdit.h"
#include "ui/main/MainWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>

using namespace brindle;
using brindle::test::RunFor;
using brindle::test::RunUntil;
using brindle::test::TRun;

namespace {

constexpr int kLimitMs = 20000; // guards against a hang only
constexpr int kComPort = 5;
constexpr int kQuiet = 16; // the server resamples: what is this close to 0 is silence

class WindowDevices : public ::testing::Test {
protected:
    void SetUp() override {
        Pty = std::make_unique<test::TPty>();
        Ports.resize(kComPort);
        Ports[kComPort - 1] = {"pty", "pts", Pty->SlavePath};
    }
    void TearDown() override {
        Form.reset();
        Server.Stop();
    }
    // Writes the settings the window starts with: output 1 sound, 2 COM.
    void Settings(int output) {
        std::ofstream ini(Folder.Path / "Brindle.ini");
        ini << "[TX]\nOutput=" << output << "\nTXComPort=" << kComPort << "\nPTT=1\n";
    }
    void Open(const std::string& sleepBus = {}) {
        TMainWindow::TOptions o;
        o.DataFolder = Folder.Path.string() + "/";
        o.ShowMessage = [this](const TMessage& m) { Messages.push_back(m.Text); };
        o.AskOkCancel = [](const std::string&) { return true; };
        o.DetectPorts = [this] { return Ports; };
        o.PortPath = [this](int n) {
            return n == kComPort && Pty ? Pty->SlavePath : std::string();
        };
        o.SleepBusAddress = sleepBus;
        o.AskSession = [](TSessionDialog&) { return true; };
        o.HistoryPath = Folder.File("history.sqlite");
        Form = std::make_unique<TMainWindow>(std::move(o));
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Form->TextView().setFocus();
        // The test moves the tone off its zero crossings, reaching into the engine it owns.
        test::OffsetTonePhase(const_cast<TMorseEngine&>(Form->App().Engine()));
    }
    bool SoundPlaying() {
        return RunUntil([this] { return Form->App().SoundOut().IsPlaying(); }, kLimitMs);
    }
    void Type(const char* keys) { QTest::keyClicks(&Form->TextView(), keys); }
    bool AllSent() {
        const TDisplayModel& d = Form->App().Display();
        return RunUntil([&] { return d.SentMark() == d.TextEnd(); }, kLimitMs);
    }
    TDesk& App() { return Form->App(); }
    // Records `play` after the recorder has settled, with its tail played out, once, with both
    // cores busy: the sound is fed from a real-time thread of its own, and no gap is forgiven.
    // Where the system grants no real-time priority, the cores are left alone.
    std::vector<int16_t> Hear(const std::function<void()>& play) {
        EXPECT_TRUE(Server.StartRecording());
        RunFor(1000); // the recorder is listening
        const long long gaps = App().SoundOut().Underflows();
        {
            const bool realtime = Form->SoundPriority().rfind("normal", 0) != 0;
            const auto load = realtime ? std::make_unique<test::TBothCoresBusy>() : nullptr;
            play();
            RunFor(600);
        }
        EXPECT_EQ(App().SoundOut().Underflows(), gaps) << "a gap in the sound";
        return Server.StopRecording();
    }

    test::TPulseServer& Server = test::TPulseServer::Instance();
    test::TSerialShim Shim;
    test::TTempDir Folder;
    std::unique_ptr<test::TPty> Pty;
    std::vector<TDetectedPort> Ports;
    std::vector<std::string> Messages;
    std::unique_ptr<TMainWindow> Form;
};

// The engine's key-down and key-up durations of text in its timed mode [ms], from the first
// key-down to the last key-up.
std::vector<TRun> ExpectedMsRuns(const std::string& text, const TMorseEngine& e) {
    const auto& t = e.Timing();
    std::vector<TRun> runs;
    for (const char c : text) {
        const uint16_t code = TMorseEngine::CodeOf(static_cast<uint8_t>(c));
        int top = 15;
        while (!(code & (1u << top)))
            --top;
        for (int b = top - 1; b >= 0; --b) {
            runs.push_back({true, (code & (1u << b)) ? t.DahDownMs : t.DitDownMs});
            runs.push_back({false, t.GapMs});
        }
        runs.back().Length += t.CharGapExtraMs;
    }
    runs.pop_back();
    return runs;
}

} // namespace

TEST_F(WindowDevices, TypingIsHeardWithTheEngineDurations) {
    ASSERT_TRUE(Server.Start());
    Settings(1);
    Open();
    ASSERT_TRUE(SoundPlaying()) << (Messages.empty() ? "" : Messages[0]);
    const auto recording = Hear([&] {
        Type("paris");
        ASSERT_TRUE(AllSent()); // rendered, and queued for the device
    });
    ASSERT_FALSE(HasFailure());

    test::ExpectHeardAs(test::ToneRuns(recording, kQuiet), "paris", App().Engine());
    EXPECT_TRUE(Messages.empty()) << Messages[0];
}

TEST_F(WindowDevices, TypingKeysTheRtsLineWithTheEngineTimeline) {
    if (!Shim.Active()) GTEST_SKIP() << "needs the serial shim (LD_PRELOAD)";
    Settings(2);
    Open();
    ASSERT_EQ(App().Output().Device(), TOutputDevice::Com) << (Messages.empty() ? "" : Messages[0]);
    Shim.ClearLog();
    Type("paris");
    ASSERT_TRUE(AllSent());
    ASSERT_TRUE(RunUntil([this] { return Shim.Lines(Pty->SlavePath) == 0; }, kLimitMs));

    std::vector<test::TLineChange> rts; // the RTS edges only
    for (const auto& change : Shim.Log())
        if (rts.empty() ? change.Rts : change.Rts != rts.back().Rts) rts.push_back(change);
    const auto expected = ExpectedMsRuns("paris", App().Engine());
    ASSERT_EQ(rts.size(), expected.size() + 1);
    // Every key-down and key-up read as an element by its length, as a listener reads it: the
    // nearest of the engine's lengths for it (dit or dah; gap between elements or characters).
    // The line carries exactly the engine's elements in the engine's order, however late a busy
    // machine's timer ticks now and then, up to almost a dit. The typical element is as long as
    // the engine makes it; how close each edge comes to the engine's timeline is bench_window's
    // figure (make bench-window), not this test's.
    auto read = [&](bool on, double ms) {
        int nearest = -1;
        for (const TRun& e : expected)
            if (e.On == on && (nearest < 0 || std::abs(ms - e.Length) < std::abs(ms - nearest)))
                nearest = e.Length;
        return nearest;
    };
    std::vector<double> errors;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rts[i].Rts, expected[i].On) << i;
        const double ms = static_cast<double>(rts[i + 1].Ns - rts[i].Ns) / 1e6;
        EXPECT_EQ(read(expected[i].On, ms), expected[i].Length)
            << "element " << i << (expected[i].On ? " (key down) " : " (key up) ") << ms << " ms";
        errors.push_back(std::abs(ms - expected[i].Length));
    }
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    EXPECT_LT(errors[errors.size() / 2], 20.0) << "the typical element's error [ms]";
    EXPECT_TRUE(Messages.empty()) << Messages[0];
}

// A sound server restart used to move the output to the port for good: the next typed text keyed
// the transmitter. The output is none while the server is away and sound again, by itself, when
// it is back; the port's lines never move.
TEST_F(WindowDevices, ASoundServerRestartNeverKeysThePort) {
    ASSERT_TRUE(Server.Start());
    Settings(1);
    Open();
    ASSERT_TRUE(SoundPlaying());
    if (Shim.Active()) Shim.ClearLog();
    Type("tttttttttt");
    RunFor(300);
    Server.Stop();
    ASSERT_TRUE(
        RunUntil([this] { return App().Output().Device() == TOutputDevice::None; }, kLimitMs));
    EXPECT_TRUE(Messages.empty()) << "a restart is said in the status bar, not in a box";
    EXPECT_EQ(App().View().SoundStatus, "sound server restarting…");
    RunFor(500);
    ASSERT_TRUE(Server.Start());
    ASSERT_TRUE(SoundPlaying()) << "sound did not come back by itself";
    EXPECT_EQ(App().Output().Device(), TOutputDevice::Sound);
    const auto runs = test::ToneRuns(Hear([&] {
                                         Type("eeeee");
                                         ASSERT_TRUE(AllSent());
                                     }),
                                     kQuiet);
    EXPECT_EQ(std::count_if(runs.begin(), runs.end(), [](const TRun& r) { return r.On; }), 5);
    if (Shim.Active()) {
        EXPECT_TRUE(Shim.Log().empty()) << "the port's lines moved";
    }
    EXPECT_FALSE(App().SerialLines().IsOpen());
    Form->close();
    EXPECT_EQ(LoadIniSettings(Folder.Path.string() + "/", {}).TX.Output, 1);
}

TEST_F(WindowDevices, SuspendStopsSending) {
    test::TPrivateBus bus;
    ASSERT_FALSE(bus.Address.isEmpty()) << "dbus-daemon did not start";
    QDBusConnection logind = bus.Connect(QStringLiteral("brindle-test-logind"));
    ASSERT_TRUE(logind.registerService(test::kLogind));
    ASSERT_TRUE(Server.Start());
    Settings(1);
    Open(bus.Address.toStdString());
    ASSERT_TRUE(SoundPlaying());
    Type("paris paris paris paris");
    RunFor(300);
    ASSERT_TRUE(App().Engine().HasChars());
    test::SendSleep(logind, true);
    const TDisplayModel& d = App().Display();
    ASSERT_TRUE(RunUntil([&] { return !App().Engine().HasChars(); }, kLimitMs));
    EXPECT_EQ(d.SentMark(), d.TextEnd());
    EXPECT_LT(d.Text().size(), std::string("paris paris paris paris").size());
    test::SendSleep(logind, false);
    RunFor(100);
    Type("e"); // and it sends again after resume
    EXPECT_TRUE(AllSent());
}

namespace {

// A recording read back as Morse: each piece (a run of characters between word gaps) with the
// on and off runs of each of its characters. Sent between 80 and 120 CpM, a dit is at most one
// 80 CpM dot long and a dah at least two; an element gap at most one dot, a character gap at
// least two and at most three, a word gap at least 4.6.
struct TMorseChar {
    std::vector<TRun> Runs; // on, off, on ... on
    uint16_t Code = 1;      // the engine's code: a leading 1, then 1 for each dah
};
using TMorsePiece = std::vector<TMorseChar>;

std::vector<TMorsePiece> ReadMorse(const std::vector<TRun>& runs, int dot80) {
    std::vector<TMorsePiece> pieces(1, TMorsePiece(1));
    for (const TRun& r : runs) {
        if (r.On) {
            auto& c = pieces.back().back();
            c.Runs.push_back(r);
            c.Code = static_cast<uint16_t>(c.Code << 1 | (r.Length > 3 * dot80 / 2 ? 1 : 0));
        } else if (r.Length > 7 * dot80 / 2) {
            pieces.push_back(TMorsePiece(1));
        } else if (r.Length > 3 * dot80 / 2) {
            pieces.back().push_back({});
        } else {
            pieces.back().back().Runs.push_back(r);
        }
    }
    return pieces;
}

std::string Decode(const TMorsePiece& piece) {
    std::string text;
    for (const auto& c : piece) {
        char found = '?';
        for (int ch = 1; ch < 256; ++ch)
            if (TMorseEngine::CodeOf(static_cast<uint8_t>(ch)) == c.Code &&
                (std::islower(ch) || TMorseEngine::ProsignOfCode(static_cast<uint8_t>(ch)) > 0)) {
                found = static_cast<char>(ch);
                break;
            }
        text += found;
    }
    return text;
}

} // namespace

TEST_F(WindowDevices, ASessionIsHeardAsItsTextsAndGroupsAtThePlannedSpeeds) {
    ASSERT_TRUE(Server.Start());
    Settings(1);
    Open();
    ASSERT_TRUE(SoundPlaying()) << (Messages.empty() ? "" : Messages[0]);
    // Three random groups of five, without Farnsworth spacing, from 80 to 120 CpM.
    auto& p = App().Params();
    p.SetFarnsworth(TSpacing::Plain);
    p.SetMorseMode(TTrainingMode::RandomChars);
    p.CommitText(TCharField::Chars1, "abc");
    p.ChooseCharField(1);
    p.ApplyEditField(TUpDown::NumGroups, "3");
    p.ApplyEditField(TUpDown::SizeGroups, "5");
    p.SetVariSpeed(true);
    p.ApplyEditField(TUpDown::StartSpeed, "80");
    p.ApplyEditField(TUpDown::EndSpeed, "120");
    p.CommitText(TCharField::StartText, "vvv<ka>");
    p.CommitText(TCharField::StopText, "<ar>");
    const auto recording = Hear([&] {
        QTest::keyClick(&Form->TextView(), Qt::Key_F3);
        ASSERT_EQ(App().Session().State(), TSessionState::StartText);
        ASSERT_TRUE(
            RunUntil([&] { return App().Session().State() == TSessionState::Idle; }, 60000));
    });
    ASSERT_FALSE(HasFailure());

    // The element durations of each speed of the plan, from the engine itself.
    std::map<int, TCWTiming> timing;
    for (int speed : {80, 100, 120}) {
        App().SetNewSpeedVal(std::to_string(speed));
        timing[speed] = App().Engine().Timing();
    }
    const auto pieces = ReadMorse(test::ToneRuns(recording, kQuiet), timing[80].DotSamples);
    ASSERT_EQ(pieces.size(), 5u);
    const std::string ka(
        1, static_cast<char>(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex("<ka>"))));
    const std::string ar(
        1, static_cast<char>(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex("<ar>"))));
    EXPECT_EQ(Decode(pieces[0]), "vvv" + ka);
    for (int i = 1; i <= 3; ++i) {
        const std::string group = Decode(pieces[static_cast<std::size_t>(i)]);
        EXPECT_EQ(group.size(), 5u) << group;
        EXPECT_EQ(group.find_first_not_of("abc"), std::string::npos) << group;
    }
    EXPECT_EQ(Decode(pieces[4]), ar);
    // Start text and first group at 80, then 100, then 120 for the last group and the end text.
    const int speeds[] = {80, 80, 100, 120, 120};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const TCWTiming& t = timing[speeds[i]];
        for (const auto& c : pieces[i])
            for (std::size_t k = 0; k < c.Runs.size(); ++k) {
                const TRun& r = c.Runs[k];
                const bool dah = r.On && r.Length > 3 * timing[80].DotSamples / 2;
                const int expected =
                    !r.On ? t.GapSamples
                          : 2 * t.SlopeLength + (dah ? t.DahSamples : t.DitDownSamples);
                EXPECT_NEAR(r.Length, expected, 8) << "piece " << i << " run " << k; // 1 ms
            }
    }
    EXPECT_TRUE(Messages.empty()) << Messages[0];
}

// The display marks a character when it is heard: as its mark appears, the sample at which the
// character ended is at the output, never still ahead of it, and typically within one of the
// feeder's quanta.
TEST_F(WindowDevices, ACharacterIsMarkedWhenItIsHeard) {
    ASSERT_TRUE(Server.Start());
    Settings(1);
    Open();
    ASSERT_TRUE(SoundPlaying()) << (Messages.empty() ? "" : Messages[0]);
    ASSERT_TRUE(App().SoundOut().FeedsOnOwnThread());
    std::vector<int64_t> endSamples; // of each character, as its event is delivered
    const TConnection sent = App().OnCharSent.Connect(
        [&](uint8_t) { endSamples.push_back(App().Engine().EventSample()); });
    const std::string text = "paris paris";
    const int first = App().Display().SentMark();
    std::vector<double> untilHeard; // [ms] of each character as it is marked
    int marked = first;
    Type(text.c_str());
    ASSERT_TRUE(RunUntil(
        [&] {
            for (const int mark = App().Display().SentMark(); marked < mark; ++marked) {
                const auto k = static_cast<std::size_t>(marked - first);
                if (k >= endSamples.size() || endSamples[k] < 0) continue;
                if (const auto ms = App().SoundOut().MsUntilHeard(endSamples[k]))
                    untilHeard.push_back(*ms);
            }
            return marked - first >= static_cast<int>(text.size());
        },
        kLimitMs));
    ASSERT_EQ(untilHeard.size(), text.size());
    for (const double ms : untilHeard)
        EXPECT_LE(ms, 1.0) << "marked before it was heard";
    std::sort(untilHeard.begin(), untilHeard.end());
    EXPECT_GE(untilHeard[untilHeard.size() / 2], -TSoundOut::QuantumMs)
        << "marked more than a quantum after it was heard";
}
