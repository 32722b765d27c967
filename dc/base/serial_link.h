#pragma once
// One open serial port configured for one interface type, and the link
// operations the three interface types implement on it.
//
// The link classes are the second base of the drivers (the first being
// Driver), so member names here keep clear of Driver's.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dc/base/cancel_flag.h"
#include "platform/serial_port.h"

namespace talvek {

// What an interface type's link opens its port with.
struct LinkSettings {
    uint32_t baudRate = 9600;
    bool dtrControl = false;  // the settings block's DTR control
    bool abortOnError = false;
    bool oddParity = false;
    uint32_t readTimeoutMs = 1000;  // total time-out of one read
    size_t bufferSize = 256;        // each of the send and receive buffers
    int32_t retryBudget = 3;
};

class SerialLink {
  public:
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;
    // Opens `portName` (the device path, passed unchanged) through `ports`
    // and configures it with `settings`.  Throws
    // CriticalError(ErrorCode::NoPortSpecified) for an absent name,
    // CommError(ErrorCode::CantOpenPort) when the port cannot be opened or is
    // not a serial port, CriticalError("Error Setting Comm Port") when it
    // cannot be configured.
    SerialLink(const char* portName, const LinkSettings& settings, const CancelFlag* cancelFlag,
               platform::SerialOpener& ports = platform::systemSerialOpener());

    // Puts the lines into receive (0) or transmit (1) state.
    virtual void setMode(int mode) = 0;
    // Sends the first `count` bytes of the send buffer as one frame.
    virtual void talk(int count) = 0;
    // Receives a reply of `count` bytes into the receive buffer.
    virtual void listen(int count) = 0;
    virtual ~SerialLink();
    // Puts the port's previous settings back and releases it; idempotent.
    virtual void close();
    // One exchange, with the link's retries.
    virtual void communicate(int sendCount, int receiveCount) = 0;

    // Drive the RTS and DTR lines; throw UnknownError("SetRTS"/"SetDTR") with
    // the system error number on failure, CommError(ErrorCode::PortNotOpen)
    // when the device has gone away.  On a lost port they do nothing.
    void setRTS(bool on);
    void setDTR(bool on);

    // A floating line or a break condition reads as zero bytes, and zeros
    // pass the XOR checksum: a reply of `count` zero bytes in the receive
    // buffer is no answer.  Traces it and throws
    // CommError(ErrorCode::NotDetected); returns for any other reply.
    void rejectZeroReply(int count);

    // XOR of `count` bytes; throws CriticalError for count < 1.
    static uint8_t checksum(const uint8_t* bytes, int count);
    // Checksum of the bytes before `position` minus the byte at `position`:
    // 0 when they match, -1 when the checksum cannot be taken.
    static int verifyChecksum(const uint8_t* bytes, int position);

    bool portOpen() const { return commOpen_; }
    // True once the device went away under the open port: the port has been
    // released, and line control does nothing from then on.
    bool portLost() const { return commLost_; }
    uint8_t* sendBuffer() { return commSend_.get(); }
    uint8_t* receiveBuffer() { return commReceive_.get(); }
    size_t sendBufferSize() const { return commSendSize_; }
    size_t receiveBufferSize() const { return commReceiveSize_; }
    int32_t retryBudget() const { return commRetries_; }
    // The last mode given to setMode (0 receive, 1 transmit).
    uint8_t lineMode() const { return commMode_; }

  protected:
    // The setMode of every interface type: RTS to its transmit level for
    // mode 1 followed by `turnaroundMs`, to the other level for mode 0; any
    // other mode switches nothing.  The mode is stored in every case.
    void switchLine(int mode, bool rtsHighToSend, uint32_t turnaroundMs);

    bool commCancelled() const { return commCancel_ && commCancel_->load(); }
    // The port; present from a successful construction until destruction
    // (after Close() its calls fail).
    platform::SerialPort& port() { return *commPort_; }

    // Clears the port's error state (where the system keeps one).
    void clearCommError() { commPort_->clearErrors(); }
    // Blocks until every written byte has left the port.
    bool waitTxEmpty() { return commPort_->drain(); }
    // Transmit mode, then the whole frame out and drained; any failure puts
    // the line back to receive and throws code 14 or 18 (types 1 and 3).
    void sendFrame(int frameBytes);
    // Discards unread input and unsent output; nothing once the port is lost.
    bool purgeComm();

    // After a failed call of the port: when the device has hung up or gone
    // away, releases the port, traces the system's reason and throws
    // CommError(ErrorCode::PortNotOpen); otherwise returns.  `call` names the
    // failed call in the trace.
    void checkLost(const char* call);
    // Throws CommError(ErrorCode::PortNotOpen) once the port is lost.
    void checkNotLost() const;

    // Guards against frames longer than the buffers (throw Error(ErrorCode::BufferOverrun)).
    void checkSendRoom(int frameBytes) const;
    void checkReceiveRoom(int replyBytes) const;

    const CancelFlag* commCancel_;
    int32_t commRetries_;
    uint8_t commMode_ = 0;

  private:
    [[noreturn]] void failCreate(const char* trace, bool restoreSettings);
    // Throws UnknownError(`what`) for a failed line; a port without modem
    // lines is traced once and otherwise accepted.
    void lineDriven(platform::LineResult result, const char* what);

    std::string commName_;
    std::unique_ptr<platform::SerialPort> commPort_;
    bool commOpen_ = false;
    bool commLost_ = false;
    bool noModemLinesTraced_ = false;
    platform::SerialSettings commSettings_;
    std::unique_ptr<uint8_t[]> commSend_;
    std::unique_ptr<uint8_t[]> commReceive_;
    size_t commSendSize_;
    size_t commReceiveSize_;
};

}  // namespace talvek
