// Plays a continuous stream of 16-bit PCM with two buffers in rotation. It makes no sound itself:
// each time a buffer's worth has been taken by the device it hands the buffer to its owner
// (OnBufferPlayed) to refill, on the GUI thread. A device or sound server that vanishes closes
// the output; when an output exists again and the owner still wants sound, it starts again.
#pragma once

#include "audio/SoundBackend.h"
#include "base/MessageSink.h"

#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

class TSoundOut {
public:
    // The system's default output.
    static constexpr int WaveMapper = -1;

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
    int DeviceID() const { return DeviceID_; } // index into Outputs(); WaveMapper: default
    void SetDeviceID(int id);

    bool DevicePresent() const { return DevicePresent_; }
    void SetDevicePresent(bool present) { DevicePresent_ = present; }
    const std::string& DeviceName() const { return DeviceName_; }
    bool IsOpen() const { return IsOpen_; }
    bool IsPlaying() const { return IsPlaying_; }
    int BufferBytes() const; // bytes per buffer

    bool Open();
    bool StartOutput();
    bool StopOutput();
    bool Close();
    // Hands the device what it has room for; a timer calls it a few times per buffer.
    void Feed();

    // Names of the outputs, in DeviceID order.
    std::vector<std::string> Outputs() const { return Backend_->Outputs(); }

    // Refills a played buffer: 16-bit samples, byte count.
    std::function<void(int16_t* buffer, int byteCount)> OnBufferPlayed;
    // Asked when an output appears after the device was lost: does the owner still want sound?
    std::function<bool()> OwnerWantsSound;
    // Told when the list of outputs changes.
    std::function<void()> OnOutputsChanged;

private:
    void Reconfigure(const std::function<void()>& change);
    bool LookUpDevice(std::string& name);
    void Refill(int index);
    void StreamFailed();
    void OutputsChanged();

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

    std::array<std::vector<int16_t>, 2> Buffers_;
    int Current_ = 0; // buffer being handed to the device
    int Offset_ = 0;  // [bytes] of it handed over
    QTimer PumpTimer_;
};

} // namespace brindle
