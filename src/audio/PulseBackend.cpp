// The PulseAudio sound backend on a threaded main loop. Callbacks run on the loop's thread; they
// update state under the loop's lock and post events for the GUI thread, and the stream's write
// callback has the owner render its samples there (OnFill), straight into the server's memory.
// The GUI thread takes the lock for short, non-blocking calls; the only waits are for a stream to
// become ready, which a failure also ends.
#include "audio/SoundBackend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

namespace brindle {

namespace {

constexpr pa_usec_t kRetryUsec = 1000 * 1000;       // reconnect attempt every second
constexpr pa_usec_t kOpenTimeoutUsec = 2000 * 1000; // a stream that is not ready by then fails
constexpr pa_usec_t kReplaceMarginUsec = 3 * 1000;  // a write's way to the server, and more

class TPulseBackend : public ISoundBackend {
public:
    explicit TPulseBackend(TPost post)
        : Post_(std::move(post)), Alive_(std::make_shared<bool>(true)) {
        Loop_ = pa_threaded_mainloop_new();
        if (!Loop_) return;
        Api_ = pa_threaded_mainloop_get_api(Loop_);
        pa_threaded_mainloop_lock(Loop_);
        Connect();
        pa_threaded_mainloop_unlock(Loop_);
        pa_threaded_mainloop_start(Loop_);
        // Wait briefly for the first answer, so that a present server lists its outputs at once.
        // FirstAnswer_ is the loop thread's: read it under the loop's lock only.
        for (int i = 0; i < 20; ++i) { // at most 100 ms
            pa_threaded_mainloop_lock(Loop_);
            const bool answered = FirstAnswer_;
            pa_threaded_mainloop_unlock(Loop_);
            if (answered) break;
            struct timespec ts {
                0, 5'000'000
            };
            nanosleep(&ts, nullptr);
        }
    }

    ~TPulseBackend() override {
        *Alive_ = false;
        if (!Loop_) return;
        pa_threaded_mainloop_lock(Loop_);
        DropStream();
        DropContext();
        if (Retry_) Api_->time_free(Retry_);
        Retry_ = nullptr;
        pa_threaded_mainloop_unlock(Loop_);
        pa_threaded_mainloop_stop(Loop_);
        pa_threaded_mainloop_free(Loop_);
    }

    std::vector<TOutput> Outputs() override {
        std::lock_guard lock(SinkMutex_);
        std::vector<TOutput> outputs;
        for (const auto& s : Sinks_)
            outputs.push_back({s.Name, s.Description, s.Name == DummySinkName});
        return outputs;
    }

    int DefaultOutput() override {
        std::lock_guard lock(SinkMutex_);
        for (std::size_t i = 0; i < Sinks_.size(); ++i)
            if (Sinks_[i].Name == DefaultSink_) return static_cast<int>(i);
        return Sinks_.empty() ? -1 : 0;
    }

