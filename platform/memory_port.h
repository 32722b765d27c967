#pragma once
// An in-memory serial port driven by the clock in force (normally a
// VirtualClock).  The host side is a platform::SerialPort; the far side is a
// MemoryPeer (a test, or a simulated dive computer) that sees every byte the
// host writes and queues replies that become readable at given times.
//
// The wire itself adds nothing: an interface that echoes (type 2) is the
// peer's business.  A purge drops only bytes whose time has come; bytes sent
// for a later time are still on their way and survive it.
//
// A host read that lacks bytes waits on the clock: it advances (virtual) time
// to the arrival of the next queued byte or to its time-out, whichever is
// first, so long time-outs cost no real time.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace talvek {

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

// One host write, as the far end received it.
struct MemoryWrite {
    uint64_t atMs;
    std::vector<uint8_t> bytes;
};

// One change of the host's RTS or DTR line (the state after the change).
struct MemoryLineChange {
    uint64_t atMs;
    bool rts;
    bool dtr;
};

// The control block of one in-memory port: the device side of the wire and
// the record of what the host did.  Opening it hands out the host side (a
// SerialPort); while a host holds it, or while it is marked busy, a further
// open fails with EBUSY.
// Make it with std::make_shared (or through a MemoryPortRegistry): the host
// side shares ownership of it.
class MemoryPort : public MemoryLine, public std::enable_shared_from_this<MemoryPort> {
  public:
    MemoryPort(std::string name, MemoryPeer* peer);
    ~MemoryPort() override;
    MemoryPort(const MemoryPort&) = delete;
    MemoryPort& operator=(const MemoryPort&) = delete;

    // MemoryLine: bytes sent with a time before now are readable at once.
    void send(const uint8_t* data, size_t n, uint64_t atMs) override;
    using MemoryLine::send;
    bool rts() const override;
    bool dtr() const override;
    // The line settings in force (those of the last applySettings, or the
    // ones restored by the host's restoreState).
    const SerialSettings& settings() const override;

    const std::string& name() const { return name_; }
    void setPeer(MemoryPeer* peer);

    // Another program holds the port: opens fail with EBUSY.
    void setBusy(bool busy);
    // The device goes away (cable pulled): reads, writes, draining and line
    // control of the host fail with EIO (PortFault::Gone) and new opens with
    // ENOENT.  reconnect() undoes it.
    void hangUp();
    // The same at `atMs` (a cable pulled right after the last bytes the
    // device sent): what was sent before is still read, then reads fail.
    void hangUpAt(uint64_t atMs);
    void reconnect();
    // Called at the start of every host read, before any byte is taken
    // (a test sets the cancel flag "during" a read this way).
    void setReadHook(std::function<void()> hook);
    // The settings a fresh open finds on the port (what Close must restore).
    void setLineSettings(const SerialSettings& s);

    // Opens the host side; null with `error` set when busy or gone.
    std::unique_ptr<SerialPort> open(PortError& error);
    bool isOpen() const;
    int openCount() const;

    // The record.
    std::vector<MemoryWrite> writes() const;
    std::vector<uint8_t> written() const;  // every written byte, in order
    std::vector<MemoryLineChange> lineChanges() const;
    int readCount() const;
    int purgeCount() const;
    int drainCount() const;
    // Whether the host prepared the wait for the end of a transmission and
    // sized the driver's queues, and how often it cleared the port's error
    // state.
    bool transmitWaitPrepared() const;
    bool queuesSized() const;
    int errorClearCount() const;
    uint32_t readTimeoutMs() const;
    uint32_t writeTimeoutMs() const;
    // Bytes queued for the host and not yet read (whatever their time).
    size_t pendingBytes() const;
    void clearRecord();

  protected:
    // The calls of the host side that can fail.
    enum class HostCall {
        SaveState,
        Settings,
        Timeouts,
        TransmitWait,
        Queues,
        Read,
        Write,
        LineControl,
        Drain
    };
    // The error number a host call fails with while the device stays there,
    // 0 when it goes through: an in-memory port refuses nothing, a test's
    // port may.  Called with the port's lock held.
    virtual int refusal(HostCall /*call*/) const { return 0; }
    // How many of the `n` bytes of a host write reach the far end.
    virtual size_t passed(size_t n) const { return n; }

  private:
    class Host;
    friend class Host;
    struct Pending {
        uint64_t atMs;
        uint8_t byte;
    };

    const std::string name_;
    mutable std::mutex mutex_;
    MemoryPeer* peer_;
    std::function<void()> readHook_;
    bool busy_ = false;
    bool gone_ = false;
    static constexpr uint64_t NotGone = UINT64_MAX;
    uint64_t goneAt_ = NotGone;
    // Whether the device is gone at `nowMs` (call with the mutex held).
    bool goneBy(uint64_t nowMs) const;
    bool open_ = false;
    int openCount_ = 0;
    SerialSettings settings_;
    bool rts_ = false;
    bool dtr_ = false;
    std::deque<Pending> queue_;
    std::vector<MemoryWrite> writes_;
    std::vector<MemoryLineChange> lineChanges_;
    int reads_ = 0;
    int purges_ = 0;
    int drains_ = 0;
    int errorClears_ = 0;
    bool transmitWaitPrepared_ = false;
    bool queuesSized_ = false;
    uint32_t readTimeoutMs_ = 1000;
    uint32_t writeTimeoutMs_ = 1000;
};

// Creates in-memory ports by name and opens them for the device layer: hand
// the registry to a driver (or a session) as its SerialOpener.  A name it
// does not know is opened as a system port, so real paths still work.
class MemoryPortRegistry : public SerialOpener {
  public:
    MemoryPortRegistry();
    ~MemoryPortRegistry() override;
    MemoryPortRegistry(const MemoryPortRegistry&) = delete;
    MemoryPortRegistry& operator=(const MemoryPortRegistry&) = delete;

    // Makes a port called `name` whose far end is `peer` (not owned; may be
    // null for a port that never answers).  Returns its control block.
    std::shared_ptr<MemoryPort> add(const std::string& name, MemoryPeer* peer);
    // Registers a port made elsewhere (a test's port) under its name.
    void add(std::shared_ptr<MemoryPort> port);
    std::shared_ptr<MemoryPort> find(const std::string& name) const;

    std::unique_ptr<SerialPort> open(const std::string& name, PortError& error) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform

}  // namespace talvek
