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
        std::lock_guard<std::mutex> g(mutex_);
        const MemoryPortFaults& f = faults_;
        switch (call) {
            case HostCall::SaveState:
                return f.notATerminal ? ENOTTY : 0;
            case HostCall::Settings:
                return f.failSettings ? EINVAL : 0;
            case HostCall::Timeouts:
                return f.failTimeouts ? EINVAL : 0;
            case HostCall::TransmitWait:
                return f.failTransmitWait ? EINVAL : 0;
            case HostCall::Queues:
                return f.failQueues ? EINVAL : 0;
            case HostCall::Read:
                return f.failReads ? EIO : 0;
            case HostCall::Write:
                return f.failWrites ? EIO : 0;
            case HostCall::LineControl:
                return f.failLineControl ? EIO : 0;
            case HostCall::Drain:
                return f.failDrain ? EIO : 0;
        }
        return 0;
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
