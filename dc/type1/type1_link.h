#pragma once
// The link of the first interface generation: 2400 baud odd parity, RTS high
// while transmitting, the echo purged after sending, no retries here (the
// driver retries detection itself), and length-prefixed packets for dives.
#include "dc/base/serial_link.h"

namespace talvek {

class Type1Link : public SerialLink {
  public:
    static constexpr uint32_t BaudRate = 2400;
    static constexpr uint32_t ReadTimeoutMs = 1800;
    static constexpr size_t BufferSize = 40;
    static constexpr int32_t DefaultRetries = 3;
    // Room a packet can need: lead byte, length byte, 255 payload bytes,
    // checksum.
    static constexpr size_t MaxPacketBytes = 258;

    Type1Link(const char* portName, const CancelFlag* cancelFlag,
              platform::SerialOpener& ports = platform::systemSerialOpener(),
              int32_t retryBudget = DefaultRetries);

    void setMode(int mode) override;
    // Sends the frame, waits 200 ms and purges the echo.  Talk(0) throws the
    // checksum's CriticalError.
    void talk(int count) override;
    void listen(int count) override;
    // Talk then Listen; no cancel checks, no retries.
    void communicate(int sendCount, int receiveCount) override;

    // Reads one packet (lead byte, length L, L payload bytes, checksum) into
    // `destination` and returns L.  An empty line returns 0 when `allowEmpty`
    // is set and throws CommError(ErrorCode::TimedOut, "TimeOut") otherwise.  `capacity` is
    // the room at `destination`; a packet that would not fit throws
    // Error(ErrorCode::BufferOverrun).
    int readPacket(uint8_t* destination, size_t capacity, bool allowEmpty);

  private:
    // A failed packet read: CommError(ErrorCode::PortNotOpen) when the device
    // went away, else CommError(ErrorCode::ReadFailed).
    [[noreturn]] void readFailed();
};

}  // namespace talvek
