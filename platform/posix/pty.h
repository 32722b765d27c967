#pragma once
// Pseudo-terminals and raw terminal access: the master side serves the
// simulated computers of the talvek-sim tool; the raw terminal is a minimal
// host side for tests.  Deadlines use platform::nowMs() and wait in short
// slices with poll(), so these run on the real clock only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace talvek {

namespace platform {

class PtyMaster {
  public:
    ~PtyMaster();
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    // Opens a new pseudo-terminal in raw mode (no byte is translated).
    // Returns null with `error` set on failure.
    static std::unique_ptr<PtyMaster> open(int& error);

    // Path of the slave side, which the host opens like a serial port.
    const std::string& slavePath() const { return slavePath_; }

    // Waits up to timeoutMs for bytes from the host and reads up to n.
    // Returns the count (0 on time-out) or -1 on failure.  `hungUp` tells
    // that no host has the slave side open (the read then returns 0).
    long read(uint8_t* buf, size_t n, int timeoutMs, bool& hungUp);
    // Writes without blocking; returns the count taken (possibly fewer than
    // n, 0 when the line is full) or -1 on failure.
    long write(const uint8_t* data, size_t n);
    // Clears every translating flag again (a host may have set some); keeps
    // the host's time-out and speed settings.
    bool makeRaw();
    // Discards bytes in both directions.
    void discard();
    void close();
    int lastError() const { return error_; }

  private:
    PtyMaster() = default;
    int fd_ = -1;
    int error_ = 0;
    std::string slavePath_;
};

// A terminal device opened raw: 8 data bits, no parity, no translation.
class RawTerminal {
  public:
    ~RawTerminal();
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    static std::unique_ptr<RawTerminal> open(const std::string& path, int& error);

    // Reads until n bytes have come or timeoutMs has passed; returns the
    // count or -1 on failure.
    long read(uint8_t* buf, size_t n, int timeoutMs);
    // Writes all n bytes; returns n or -1.
    long write(const uint8_t* data, size_t n);
    // Discards unread input.
    void flushInput();
    void close();

  private:
    RawTerminal() = default;
    int fd_ = -1;
};

// Makes `link` a symbolic link to `target`, replacing an existing link
// (never a regular file).  Returns false with `error` set.
bool createSymlink(const std::string& target, const std::string& link, int& error);
void removeFile(const std::string& path);

// SIGINT and SIGTERM set a flag instead of ending the process.
void installStopSignals();
bool stopRequested();

}  // namespace platform

}  // namespace talvek
