// The main window's logic as the program creates it, on the virtual clock, with a sound backend in
// memory that the test feeds (so the engine's sample clock is the test's clock), a pseudo-terminal
// for the serial port, and recorders for messages, questions and the session dialog.
#pragma once

#include "desk/LogoApp.h"
#include "desk/Session.h"
#include "support/FakeSoundBackend.h"
#include "support/SerialShim.h"
#include "support/VirtualTimer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

inline TDetectedPort Port(const std::string& device, const std::string& name = "ttyS") {
    return {name, device, "/dev/" + device};
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
        p.Messages = [this](const TMessage& m) { Messages.push_back(m.Text); };
        p.AskOkCancel = [this](const std::string& q) {
            Questions.push_back(q);
            return AnswerOk;
        };
        p.ProcessEvents = [this] {
            Timer.Advance(1);
            Play(1);
        };
        p.ProcessPending = [this] {
            if (PendingHook) PendingHook();
        };
        p.DetectPorts = [this] { return Ports; };
        p.PortPath = [this](int n) { return n == 5 || n == 3 ? Pty.SlavePath : std::string(); };
        p.Post = [this](std::function<void()> fn) { Posted.push_back(std::move(fn)); };
        p.AskSession = [this](const TSessionDialog& d) {
            Dialogs.push_back(d);
            if (WhileAsked) WhileAsked();
            return AnswerOk;
        };
        p.Clock = [this] { return NowMs; };
        p.Seed = [this] { return Seed; };
        App = std::make_unique<TLogoApp>(std::move(p), Display, Settings);
        App->SoundOut1().SetBufferTime(20);
        App->FormCreate();
    }
    // Lets the sound output play ms of sound: the engine renders what the device takes.
    void Play(int ms) {
        if (ClockRuns) NowMs += ms;
        Sound.Budget = ms * 16; // 8000 samples/s, mono, 16 bit
        for (int i = 0; i < 100000 && Sound.Budget > 0; ++i)
            App->SoundOut1().Feed();
        Sound.Budget = 0;
    }
    void Type(const std::string& keys) {
        for (char c : keys)
            App->KeyPress(static_cast<uint8_t>(c));
    }
    // What waits in the type-ahead buffer (taken out).
    std::string Queued() {
        std::string q;
        while (App->CWout1().HasChars())
            q += static_cast<char>(App->CWout1().GetChar());
        return q;
    }
    std::string Shown() const { return Display.Text(); }
    std::string Unsent() const {
        return Display.Text().substr(static_cast<std::size_t>(Display.SentMark() - 1));
    }

    TSettings Settings;
    TVirtualTimer Timer;
    TFakeSoundBackend::TState Sound = TFakeSoundBackend::Quiet();
    TFakeSoundBackend* Fake = nullptr;
    std::vector<TDetectedPort> Ports;
    brindle::test::TPty Pty;
    TDisplayModel Display;
    std::vector<std::string> Messages;
    std::vector<std::string> Questions;
    std::vector<std::function<void()>> Posted;
    bool AnswerOk = true;
    std::vector<TSessionDialog> Dialogs;
    std::function<void()> PendingHook; // a round of the events already waiting
    std::function<void()> WhileAsked;  // runs while the session dialog is up
    int64_t NowMs = 1000;              // the session clock [ms], moved on by Play while ClockRuns
    bool ClockRuns = true;
    uint32_t Seed = 12345;
    std::unique_ptr<TLogoApp> App;
};

} // namespace brindle::test
