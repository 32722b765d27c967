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

}  // namespace platform

}  // namespace talvek
