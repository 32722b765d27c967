#pragma once
// What the serial-port class of the device layer needs from the system, and
// nothing more.  Two implementations: the POSIX termios port for real cables
// and pseudo-terminals, and the in-memory port (memory_port.h) for tests and
// the in-process simulated computers.
//
// Every call that can fail returns false (or -1) and leaves the system error
// number in lastError(); none throws.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace talvek {

namespace platform {

struct SerialSettings {
    uint32_t baud = 9600;    // 2400 or 9600
    bool oddParity = false;  // parity generated, never checked
    bool dtrEnable = false;  // DTR control of the settings block
    bool abortOnError = false;
    uint32_t readTimeoutMs = 1000;   // total time-out of one read call
    uint32_t writeTimeoutMs = 1000;  // total time-out of one write call
};

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Saves the port's present settings so that restoreState() can put them
    // back.  Fails for a name that is not a serial port (a plain file).
    virtual bool saveState() = 0;
    // Applies line settings (speed, framing, parity, raw mode).
    virtual bool applySettings(const SerialSettings& s) = 0;
    // Applies the read/write time-outs.
    virtual bool applyTimeouts(uint32_t readTimeoutMs, uint32_t writeTimeoutMs) = 0;
    // Puts the saved settings back.
    virtual bool restoreState() = 0;

    // Reads up to n bytes; returns when n bytes arrived or the read time-out
    // has passed since the call began.  Returns the count (0..n), or -1 when
    // the call itself failed.
    virtual long read(uint8_t* buf, size_t n) = 0;
    // Writes n bytes within the write time-out; returns the count or -1.
    virtual long write(const uint8_t* buf, size_t n) = 0;
    // Waits until every written byte has left the port.
    virtual bool drain() = 0;
    // Discards unread input and unsent output.
    virtual bool purge() = 0;

    virtual bool setRTS(bool on) = 0;
    virtual bool setDTR(bool on) = 0;

    // Releases the port; further calls fail.  Idempotent.
    virtual void close() = 0;

    // System error number of the last failed call (errno).
    virtual int lastError() const = 0;

    // A number that identifies the open port in the trace (a descriptor);
    // diagnostic only.
    virtual int id() const { return -1; }
};

// Opens a port by name.  On failure returns null and sets `error` to the
// system error number.  Names are tried against the in-process registry
// (tests, simulated computers) first, then as device paths: an installed
// opener that answers ENOENT does not know the name, and the name is then
// opened as a device path; any other error of the opener stands.
std::unique_ptr<SerialPort> openSerialPort(const std::string& name, int& error);

// Replaces the opener (tests and the in-process simulator); an empty function
// puts the system opener back.  The opener returns null with `error` set when
// it does not know the name (ENOENT) or cannot open it (any other errno).
using SerialOpener = std::function<std::unique_ptr<SerialPort>(const std::string&, int&)>;
void setSerialOpener(SerialOpener opener);

}  // namespace platform

}  // namespace talvek
