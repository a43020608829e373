#include "audio/SoundOut.h"

#include "platform/GuiPost.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace brindle {

TSoundOut::TSoundOut(TMessageSink sink, std::unique_ptr<ISoundBackend> backend)
    : Sink_(std::move(sink)),
      Backend_(backend ? std::move(backend) : MakePulseBackend(PostToGuiThread)) {
    Backend_->OnStreamFailed = [this](std::uint64_t stream) { StreamFailed(stream); };
    Backend_->OnOutputsChanged = [this] { OutputsChanged(); };
    // The audio system's loop carries every sample: it asks for real-time priority whether or
    // not an owner gives a way to ask the desktop for it.
    Backend_->SetRealtimeRequest({}, FeederFifoPriority);
    Backend_->OnRoom = [this] {
        {
            const std::lock_guard lock(FeedMutex_);
            Kick_ = true;
        }
        FeedWake_.notify_one();
    };
    const auto outputs = Backend_->Outputs();
    DevicePresent_ = !outputs.empty();
    if (DevicePresent_ && DeviceID_ >= 0 && DeviceID_ < static_cast<int>(outputs.size()))
        DeviceName_ = outputs[static_cast<std::size_t>(DeviceID_)].Description;
    PumpTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&PumpTimer_, &QTimer::timeout, &PumpTimer_, [this] { Feed(); });
}

TSoundOut::~TSoundOut() {
    Close();
    if (Feeder_.joinable()) {
        {
            const std::lock_guard lock(FeedMutex_);
            Quit_ = true;
        }
        FeedWake_.notify_all();
        Feeder_.join();
    }
    OnBufferPlayed = nullptr;
    Backend_->OnRoom = nullptr;
    Backend_->OnStreamFailed = nullptr;
    Backend_->OnOutputsChanged = nullptr;
}

// The server's buffer: LeadMs when the feeder fills it, else a buffer's worth.
int TSoundOut::StreamBytes() const {
    if (!FeedsOnOwnThread()) return BufferBytes();
    const int frames = SampleRate_ * LeadMs / 1000;
    return frames * 2 * Channels_;
}

int TSoundOut::BufferBytes() const {
    return static_cast<int>(static_cast<long long>(SampleRate_) * 2 * Channels_ * BufferTime_ /
                            1000);
}

std::vector<std::string> TSoundOut::Outputs() const {
    std::vector<std::string> descriptions;
    for (auto& o : Backend_->Outputs())
        descriptions.push_back(std::move(o.Description));
    return descriptions;
}

std::string TSoundOut::OutputName(int index) const {
    const auto outputs = Backend_->Outputs();
    if (index < 0 || index >= static_cast<int>(outputs.size())) return {};
    return outputs[static_cast<std::size_t>(index)].Name;
}

int TSoundOut::OutputIndex(const std::string& name) const {
    if (name.empty()) return -1;
    const auto outputs = Backend_->Outputs();
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i].Name == name) return static_cast<int>(i);
    return -1;
}

int TSoundOut::ChooseOutput(int savedIndex, const std::string& savedName) const {
    if (const int named = OutputIndex(savedName); named >= 0) return named;
    const int count = static_cast<int>(Backend_->Outputs().size());
    return savedIndex >= 0 && savedIndex < count ? savedIndex : 0;
}

bool TSoundOut::HookOutputsChanged(std::function<void()> listener) {
    if (OutputsListener_) return false;
    OutputsListener_ = std::move(listener);
    return true;
}

// Stores a format change; an open device is closed and opened again with it, and output that was
// playing goes on. Asked for from inside the refill handler, the reopen waits until the feed has
// returned: the handler is still writing into the buffer that reopening would replace.
void TSoundOut::Reconfigure(const std::function<void()>& change) {
    const bool wasPlaying = IsPlaying_;
    PauseFeeder(); // it reads the format; a reopen that plays on starts it again
    change();
    if (Refilling_) {
        ReopenDeferred_ = true;
        return;
    }
    if (IsOpen_) {
        Close();
        Open();
        if (wasPlaying) StartOutput();
    }
}

