// Finds the serial ports present, from sysfs, without opening any of them, and maps device names
// to the port numbers the program stores: ttyS<k> is COM(k+1), ttyUSB<k> 65+k, ttyACM<k> 129+k,
// rfcomm<k> 193+k (k < 32), and any other serial device 225..256 in name order.
#pragma once

#include <string>
#include <vector>

namespace brindle {

struct TDetectedPort {
    std::string Name; // display name: USB product, else manufacturer, else driver; empty: none
    std::string DeviceName; // "ttyUSB0"
    std::string DevicePath; // "/dev/ttyUSB0"
};

// Port number of a tty device name by the fixed scheme; 0 when the name is in none of the four
// families (or outside their ranges).
int PortNumberOfDevice(const std::string& deviceName);

// Fills ports (resized to 256, entry i is COM(i+1)) with the ports present under sysRoot
// ("/sys"), device paths under devRoot ("/dev"). Placeholder 8250 ports without hardware are left
// out; Bluetooth ports carry "Bluetooth" in their names; the first device seen for a number wins.
// True when at least one port was seen.
bool DetectComPorts(std::vector<TDetectedPort>& ports, const std::string& sysRoot = "/sys",
                    const std::string& devRoot = "/dev");

// Device path of a port number: the fixed scheme, or for 225..256 the detected device.
std::string ComPortDevicePath(int portNumber, const std::string& sysRoot = "/sys",
                              const std::string& devRoot = "/dev");

// What the parameters window lists for a port: "COM65 (ttyUSB0: FT232R USB UART)".
std::string ComPortCaption(int portNumber, const TDetectedPort& port);

} // namespace brindle
