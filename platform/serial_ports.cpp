#include "platform/serial_ports.h"

namespace talvek {

namespace platform {

std::string serialPortListText(const std::vector<SerialPortInfo>& ports) {
    if (ports.empty()) return "No serial ports found.\n";
    std::string text;
    for (const SerialPortInfo& port : ports) {
        text += port.name + "  " + port.description + "\n";
        for (const std::string& alias : port.aliases) text += "    also " + alias + "\n";
    }
    return text;
}

std::string missingPortAdvice(const std::string& name, const std::vector<SerialPortInfo>& ports) {
    if (ports.empty())
        return "There is no " + name +
               " and this machine has no serial ports: is the cable plugged in?";
    std::string names;
    for (const SerialPortInfo& port : ports) names += (names.empty() ? "" : ", ") + port.name;
    return "There is no " + name + "; this machine's serial ports are " + names +
           " (-list says what they are).";
}

}  // namespace platform

}  // namespace talvek
