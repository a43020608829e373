// The device watcher holds the sound output's list-change notification: nothing else can unhook it,
// and a watcher that is gone is not called.
#include "platform/DeviceWatcher.h"
#include "audio/SoundOut.h"
#include "support/FakeSoundBackend.h"

#include <gtest/gtest.h>

using namespace brindle;

namespace {

struct TSound {
    test::TFakeSoundBackend::TState State;
    test::TFakeSoundBackend* Fake = nullptr;
    std::unique_ptr<TSoundOut> Out;
    TSound() {
        auto backend = std::make_unique<test::TFakeSoundBackend>(State);
        Fake = backend.get();
        Out = std::make_unique<TSoundOut>(TMessageSink{}, std::move(backend));
    }
};

} // namespace

TEST(DeviceWatcher, ASecondListenerDoesNotUnhookTheWatcherAndAWatcherThatIsGoneIsNotCalled) {
    TSound sound;
    int changes = 0;
    {
        TDeviceWatcher watcher;
        ASSERT_TRUE(watcher.WatchSoundOutputs(*sound.Out));
        watcher.OnSoundOutputsChanged = [&changes] { ++changes; };
        int others = 0;
        EXPECT_FALSE(sound.Out->HookOutputsChanged([&others] { ++others; }));
        TDeviceWatcher second;
        EXPECT_FALSE(second.WatchSoundOutputs(*sound.Out));
        sound.Fake->OnOutputsChanged();
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(others, 0);
    }
    sound.State.Outputs.clear();
    sound.Fake->OnOutputsChanged();
    EXPECT_EQ(changes, 1); // the watcher has gone
    EXPECT_FALSE(sound.Out->DevicePresent());
    TDeviceWatcher next; // the slot is free again
    EXPECT_TRUE(next.WatchSoundOutputs(*sound.Out));
}
