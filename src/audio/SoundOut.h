// Plays a continuous stream of 16-bit PCM. It makes no sound itself: it hands buffers to its owner
// (OnBufferPlayed) to fill. With the PulseAudio client the buffers are filled on the client's own
// thread (the feeder), a quantum (QuantumMs) at a time, as the server asks for them, and the
// server holds only LeadMs: what the GUI thread does never holds the sound up, and a key is heard
// at once. With a backend that asks for it (the tests' backend), two buffers of BufferTime rotate
// and are refilled on the GUI thread, from a timer. A device or sound server that vanishes closes
// the output and tells the owner (OnOutputLost); when an output exists again and the owner still
// wants sound, it starts again and says so (OnOutputBack). It also keeps the list of outputs and
// finds a saved output again by its stable name when the list has changed order.
#pragma once

#include "audio/SoundBackend.h"
#include "base/MessageSink.h"

#include <QTimer>

#include "base/ThreadPriority.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

class TSoundOut {
public:
    // The system's default output.
    static constexpr int DefaultOutputId = -1;

    // Without a backend the PulseAudio client is used.
    explicit TSoundOut(TMessageSink sink = {}, std::unique_ptr<ISoundBackend> backend = {});
    ~TSoundOut();
    TSoundOut(const TSoundOut&) = delete;
    TSoundOut& operator=(const TSoundOut&) = delete;

    int SampleRate() const { return SampleRate_; } // [samples/s]
    void SetSampleRate(int rate);
    int BufferTime() const { return BufferTime_; } // [ms] per buffer
    void SetBufferTime(int ms);
    int Channels() const { return Channels_; }
    void SetChannels(int channels); // below 2 stores 1, else 2
    int BitsPerSample() const { return 16; }
    void SetBitsPerSample(int) {}
    int DeviceID() const { return DeviceID_; } // index into Outputs(); DefaultOutputId: default
    void SetDeviceID(int id);

    bool DevicePresent() const { return DevicePresent_; }
    void SetDevicePresent(bool present) { DevicePresent_ = present; }
    const std::string& DeviceName() const { return DeviceName_; }
    bool IsOpen() const { return IsOpen_; }
    bool IsPlaying() const { return IsPlaying_; }
    long long Underflows() const { return Backend_->Underflows(); } // gaps in the sound so far
    // The stream's own volume, 0 (muted) to 1 (100 % on both channels), kept across reopens.
    void SetVolume(double factor) { Backend_->SetVolume(factor); }
    double Volume() const { return Backend_->Volume(); }
    int BufferBytes() const; // bytes per buffer

    // Open and StartOutput do nothing when called from inside OnBufferPlayed.
    bool Open();
    bool StartOutput();
    bool StopOutput();
    bool Close();
    // Hands the device what it has room for; a timer calls it a few times per buffer. A call
    // from inside OnBufferPlayed (an event loop run by the handler) does nothing.
    void Feed();

    // --- The feeder: the audio system's own thread ----------------------------------------------
    static constexpr int QuantumMs = 5;           // rendered per call of OnBufferPlayed
    static constexpr int LeadMs = 40;             // the server's buffer while the feeder fills it
    static constexpr int SendingLeadMs = 100;     // the same while more is queued (OwnerHasQueued)
    static constexpr int FeederFifoPriority = 10; // below the keying thread
    static constexpr int FadeOutMs = 5;           // a stop fades what is queued out over this
    bool FeedsOnOwnThread() const { return Backend_->FillsOnItsThread(); }
    // How the feeder asks for real-time priority; set before the output starts.
    void SetRealtimeRequest(TRealtimeRequest ask) {
        Backend_->SetRealtimeRequest(std::move(ask), FeederFifoPriority);
    }
    // How the feeder's priority was settled (see RaiseThisThread); empty before it filled.
    std::string FeederPriority() const { return Backend_->ThreadPriority(); }
    // Frames handed to OnBufferPlayed since the output was made: the owner's renderer counts the
    // same timeline when it renders every buffer.
    int64_t FramesHanded() const { return FramesHanded_.load(); }
    // Time until frame (counted as FramesHanded) is heard at the output [ms]; negative when it
    // has been heard; none when the output cannot tell (not playing, or fed from the GUI thread).
    std::optional<double> MsUntilHeard(int64_t frame) const;