void TSoundOut::ApplyDeferred() {
    if (ReopenDeferred_) {
        ReopenDeferred_ = false;
        if (IsOpen_) {
            const bool wasPlaying = IsPlaying_;
            Close();
            Open();
            if (wasPlaying) StartOutput();
        }
    }
    if (ResumeDeferred_) {
        ResumeDeferred_ = false;
        Resume();
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
    if (id != DeviceID_ || id == DefaultOutputId) Reconfigure([&] { DeviceID_ = id; });
}

bool TSoundOut::LookUpDevice(std::string& name) {
    const auto outputs = Backend_->Outputs();
    int index = DeviceID_;
    if (index == DefaultOutputId) index = Backend_->DefaultOutput();
    if (index < 0 || index >= static_cast<int>(outputs.size())) {
        if (DeviceID_ != DefaultOutputId)
            ShowMessage(Sink_, TSeverity::Error,
                        "Error: Waveform output device not available: " +
                            std::to_string(DeviceID_));
        name.clear();
        return DeviceID_ == DefaultOutputId;
    }
    name = outputs[static_cast<std::size_t>(index)].Description;
    return true;
}

bool TSoundOut::OpenStream() {
    std::string reason;
    int code = 0;
    Stream_ = 0;
    if (!Backend_->OpenStream(DeviceID_, SampleRate_, Channels_, StreamBytes(), reason, code)) {
        ShowMessage(Sink_, TSeverity::Error,
                    "Error opening waveout device " + std::to_string(DeviceID_) + " : " +
                        DeviceName_ + " Err " + std::to_string(code));
        return false;
    }
    Stream_ = Backend_->Stream();
    return true;
}

bool TSoundOut::Open() {
    if (Refilling_) return false; // the handler is writing into a buffer that this would replace
    DevicePresent_ = !Backend_->Outputs().empty();
    if (!DevicePresent_) {
        ShowMessage(Sink_, TSeverity::Error, "Error: No sound output device available");
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
        ShowMessage(Sink_, TSeverity::Error, "Error: No memory for sound buffers available");
        return false;
    }
    // 16-bit PCM at a rate the sound server takes; anything else is not offered.
    if (SampleRate_ < 1000 || SampleRate_ > 192000 || BufferBytes() < 2) return false;
    if (!OpenStream()) return false;
    Frame_ = 2 * Channels_;
    IsOpen_ = true;
    Lost_ = false;
    return true;
}

void TSoundOut::Refill(int index) {
    auto& b = Buffers_[static_cast<std::size_t>(index)];
    if (OnBufferPlayed) {
        Refilling_ = true;
        OnBufferPlayed(b.data(), static_cast<int>(b.size() * 2));
        Refilling_ = false;
    } else {
        std::fill(b.begin(), b.end(), 0);
    }
}

bool TSoundOut::StartOutput() {
    if (Refilling_) return false;
    if (!IsOpen_) Open();
    if (!IsOpen_) {
        ShowMessage(Sink_, TSeverity::Error, "Error: Sound output device not open");
        return false;
    }
    if (IsPlaying_) return false;
    if (!Backend_->StreamOpen() || Backend_->Stream() != Stream_) {
        if (!OpenStream()) {
            ShowMessage(Sink_, TSeverity::Error, "Error: Sound output device not open");
            return false;
        }
    }
    if (FeedsOnOwnThread()) {
        IsPlaying_ = true;
        StartFeeder();
        return true;
    }
    for (int i = 0; i < 2; ++i) {
        auto& b = Buffers_[static_cast<std::size_t>(i)];
        std::fill(b.begin(), b.end(), 0);
        Refill(i);
    }
    Current_ = 0;
    Offset_ = 0;
    IsPlaying_ = true;
    // A few polls per buffer keep the device fed without a wake-up per sample.
    PumpTimer_.start(std::clamp(BufferTime_ / 10, 2, 20));
    Feed();
    return true;
}

void TSoundOut::Feed() {
    if (Feeding_ || Refilling_) return; // nested: Offset_ and Current_ belong to the outer call
    Feeding_ = true;
    FeedDevice();
    Feeding_ = false;
    ApplyDeferred();
}

// Hands the device whatever it has room for, also part of a buffer: the stream does not start
// before its pre-buffer is full. A buffer handed over completely is refilled at once.
void TSoundOut::FeedDevice() {
    if (!IsPlaying_) return;
    for (int round = 0; round < 4; ++round) {
        long long room = Backend_->WritableBytes();
        if (room < 0) return; // failed: the failure event closes the output
        room -= room % Frame_;
        if (room == 0) return;
        auto& buffer = Buffers_[static_cast<std::size_t>(Current_)];
        const auto* data = reinterpret_cast<const char*>(buffer.data());
        const auto bytes = static_cast<long long>(buffer.size() * 2);
        const long long n = std::min<long long>(room, bytes - Offset_);
        if (Backend_->Write(data + Offset_, static_cast<std::size_t>(n)) != n) return;
        Offset_ += static_cast<int>(n);
        if (Offset_ >= bytes) {
            Offset_ = 0;
            Refill(Current_);
            // The owner stopped output, or asked for a new format, from its handler.
            if (!IsPlaying_ || ReopenDeferred_) return;
            Current_ ^= 1;
        }
    }
}

// A failure of a stream that is gone (closed and another opened before the event ran) concerns
// nobody.
void TSoundOut::StreamFailed(std::uint64_t stream) {
    if (!IsOpen_ || stream == 0 || stream != Stream_) return;
    Close();
    Lost_ = true;
    if (OnOutputLost) OnOutputLost();
}

void TSoundOut::OutputsChanged() {
    DevicePresent_ = !Backend_->Outputs().empty();
    if (Refilling_)
        ResumeDeferred_ = true;
    else
        Resume();
    if (OutputsListener_) OutputsListener_();
}

void TSoundOut::Resume() {
    if (!Lost_ || !DevicePresent_ || !OwnerWantsSound || !OwnerWantsSound()) return;
    Lost_ = false;
    if (StartOutput()) {
        if (OnOutputBack) OnOutputBack();
    } else {
        Lost_ = true; // tried again at the next change of the list
    }
}

bool TSoundOut::StopOutput() {
    if (!IsPlaying_) return false;
    IsPlaying_ = false;
    PauseFeeder();
    PumpTimer_.stop();
    Backend_->CloseStream(); // drops what is queued; Open state stays, StartOutput reopens
    Stream_ = 0;
    return true;
}

bool TSoundOut::Close() {
    if (!IsOpen_) return false;
    if (IsPlaying_) StopOutput();
    Backend_->CloseStream();
    Stream_ = 0;
    IsOpen_ = false;
    return true;
}

} // namespace brindle

