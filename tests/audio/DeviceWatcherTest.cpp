// The device watcher passes on the sound output's list changes; serial notifications need udev.
#include "platform/DeviceWatcher.h"
#include "audio/SoundOut.h"
#include "support/FakeSoundBackend.h"

#include <gtest/gtest.h>

using namespace brindle;

TEST(DeviceWatcher, PassesOnSoundOutputChanges) {
    test::TFakeSoundBackend::TState state;
    auto backend = std::make_unique<test::TFakeSoundBackend>(state);
    test::TFakeSoundBackend* fake = backend.get();
    TSoundOut sound({}, std::move(backend));
    TDeviceWatcher watcher;
    watcher.WatchSoundOutputs(sound);
    int soundChanges = 0, serialChanges = 0;
    watcher.OnSoundOutputsChanged = [&] { ++soundChanges; };
    watcher.OnSerialPortsChanged = [&] { ++serialChanges; };
    state.Outputs.clear();
    fake->OnOutputsChanged();
    EXPECT_EQ(soundChanges, 1);
    EXPECT_FALSE(sound.DevicePresent());
    EXPECT_EQ(serialChanges, 0);
}
