#pragma once
// An in-memory serial port driven by the clock in force (normally a
// VirtualClock).  The host side is a platform::SerialPort; the far side is a
// MemoryPeer (a test, or a simulated dive computer) that sees every byte the
// host writes and queues replies that become readable at given times.
//
// A host read that lacks bytes waits on the clock: it advances (virtual) time
// to the arrival of the next queued byte or to its time-out, whichever is
// first, so long time-outs cost no real time.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/serial_port.h"

namespace platform {

class MemoryLine;

// The far end of an in-memory port.
class MemoryPeer {
public:
    virtual ~MemoryPeer() = default;
    // The host wrote `n` bytes at time `atMs`.
    virtual void onHostBytes(MemoryLine& line, const uint8_t* data, size_t n, uint64_t atMs) = 0;
    // The host changed its RTS or DTR line.
    virtual void onLines(MemoryLine& /*line*/, bool /*rts*/, bool /*dtr*/, uint64_t /*atMs*/) {}
    // The host purged its buffers (bytes queued before `atMs` are gone).
    virtual void onPurge(MemoryLine& /*line*/, uint64_t /*atMs*/) {}
};

// The device side of the wire, as a peer sees it.
class MemoryLine {
public:
    virtual ~MemoryLine() = default;
    // Queues bytes for the host; they become readable at `atMs`.
    virtual void send(const uint8_t* data, size_t n, uint64_t atMs) = 0;
    void send(const std::vector<uint8_t>& bytes, uint64_t atMs) {
        send(bytes.data(), bytes.size(), atMs);
    }
    virtual bool rts() const = 0;
    virtual bool dtr() const = 0;
    virtual const SerialSettings& settings() const = 0;
};

// Faults a test can inject into the host side.
struct MemoryPortFaults {
    bool failWrites = false;      // write() returns -1
    bool failReads = false;       // read() returns -1
    bool failLineControl = false; // setRTS/setDTR fail (with EIO)
    bool notATerminal = false;    // saveState() fails, as for a plain file
};

class MemoryPort;

// Creates in-memory ports by name and registers them with the serial opener,
// so that the device layer opens them like real ports.  One registry may be
// installed at a time; the destructor restores the system opener.
class MemoryPortRegistry {
public:
    MemoryPortRegistry();
    ~MemoryPortRegistry();
    MemoryPortRegistry(const MemoryPortRegistry&) = delete;
    MemoryPortRegistry& operator=(const MemoryPortRegistry&) = delete;

    // Makes a port called `name` whose far end is `peer` (not owned; may be
    // null for a port that never answers).  Returns its control block.
    std::shared_ptr<MemoryPort> add(const std::wstring& name, MemoryPeer* peer);
    std::shared_ptr<MemoryPort> find(const std::wstring& name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