    bool OpenStream(int device, int rate, int channels, int bufferBytes, std::string& error,
                    int& code) override {
        code = 0;
        if (!Loop_) {
            error = "no PulseAudio main loop";
            code = PA_ERR_INTERNAL;
            return false;
        }
        std::string sinkName;
        if (device >= 0) {
            std::lock_guard lock(SinkMutex_);
            if (device >= static_cast<int>(Sinks_.size())) {
                error = "no such output";
                code = PA_ERR_NOENTITY;
                return false;
            }
            sinkName = Sinks_[static_cast<std::size_t>(device)].Name;
        }
        pa_threaded_mainloop_lock(Loop_);
        DropStream();
        if (!Context_ || pa_context_get_state(Context_) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_unlock(Loop_);
            error = "the sound server does not answer";
            code = PA_ERR_CONNECTIONREFUSED;
            return false;
        }
        pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(rate),
                            static_cast<uint8_t>(channels)};
        Stream_ = pa_stream_new(Context_, "Brindle", &spec, nullptr);
        StreamNumber_ = Stream_ ? ++LastStreamNumber_ : 0;
        if (!Stream_) {
            code = pa_context_errno(Context_);
            error = pa_strerror(code);
            pa_threaded_mainloop_unlock(Loop_);
            return false;
        }
        pa_stream_set_state_callback(Stream_, &TPulseBackend::StreamState, this);
        pa_stream_set_underflow_callback(
            Stream_,
            [](pa_stream*, void* self) {
                static_cast<TPulseBackend*>(self)->Underflows_.fetch_add(1,
                                                                         std::memory_order_relaxed);
            },
            this);
        pa_stream_set_write_callback(
            Stream_,
            [](pa_stream*, size_t, void* self) { static_cast<TPulseBackend*>(self)->Fill(); },
            this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(bufferBytes);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(bufferBytes / 3); // a request every third
        attr.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
        pa_cvolume volume;
        pa_cvolume_set(&volume, static_cast<unsigned>(channels), StreamVolume());
        if (pa_stream_connect_playback(Stream_, sinkName.empty() ? nullptr : sinkName.c_str(),
                                       &attr, flags, &volume, nullptr) < 0) {
            code = pa_context_errno(Context_);
            error = pa_strerror(code);
            DropStream();
            pa_threaded_mainloop_unlock(Loop_);
            return false;
        }
        // The state callback signals every change; a failure ends the wait as well, and a
        // server that never answers is given up after kOpenTimeoutUsec.
        struct timeval deadline {};
        pa_gettimeofday(&deadline);
        pa_timeval_add(&deadline, kOpenTimeoutUsec);
        TimedOut_ = false;
        pa_time_event* guard = Api_->time_new(Api_, &deadline, &TPulseBackend::OpenTimedOut, this);
        pa_stream_state_t state = pa_stream_get_state(Stream_);
        while ((state == PA_STREAM_CREATING || state == PA_STREAM_UNCONNECTED) && !TimedOut_) {
            pa_threaded_mainloop_wait(Loop_);
            if (!Stream_) break;
            state = pa_stream_get_state(Stream_);
        }
        if (guard) Api_->time_free(guard);
        const bool ready = Stream_ && state == PA_STREAM_READY;
        if (!ready) {
            code = TimedOut_
                       ? PA_ERR_TIMEOUT
                       : (Context_ ? pa_context_errno(Context_) : PA_ERR_CONNECTIONTERMINATED);
            error = pa_strerror(code);
            DropStream();
        }
        StreamFailed_ = false;
        pa_threaded_mainloop_unlock(Loop_);
        return ready;
    }

    std::uint64_t Stream() const override {
        if (!Loop_) return 0;
        pa_threaded_mainloop_lock(Loop_); // the loop thread drops a failed stream
        const std::uint64_t number = Stream_ ? StreamNumber_ : 0;
        pa_threaded_mainloop_unlock(Loop_);
        return number;
    }

    long long WritableBytes() override {
        pa_threaded_mainloop_lock(Loop_);
        long long n = -1;
        if (StreamReady()) {
            const size_t w = pa_stream_writable_size(Stream_);
            n = w == static_cast<size_t>(-1) ? -1 : static_cast<long long>(w);
        }
        pa_threaded_mainloop_unlock(Loop_);
        return n;
    }

