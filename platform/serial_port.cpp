#include "platform/serial_port.h"

#include <cerrno>

namespace talvek {

namespace platform {

namespace {

class SystemSerialOpener : public SerialOpener {
  public:
    std::unique_ptr<SerialPort> open(const std::string& name, PortError& error) override {
        return openSerialPort(name, error);
    }
};

}  // namespace

PortFault errnoFault(int number) {
    switch (number) {
        case 0:
            return PortFault::None;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return PortFault::NotFound;
        case EBUSY:
            return PortFault::Busy;
        case EACCES:
        case EPERM:
            return PortFault::AccessDenied;
        case ENOTTY:
            return PortFault::NotASerialPort;
        case EIO:
        case EBADF:
        case EPIPE:
            return PortFault::Gone;
        case EINVAL:
        case EOPNOTSUPP:
            return PortFault::Unsupported;
        default:
            return PortFault::Other;
    }
}

SerialOpener& systemSerialOpener() {
    static SystemSerialOpener opener;
    return opener;
}

}  // namespace platform

}  // namespace talvek
