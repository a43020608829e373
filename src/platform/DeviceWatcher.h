// Tells its owner when serial ports come or go (udev "tty" events) and when sound outputs come or
// go (the sound output's list of devices). Both notifications arrive on the GUI thread. It is the
// one listener of the sound output's list changes; the sound output must outlive it.
#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

struct udev;
struct udev_monitor;

namespace brindle {

class TSoundOut;

class TDeviceWatcher {
public:
    TDeviceWatcher();
    ~TDeviceWatcher();
    TDeviceWatcher(const TDeviceWatcher&) = delete;
    TDeviceWatcher& operator=(const TDeviceWatcher&) = delete;

    std::function<void()> OnSerialPortsChanged;
    std::function<void()> OnSoundOutputsChanged;

    // Passes on the sound output's notifications of outputs that come or go; false when another
    // listener already holds them.
    bool WatchSoundOutputs(TSoundOut& sound);

    // False when udev could not be reached (no serial notifications then).
    bool WatchingSerialPorts() const { return Notifier_ != nullptr; }

private:
    void ReadUdev();

    struct udev* Udev_ = nullptr;
    struct udev_monitor* Monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> Notifier_;
    TSoundOut* Sound_ = nullptr; // hooked into, unhooked on destruction
};

} // namespace brindle
