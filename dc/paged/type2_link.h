#pragma once
// The link of the second interface generation: a half-duplex line that
// echoes every byte sent, RTS low while transmitting.
#include "dc/base/serial_link.h"

namespace talvek {

class Type2Link : public SerialLink {
  public:
    static constexpr uint32_t BaudRate = 9600;
    static constexpr uint32_t ReadTimeoutMs = 1100;
    static constexpr size_t BufferSize = 256;
    static constexpr int32_t DefaultRetries = 3;

    Type2Link(const char* portName, const CancelFlag* cancelFlag,
              platform::SerialOpener& ports = platform::systemSerialOpener(),
              int32_t retryBudget = DefaultRetries);

    void setMode(int mode) override;
    void talk(int count) override;
    void listen(int count) override;
    void communicate(int sendCount, int receiveCount) override;

    // The last mode given to SetMode (0 receive, 1 transmit).
    uint8_t lineMode() const { return commMode_; }

  protected:
    uint8_t commMode_ = 0;
};

}  // namespace talvek
