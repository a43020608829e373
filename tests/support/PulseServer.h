// A private PulseAudio daemon (or PipeWire, see PipeWire()) for the sound tests: a null sink at
// 8000 samples per second in a temporary runtime folder, reached through PULSE_SERVER, recorded
// from the sink's monitor with parecord, and stopped by its process id. One per test process; the
// address stays the same across restarts so that clients can reconnect.
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

    // Clients share memory with the server as on a desktop (the benchmarks), or send the samples
    // through the socket (the tests: nothing depends on the machine's shared memory). Set
    // before Start.
    bool SharedMemory = false;
    bool Start(); // true when the server answers
    void Stop();  // SIGTERM, then SIGKILL when it does not end
    bool Running() const { return Pid_ > 0; }

    // Records the null sink's monitor (mono, 16-bit, 8000/s) into memory.
    bool StartRecording();
    std::vector<int16_t> StopRecording();
    // Runs pactl with args against the server; returns what it printed.
    std::string Pactl(const std::vector<std::string>& args);
    // Takes the null sink away, as unplugging the last real output does: the server puts its
    // stand-in in ("auto_null"), which plays to nothing.
    void RemoveSink();

    static constexpr const char* SinkName = "brindle_null";
    std::string Dir;

    // BRINDLE_SOUND_SERVER=pipewire: PipeWire with its PulseAudio server stands in for PulseAudio.
    static bool PipeWire();

private:
    TPulseServer();
    pid_t StartPipeWire(const std::string& home);
    std::string Output(std::vector<std::string> command); // what command printed
    pid_t Pid_ = -1;
    pid_t Recorder_ = -1;
    std::string RecordFile_;
};

} // namespace brindle::test
