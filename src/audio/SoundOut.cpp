#include "audio/SoundOut.h"

#include "platform/GuiPost.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <thread>

namespace brindle {

TSoundOut::TSoundOut(TMessageSink sink, std::unique_ptr<ISoundBackend> backend)
    : Sink_(std::move(sink)),
      Backend_(backend ? std::move(backend) : MakePulseBackend(PostToGuiThread)) {
    Backend_->OnStreamFailed = [this](std::uint64_t stream) { StreamFailed(stream); };
    Backend_->OnOutputsChanged = [this] { OutputsChanged(); };
    // The audio system's loop carries every sample: it asks for real-time priority whether or
    // not an owner gives a way to ask the desktop for it.
    Backend_->SetRealtimeRequest({}, FeederFifoPriority);
    Backend_->OnFill = [this](void* data, std::size_t bytes) {
        return FeedPass(static_cast<int16_t*>(data), bytes);
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
    OnBufferPlayed = nullptr;
    Backend_->OnFill = nullptr;
    Backend_->OnStreamFailed = nullptr;
    Backend_->OnOutputsChanged = nullptr;
}

// The server's buffer: LeadMs when the feeder fills it, else a buffer's worth.
int TSoundOut::StreamBytes() const {
    return FeedsOnOwnThread() ? LeadBytes(LeadMs) : BufferBytes();
}

int TSoundOut::LeadBytes(int ms) const {
    const int frames = SampleRate_ * ms / 1000;
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

bool TSoundOut::OnlyDummyOutputs() const {
    const auto outputs = Backend_->Outputs();
    return !outputs.empty() &&
           std::all_of(outputs.begin(), outputs.end(), [](const auto& o) { return o.Dummy; });
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

int TSoundOut::ChooseOutput(const std::string& pickedName) const {
    const int named = OutputIndex(pickedName);
    return named >= 0 ? named : DefaultOutputId;
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
    if (FeedsOnOwnThread()) // what the server may still hold, and a margin
        Played_.assign(static_cast<std::size_t>(SampleRate_) * (2 * SendingLeadMs) / 1000 *
                           static_cast<std::size_t>(Channels_),
                       0);
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
    PauseFeeder();
    FadeOutQueued();
    IsPlaying_ = false;
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

// --- The feeder ----------------------------------------------------------------------------------

void TSoundOut::StartFeeder() {
    StreamStart_ = FramesHanded_.load();
    LongLead_ = false; // a stream opens with LeadMs
    FeedOn_ = true;
    Backend_->Kick(); // the server asked for its first samples before the feeder was on
}

// Returns when no pass is under way and none will start until the next StartFeeder. Never called
// with the engine's guard held: a pass renders under it.
void TSoundOut::PauseFeeder() {
    if (!FeedOn_.exchange(false)) return;
    Backend_->Quiesce();
}

// On the audio system's thread: fills what the server asked for, a quantum at a time.
bool TSoundOut::FeedPass(int16_t* data, std::size_t bytes) {
    if (!FeedOn_) return false;
    const auto quantum =
        static_cast<std::size_t>(SampleRate_) * QuantumMs / 1000 * static_cast<std::size_t>(Frame_);
    for (std::size_t done = 0; done < bytes;) {
        const std::size_t n = std::min(bytes - done, std::max(quantum, std::size_t(Frame_)));
        int16_t* part = data + done / 2;
        std::fill(part, part + n / 2, int16_t{0});
        if (OnBufferPlayed) OnBufferPlayed(part, static_cast<int>(n));
        // Samples interleave the same way at every frame: kept by sample number.
        const auto first = static_cast<std::size_t>(FramesHanded_) * (Frame_ / 2u);
        for (std::size_t i = 0; !Played_.empty() && i < n / 2; ++i)
            Played_[(first + i) % Played_.size()] = part[i];
        const int64_t frames = static_cast<int64_t>(n) / Frame_;
        FramesHanded_ += frames;
        done += n;
    }
    const bool longLead = OwnerHasQueued && OwnerHasQueued();
    if (longLead != LongLead_) {
        LongLead_ = longLead;
        const int bytes = LeadBytes(longLead ? SendingLeadMs : LeadMs);
        Backend_->SetLead(static_cast<std::size_t>(bytes),
                          static_cast<std::size_t>(longLead ? bytes / 2 : bytes / 3));
    }
    return true;
}

// Writes what the server still holds over with itself faded out over FadeOutMs, and silence
// after, from the first frame the server has not yet handed on; then waits until the fade has
// been heard (a few ms). A tone stopped mid-way ends in a ramp, at once, and not in a click
// when the stream closes, nor after all that was queued. The feeder is paused.
void TSoundOut::FadeOutQueued() {
    if (!FeedsOnOwnThread() || Played_.empty()) return;
    const int channels = Frame_ / 2;
    const auto kept = static_cast<int64_t>(Played_.size()) / channels;
    const int64_t end = FramesHanded_ - StreamStart_; // the stream's write position
    const int64_t from = Backend_->ReplaceableFrame();
    if (from < 0 || from >= end || end - from > kept) return;
    const int64_t fade = std::max<int64_t>(1, static_cast<int64_t>(SampleRate_) * FadeOutMs / 1000);
    std::vector<int16_t> faded(static_cast<std::size_t>((end - from) * channels), 0);
    for (int64_t f = 0; f < std::min(fade, end - from); ++f) {
        const double gain = static_cast<double>(fade - 1 - f) / static_cast<double>(fade);
        const int64_t at = (StreamStart_ + from + f) % kept;
        for (int c = 0; c < channels; ++c)
            faded[static_cast<std::size_t>(f * channels + c)] = static_cast<int16_t>(
                std::lround(Played_[static_cast<std::size_t>(at * channels + c)] * gain));
    }
    if (!Backend_->WriteAt(from, faded.data(), faded.size() * 2)) return;
    // Bounded: a server that stops answering does not hold the window.
    const int64_t fadeEnd = StreamStart_ + from + fade;
    for (int waited = 0; waited < 2 * LeadMs; ++waited) {
        const long long played = Backend_->PlayedFrames();
        if (played < 0 || StreamStart_ + played >= fadeEnd) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::optional<double> TSoundOut::MsUntilHeard(int64_t frame) const {
    if (!IsPlaying_ || !FeedsOnOwnThread()) return std::nullopt;
    const long long played = Backend_->PlayedFrames();
    if (played < 0) return std::nullopt;
    return static_cast<double>(frame - StreamStart_ - played) * 1000.0 / SampleRate_;
}

} // namespace brindle