    long long Write(const void* data, std::size_t bytes) override {
        pa_threaded_mainloop_lock(Loop_);
        long long done = -1;
        if (Stream_ && !StreamFailed_ &&
            pa_stream_write(Stream_, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0)
            done = static_cast<long long>(bytes);
        pa_threaded_mainloop_unlock(Loop_);
        return done;
    }

    bool FillsOnItsThread() const override { return true; }

    void Kick() override {
        if (!Loop_) return;
        pa_threaded_mainloop_lock(Loop_);
        pa_mainloop_api_once(
            Api_, [](pa_mainloop_api*, void* self) { static_cast<TPulseBackend*>(self)->Fill(); },
            this);
        pa_threaded_mainloop_unlock(Loop_);
    }

    // OnFill runs with the loop's lock held: holding it once means none is under way.
    void Quiesce() override {
        if (!Loop_) return;
        pa_threaded_mainloop_lock(Loop_);
        pa_threaded_mainloop_unlock(Loop_);
    }

    void SetLead(size_t bytes, size_t requestBytes) override {
        if (!Loop_) return;
        const bool inLoop = pa_threaded_mainloop_in_thread(Loop_) != 0;
        if (!inLoop) pa_threaded_mainloop_lock(Loop_);
        const pa_buffer_attr* now = StreamReady() ? pa_stream_get_buffer_attr(Stream_) : nullptr;
        if (now) {
            pa_buffer_attr attr = *now;
            attr.tlength = static_cast<uint32_t>(bytes);
            attr.minreq = static_cast<uint32_t>(requestBytes);
            if (pa_operation* op = pa_stream_set_buffer_attr(Stream_, &attr, nullptr, nullptr))
                pa_operation_unref(op);
        }
        if (!inLoop) pa_threaded_mainloop_unlock(Loop_);
    }

    std::string ThreadPriority() const override {
        std::lock_guard lock(PriorityMutex_);
        return LoopPriorityText_;
    }

    void SetRealtimeRequest(TRealtimeRequest ask, int priority) override {
        if (!Loop_) return;
        pa_threaded_mainloop_lock(Loop_);
        AskRealtime_ = std::move(ask);
        LoopPriority_ = priority;
        pa_threaded_mainloop_unlock(Loop_);
    }

    long long PlayedFrames() override { return HeardFrames(false); }

    long long ReplaceableFrame() override { return HeardFrames(true); }

    bool WriteAt(long long frame, const void* data, std::size_t bytes) override {
        if (!Loop_ || frame < 0) return false;
        pa_threaded_mainloop_lock(Loop_);
        bool done = false;
        if (StreamReady()) {
            const auto offset = static_cast<int64_t>(
                frame * static_cast<long long>(pa_frame_size(pa_stream_get_sample_spec(Stream_))));
            done = pa_stream_write(Stream_, data, bytes, nullptr, offset, PA_SEEK_ABSOLUTE) == 0;
        }
        pa_threaded_mainloop_unlock(Loop_);
        return done;
    }

    void CloseStream() override {
        if (!Loop_) return;
        pa_threaded_mainloop_lock(Loop_);
        DropStream();
        pa_threaded_mainloop_unlock(Loop_);
    }

    void SetVolume(double factor) override {
        pa_threaded_mainloop_lock(Loop_);
        Volume_ = std::clamp(factor, 0.0, 1.0);
        if (Stream_ && Context_ && pa_stream_get_state(Stream_) == PA_STREAM_READY) {
            pa_cvolume volume;
            pa_cvolume_set(&volume, pa_stream_get_sample_spec(Stream_)->channels, StreamVolume());
            if (pa_operation* o = pa_context_set_sink_input_volume(
                    Context_, pa_stream_get_index(Stream_), &volume, nullptr, nullptr))
                pa_operation_unref(o);
        }
        pa_threaded_mainloop_unlock(Loop_);
    }

private:
    pa_volume_t StreamVolume() const { // (loop lock held)
        return Volume_ <= 0.0 ? PA_VOLUME_MUTED
                              : static_cast<pa_volume_t>(Volume_ * PA_VOLUME_NORM + 0.5);
    }

    // The null sink that PulseAudio (module-always-sink) and PipeWire put in while there is no
    // real output.
    static constexpr const char* DummySinkName = "auto_null";

    struct TSink {
        uint32_t Index = 0;
        std::string Name;
        std::string Description;
    };

    // --- on the loop's thread (or with its lock held) ---

    bool StreamReady() const {
        return Stream_ && !StreamFailed_ && pa_stream_get_state(Stream_) == PA_STREAM_READY;
    }

    // Frames of the open stream heard so far (the playback position), -1 when unknown. Beyond
    // it: plus what the sink holds on its way to the speaker and a margin for a write to reach
    // the server, so that from there on the server has not yet handed anything over.
    long long HeardFrames(bool beyond) {
        if (!Loop_) return -1;
        pa_threaded_mainloop_lock(Loop_);
        long long frames = -1;
        pa_usec_t usec = 0;
        if (StreamReady() && pa_stream_get_time(Stream_, &usec) == 0) {
            if (beyond) {
                const pa_timing_info* timing = pa_stream_get_timing_info(Stream_);
                usec += (timing ? timing->sink_usec : 0) + kReplaceMarginUsec;
            }
            frames = static_cast<long long>(usec * pa_stream_get_sample_spec(Stream_)->rate /
                                            PA_USEC_PER_SEC);
        }
        pa_threaded_mainloop_unlock(Loop_);
        return frames;
    }

    // Has the owner render what the server takes, straight into the server's memory. The first
    // call raises the loop's thread: from now on it renders our samples.
    void Fill() {
        if (!LoopRaised_) {
            LoopRaised_ = true;
            std::string priority = RaiseThisThread(LoopPriority_, AskRealtime_);
            std::lock_guard lock(PriorityMutex_);
            LoopPriorityText_ = std::move(priority);
        }
        if (!StreamReady() || !OnFill) return;
        const size_t frame = pa_frame_size(pa_stream_get_sample_spec(Stream_));
        size_t room = pa_stream_writable_size(Stream_);
        while (room != static_cast<size_t>(-1) && room >= frame) {
            void* data = nullptr;
            size_t bytes = room;
            if (pa_stream_begin_write(Stream_, &data, &bytes) < 0 || !data) return;
            bytes = std::min(bytes, room);
            bytes -= bytes % frame;
            if (bytes == 0 || !OnFill(data, bytes)) {
                pa_stream_cancel_write(Stream_);
                return;
            }
            if (pa_stream_write(Stream_, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            room -= bytes;
        }
    }

    void Connect() {
        Context_ = pa_context_new(Api_, "Brindle");
        if (!Context_) return;
        pa_context_set_state_callback(Context_, &TPulseBackend::ContextState, this);
        pa_context_set_subscribe_callback(Context_, &TPulseBackend::ContextEvent, this);
        if (pa_context_connect(Context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            DropContext();
            FirstAnswer_ = true;
            ScheduleRetry();
        }
    }

    void DropContext() {
        if (!Context_) return;
        pa_context_set_state_callback(Context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(Context_, nullptr, nullptr);
        pa_context_disconnect(Context_);
        pa_context_unref(Context_);
        Context_ = nullptr;
    }

    void DropStream() {
        if (!Stream_) return;
        pa_stream_set_state_callback(Stream_, nullptr, nullptr);
        pa_stream_set_write_callback(Stream_, nullptr, nullptr);
        if (pa_stream_get_state(Stream_) == PA_STREAM_READY) {
            if (pa_operation* o = pa_stream_flush(Stream_, nullptr, nullptr)) pa_operation_unref(o);
        }
        pa_stream_disconnect(Stream_);
        pa_stream_unref(Stream_);
        Stream_ = nullptr;
        StreamNumber_ = 0;
        pa_threaded_mainloop_signal(Loop_, 0);
    }

    void ScheduleRetry() {
        if (Retry_) return;
        struct timeval tv {};
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, kRetryUsec);
        Retry_ = Api_->time_new(Api_, &tv, &TPulseBackend::RetryNow, this);
    }

    static void OpenTimedOut(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        b->TimedOut_ = true;
        pa_threaded_mainloop_signal(b->Loop_, 0);
    }

    static void RetryNow(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                         void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        api->time_free(e);
        b->Retry_ = nullptr;
        if (!b->Context_) b->Connect();
    }

    void SinksGone() {
        {
            std::lock_guard lock(SinkMutex_);
            if (Sinks_.empty()) return;
            Sinks_.clear();
        }
        PostOutputsChanged();
    }

    // One listing at a time: the answers of two would mix in Pending_ and look like a change.
    // Events that arrive meanwhile ask for one more listing after it.
    void RefreshSinks() {
        if (Listing_) {
            ListAgain_ = true;
            return;
        }
        Pending_.clear();
        if (pa_operation* o =
                pa_context_get_sink_info_list(Context_, &TPulseBackend::SinkInfo, this)) {
            Listing_ = true;
            pa_operation_unref(o);
        }
    }

    static void SinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        if (eol == 0 && info) {
            b->Pending_.push_back({info->index, info->name ? info->name : "",
                                   info->description ? info->description : ""});
            return;
        }
        if (eol < 0) { // the listing failed: the context's own failure handles the outputs
            b->Listing_ = false;
            if (std::exchange(b->ListAgain_, false)) b->RefreshSinks();
            return;
        }
        bool changed = false;
        {
            std::lock_guard lock(b->SinkMutex_);
            changed = b->Pending_.size() != b->Sinks_.size();
            for (std::size_t i = 0; !changed && i < b->Pending_.size(); ++i)
                changed = b->Pending_[i].Name != b->Sinks_[i].Name;
            b->Sinks_ = b->Pending_;
        }
        b->FirstAnswer_ = true;
        if (changed) b->PostOutputsChanged();
        b->Listing_ = false;
        if (std::exchange(b->ListAgain_, false)) b->RefreshSinks();
    }

    static void ContextState(pa_context* c, void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            if (pa_operation* o = pa_context_subscribe(
                    c,
                    static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                        PA_SUBSCRIPTION_MASK_SERVER),
                    nullptr, nullptr))
                pa_operation_unref(o);
            b->RefreshServer();
            b->Listing_ = b->ListAgain_ = false; // a new connection: nothing under way
            b->RefreshSinks();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            b->FirstAnswer_ = true;
            if (b->Stream_) {
                b->StreamFailed_ = true;
                b->PostStreamFailed(b->StreamNumber_);
            }
            b->SinksGone();
            b->DropStream();
            b->DropContext();
            b->ScheduleRetry();
            break;
        default: break;
        }
        pa_threaded_mainloop_signal(b->Loop_, 0);
    }

    static void ContextEvent(pa_context*, pa_subscription_event_type_t t, uint32_t, void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        const auto facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SINK) b->RefreshSinks();
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER) b->RefreshServer();
    }

