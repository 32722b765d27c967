#pragma once
// The serial ports this machine has, and what to tell a user whose port
// would not open.  One implementation per system: posix/ reads sysfs and
// /dev/serial/by-id, win32/ the registry.
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace talvek {

namespace platform {

// Where the system describes its ports; tests point these at a fake tree.
// On Windows both are unused.
struct SystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// One port: the name to pass to -p and what it is.
struct SerialPortInfo {
    std::string name;         // "/dev/ttyUSB0", "COM3"
    std::string description;  // "USB: Acme Ltd. Cable (0403:6001), serial A1B2"
    std::vector<std::string> aliases;  // stable names of the same port (by-id links)
};

// The ports, sorted by name.  Terminals without a device behind them
// (virtual consoles, pseudo-terminals) and serial slots with no hardware are
// left out.
std::vector<SerialPortInfo> listSerialPorts(const SystemRoots& roots = {});

// One line a port: "name  description", each alias on a line of its own
// below it; a line saying there are none when the list is empty.
std::string serialPortListText(const std::vector<SerialPortInfo>& ports);

// What the user can do about `error` when opening `name`: for a port that is
// not the user's, the command that grants access; for a name that does not
// exist (missing, not merely unusable), the ports that do.  Empty for any
// other failure.
std::string portOpenAdvice(const std::string& name, const PortError& error,
                           const SystemRoots& roots = {});
// The advice for a name that does not exist, given the ports that do (both
// systems say it the same way).
std::string missingPortAdvice(const std::string& name, const std::vector<SerialPortInfo>& ports);

}  // namespace platform

}  // namespace talvek
