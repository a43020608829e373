// A private PulseAudio daemon for the sound tests: a null sink at 8000 samples per second in a
// temporary runtime folder, reached through PULSE_SERVER, recorded from the sink's monitor with
// parecord, and stopped by its process id. One per test process; the address stays the same
// across restarts so that clients can reconnect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace brindle::test {

class TPulseServer {
public:
    // Sets PULSE_SERVER and friends for this process; call before any sound client starts.
    static TPulseServer& Instance();
    ~TPulseServer();

    bool Start(); // true when the server answers
    void Stop();  // SIGTERM, then SIGKILL when it does not end
    bool Running() const { return Pid_ > 0; }

    // Records the null sink's monitor (mono, 16-bit, 8000/s) into memory.
    bool StartRecording();
    std::vector<int16_t> StopRecording();

    // What a play sounded like, and whether the player kept the server fed throughout.
    struct TTake {
        std::vector<int16_t> Samples;
        bool Clean = false; // no underflow while recording
        int Attempts = 0;
    };
    // Records `play`. The player refills the server from the GUI thread; on a busy machine it can
    // be late, and the server fills the gap with silence and counts an underflow. Such a
    // recording does not show the engine's timing, so the play is recorded again, up to
    // `attempts` times. A play that returns false (its test failed) is not repeated.
    TTake RecordClean(const std::function<bool()>& play,
                      const std::function<long long()>& underflows, int attempts = 3);

    static constexpr const char* SinkName = "brindle_null";
    std::string Dir;

private:
    TPulseServer();
    pid_t Pid_ = -1;
    pid_t Recorder_ = -1;
    std::string RecordFile_;
};

} // namespace brindle::test