    void RefreshServer() {
        if (pa_operation* o =
                pa_context_get_server_info(Context_, &TPulseBackend::ServerInfo, this))
            pa_operation_unref(o);
    }

    static void ServerInfo(pa_context*, const pa_server_info* info, void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        if (!info) return;
        bool changed = false;
        {
            std::lock_guard lock(b->SinkMutex_);
            std::string name = info->default_sink_name ? info->default_sink_name : "";
            changed = name != b->DefaultSink_ && !b->Sinks_.empty();
            b->DefaultSink_ = std::move(name);
        }
        if (changed) b->PostOutputsChanged(); // what "the default output" names has changed
    }

    long long Underflows() const override { return Underflows_.load(std::memory_order_relaxed); }

    static void StreamState(pa_stream* s, void* self) {
        auto* b = static_cast<TPulseBackend*>(self);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && s == b->Stream_ &&
            !b->StreamFailed_) {
            b->StreamFailed_ = true;
            b->PostStreamFailed(b->StreamNumber_);
        }
        pa_threaded_mainloop_signal(b->Loop_, 0);
    }

    void PostOutputsChanged() {
        if (!Post_) return;
        std::weak_ptr<bool> alive = Alive_;
        Post_([this, alive] {
            if (auto a = alive.lock(); a && *a && OnOutputsChanged) OnOutputsChanged();
        });
    }

