// Serial ports from sysfs: every /sys/class/tty entry with a device behind it
// and a node in /dev; USB ones described by the USB device above them.
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/serial_ports.h"

namespace talvek {

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

// The USB device (the directory with idVendor) at or above `device`, not
// above the sysfs root.
fs::path usbDeviceAbove(fs::path device, const fs::path& sysRoot) {
    std::error_code ec;
    for (; !device.empty() && device != sysRoot && device != device.root_path();
         device = device.parent_path())
        if (fs::exists(device / "idVendor", ec)) return device;
    return {};
}

std::string describe(const fs::path& device, const fs::path& sysRoot) {
    std::error_code ec;
    const fs::path usb = usbDeviceAbove(device, sysRoot);
    if (!usb.empty()) {
        std::string text = "USB:";
        for (const char* field : {"manufacturer", "product"}) {
            const std::string value = firstLine(usb / field);
            if (!value.empty()) text += " " + value;
        }
        text += " (" + firstLine(usb / "idVendor") + ":" + firstLine(usb / "idProduct") + ")";
        const std::string serial = firstLine(usb / "serial");
        if (!serial.empty()) text += ", serial " + serial;
        return text;
    }
    const fs::path driver = fs::canonical(device / "driver", ec);
    return ec ? "serial port" : "serial port (" + driver.filename().string() + ")";
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const SystemRoots& roots) {
    std::error_code ec;
    const fs::path sysRoot = fs::weakly_canonical(roots.sys, ec);
    std::map<std::string, SerialPortInfo> ports;  // by tty name
    for (const fs::directory_entry& entry : fs::directory_iterator(sysRoot / "class/tty", ec)) {
        const std::string tty = entry.path().filename().string();
        std::error_code e;
        const fs::path device = fs::canonical(entry.path() / "device", e);
        if (e) continue;  // a virtual terminal
        // A serial slot the kernel reserves without hardware reports type 0.
        if (firstLine(entry.path() / "type") == "0") continue;
        const fs::path node = fs::path(roots.dev) / tty;
        if (!fs::exists(node, e)) continue;
        ports[tty] = SerialPortInfo{node.string(), describe(device, sysRoot), {}};
    }
    // Names that stay the same whichever socket the cable is in.
    for (const fs::directory_entry& link :
         fs::directory_iterator(fs::path(roots.dev) / "serial/by-id", ec)) {
        std::error_code e;
        const fs::path target = fs::canonical(link.path(), e);
        if (e) continue;
        auto port = ports.find(target.filename().string());
        if (port != ports.end()) port->second.aliases.push_back(link.path().string());
    }
    std::vector<SerialPortInfo> list;
    for (auto& [tty, port] : ports) list.push_back(std::move(port));
    return list;
}

std::string portOpenAdvice(const std::string& name, const PortError& error,
                           const SystemRoots& roots) {
    switch (error.fault) {
        case PortFault::AccessDenied: {
            struct stat st {};
            std::string group = "dialout";
            if (::stat(name.c_str(), &st) == 0) {
                if (st.st_gid == 0) return "Only the administrator may use " + name + ".";
                if (const struct group* g = ::getgrgid(st.st_gid)) group = g->gr_name;
            }
            return "Add yourself to the group " + group + " of " + name + ": sudo usermod -aG " +
                   group + " $USER, then log out and in again.";
        }
        case PortFault::NotFound:
            // ENXIO and ENODEV are "not found" too, but of a name that exists
            // (a socket, a terminal with no device behind it): the list of
            // ports would tell that user nothing true.
            if (error.number != ENOENT && error.number != ENOTDIR) return std::string();
            return missingPortAdvice(name, listSerialPorts(roots));
        default:
            return std::string();
    }
}

}  // namespace platform

}  // namespace talvek