namespace brindle {

// --- The feeder thread ---------------------------------------------------------------------------

namespace {
constexpr int kFallbackWakeMs = 20; // the server's requests wake the feeder; this if one is lost
} // namespace

std::string TSoundOut::FeederPriority() const {
    const std::lock_guard lock(FeedMutex_);
    return FeederPriority_;
}

void TSoundOut::StartFeeder() {
    StreamStart_ = FramesHanded_.load();
    if (!Feeder_.joinable()) Feeder_ = std::thread([this] { FeedLoop(); });
    FeedOn_ = true;
    {
        const std::lock_guard lock(FeedMutex_);
        Kick_ = true;
    }
    FeedWake_.notify_one();
}

// Returns when no pass is under way and none will start until the next StartFeeder. Never called
// with the engine's guard held: a pass renders under it.
void TSoundOut::PauseFeeder() {
    if (!FeedOn_.exchange(false)) return;
    const std::lock_guard pass(PassMutex_);
}

// Wakes when the server asks for samples, and at least every kFallbackWakeMs while feeding.
void TSoundOut::FeedLoop() {
    std::string priority = RaiseThisThread(FeederFifoPriority, AskRealtime_);
    std::vector<int16_t> scratch;
    std::unique_lock lock(FeedMutex_);
    FeederPriority_ = std::move(priority);
    while (!Quit_) {
        if (FeedOn_)
            FeedWake_.wait_for(lock, std::chrono::milliseconds(kFallbackWakeMs),
                               [this] { return Quit_ || Kick_; });
        else
            FeedWake_.wait(lock, [this] { return Quit_ || Kick_; });
        Kick_ = false;
        if (Quit_) break;
        lock.unlock();
        {
            const std::lock_guard pass(PassMutex_);
            if (FeedOn_) FeedPass(scratch);
        }
        lock.lock();
    }
}

// Fills what the server has room for, a quantum at a time.
void TSoundOut::FeedPass(std::vector<int16_t>& scratch) {
    const long long quantum =
        static_cast<long long>(SampleRate_) * QuantumMs / 1000 * static_cast<long long>(Frame_);
    for (int round = 0; round < 16; ++round) {
        long long room = Backend_->WritableBytes();
        if (room < 0) return; // failed: the failure event closes the output
        room -= room % Frame_;
        if (room == 0) return;
        const long long n = std::min(room, quantum);
        scratch.assign(static_cast<std::size_t>(n / 2), 0);
        if (OnBufferPlayed) OnBufferPlayed(scratch.data(), static_cast<int>(n));
        FramesHanded_ += n / Frame_;
        if (Backend_->Write(scratch.data(), static_cast<std::size_t>(n)) != n) return;
    }
}

std::optional<double> TSoundOut::MsUntilHeard(int64_t frame) const {
    if (!IsPlaying_ || !FeedsOnOwnThread()) return std::nullopt;
    const long long played = Backend_->PlayedFrames();
    if (played < 0) return std::nullopt;
    return static_cast<double>(frame - StreamStart_ - played) * 1000.0 / SampleRate_;
}

} // namespace brindle