    // Tagged with the stream's number: by the time it runs, that stream may be gone.
    void PostStreamFailed(std::uint64_t stream) {
        if (!Post_) return;
        std::weak_ptr<bool> alive = Alive_;
        Post_([this, alive, stream] {
            if (auto a = alive.lock(); a && *a && OnStreamFailed) OnStreamFailed(stream);
        });
    }

    TPost Post_;
    std::shared_ptr<bool> Alive_;
    pa_threaded_mainloop* Loop_ = nullptr;
    pa_mainloop_api* Api_ = nullptr;
    pa_context* Context_ = nullptr;
    pa_stream* Stream_ = nullptr;
    std::uint64_t StreamNumber_ = 0;       // of Stream_ (loop lock held)
    std::atomic<long long> Underflows_{0}; // counted on the server thread
    std::uint64_t LastStreamNumber_ = 0;   // (loop lock held)
    pa_time_event* Retry_ = nullptr;
    bool FirstAnswer_ = false;     // (loop lock held)
    TRealtimeRequest AskRealtime_; // (loop lock held)
    int LoopPriority_ = 0;         // (loop lock held)
    bool LoopRaised_ = false;      // the loop thread asked for real-time priority (loop thread)
    mutable std::mutex PriorityMutex_;
    std::string LoopPriorityText_; // how it was settled; guarded by PriorityMutex_
    bool TimedOut_ = false;        // the open wait ran out (loop lock held)
    std::atomic<bool> StreamFailed_{false};
    std::mutex SinkMutex_;
    std::vector<TSink> Sinks_;   // guarded by SinkMutex_
    std::string DefaultSink_;    // guarded by SinkMutex_
    std::vector<TSink> Pending_; // loop thread only
    bool Listing_ = false;       // loop thread only: a sink listing is under way
    bool ListAgain_ = false;     // loop thread only
};

} // namespace

std::unique_ptr<ISoundBackend> MakePulseBackend(ISoundBackend::TPost post) {
    return std::make_unique<TPulseBackend>(std::move(post));
}

} // namespace brindle
