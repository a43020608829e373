// What the sound output needs from the platform's audio system: the list of outputs, and one
// playback stream of 16-bit samples that is written to as room appears. Events from the audio
// system's own thread reach the owner through Post, on the GUI thread.
#pragma once

#include "base/ThreadPriority.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

class ISoundBackend {
public:
    using TPost = std::function<void(std::function<void()>)>;
    // One output: Name stays the same while the device exists (also across restarts of the
    // sound server); Description is what the user reads.
    struct TOutput {
        std::string Name;
        std::string Description;
        // The server's stand-in while it has no real output ("auto_null"): it plays to nothing.
        bool Dummy = false;
        bool operator==(const TOutput&) const = default;
    };
    virtual ~ISoundBackend() = default;

    // The outputs present, in the audio system's order (index = device number). The order can
    // change when devices come or go.
    virtual std::vector<TOutput> Outputs() = 0;
    // Index of the default output, -1 when there is none. A change of the default is told as a
    // change of the list (OnOutputsChanged).
    virtual int DefaultOutput() = 0;
    // Opens the stream on output device (-1: the default output); error and code tell why not.
    // Every stream opened gets a new number (Stream).
    virtual bool OpenStream(int device, int sampleRate, int channels, int bufferBytes,
                            std::string& error, int& code) = 0;
    // Number of the open stream, 0 when none is open.
    virtual std::uint64_t Stream() const = 0;
    bool StreamOpen() const { return Stream() != 0; }
    // Bytes the stream takes now; -1 when it failed.
    virtual long long WritableBytes() = 0;
    virtual long long Write(const void* data, std::size_t bytes) = 0;
    // Drops what is queued and closes the stream.
    virtual void CloseStream() = 0;
    // Times a stream ran dry since the backend was made (a gap in the sound).
    virtual long long Underflows() const { return 0; }
    // True when the stream is filled on the audio system's own thread, through OnFill, as the
    // server asks; false when the owner feeds it from its event loop (WritableBytes, Write).
    virtual bool FillsOnItsThread() const { return false; }
    // Has OnFill called soon, on the audio system's thread, for what the stream takes now.
    virtual void Kick() {}
    // Returns when no OnFill call is under way. Not to be called from inside OnFill.
    virtual void Quiesce() {}
    // How much the open stream keeps queued in the server from now on, and how much room it
    // lets grow before it asks for more [bytes]. The one call allowed from inside OnFill.
    virtual void SetLead(std::size_t /*bytes*/, std::size_t /*requestBytes*/) {}
    // How the audio system's own thread may ask for real-time priority (it renders the samples
    // and carries them to the server); set before a stream opens.
    virtual void SetRealtimeRequest(TRealtimeRequest /*ask*/, int /*priority*/) {}
    // How that thread's priority was settled (see RaiseThisThread); empty before it filled.
    virtual std::string ThreadPriority() const { return {}; }
    // Frames of the open stream played so far at the output (what is heard now); -1 unknown.
    virtual long long PlayedFrames() { return -1; }
    // The earliest frame of the open stream that a write (WriteAt) still replaces before the
    // output takes it, counted as PlayedFrames; -1 when the stream cannot tell.
    virtual long long ReplaceableFrame() { return -1; }
    // Writes over what the open stream holds from frame on (a frame before ReplaceableFrame may
    // already be on its way to the speaker). The stream goes on after the data written.
    virtual bool WriteAt(long long /*frame*/, const void* /*data*/, std::size_t /*bytes*/) {
        return false;
    }
    // The playback stream's own volume in the sound server, 0 (silent) to 1 (100 %) on every
    // channel; kept for the streams opened later. The system's volume is never touched.
    virtual void SetVolume(double factor) { Volume_ = factor; }
    double Volume() const { return Volume_; }

    // The list of outputs changed (also when the server went away or came back).
    std::function<void()> OnOutputsChanged;
    // The stream of that number failed: its device or the sound server went away. The event
    // can arrive after that stream was closed and another opened.
    std::function<void(std::uint64_t stream)> OnStreamFailed;
    // The open stream asks for samples: fill bytes (whole frames) at data and say true, or say
    // false to write nothing. Called on the audio system's own thread with its lock held: it
    // must not call the backend. Set while no stream is open.
    std::function<bool(void* data, std::size_t bytes)> OnFill;

protected:
    double Volume_ = 1.0;
};

// The PulseAudio client (also PipeWire's PulseAudio server). It reconnects by itself when the
// server goes away and comes back.
std::unique_ptr<ISoundBackend> MakePulseBackend(ISoundBackend::TPost post);

} // namespace brindle
