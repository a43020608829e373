// A sound output on the backend in memory, mono with 100 ms buffers (800 samples). Each refill
// notes its size and how much had been written, may ask for a change on the third buffer or feed
// from inside itself, and writes its running number into every sample.
#pragma once

#include "audio/SoundOut.h"
#include "support/FakeSoundBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

struct TSoundRig {
    // Made after the test has set up State.
    TSoundOut& Make() {
        auto backend = std::make_unique<TFakeSoundBackend>(State);
        Fake = backend.get();
        Out = std::make_unique<TSoundOut>([this](const TMessage& m) { Messages.push_back(m.Text); },
                                          std::move(backend));
        Out->SetBufferTime(100);
        Out->SetChannels(1);
        Out->OnBufferPlayed = [this](int16_t* b, int bytes) {
            MaxDepth = std::max(MaxDepth, ++Depth);
            const int number = ++Refills;
            Sizes.push_back(bytes);
            WrittenWhenRefilled.push_back(State.Written.size());
            if (number == 3 && OnThirdRefill) OnThirdRefill();
            for (int i = 0; i < bytes / 2; ++i) // after a change: the buffer must still be there
                b[i] = static_cast<int16_t>(number);
            if (FeedWhileRefilling) Out->Feed(); // as an event loop run by the handler would
            --Depth;
        };
        return *Out;
    }
    // From sample `from` on, every sample is the number of its refill, each refill `samples` long.
    void ExpectWholeRefillsInOrder(std::size_t from, int firstRefill, std::size_t samples) const {
        const auto& w = State.Written;
        ASSERT_GE(w.size(), from + 2 * samples);
        for (std::size_t k = from; k < w.size(); ++k)
            ASSERT_EQ(w[k], static_cast<int16_t>(firstRefill + (k - from) / samples)) << k;
    }

    TFakeSoundBackend::TState State;
    TFakeSoundBackend* Fake = nullptr;
    std::unique_ptr<TSoundOut> Out;
    std::vector<std::string> Messages;
    std::function<void()> OnThirdRefill;
    bool FeedWhileRefilling = false;
    int Refills = 0, Depth = 0, MaxDepth = 0;
    std::vector<int> Sizes;
    std::vector<std::size_t> WrittenWhenRefilled;
};

} // namespace brindle::test
