#pragma once
// The link of the second interface generation: a half-duplex line that
// echoes every byte sent, RTS low while transmitting.
#include "device/device_comm.h"

namespace sAPI {

class CommModel2 : public Device_Comm {
public:
    static constexpr uint32_t BaudRate = 9600;
    static constexpr uint32_t ReadTimeoutMs = 1100;
    static constexpr size_t BufferSize = 256;
    static constexpr int32_t DefaultRetries = 3;

    CommModel2(const wchar_t* portName, const CancelFlag* cancelFlag,
               int32_t retryBudget = DefaultRetries);

    void SetMode(int mode) override;
    void Talk(int count) override;
    void Listen(int count) override;
    void Communicate(int sendCount, int receiveCount) override;

    // The last mode given to SetMode (0 receive, 1 transmit).
    uint8_t lineMode() const { return commMode_; }

protected:
    uint8_t commMode_ = 0;
};

}  // namespace sAPI
