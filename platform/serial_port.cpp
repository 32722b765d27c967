#include "platform/serial_port.h"

#include <cerrno>
#include <mutex>
#include <stdexcept>

#include "platform/posix/posix_serial_port.h"
#include "trace/trace.h"

namespace talvek {

namespace platform {
namespace {

std::mutex openerMutex;
SerialOpener installedOpener;

}  // namespace

void setSerialOpener(SerialOpener opener) {
    std::lock_guard<std::mutex> g(openerMutex);
    installedOpener = std::move(opener);
}

std::unique_ptr<SerialPort> openSerialPort(const std::string& name, int& error) {
    SerialOpener opener;
    {
        std::lock_guard<std::mutex> g(openerMutex);
        opener = installedOpener;
    }
    error = 0;
    if (opener) {
        std::unique_ptr<SerialPort> port = opener(name, error);
        if (port) return port;
        // Only a name the opener does not know goes on to the system.
        if (error != 0 && error != ENOENT) return nullptr;
    }
    return openPosixSerialPort(name, error);
}

}  // namespace platform

}  // namespace talvek
