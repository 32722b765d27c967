#include "platform/memory_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "platform/clock.h"

namespace talvek {

namespace platform {

namespace {

// The in-memory port fails with errno numbers on every system (they are its
// own, not the system's), so a test reads the same under Windows.
PortError portError(int e) {
    return PortError{errnoFault(e), e, std::strerror(e)};
}

}  // namespace

// The host side of an in-memory port.
class MemoryPort::Host : public SerialPort {
  public:
    Host(std::shared_ptr<MemoryPort> port, int id) : port_(std::move(port)), id_(id) {}
    ~Host() override { close(); }

    bool saveState() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (const int e = port_->refusal(HostCall::SaveState)) return fail(e);
        saved_ = port_->settings_;
        haveSaved_ = true;
        return true;
    }

    bool applySettings(const SerialSettings& s) override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (const int e = port_->refusal(HostCall::Settings)) return fail(e);
        port_->settings_ = s;
        port_->settings_.readTimeoutMs = port_->readTimeoutMs_;
        port_->settings_.writeTimeoutMs = port_->writeTimeoutMs_;
        return true;
    }

    bool applyTimeouts(uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (const int e = port_->refusal(HostCall::Timeouts)) return fail(e);
        port_->readTimeoutMs_ = port_->settings_.readTimeoutMs = readTimeoutMs;
        port_->writeTimeoutMs_ = port_->settings_.writeTimeoutMs = writeTimeoutMs;
        return true;
    }

    bool prepareTransmitWait() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (const int e = port_->refusal(HostCall::TransmitWait)) return fail(e);
        port_->transmitWaitPrepared_ = true;
        return true;
    }

    bool sizeQueues() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (const int e = port_->refusal(HostCall::Queues)) return fail(e);
        port_->queuesSized_ = true;
        return true;
    }

    void clearErrors() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        ++port_->errorClears_;
    }

    bool restoreState() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (!haveSaved_) return fail(EINVAL);
        port_->settings_ = saved_;
        port_->readTimeoutMs_ = saved_.readTimeoutMs;
        port_->writeTimeoutMs_ = saved_.writeTimeoutMs;
        return true;
    }

    long read(uint8_t* buf, size_t n) override {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> g(port_->mutex_);
            if (!usable()) return -1;
            hook = port_->readHook_;
        }
        if (hook) hook();

        // With the real clock in force a peer on another thread may send
        // while we wait, so wait in short steps; virtual time jumps.
        const bool virtualTime = dynamic_cast<VirtualClock*>(&platform::clock()) != nullptr;
        std::unique_lock<std::mutex> g(port_->mutex_);
        ++port_->reads_;
        if (!usable()) return -1;
        if (port_->gone_) return lost();
        if (const int e = port_->refusal(HostCall::Read)) return failCount(e);
        const uint64_t deadline = platform::nowMs() + port_->readTimeoutMs_;
        size_t got = 0;
        for (;;) {
            uint64_t now = platform::nowMs();
            auto& q = port_->queue_;
            while (got < n && !q.empty() && q.front().atMs <= now) {
                buf[got++] = q.front().byte;
                q.pop_front();
            }
            if (got == n) break;
            // Once the line has hung up, what reached it is read, then the
            // read fails.
            if (port_->goneBy(now)) return lost();
            if (now >= deadline) break;
            uint64_t until = q.empty() ? deadline : std::min(q.front().atMs, deadline);
            if (port_->goneAt_ > now) until = std::min(until, port_->goneAt_);
            uint64_t step = until - now;
            if (!virtualTime) step = std::min<uint64_t>(step, 5);
            g.unlock();
            platform::sleepMs(static_cast<uint32_t>(step));
            g.lock();
            if (!usable()) return -1;
            if (port_->gone_) return lost();
        }
        return static_cast<long>(got);
    }

    long write(const uint8_t* buf, size_t n) override {
        MemoryPeer* peer;
        uint64_t now = platform::nowMs();
        size_t count;
        {
            std::lock_guard<std::mutex> g(port_->mutex_);
            if (!usable()) return -1;
            if (port_->goneBy(now)) return lost();
            if (const int e = port_->refusal(HostCall::Write)) return failCount(e);
            count = std::min(port_->passed(n), n);
            port_->writes_.push_back(MemoryWrite{now, std::vector<uint8_t>(buf, buf + count)});
            peer = port_->peer_;
        }
        // Outside the lock: the peer answers through send().
        if (peer && count > 0) peer->onHostBytes(*port_, buf, count, now);
        return static_cast<long>(count);
    }

    bool drain() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (!usable()) return false;
        if (port_->goneBy(platform::nowMs())) {
            lost();
            return false;
        }
        if (const int e = port_->refusal(HostCall::Drain)) return fail(e);
        ++port_->drains_;
        return true;
    }

    bool purge() override {
        MemoryPeer* peer;
        uint64_t now = platform::nowMs();
        {
            std::lock_guard<std::mutex> g(port_->mutex_);
            if (!usable()) return false;
            // Bytes still on their way (time after now) are not yet in the
            // input queue and survive.
            auto& q = port_->queue_;
            while (!q.empty() && q.front().atMs <= now) q.pop_front();
            ++port_->purges_;
            peer = port_->peer_;
        }
        if (peer) peer->onPurge(*port_, now);
        return true;
    }

    LineResult setRTS(bool on) override { return line(true, on); }
    LineResult setDTR(bool on) override { return line(false, on); }

    void close() override {
        std::lock_guard<std::mutex> g(port_->mutex_);
        if (closed_) return;
        closed_ = true;
        port_->open_ = false;
    }

    const PortError& lastError() const override { return lastError_; }
    int id() const override { return id_; }

  private:
    // Call with the port's mutex held.
    bool usable() {
        if (!closed_) return true;
        lastError_ = portError(EBADF);
        return false;
    }
    // An injected failure leaves the device where it is: whatever its
    // number, it is never the hang-up a gone device gives.
    static PortError injected(int e) {
        PortError error = portError(e);
        if (error.fault == PortFault::Gone) error.fault = PortFault::Other;
        return error;
    }
    bool fail(int e) {
        lastError_ = injected(e);
        return false;
    }
    long failCount(int e) {
        lastError_ = injected(e);
        return -1;
    }
    // The device went away (hangUp()): EIO, as a real port gives it.
    long lost() {
        lastError_ = portError(EIO);
        return -1;
    }

    LineResult line(bool isRts, bool on) {
        MemoryPeer* peer;
        uint64_t now = platform::nowMs();
        bool rts, dtr;
        {
            std::lock_guard<std::mutex> g(port_->mutex_);
            if (!usable()) return LineResult::Failed;
            if (port_->goneBy(now)) {
                lost();
                return LineResult::Failed;
            }
            if (const int e = port_->refusal(HostCall::LineControl)) {
                fail(e);
                return LineResult::Failed;
            }
            (isRts ? port_->rts_ : port_->dtr_) = on;
            rts = port_->rts_;
            dtr = port_->dtr_;
            port_->lineChanges_.push_back(MemoryLineChange{now, rts, dtr});
            peer = port_->peer_;
        }
        if (peer) peer->onLines(*port_, rts, dtr, now);
        return LineResult::Driven;
    }

    std::shared_ptr<MemoryPort> port_;
    int id_;
    bool closed_ = false;
    SerialSettings saved_;
    bool haveSaved_ = false;
    PortError lastError_;
};

