#include "platform/serial_port.h"

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

SerialOpener& systemSerialOpener() {
    static SystemSerialOpener opener;
    return opener;
}

}  // namespace platform

}  // namespace talvek
