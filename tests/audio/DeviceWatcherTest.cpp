// The device watcher holds the sound output's list-change notification: nothing else can unhook it,
// and a watcher that is gone is not called.
#include "platform/DeviceWatcher.h"
#include "audio/SoundRig.h"

#include <gtest/gtest.h>

using namespace brindle;

TEST(DeviceWatcher, ASecondListenerDoesNotUnhookTheWatcherAndAWatcherThatIsGoneIsNotCalled) {
    test::TSoundRig sound;
    TSoundOut& out = sound.Make();
    int changes = 0;
    {
        TDeviceWatcher watcher;
        ASSERT_TRUE(watcher.WatchSoundOutputs(out));
        watcher.OnSoundOutputsChanged = [&changes] { ++changes; };
        int others = 0;
        EXPECT_FALSE(out.HookOutputsChanged([&others] { ++others; }));
        TDeviceWatcher second;
        EXPECT_FALSE(second.WatchSoundOutputs(out));
        sound.Fake->OnOutputsChanged();
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(others, 0);
    }
    sound.State.Outputs.clear();
    sound.Fake->OnOutputsChanged();
    EXPECT_EQ(changes, 1); // the watcher has gone
    EXPECT_FALSE(out.DevicePresent());
    TDeviceWatcher next; // the slot is free again
    EXPECT_TRUE(next.WatchSoundOutputs(out));
}