MemoryPort::MemoryPort(std::string name, MemoryPeer* peer) : name_(std::move(name)), peer_(peer) {}

MemoryPort::~MemoryPort() = default;

void MemoryPort::send(const uint8_t* data, size_t n, uint64_t atMs) {
    std::lock_guard<std::mutex> g(mutex_);
    // One wire: a byte never overtakes one sent before it.
    if (!queue_.empty()) atMs = std::max(atMs, queue_.back().atMs);
    for (size_t i = 0; i < n; ++i) queue_.push_back(Pending{atMs, data[i]});
}

bool MemoryPort::rts() const {
    std::lock_guard<std::mutex> g(mutex_);
    return rts_;
}

bool MemoryPort::dtr() const {
    std::lock_guard<std::mutex> g(mutex_);
    return dtr_;
}

const SerialSettings& MemoryPort::settings() const {
    return settings_;
}

void MemoryPort::setPeer(MemoryPeer* peer) {
    std::lock_guard<std::mutex> g(mutex_);
    peer_ = peer;
}

void MemoryPort::setBusy(bool busy) {
    std::lock_guard<std::mutex> g(mutex_);
    busy_ = busy;
}

void MemoryPort::hangUp() {
    std::lock_guard<std::mutex> g(mutex_);
    gone_ = true;
}

void MemoryPort::hangUpAt(uint64_t atMs) {
    std::lock_guard<std::mutex> g(mutex_);
    goneAt_ = std::min(goneAt_, atMs);
}

bool MemoryPort::goneBy(uint64_t nowMs) const {
    return gone_ || nowMs >= goneAt_;
}

