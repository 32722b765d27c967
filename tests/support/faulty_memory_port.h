#pragma once
// An in-memory port whose host calls a test can make fail: the fault
// switches of the link and driver tests, kept out of the program.
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>

#include "platform/memory_port.h"

namespace talvek {

namespace memtest {

// Each is a failure of one kind of call while the device stays there (never
// PortFault::Gone, even where the number is EIO); a device that goes away is
// MemoryPort::hangUp().
struct MemoryPortFaults {
    bool failWrites = false;        // write() returns -1
    bool failReads = false;         // read() returns -1
    bool failLineControl = false;   // setRTS/setDTR fail (with EIO)
    bool notATerminal = false;      // saveState() fails, as for a plain file
    bool failSettings = false;      // applySettings() fails (EINVAL)
    bool failTimeouts = false;      // applyTimeouts() fails (EINVAL)
    bool failDrain = false;         // drain() fails (EIO)
    bool failTransmitWait = false;  // prepareTransmitWait() fails (EINVAL)
    bool failQueues = false;        // sizeQueues() fails (EINVAL)
    size_t shortWriteBy = 0;        // write() sends this many bytes fewer than asked
};

class FaultyMemoryPort : public platform::MemoryPort {
  public:
    using MemoryPort::MemoryPort;

    void setFaults(const MemoryPortFaults& faults) {
        std::lock_guard<std::mutex> g(mutex_);
        faults_ = faults;
    }

  protected:
    int refusal(HostCall call) const override {
        // The switch of each host call, in the order of HostCall, and its error.
        struct Switch {
            bool MemoryPortFaults::*on;
            int error;
        };
        static constexpr Switch Switches[] = {
            {&MemoryPortFaults::notATerminal, ENOTTY},
            {&MemoryPortFaults::failSettings, EINVAL},
            {&MemoryPortFaults::failTimeouts, EINVAL},
            {&MemoryPortFaults::failTransmitWait, EINVAL},
            {&MemoryPortFaults::failQueues, EINVAL},
            {&MemoryPortFaults::failReads, EIO},
            {&MemoryPortFaults::failWrites, EIO},
            {&MemoryPortFaults::failLineControl, EIO},
            {&MemoryPortFaults::failDrain, EIO},
        };
        const Switch& s = Switches[static_cast<size_t>(call)];
        std::lock_guard<std::mutex> g(mutex_);
        return faults_.*s.on ? s.error : 0;
    }
    size_t passed(size_t n) const override {
        std::lock_guard<std::mutex> g(mutex_);
        return n - std::min(faults_.shortWriteBy, n);
    }

  private:
    mutable std::mutex mutex_;
    MemoryPortFaults faults_;
};

// Makes a port called `name` in `ports` whose far end is `peer`.
inline std::shared_ptr<FaultyMemoryPort> addFaultyPort(platform::MemoryPortRegistry& ports,
                                                       const std::string& name,
                                                       platform::MemoryPeer* peer) {
    auto port = std::make_shared<FaultyMemoryPort>(name, peer);
    ports.add(port);
    return port;
}

}  // namespace memtest

}  // namespace talvek
