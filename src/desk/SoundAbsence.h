// What the learner is told while the sound output is gone or plays to nothing. A sound server
// that restarts (a package update, a user's restart of PipeWire) takes its outputs away for a
// fraction of a second: that is said in the status bar ("sound server restarting…") and nothing
// more, and the output comes back by itself. Only when the outputs stay away longer than GraceMs
// is a notice raised, which must not stop typing and goes away by itself when the sound is back.
// When the only outputs left are the server's stand-in, which plays to nothing, the status bar
// says so. It holds no widgets: the window shows Status() and Notice().
#pragma once

#include "base/Signal.h"

#include <functional>
#include <string>

namespace brindle {

class TSoundAbsence {
public:
    static constexpr int GraceMs = 4000; // a restart is over by then [ms]
    static constexpr const char* RestartingText = "sound server restarting…";
    static constexpr const char* NoOutputText = "No sound output.";
    static constexpr const char* DummyText =
        "No real sound output is present: the sound goes nowhere until one is connected.";
    static constexpr const char* GoneText =
        "The sound output has gone: the sound server stopped, or it has no output left.\n\n"
        "Your settings are kept, and what you type now is sent when the sound is back. The sound "
        "comes back by itself as soon as an output is there again.";
    static constexpr const char* SessionStoppedText = " The session was stopped.";

    // later(ms, call) runs call after ms on the owner's thread.
    explicit TSoundAbsence(std::function<void(int ms, std::function<void()> call)> later)
        : Later_(std::move(later)) {}

    TSignal<> OnChanged;

    // The sound output in use lost every output.
    void Gone();
    // Outputs are there again (dummy: every one of them is the server's stand-in).
    void Back(bool dummy);
    // The session that was running was stopped because the sound went.
    void SessionStopped();

    bool Absent() const { return Absent_; }
    // The status bar's line for it; empty when all is well.
    std::string Status() const;
    // The notice's text while the outputs stay gone; empty when there is none to show.
    std::string Notice() const;

private:
    std::function<void(int, std::function<void()>)> Later_;
    bool Absent_ = false;
    bool Lasting_ = false; // absent for longer than GraceMs
    bool Dummy_ = false;
    bool SessionStopped_ = false;
    int Serial_ = 0; // tells the grace period of this absence from an earlier one's
};

} // namespace brindle
