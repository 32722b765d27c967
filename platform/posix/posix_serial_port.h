#pragma once
// The termios serial port (real cables, USB adapters, pseudo-terminals).
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace talvek {

namespace platform {

// Opens `path` for exclusive use (TIOCEXCL and an flock).  On failure returns
// null and sets `error` (EBUSY for a port another process holds).
std::unique_ptr<SerialPort> openPosixSerialPort(const std::string& path, int& error);

}  // namespace platform

}  // namespace talvek
