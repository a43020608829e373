// Serial-port detection over fake sysfs trees.
#include "serial/SerialPorts.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Root / "class" / "tty"); }
    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A tty class entry whose device lies at devicePath, bound to driver.
    fs::path Tty(const std::string& name, const fs::path& devicePath, const std::string& driver) {
        const fs::path entry = Root / "class" / "tty" / name;
        fs::create_directories(entry);
        fs::create_directories(Root / devicePath);
        fs::create_symlink(Root / devicePath, entry / "device");
        if (!driver.empty()) {
            fs::create_directories(Root / "bus" / "drivers" / driver);
            fs::create_symlink(Root / "bus" / "drivers" / driver, Root / devicePath / "driver");
        }
        return entry;
    }
    std::vector<TDetectedPort> Detect(bool* seen = nullptr) {
        std::vector<TDetectedPort> ports;
        const bool any = DetectComPorts(ports, Root.string(), "/dev");
        if (seen) *seen = any;
        return ports;
    }
    test::TTempDir Temp{"brindle-sysfs"};
    const fs::path& Root = Temp.Path;
};

} // namespace

TEST(PortNumbers, FixedScheme) {
    EXPECT_EQ(PortNumberOfDevice("ttyS0"), 1);
    EXPECT_EQ(PortNumberOfDevice("ttyS63"), 64);
    EXPECT_EQ(PortNumberOfDevice("ttyS64"), 0);
    EXPECT_EQ(PortNumberOfDevice("ttyUSB0"), 65);
    EXPECT_EQ(PortNumberOfDevice("ttyACM2"), 131);
    EXPECT_EQ(PortNumberOfDevice("rfcomm0"), 193);
    EXPECT_EQ(PortNumberOfDevice("ttyAMA0"), 0);
    EXPECT_EQ(PortNumberOfDevice("ttyUSBx"), 0);
    EXPECT_EQ(PortNumberOfDevice("ttyUSB\xB2"), 0); // a superscript two is not a digit
    EXPECT_EQ(PortNumberOfDevice("ttyUSB1\xFF"), 0);
    EXPECT_EQ(ComPortDevicePath(1, "/nosys"), "/dev/ttyS0");
    EXPECT_EQ(ComPortDevicePath(66, "/nosys"), "/dev/ttyUSB1");
    EXPECT_EQ(ComPortDevicePath(129, "/nosys"), "/dev/ttyACM0");
    EXPECT_EQ(ComPortDevicePath(200, "/nosys"), "/dev/rfcomm7");
    EXPECT_EQ(ComPortDevicePath(230, "/nosys"), "");
    EXPECT_EQ(ComPortDevicePath(0, "/nosys"), "");
}

TEST_F(FakeSysfs, UsbAdapterWithProductName) {
    Tty("ttyUSB0", "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    Write(Root / "devices/pci0/usb1/1-1/product", "FT232R USB UART");
    Write(Root / "devices/pci0/usb1/1-1/manufacturer", "FTDI");
    Tty("ttyACM0", "devices/pci0/usb1/1-2/1-2:1.0", "cdc_acm");
    Write(Root / "devices/pci0/usb1/1-2/manufacturer", "Arduino (www.arduino.cc)");
    bool seen = false;
    const auto ports = Detect(&seen);
    EXPECT_TRUE(seen);
    EXPECT_EQ(ports[64].Name, "FT232R USB UART");
    EXPECT_EQ(ports[64].DevicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ComPortCaption(65, ports[64]), "COM65 (ttyUSB0: FT232R USB UART)");
    EXPECT_EQ(ports[128].Name, "Arduino (www.arduino.cc)");
}

TEST_F(FakeSysfs, PlaceholderPortsAreLeftOut) {
    Write(Tty("ttyS0", "devices/platform/serial8250/tty/ttyS0", "serial8250") / "type", "4");
    for (int k = 1; k <= 3; ++k)
        Write(Tty("ttyS" + std::to_string(k),
                  "devices/platform/serial8250/tty/ttyS" + std::to_string(k), "") /
                  "type",
              "0");
    fs::create_directories(Root / "class/tty/tty0"); // a virtual console: no device
    const auto ports = Detect();
    EXPECT_EQ(ports[0].Name, "serial8250");
    for (int i = 1; i < 256; ++i)
        EXPECT_TRUE(ports[static_cast<std::size_t>(i)].Name.empty()) << i;
}

TEST_F(FakeSysfs, TwoDevicesClaimingOneNumber) {
    Tty("ttyS04", "devices/a/ttyS04", "first_driver");
    Tty("ttyS4", "devices/b/ttyS4", "second_driver");
    const auto ports = Detect();
    EXPECT_EQ(ports[4].Name, "first_driver");
    EXPECT_EQ(ports[4].DeviceName, "ttyS04");
}

TEST_F(FakeSysfs, BluetoothAndOtherDevices) {
    fs::create_directories(Root / "class/tty/rfcomm0");
    Tty("ttyAMA0", "devices/platform/uart0/tty/ttyAMA0", "uart-pl011");
    Tty("ttyXRUSB1", "devices/platform/xr/ttyXRUSB1", "xr_serial");
    const auto ports = Detect();
    EXPECT_NE(ports[192].Name.find("Bluetooth"), std::string::npos);
    EXPECT_EQ(ports[224].DeviceName, "ttyAMA0");
    EXPECT_EQ(ports[224].Name, "uart-pl011");
    EXPECT_EQ(ports[225].DeviceName, "ttyXRUSB1");
    EXPECT_EQ(ComPortDevicePath(226, Root.string()), "/dev/ttyXRUSB1");
}

TEST_F(FakeSysfs, NothingAtAll) {
    bool seen = true;
    const auto ports = Detect(&seen);
    EXPECT_FALSE(seen);
    ASSERT_EQ(ports.size(), 256u);
    for (const auto& p : ports)
        EXPECT_TRUE(p.Name.empty());
    std::vector<TDetectedPort> none;
    EXPECT_FALSE(DetectComPorts(none, (Root / "missing").string()));
}
