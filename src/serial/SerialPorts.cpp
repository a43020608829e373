#include "serial/SerialPorts.h"

#include "base/Ranges.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace brindle {

namespace fs = std::filesystem;

namespace {

struct TFamily {
    const char* Prefix;
    int First; // port number of index 0
    int Count;
};
constexpr TFamily kFamilies[] = {
    {"ttyS", 1, 64}, {"ttyUSB", 65, 64}, {"ttyACM", 129, 64}, {"rfcomm", 193, 32}};
constexpr int kFirstOther = 225;

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// USB product, else manufacturer, from the nearest USB device above the tty's device.
std::string UsbName(const fs::path& device) {
    std::error_code ec;
    fs::path dir = fs::canonical(device, ec);
    if (ec) return {};
    for (int up = 0; up < 5 && !dir.empty() && dir != dir.root_path(); ++up) {
        const std::string product = ReadLine(dir / "product");
        if (!product.empty()) return product;
        const std::string maker = ReadLine(dir / "manufacturer");
        if (!maker.empty()) return maker;
        dir = dir.parent_path();
    }
    return {};
}

std::string DriverName(const fs::path& device) {
    std::error_code ec;
    const fs::path driver = fs::canonical(device / "driver", ec);
    return ec ? std::string() : driver.filename().string();
}

bool IsSerialCandidate(const std::string& name) {
    return name.rfind("tty", 0) == 0 || name.rfind("rfcomm", 0) == 0;
}

} // namespace

int PortNumberOfDevice(const std::string& name) {
    for (const auto& f : kFamilies) {
        const std::string prefix = f.Prefix;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 3 || !std::all_of(digits.begin(), digits.end(),
                                              [](unsigned char c) { return std::isdigit(c) != 0; }))
            return 0;
        const int k = std::stoi(digits);
        return k < f.Count ? f.First + k : 0;
    }
    return 0;
}

bool DetectComPorts(std::vector<TDetectedPort>& ports, const std::string& sysRoot,
                    const std::string& devRoot) {
    ports.assign(ranges::ComPort.Max, TDetectedPort{});
    const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());

    bool seen = false;
    int nextOther = kFirstOther;
    for (const std::string& name : names) {
        if (!IsSerialCandidate(name)) continue;
        const fs::path entry = classDir / name;
        const bool bluetooth = name.rfind("rfcomm", 0) == 0;
        const fs::path device = entry / "device";
        // Virtual terminals, ptys and the console have no device behind them.
        if (!bluetooth && !fs::exists(device, ec)) continue;
        // The 8250 driver lists ports without hardware with port type 0 (unknown).
        const std::string type = ReadLine(entry / "type");
        if (!type.empty() && type == "0") continue;
        int number = PortNumberOfDevice(name);
        if (number == 0) {
            if (name.rfind("ttyS", 0) == 0 || name.rfind("ttyUSB", 0) == 0 ||
                name.rfind("ttyACM", 0) == 0 || bluetooth || nextOther > ranges::ComPort.Max)
                continue; // a family member outside its range
            number = nextOther++;
        }
        seen = true;
        TDetectedPort& port = ports[static_cast<std::size_t>(number - 1)];
        if (!port.Name.empty()) continue; // the first device seen for a number wins
        std::string display = bluetooth ? "Bluetooth serial port" : UsbName(device);
        if (display.empty()) display = DriverName(device);
        if (display.empty()) display = name;
        port.Name = display;
        port.DeviceName = name;
        port.DevicePath = (fs::path(devRoot) / name).string();
    }
    return seen;
}

std::string ComPortDevicePath(int portNumber, const std::string& sysRoot,
                              const std::string& devRoot) {
    for (const auto& f : kFamilies) {
        if (portNumber >= f.First && portNumber < f.First + f.Count)
            return (fs::path(devRoot) / (f.Prefix + std::to_string(portNumber - f.First))).string();
    }
    if (portNumber >= kFirstOther && portNumber <= ranges::ComPort.Max) {
        std::vector<TDetectedPort> ports;
        DetectComPorts(ports, sysRoot, devRoot);
        return ports[static_cast<std::size_t>(portNumber - 1)].DevicePath;
    }
    return {};
}

std::string ComPortCaption(int portNumber, const TDetectedPort& port) {
    return "COM" + std::to_string(portNumber) + " (" + port.DeviceName + ": " + port.Name + ")";
}

} // namespace brindle