void MemoryPort::reconnect() {
    std::lock_guard<std::mutex> g(mutex_);
    gone_ = false;
    goneAt_ = NotGone;
}

void MemoryPort::setReadHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> g(mutex_);
    readHook_ = std::move(hook);
}

void MemoryPort::setLineSettings(const SerialSettings& s) {
    std::lock_guard<std::mutex> g(mutex_);
    settings_ = s;
    readTimeoutMs_ = s.readTimeoutMs;
    writeTimeoutMs_ = s.writeTimeoutMs;
}

std::unique_ptr<SerialPort> MemoryPort::open(PortError& error) {
    std::lock_guard<std::mutex> g(mutex_);
    if (goneBy(platform::nowMs())) {
        error = portError(ENOENT);
        return nullptr;
    }
    if (busy_ || open_) {
        error = portError(EBUSY);
        return nullptr;
    }
    error = PortError{};
    open_ = true;
    rts_ = dtr_ = false;
    ++openCount_;
    return std::make_unique<Host>(shared_from_this(), openCount_);
}

bool MemoryPort::isOpen() const {
    std::lock_guard<std::mutex> g(mutex_);
    return open_;
}

int MemoryPort::openCount() const {
    std::lock_guard<std::mutex> g(mutex_);
    return openCount_;
}

std::vector<MemoryWrite> MemoryPort::writes() const {
    std::lock_guard<std::mutex> g(mutex_);
    return writes_;
}

std::vector<uint8_t> MemoryPort::written() const {
    std::lock_guard<std::mutex> g(mutex_);
    std::vector<uint8_t> all;
    for (const auto& w : writes_) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
}

std::vector<MemoryLineChange> MemoryPort::lineChanges() const {
    std::lock_guard<std::mutex> g(mutex_);
    return lineChanges_;
}

int MemoryPort::readCount() const {
    std::lock_guard<std::mutex> g(mutex_);
    return reads_;
}

int MemoryPort::purgeCount() const {
    std::lock_guard<std::mutex> g(mutex_);
    return purges_;
}

bool MemoryPort::transmitWaitPrepared() const {
    std::lock_guard<std::mutex> g(mutex_);
    return transmitWaitPrepared_;
}

bool MemoryPort::queuesSized() const {
    std::lock_guard<std::mutex> g(mutex_);
    return queuesSized_;
}

int MemoryPort::errorClearCount() const {
    std::lock_guard<std::mutex> g(mutex_);
    return errorClears_;
}

int MemoryPort::drainCount() const {
    std::lock_guard<std::mutex> g(mutex_);
    return drains_;
}

uint32_t MemoryPort::readTimeoutMs() const {
    std::lock_guard<std::mutex> g(mutex_);
    return readTimeoutMs_;
}

uint32_t MemoryPort::writeTimeoutMs() const {
    std::lock_guard<std::mutex> g(mutex_);
    return writeTimeoutMs_;
}

size_t MemoryPort::pendingBytes() const {
    std::lock_guard<std::mutex> g(mutex_);
    return queue_.size();
}

void MemoryPort::clearRecord() {
    std::lock_guard<std::mutex> g(mutex_);
    writes_.clear();
    lineChanges_.clear();
    reads_ = purges_ = drains_ = errorClears_ = 0;
}

// ---------------------------------------------------------------------------

struct MemoryPortRegistry::Impl {
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<MemoryPort>> ports;
};

MemoryPortRegistry::MemoryPortRegistry() : impl_(std::make_unique<Impl>()) {}

MemoryPortRegistry::~MemoryPortRegistry() = default;

std::unique_ptr<SerialPort> MemoryPortRegistry::open(const std::string& name, PortError& error) {
    std::shared_ptr<MemoryPort> port = find(name);
    if (!port) return openSerialPort(name, error);
    error = PortError{};
    return port->open(error);
}

std::shared_ptr<MemoryPort> MemoryPortRegistry::add(const std::string& name, MemoryPeer* peer) {
    auto port = std::make_shared<MemoryPort>(name, peer);
    add(port);
    return port;
}

void MemoryPortRegistry::add(std::shared_ptr<MemoryPort> port) {
    std::lock_guard<std::mutex> g(impl_->mutex);
    impl_->ports[port->name()] = std::move(port);
}

std::shared_ptr<MemoryPort> MemoryPortRegistry::find(const std::string& name) const {
    std::lock_guard<std::mutex> g(impl_->mutex);
    auto it = impl_->ports.find(name);
    return it == impl_->ports.end() ? nullptr : it->second;
}

}  // namespace platform

}  // namespace talvek
