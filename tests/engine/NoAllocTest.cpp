// Rendering and the timed machine's steps must not allocate: counted through a replaced global
// operator new.
#include "audio/SoundOut.h"
#include "engine/MorseEngine.h"
#include "support/FakeSoundBackend.h"
#include "support/VirtualTimer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
} // namespace

void* operator new(std::size_t size) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

using brindle::TMorseEngine;
using brindle::TSoundOut;

namespace {

struct TCounting {
    TCounting() {
        gAllocations = 0;
        gCounting = true;
    }
    ~TCounting() { gCounting = false; }
};

void AttachEvents(TMorseEngine& e, long& events) {
    e.OnCharSent = [&events](TMorseEngine&, uint8_t) { ++events; };
    e.OnCharStart = [&events](TMorseEngine&, uint8_t) { ++events; };
    e.OnLastChar = [&events](TMorseEngine&) { ++events; };
    e.OnPttChanged = [&events](TMorseEngine&, bool) { ++events; };
    e.OnSignalChanged = [&events](TMorseEngine&, bool, int) { ++events; };
}

// Five rounds of text queued and run, with every event handled: not one allocation, and the
// events came.
void ExpectNoAllocation(TMorseEngine& e, const std::string& text,
                        const std::function<void()>& run) {
    static long events; // outlives the handlers, which the engine keeps until it goes
    events = 0;
    AttachEvents(e, events);
    e.Start();
    {
        TCounting counting;
        for (int round = 0; round < 5; ++round) {
            for (const char c : text)
                e.PutChar(static_cast<uint8_t>(c));
            run();
        }
        EXPECT_EQ(gAllocations.load(), 0);
    }
    EXPECT_GT(events, 100);
}

} // namespace

TEST(NoAllocation, RenderBuffer) {
    TMorseEngine e;
    e.SetSoundMode(true);
    e.SetBlipOn(true);
    e.SetStereo(true);
    std::vector<int16_t> buf(1600);
    ExpectNoAllocation(e, "paris <ar> ^ 73 de k \xfe\xff ", [&] {
        for (int i = 0; i < 400; ++i)
            e.RenderBuffer(buf.data(), 3200);
    });
}

TEST(NoAllocation, TimedSteps) {
    brindle::test::TVirtualTimer timer;
    TMorseEngine e(&timer);
    ExpectNoAllocation(e, "paris 73 \xfe", [&] { timer.Advance(60000); });
}

TEST(NoAllocation, SoundOutputWhilePlaying) {
    int argc = 1;
    char name[] = "test_noalloc";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    brindle::test::TFakeSoundBackend::TState state;
    state.Room = 700; // partial buffers too
    TSoundOut out({}, std::make_unique<brindle::test::TFakeSoundBackend>(state));
    out.SetBufferTime(100);
    out.SetChannels(1);
    TMorseEngine engine;
    engine.SetSoundMode(true);
    out.OnBufferPlayed = [&engine](int16_t* b, int bytes) { engine.RenderBuffer(b, bytes); };
    for (const char c : std::string("paris paris paris"))
        engine.PutChar(static_cast<uint8_t>(c));
    engine.Start();
    ASSERT_TRUE(out.StartOutput());
    state.Written.reserve(1 << 22); // the fake's own recording must not count
    {
        TCounting counting;
        for (int i = 0; i < 2000; ++i)
            out.Feed();
        EXPECT_EQ(gAllocations.load(), 0);
    }
    EXPECT_GT(state.Written.size(), 100000u);
}
