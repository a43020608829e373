#include "platform/DeviceWatcher.h"

#include "audio/SoundOut.h"

#include <libudev.h>

#include <string_view>

namespace brindle {

TDeviceWatcher::TDeviceWatcher() {
    Udev_ = udev_new();
    if (!Udev_) return;
    Monitor_ = udev_monitor_new_from_netlink(Udev_, "udev");
    if (!Monitor_ ||
        udev_monitor_filter_add_match_subsystem_devtype(Monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(Monitor_) < 0) {
        if (Monitor_) udev_monitor_unref(Monitor_);
        Monitor_ = nullptr;
        return;
    }
    const int fd = udev_monitor_get_fd(Monitor_);
    Notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(Notifier_.get(), &QSocketNotifier::activated, Notifier_.get(),
                     [this] { ReadUdev(); });
}

TDeviceWatcher::~TDeviceWatcher() {
    if (Sound_) Sound_->UnhookOutputsChanged();
    Notifier_.reset();
    if (Monitor_) udev_monitor_unref(Monitor_);
    if (Udev_) udev_unref(Udev_);
}

bool TDeviceWatcher::WatchSoundOutputs(TSoundOut& sound) {
    if (Sound_ == &sound) return true;
    if (!sound.HookOutputsChanged([this] {
            if (OnSoundOutputsChanged) OnSoundOutputsChanged();
        }))
        return false;
    if (Sound_) Sound_->UnhookOutputsChanged();
    Sound_ = &sound;
    return true;
}

void TDeviceWatcher::ReadUdev() {
    bool changed = false;
    while (udev_device* dev = udev_monitor_receive_device(Monitor_)) {
        const char* action = udev_device_get_action(dev);
        if (action && (std::string_view(action) == "add" || std::string_view(action) == "remove"))
            changed = true;
        udev_device_unref(dev);
    }
    if (changed && OnSerialPortsChanged) OnSerialPortsChanged();
}

} // namespace brindle
