// The main window's logic as the program creates it, on the virtual clock, with a sound backend in
// memory that the test feeds (so the engine's sample clock is the test's clock), a pseudo-terminal
// for the serial port, recorders for messages, questions and the session dialog, and the calls
// the logic leaves for later run on the test's own clock.
#pragma once

#include "desk/Desk.h"
#include "desk/OutputSwitch.h"
#include "desk/Parameters.h"
#include "desk/Sender.h"
#include "desk/SendingControls.h"
#include "desk/Session.h"
#include "support/FakeSoundBackend.h"
#include "support/SerialShim.h"
#include "support/TempDir.h"
#include "support/VirtualTimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace brindle::test {

inline TDetectedPort Port(const std::string& device, const std::string& name = "ttyS") {
    return {name, device, "/dev/" + device};
}

// Values as one line, " | " between them (true and false as 1 and 0), so that one comparison
// shows every value that differs.
template <class... T> std::string Values(const T&... values) {
    std::ostringstream s;
    int n = 0;
    ((s << (n++ ? " | " : "") << values), ...);
    return s.str();
}

class TDeskTest : public ::testing::Test {
protected:
    void SetUp() override { Settings = DefaultSettings("/nonexistent/", {}); }

    // Creates the logic as the program does at start.
    void Start() {
        TDeskPlatform p;
        p.Timer = &Timer;
        auto backend = std::make_unique<TFakeSoundBackend>(Sound);
        Fake = backend.get();
        p.SoundBackend = std::move(backend);
        p.Messages = [this](const TMessage& m) {
            Messages.push_back(m.Text);
            Severities.push_back(m.Severity);
        };
        p.AskOkCancel = [this](const std::string& q) {
            Questions.push_back(q);
            if (WhileAsked) WhileAsked();
            return AnswerOk;
        };
        p.AskYesNo = [this](const std::string& q) {
            YesNoQuestions.push_back(q);
            return AnswerYes;
        };
        p.Later = [this](int ms, std::function<void()> call) {
            LaterCalls.push_back({LaterNow + std::max(ms, 0), LaterSeq++, std::move(call)});
        };
        p.DetectPorts = [this] { return Ports; };
        p.PortPath = [this](int n) { return n == 5 || n == 3 ? Pty.SlavePath : std::string(); };
        p.Post = [this](std::function<void()> fn) { Posted.push_back(std::move(fn)); };
        p.AskSession = [this](TSessionDialog& d) {
            d.Pacing = Pacing;
            Dialogs.push_back(d);
            if (WhileAsked) WhileAsked();
            return AnswerOk;
        };
        p.Clock = [this] { return NowMs; };
        p.Seed = [this] { return Seed; };
        p.SoundBufferMs = 20;
        p.HistoryPath = History.File("history.sqlite");
        p.Status = [this](const std::string& line) { StatusLines.push_back(line); };
        p.SaveCourse = [this](const TKochSettings& k) { SavedCourses.push_back(k); };
        App = std::make_unique<TDesk>(std::move(p), Display, Settings);
        Ready = App->OnReadyToClose.Connect([this] { ++ReadyToClose; });
        App->FormCreate();
    }
    // Lets the sound output play ms of sound: the engine renders what the device takes. Then the
    // calls left for later that are due run.
    void Play(int ms) {
        if (ClockRuns) NowMs += ms;
        Sound.Budget = ms * 16; // 8000 samples/s, mono, 16 bit
        for (int i = 0; i < 100000 && Sound.Budget > 0; ++i)
            Feed();
        Sound.Budget = 0;
        LaterNow += ms;
        RunLater();
    }
    // Steps the keying timer by ms, one millisecond at a time, with the calls left for later.
    void Tick(int ms) {
        for (int i = 0; i < ms; ++i) {
            Timer.Advance(1);
            ++LaterNow;
            RunLater();
        }
    }
    // Runs every call left for later that is due, in order, also those they leave.
    void RunLater() {
        for (int guard = 0; guard < 1000000 && RunNextLater(); ++guard) {}
    }
    // Runs the earliest call left for later that is due; false when there is none.
    bool RunNextLater() {
        auto due = std::min_element(LaterCalls.begin(), LaterCalls.end(),
                                    [](const TLater& a, const TLater& b) {
                                        return a.Due != b.Due ? a.Due < b.Due : a.Seq < b.Seq;
                                    });
        if (due == LaterCalls.end() || due->Due > LaterNow) return false;
        auto call = std::move(due->Call);
        LaterCalls.erase(due);
        call();
        return true;
    }
    // The sound device asks for its next buffer: the test stands in for the sound output's own
    // timer, so that the engine's sample clock is the test's.
    void Feed() { const_cast<TSoundOut&>(App->SoundOut()).Feed(); }
    // Keys as typed: "\r" is Enter, "\b" Backspace, "\x1b" Esc.
    void Type(const std::string& keys) {
        for (char c : keys) {
            if (c == '\r')
                App->Enter();
            else if (c == '\b')
                App->Backspace();
            else if (c == '\x1b')
                App->Escape();
            else
                App->KeyPress(static_cast<uint8_t>(c));
        }
    }
    // Sound output with a port on COM5 to switch to; "paris" typed and its "p" on the air.
    void SendWithAPortOnCom5() {
        Ports.resize(5);
        Ports[4] = Port("ttyS4");
        Settings.TX.TXComPort = 5;
        Start();
        Type("paris");
        Play(300);
    }
    // What waits in the type-ahead buffer.
    std::string Queued() const { return App->Engine().QueuedText(); }
    std::string Shown() const { return Display.Text(); }
    std::string Unsent() const {
        return Display.Text().substr(static_cast<std::size_t>(Display.SentMark() - 1));
    }
    TSessionState State() const { return App->Session().State(); }
    TOutputDevice Output() const { return App->Output().Device(); }

    struct TLater {
        int64_t Due = 0; // on LaterNow [ms]
        int Seq = 0;
        std::function<void()> Call;
    };

    TSettings Settings;
    TVirtualTimer Timer;
    TFakeSoundBackend::TState Sound = TFakeSoundBackend::Quiet();
    TFakeSoundBackend* Fake = nullptr;
    std::vector<TDetectedPort> Ports;
    brindle::test::TPty Pty;
    TDisplayModel Display;
    std::vector<std::string> Messages;
    std::vector<TSeverity> Severities;
    std::vector<std::string> Questions;
    std::vector<std::string> YesNoQuestions;
    std::vector<std::string> StatusLines;    // said in the status bar
    std::vector<TKochSettings> SavedCourses; // the course's settings written at once
    bool AnswerYes = true;
    std::vector<std::function<void()>> Posted;
    bool AnswerOk = true;
    std::vector<TSessionDialog> Dialogs;
    std::function<void()> WhileAsked; // runs while a question or the session dialog is up
    std::vector<TLater> LaterCalls;
    int64_t LaterNow = 0;
    int LaterSeq = 0;
    int ReadyToClose = 0;
    int64_t NowMs = 1000; // the session clock [ms], moved on by Play while ClockRuns
    bool ClockRuns = true;
    uint32_t Seed = 12345;
    TCopyPacing Pacing = TCopyPacing::Continuous; // chosen in the session dialog
    TTempDir History;                             // the practice history's folder
    std::unique_ptr<TDesk> App;
    TConnection Ready;
};

} // namespace brindle::test
