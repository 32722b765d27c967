#pragma once
// What the serial-port class of the device layer needs from the system, and
// nothing more.  The system's port is opened by openSerialPort (one per
// operating system, chosen by the build); tests and the in-process simulated
// computers hand the device layer another SerialOpener.
//
// Every call that can fail returns false (or -1) and leaves what went wrong
// in lastError(); none throws, and none writes the trace: the caller decides
// what is worth a line.
#include <cstddef>
#include <cstdint>
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

// What went wrong with a port, in terms every system can give.
enum class PortFault {
    None,
    NotFound,        // no port of that name
    Busy,            // another program (or this one) holds it
    AccessDenied,    // the user may not open it
    NotASerialPort,  // a name that opens but is no serial line (a plain file)
    Gone,            // the device went away (cable pulled, hang-up, closed)
    Unsupported,     // a setting or operation the port cannot do
    Other,
};

// A port failure as it crosses into the device layer: the kind, and the
// system's own error number and text for the trace.
struct PortError {
    PortFault fault = PortFault::None;
    int number = 0;    // the system's error number (errno, or GetLastError() on Windows)
    std::string text;  // the system's message for it
};

// The error value for the system's own error number `number`, as opening a
// port meets it.
PortError systemPortError(int number);
// The same for a call on a port that is open.  A device that has hung up or
// gone away (cable pulled, adapter unplugged) makes its calls fail with
// numbers that at open time mean "no such port" or a plain I/O failure (here
// EIO, ENXIO, ENODEV; on Windows the errors an unplugged adapter gives): all
// of them are PortFault::Gone, and the port is of no further use.
PortError systemPortErrorInUse(int number);
// The kind of failure an errno value stands for (the POSIX ports' numbers,
// and the in-memory port's on every system).
PortFault errnoFault(int number);

// The outcome of driving an RTS or DTR line.
enum class LineResult {
    Driven,
    NoModemLines,  // the port has no such lines (a pseudo-terminal); lastError() says why
    Failed,
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
    // Makes drain() wait for the last byte to leave, and gives the system's
    // driver queues the sizes the interfaces have always had.  Only Windows
    // needs either (an event mask, SetupComm); elsewhere they succeed and do
    // nothing.
    virtual bool prepareTransmitWait() { return true; }
    virtual bool sizeQueues() { return true; }
    // Clears the port's error state (a framing or overrun error stops a
    // Windows port until it is cleared); nothing to do elsewhere.
    virtual void clearErrors() {}

    // Reads up to n bytes; returns when n bytes arrived or the read time-out
    // has passed since the call began.  Returns the count (0..n), or -1 when
    // the call itself failed.  A hang-up (the line reports it and nothing is
    // left to read) is a failure with PortFault::Gone.
    virtual long read(uint8_t* buf, size_t n) = 0;
    // Writes n bytes within the write time-out; returns the count or -1.
    virtual long write(const uint8_t* buf, size_t n) = 0;
    // Waits until every written byte has left the port.
    virtual bool drain() = 0;
    // Discards unread input and unsent output.
    virtual bool purge() = 0;

    virtual LineResult setRTS(bool on) = 0;
    virtual LineResult setDTR(bool on) = 0;

    // Releases the port; further calls fail.  Idempotent.
    virtual void close() = 0;

    // What the last failed call (or the last NoModemLines) ran into.
    virtual const PortError& lastError() const = 0;

    // A number that identifies the open port in the trace (a descriptor);
    // diagnostic only.
    virtual int id() const { return -1; }
};

// Opens the system's serial port `name` (a device path) for exclusive use.
// On failure returns null and fills `error`.
std::unique_ptr<SerialPort> openSerialPort(const std::string& name, PortError& error);

// Where the device layer gets its ports from.
class SerialOpener {
  public:
    virtual ~SerialOpener() = default;
    // Opens `name`; on failure returns null and fills `error`.
    virtual std::unique_ptr<SerialPort> open(const std::string& name, PortError& error) = 0;
};

// The system's ports (openSerialPort).
SerialOpener& systemSerialOpener();

}  // namespace platform

}  // namespace talvek
