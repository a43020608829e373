// A sound backend in memory: records what is written, gives room as the test says, and raises
// failures and device changes on request. Failures are posted like the real backend's, and run
// when the test says (RunPosted), so that the owner can act in between.
#pragma once

#include "audio/SoundBackend.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace brindle::test {

class TFakeSoundBackend : public ISoundBackend {
public:
    struct TState {
        std::vector<TOutput> Outputs{{"null", "Null Output"}};
        int Default = 0;          // index of the default output while it exists
        long long Room = 1 << 20; // [bytes] writable per call
        long long Budget = -1;    // [bytes] writable in all until the test gives more; -1: no limit
        bool Open = false;
        std::uint64_t Stream = 0; // number of the open stream
        std::uint64_t Streams = 0;
        bool Failed = false; // the open stream failed: it takes nothing more
        int Opens = 0;
        int LastBufferBytes = 0;
        int LastDevice = -2;
        bool FailOpen = false;
        double Volume = 1.0; // the stream's own volume
        std::vector<int16_t> Written;
        std::vector<std::function<void()>> Posted; // events not yet run
    };
    explicit TFakeSoundBackend(TState& state) : S_(state) {}
    // A device that takes nothing until the test gives it room (the test is the sound clock).
    static TState Quiet() {
        TState s;
        s.Budget = 0;
        return s;
    }

    std::vector<TOutput> Outputs() override { return S_.Outputs; }
    int DefaultOutput() override {
        if (S_.Outputs.empty()) return -1;
        return S_.Default < static_cast<int>(S_.Outputs.size()) ? S_.Default : 0;
    }
    bool OpenStream(int device, int, int, int bufferBytes, std::string& error, int& code) override {
        if (S_.FailOpen) {
            error = "refused";
            code = 6;
            return false;
        }
        S_.Open = true;
        S_.Stream = ++S_.Streams;
        S_.Failed = false;
        ++S_.Opens;
        S_.LastBufferBytes = bufferBytes;
        S_.LastDevice = device;
        return true;
    }
    std::uint64_t Stream() const override { return S_.Open ? S_.Stream : 0; }
    long long WritableBytes() override {
        if (!S_.Open || S_.Failed) return -1;
        return S_.Budget < 0 ? S_.Room : std::min(S_.Room, S_.Budget);
    }
    long long Write(const void* data, std::size_t bytes) override {
        if (!S_.Open || S_.Failed) return -1;
        const auto* p = static_cast<const int16_t*>(data);
        S_.Written.insert(S_.Written.end(), p, p + bytes / 2);
        if (S_.Budget >= 0) S_.Budget -= static_cast<long long>(bytes);
        return static_cast<long long>(bytes);
    }
    void CloseStream() override { S_.Open = false; }
    void SetVolume(double factor) override { Volume_ = S_.Volume = factor; }

    // The open stream fails; the event is posted.
    void FailStream() {
        S_.Failed = true;
        S_.Posted.push_back([this, stream = S_.Stream] {
            if (OnStreamFailed) OnStreamFailed(stream);
        });
    }
    void RunPosted() {
        for (auto& fn : std::exchange(S_.Posted, {}))
            fn();
    }

private:
    TState& S_;
};

} // namespace brindle::test
