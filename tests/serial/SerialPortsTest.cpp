// Serial-port detection over a fake sysfs tree.
#include "serial/SerialPorts.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

using namespace brindle;
namespace fs = std::filesystem;

TEST(PortNumbers, FixedScheme) {
    // A superscript two (\xB2) is not a digit.
    const std::pair<const char*, int> numbers[] = {
        {"ttyS0", 1},     {"ttyS63", 64}, {"ttyS64", 0},  {"ttyUSB0", 65},   {"ttyACM2", 131},
        {"rfcomm0", 193}, {"ttyAMA0", 0}, {"ttyUSBx", 0}, {"ttyUSB\xB2", 0}, {"ttyUSB1\xFF", 0}};
    for (const auto& [device, number] : numbers)
        EXPECT_EQ(PortNumberOfDevice(device), number) << device;
    std::string paths;
    for (const int number : {1, 66, 129, 200, 230, 0})
        paths += ComPortDevicePath(number, "/nosys") + ",";
    EXPECT_EQ(paths, "/dev/ttyS0,/dev/ttyUSB1,/dev/ttyACM0,/dev/rfcomm7,,,");
}

namespace {

// One line "COMn device path: name" for each port found.
std::string Described(const std::vector<TDetectedPort>& ports) {
    std::string text;
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (!ports[i].Name.empty() || !ports[i].DeviceName.empty())
            text += "COM" + std::to_string(i + 1) + " " + ports[i].DeviceName + " " +
                    ports[i].DevicePath + ": " + ports[i].Name + "\n";
    return text;
}

} // namespace

// USB adapters named by product or manufacturer, 8250 placeholders and a virtual console left
// out, the first of two devices claiming one number, Bluetooth, and other devices numbered from
// COM225 in name order.
TEST(FakeSysfs, EveryKindOfPortIsFoundUnderItsNumber) {
    test::TTempDir temp{"brindle-sysfs"};
    const fs::path& root = temp.Path;
    const auto write = [](const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    };
    // A tty class entry whose device lies at devicePath, bound to driver.
    const auto tty = [&](const std::string& name, const fs::path& devicePath,
                         const std::string& driver) {
        const fs::path entry = root / "class" / "tty" / name;
        fs::create_directories(entry);
        fs::create_directories(root / devicePath);
        fs::create_symlink(root / devicePath, entry / "device");
        if (!driver.empty()) {
            fs::create_directories(root / "bus" / "drivers" / driver);
            fs::create_symlink(root / "bus" / "drivers" / driver, root / devicePath / "driver");
        }
        return entry;
    };
    fs::create_directories(root / "class" / "tty");
    std::vector<TDetectedPort> ports;
    EXPECT_FALSE(DetectComPorts(ports, root.string(), "/dev"));
    EXPECT_EQ(ports.size(), 256u);
    EXPECT_EQ(Described(ports), "");

    tty("ttyUSB0", "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    write(root / "devices/pci0/usb1/1-1/product", "FT232R USB UART");
    write(root / "devices/pci0/usb1/1-1/manufacturer", "FTDI");
    tty("ttyACM0", "devices/pci0/usb1/1-2/1-2:1.0", "cdc_acm");
    write(root / "devices/pci0/usb1/1-2/manufacturer", "Arduino (www.arduino.cc)");
    write(tty("ttyS0", "devices/platform/serial8250/tty/ttyS0", "serial8250") / "type", "4");
    for (const std::string k : {"1", "2", "3"})
        write(tty("ttyS" + k, "devices/platform/serial8250/tty/ttyS" + k, "") / "type", "0");
    fs::create_directories(root / "class/tty/tty0"); // a virtual console: no device
    tty("ttyS04", "devices/a/ttyS04", "first_driver");
    tty("ttyS4", "devices/b/ttyS4", "second_driver");
    fs::create_directories(root / "class/tty/rfcomm0");
    tty("ttyAMA0", "devices/platform/uart0/tty/ttyAMA0", "uart-pl011");
    tty("ttyXRUSB1", "devices/platform/xr/ttyXRUSB1", "xr_serial");
    EXPECT_TRUE(DetectComPorts(ports, root.string(), "/dev"));
    EXPECT_EQ(Described(ports), "COM1 ttyS0 /dev/ttyS0: serial8250\n"
                                "COM5 ttyS04 /dev/ttyS04: first_driver\n"
                                "COM65 ttyUSB0 /dev/ttyUSB0: FT232R USB UART\n"
                                "COM129 ttyACM0 /dev/ttyACM0: Arduino (www.arduino.cc)\n"
                                "COM193 rfcomm0 /dev/rfcomm0: Bluetooth serial port\n"
                                "COM225 ttyAMA0 /dev/ttyAMA0: uart-pl011\n"
                                "COM226 ttyXRUSB1 /dev/ttyXRUSB1: xr_serial\n");
    EXPECT_EQ(ComPortCaption(65, ports[64]), "COM65 (ttyUSB0: FT232R USB UART)");
    EXPECT_EQ(ComPortDevicePath(226, root.string()), "/dev/ttyXRUSB1");
    EXPECT_FALSE(DetectComPorts(ports, (root / "missing").string()));
}
