#include "audio/SoundOut.h"

#include "platform/GuiPost.h"

#include <algorithm>
#include <new>

namespace brindle {

TSoundOut::TSoundOut(TMessageSink sink, std::unique_ptr<ISoundBackend> backend)
    : Sink_(std::move(sink)),
      Backend_(backend ? std::move(backend) : MakePulseBackend(PostToGuiThread)) {
    Backend_->OnStreamFailed = [this] { StreamFailed(); };
    Backend_->OnOutputsChanged = [this] { OutputsChanged(); };
    const auto outputs = Backend_->Outputs();
    DevicePresent_ = !outputs.empty();
    if (DevicePresent_ && DeviceID_ >= 0 && DeviceID_ < static_cast<int>(outputs.size()))
        DeviceName_ = outputs[static_cast<std::size_t>(DeviceID_)];
    PumpTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&PumpTimer_, &QTimer::timeout, &PumpTimer_, [this] { Feed(); });
}

TSoundOut::~TSoundOut() {
    OnBufferPlayed = nullptr;
    Close();
    Backend_->OnStreamFailed = nullptr;
    Backend_->OnOutputsChanged = nullptr;
}

int TSoundOut::BufferBytes() const {
    return static_cast<int>(static_cast<long long>(SampleRate_) * 2 * Channels_ * BufferTime_ /
                            1000);
}

// Stores a format change; an open device is closed and opened again with it, and output that was
// playing goes on.
void TSoundOut::Reconfigure(const std::function<void()>& change) {
    const bool wasPlaying = IsPlaying_;
    change();
    if (IsOpen_) {
        Close();
        Open();
        if (wasPlaying) StartOutput();
    }
}

void TSoundOut::SetSampleRate(int rate) {
    if (rate != SampleRate_) Reconfigure([&] { SampleRate_ = rate; });
}

void TSoundOut::SetBufferTime(int ms) {
    if (ms != BufferTime_) Reconfigure([&] { BufferTime_ = ms; });
}

void TSoundOut::SetChannels(int channels) {
    channels = channels < 2 ? 1 : 2;
    if (channels != Channels_) Reconfigure([&] { Channels_ = channels; });
}

void TSoundOut::SetDeviceID(int id) {
    if (id != DeviceID_ || id == WaveMapper) Reconfigure([&] { DeviceID_ = id; });
}

bool TSoundOut::LookUpDevice(std::string& name) {
    const auto outputs = Backend_->Outputs();
    int index = DeviceID_;
    if (index == WaveMapper) index = Backend_->DefaultOutput();
    if (index < 0 || index >= static_cast<int>(outputs.size())) {
        if (DeviceID_ != WaveMapper)
            ShowMessage(Sink_, "Error: Waveform output device not available: " +
                                   std::to_string(DeviceID_));
        name.clear();
        return DeviceID_ == WaveMapper;
    }
    name = outputs[static_cast<std::size_t>(index)];
    return true;
}

bool TSoundOut::Open() {
    DevicePresent_ = !Backend_->Outputs().empty();
    if (!DevicePresent_) {
        ShowMessage(Sink_, "Error: No sound output device available");
        IsOpen_ = false;
        return false;
    }
    const bool found = LookUpDevice(DeviceName_);
    if (IsOpen_ || !found) return false;
    try {
        const auto samples = static_cast<std::size_t>(std::max(BufferBytes(), 2) / 2);
        for (auto& b : Buffers_)
            b.assign(samples, 0);
    } catch (const std::bad_alloc&) {
        ShowMessage(Sink_, "Error: No memory for sound buffers available");
        return false;
    }
    // 16-bit PCM at a rate the sound server takes; anything else is not offered.
    if (SampleRate_ < 1000 || SampleRate_ > 192000 || BufferBytes() < 2) return false;
    std::string reason;
    int code = 0;
    if (!Backend_->OpenStream(DeviceID_, SampleRate_, Channels_, BufferBytes(), reason, code)) {
        ShowMessage(Sink_, "Error opening waveout device " + std::to_string(DeviceID_) + " : " +
                               DeviceName_ + " Err " + std::to_string(code));
        return false;
    }
    IsOpen_ = true;
    Lost_ = false;
    return true;
}

void TSoundOut::Refill(int index) {
    auto& b = Buffers_[static_cast<std::size_t>(index)];
    if (OnBufferPlayed)
        OnBufferPlayed(b.data(), static_cast<int>(b.size() * 2));
    else
        std::fill(b.begin(), b.end(), 0);
}

bool TSoundOut::StartOutput() {
    if (!IsOpen_) Open();
    if (!IsOpen_) {
        ShowMessage(Sink_, "Error: Sound output device not open");
        return false;
    }
    if (IsPlaying_) return false;
    if (!Backend_->StreamOpen()) {
        std::string reason;
        int code = 0;
        if (!Backend_->OpenStream(DeviceID_, SampleRate_, Channels_, BufferBytes(), reason, code)) {
            ShowMessage(Sink_, "Error: Sound output device not open");
            return false;
        }
    }
    for (int i = 0; i < 2; ++i) {
        auto& b = Buffers_[static_cast<std::size_t>(i)];
        std::fill(b.begin(), b.end(), 0);
        Refill(i);
    }
    Current_ = 0;
    Offset_ = 0;
    IsPlaying_ = true;
    Feed();
    // A few polls per buffer keep the device fed without a wake-up per sample.
    PumpTimer_.start(std::clamp(BufferTime_ / 10, 2, 20));
    return true;
}

// Hands the device whatever it has room for, also part of a buffer: the stream does not start
// before its pre-buffer is full. A buffer handed over completely is refilled at once.
void TSoundOut::Feed() {
    if (!IsPlaying_) return;
    const int frame = 2 * Channels_;
    const int bytes = BufferBytes();
    for (int round = 0; round < 4; ++round) {
        long long room = Backend_->WritableBytes();
        if (room < 0) return; // failed: the failure event closes the output
        room -= room % frame;
        if (room == 0) return;
        auto& buffer = Buffers_[static_cast<std::size_t>(Current_)];
        const auto* data = reinterpret_cast<const char*>(buffer.data());
        const long long n = std::min<long long>(room, bytes - Offset_);
        if (Backend_->Write(data + Offset_, static_cast<std::size_t>(n)) != n) return;
        Offset_ += static_cast<int>(n);
        if (Offset_ >= bytes) {
            Offset_ = 0;
            Refill(Current_);
            if (!IsPlaying_) return; // the owner stopped output from its handler
            Current_ ^= 1;
        }
    }
}

void TSoundOut::StreamFailed() {
    if (!IsOpen_) return;
    Close();
    Lost_ = true;
}

void TSoundOut::OutputsChanged() {
    DevicePresent_ = !Backend_->Outputs().empty();
    if (Lost_ && DevicePresent_ && OwnerWantsSound && OwnerWantsSound()) {
        Lost_ = false;
        StartOutput();
    }
    if (OnOutputsChanged) OnOutputsChanged();
}

bool TSoundOut::StopOutput() {
    if (!IsPlaying_) return false;
    IsPlaying_ = false;
    PumpTimer_.stop();
    Backend_->CloseStream(); // drops what is queued; Open state stays, StartOutput reopens
    return true;
}

bool TSoundOut::Close() {
    if (!IsOpen_) return false;
    if (IsPlaying_) StopOutput();
    Backend_->CloseStream();
    IsOpen_ = false;
    return true;
}

} // namespace brindle
