#include "audio/SoundOut.h"

#include <QAudioFormat>

#include <algorithm>
#include <new>

namespace brindle {

TSoundOut::TSoundOut(TMessageSink sink) : Sink_(std::move(sink)) {
    DevicePresent_ = !QMediaDevices::audioOutputs().isEmpty();
    QAudioDevice device;
    if (DevicePresent_ && LookUpDevice(device)) DeviceName_ = device.description().toStdString();
    PumpTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&PumpTimer_, &QTimer::timeout, &PumpTimer_, [this] { Pump(); });
    QObject::connect(&Devices_, &QMediaDevices::audioOutputsChanged, &PumpTimer_,
                     [this] { OutputsChanged(); });
}

TSoundOut::~TSoundOut() {
    OnBufferPlayed = nullptr;
    Close();
}

std::vector<std::string> TSoundOut::OutputNames() {
    std::vector<std::string> names;
    for (const QAudioDevice& d : QMediaDevices::audioOutputs())
        names.push_back(d.description().toStdString());
    return names;
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

bool TSoundOut::LookUpDevice(QAudioDevice& device) {
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    if (DeviceID_ == WaveMapper) {
        device = QMediaDevices::defaultAudioOutput();
        return !device.isNull();
    }
    if (DeviceID_ < 0 || DeviceID_ >= outputs.size()) {
        ShowMessage(Sink_,
                    "Error: Waveform output device not available: " + std::to_string(DeviceID_));
        return false;
    }
    device = outputs[DeviceID_];
    return true;
}

bool TSoundOut::Open() {
    DevicePresent_ = !QMediaDevices::audioOutputs().isEmpty();
    if (!DevicePresent_) {
        ShowMessage(Sink_, "Error: No sound output device available");
        IsOpen_ = false;
        return false;
    }
    QAudioDevice device;
    const bool found = LookUpDevice(device);
    DeviceName_ = found ? device.description().toStdString() : std::string();
    if (IsOpen_ || !found) return false;
    try {
        const auto samples = static_cast<std::size_t>(BufferBytes() / 2);
        for (auto& b : Buffers_)
            b.assign(samples, 0);
    } catch (const std::bad_alloc&) {
        ShowMessage(Sink_, "Error: No memory for sound buffers available");
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(SampleRate_);
    format.setChannelCount(Channels_);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return false;

    AudioSink_ = std::make_unique<QAudioSink>(device, format);
    // The device holds one buffer; the other waits here: two buffers of latency in all.
    AudioSink_->setBufferSize(BufferBytes());
    QObject::connect(AudioSink_.get(), &QAudioSink::stateChanged, &PumpTimer_,
                     [this](QAudio::State s) { SinkStateChanged(s); });
    Io_ = AudioSink_->start();
    if (!Io_ || AudioSink_->error() != QAudio::NoError) {
        const int err = static_cast<int>(AudioSink_->error());
        Io_ = nullptr;
        AudioSink_.reset();
        ShowMessage(Sink_, "Error opening waveout device " + std::to_string(DeviceID_) + " : " +
                               DeviceName_ + " Err " + std::to_string(err));
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
    if (!Io_) {
        Io_ = AudioSink_->start();
        if (!Io_) {
            ShowMessage(Sink_, "Error: Sound output device not open");
            return false;
        }
    }
    for (int i = 0; i < 2; ++i) {
        std::fill(Buffers_[static_cast<std::size_t>(i)].begin(),
                  Buffers_[static_cast<std::size_t>(i)].end(), 0);
        Refill(i);
    }
    Current_ = 0;
    Offset_ = 0;
    IsPlaying_ = true;
    Pump();
    // A few polls per buffer keep the device fed without a wake-up per sample.
    PumpTimer_.start(std::clamp(BufferTime_ / 10, 2, 20));
    return true;
}

// Hands the device whatever it has room for, also part of a buffer: the PulseAudio stream does
// not start before its pre-buffer is full. A buffer handed over completely is refilled at once.
void TSoundOut::Pump() {
    if (!IsPlaying_ || !Io_ || !AudioSink_) return;
    const int frame = 2 * Channels_;
    const int bytes = BufferBytes();
    for (int round = 0; round < 4; ++round) {
        qint64 room = AudioSink_->bytesFree();
        room -= room % frame;
        if (room <= 0) return;
        auto& buffer = Buffers_[static_cast<std::size_t>(Current_)];
        const auto* data = reinterpret_cast<const char*>(buffer.data());
        const qint64 n = std::min<qint64>(room, bytes - Offset_);
        const qint64 written = Io_->write(data + Offset_, n);
        if (written <= 0) return;
        Offset_ += static_cast<int>(written);
        if (Offset_ >= bytes) {
            Offset_ = 0;
            Refill(Current_);
            if (!IsPlaying_) return; // the owner stopped output from its handler
            Current_ ^= 1;
        }
    }
}

void TSoundOut::SinkStateChanged(QAudio::State state) {
    if (!AudioSink_ || state != QAudio::StoppedState) return;
    const QAudio::Error err = AudioSink_->error();
    if (err != QAudio::FatalError && err != QAudio::IOError && err != QAudio::OpenError) return;
    // The device or the sound server went away. Close outside the sink's own signal.
    QTimer::singleShot(0, &PumpTimer_, [this] {
        if (!IsOpen_) return;
        Close();
        Lost_ = true;
    });
}

void TSoundOut::OutputsChanged() {
    DevicePresent_ = !QMediaDevices::audioOutputs().isEmpty();
    if (Lost_ && DevicePresent_ && OwnerWantsSound && OwnerWantsSound()) {
        Lost_ = false;
        StartOutput();
    }
}

bool TSoundOut::StopOutput() {
    if (!IsPlaying_) return false;
    IsPlaying_ = false;
    PumpTimer_.stop();
    if (AudioSink_) {
        AudioSink_->reset(); // drop what is queued
        AudioSink_->stop();
    }
    Io_ = nullptr;
    return true;
}

bool TSoundOut::Close() {
    if (!IsOpen_) return false;
    if (IsPlaying_) StopOutput();
    if (AudioSink_) {
        AudioSink_->disconnect();
        AudioSink_.reset();
    }
    Io_ = nullptr;
    IsOpen_ = false;
    return true;
}

} // namespace brindle