    // Descriptions of the outputs, in DeviceID order.
    std::vector<std::string> Outputs() const;
    // Index of the system's default output, -1 when there is none.
    int DefaultOutput() const { return Backend_->DefaultOutput(); }
    // True when outputs exist and every one is the server's stand-in (plays to nothing).
    bool OnlyDummyOutputs() const;
    // Stable name of output index ("" when there is no such output), to be saved with the index.
    std::string OutputName(int index) const;
    // Index of the output with that stable name, -1 when it is not present.
    int OutputIndex(const std::string& name) const;
    // The device to use for the output the user picked, by its stable name: that output while
    // it is present (the list may have changed order since), else the system's default output
    // (DefaultOutputId), which is also the choice when the user picked none ("").
    int ChooseOutput(const std::string& pickedName) const;

    // Refills a played buffer: 16-bit samples, byte count. A change of format or device asked
    // for in here takes effect when the feed that called it has returned.
    std::function<void(int16_t* buffer, int byteCount)> OnBufferPlayed;
    // Asked on the feeder's thread after each pass: has the owner more queued than it has
    // rendered? Then the server holds SendingLeadMs, asked for half at a time: fewer wake-ups,
    // and more to ride over a busy machine; what is queued is heard after what is rendered in
    // any case. Else it holds LeadMs, so that a key pressed now is heard at once.
    std::function<bool()> OwnerHasQueued;
    // Asked when an output appears after the device was lost: does the owner still want sound?
    std::function<bool()> OwnerWantsSound;
    // The output closed by itself: its device or the sound server went away. Nothing asks for
    // samples until OnOutputBack.
    std::function<void()> OnOutputLost;
    // Output started again by itself after OnOutputLost.
    std::function<void()> OnOutputBack;

    // Told when the list of outputs changes. The notification has one listener (the device
    // watcher): while one is hooked, another is refused (false) rather than replacing it.
    bool HookOutputsChanged(std::function<void()> listener);
    void UnhookOutputsChanged() { OutputsListener_ = nullptr; }

private:
    void Reconfigure(const std::function<void()>& change);
    bool LookUpDevice(std::string& name);
    bool OpenStream();
    void Refill(int index);
    void FeedDevice();
    void ApplyDeferred();
    void StreamFailed(std::uint64_t stream);
    void OutputsChanged();
    void Resume();
    int StreamBytes() const;
    int LeadBytes(int ms) const;
    void StartFeeder();
    void PauseFeeder();
    bool FeedPass(int16_t* data, std::size_t bytes);
    void FadeOutQueued();

    TMessageSink Sink_;
    std::unique_ptr<ISoundBackend> Backend_;
    int SampleRate_ = 8000;
    int BufferTime_ = 500;
    int Channels_ = 2;
    int DeviceID_ = 0;
    bool DevicePresent_ = false;
    std::string DeviceName_;
    bool IsOpen_ = false;
    bool IsPlaying_ = false;
    bool Lost_ = false;
    std::uint64_t Stream_ = 0; // the backend's number of our stream, 0 when none
    std::function<void()> OutputsListener_;

    bool Feeding_ = false;        // inside Feed
    bool Refilling_ = false;      // inside OnBufferPlayed
    bool ReopenDeferred_ = false; // a format or device change asked for while refilling
    bool ResumeDeferred_ = false; // an output came back while refilling

    std::array<std::vector<int16_t>, 2> Buffers_;
    int Frame_ = 2;   // [bytes] per frame of the open stream
    int Current_ = 0; // buffer being handed to the device
    int Offset_ = 0;  // [bytes] of it handed over
    QTimer PumpTimer_;

    // The feeder. OnBufferPlayed and Frame_ are set while it is paused.
    std::atomic<bool> FeedOn_{false}; // the feeder fills the stream
    bool LongLead_ = false;           // the stream holds SendingLeadMs; the feeder's own
    std::atomic<int64_t> FramesHanded_{0};
    // The last frames handed, by frame number modulo its length: a stop fades them out.
    std::vector<int16_t> Played_;
    int64_t StreamStart_ = 0; // FramesHanded_ when the playing stream started
};

} // namespace brindle
