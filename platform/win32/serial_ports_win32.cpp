// Windows port list: not written yet; the Windows port fills it in.
//
// listSerialPorts: the values of HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM
// are the port names ("COM3"); the description is the device's friendly name
// (SetupDiGetClassDevs for GUID_DEVCLASS_PORTS, SPDRP_FRIENDLYNAME, matched on
// the "PortName" value of the device's registry key).  `roots` is unused.
// portOpenAdvice: ERROR_ACCESS_DENIED means another program holds the port
// (close it); ERROR_FILE_NOT_FOUND lists the ports that exist, as on POSIX.
#include "platform/serial_ports.h"

namespace talvek {

namespace platform {

std::vector<SerialPortInfo> listSerialPorts(const SystemRoots&) {
    return {};
}

std::string portOpenAdvice(const std::string&, const PortError&, const SystemRoots&) {
    return std::string();
}

}  // namespace platform

}  // namespace talvek
