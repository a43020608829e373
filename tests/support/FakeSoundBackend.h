// A sound backend in memory: records what is written, gives room as the test says, and raises
// failures and device changes on request.
#pragma once

#include "audio/SoundBackend.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brindle::test {

class TFakeSoundBackend : public ISoundBackend {
public:
    struct TState {
        std::vector<std::string> Outputs{"Null Output"};
        long long Room = 1 << 20; // [bytes] writable per call
        bool Open = false;
        int Opens = 0;
        int LastBufferBytes = 0;
        int LastDevice = -2;
        bool FailOpen = false;
        std::vector<int16_t> Written;
    };
    explicit TFakeSoundBackend(TState& state) : S_(state) {}

    std::vector<std::string> Outputs() override { return S_.Outputs; }
    int DefaultOutput() override { return S_.Outputs.empty() ? -1 : 0; }
    bool OpenStream(int device, int, int, int bufferBytes, std::string& error, int& code) override {
        if (S_.FailOpen) {
            error = "refused";
            code = 6;
            return false;
        }
        S_.Open = true;
        ++S_.Opens;
        S_.LastBufferBytes = bufferBytes;
        S_.LastDevice = device;
        return true;
    }
    bool StreamOpen() const override { return S_.Open; }
    long long WritableBytes() override { return S_.Open ? S_.Room : -1; }
    long long Write(const void* data, std::size_t bytes) override {
        if (!S_.Open) return -1;
        const auto* p = static_cast<const int16_t*>(data);
        S_.Written.insert(S_.Written.end(), p, p + bytes / 2);
        return static_cast<long long>(bytes);
    }
    void CloseStream() override { S_.Open = false; }

private:
    TState& S_;
};

} // namespace brindle::test
