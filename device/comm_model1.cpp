#include "device/comm_model1.h"

#include "device/errors.h"
#include "platform/clock.h"

namespace sAPI {

CommModel1::CommModel1(const wchar_t* portName, const CancelFlag* cancelFlag, int32_t retryBudget)
    : Device_Comm(portName, BaudRate, /*dtrControl=*/1, /*abortOnError=*/false, /*parity=*/1,
                  ReadTimeoutMs, BufferSize, BufferSize, cancelFlag, retryBudget) {}

void CommModel1::SetMode(int mode) {
    ClearCommError();
    if (mode == 0) {
        SetRTS(false);
    } else if (mode == 1) {
        SetRTS(true);
        platform::sleepMs(16);
    }
    commMode_ = static_cast<uint8_t>(mode);
}

void CommModel1::Talk(int count) {
    if (count > 0) CheckSendRoom(count + 1);
    const uint8_t sum = Checksum(sendBuffer(), count);
    ClearCommError();
    sendBuffer()[count] = sum;
    commEventMask_ = 4;
    SendFrame(count + 1);
    platform::sleepMs(200);
    // The interface echoes what was sent: drop it.
    PurgeComm();
    SetMode(0);
}

void CommModel1::Listen(int count) {
    CheckReceiveRoom(count);
    if (commMode_ != 0) SetMode(0);
    uint8_t* buf = receiveBuffer();
    const long got = port().read(buf, static_cast<size_t>(count));
    if (got < 0) throw CommError(15, L"Listen: Serial Port Read");
    if (got == 0) throw CommError(18, L"Listen: Serial Port Timed Out");
    long total = got;
    if (total < count) {
        // One more read for the rest, directly behind the first part.
        const long more = port().read(buf + total, static_cast<size_t>(count - total));
        if (more < 0) throw CommError(15, L"Listen: Partial Data Read");
        total += more;
    }
    if (total != count) throw CommError(18, L"Listen: Partial Read Time Out ");
    if (VerifyChecksum(buf, count - 1) != 0) throw CommError(8, L"Listen: Bad Checksum ");
}

void CommModel1::Communicate(int sendCount, int receiveCount) {
    Talk(sendCount);
    Listen(receiveCount);
}

int CommModel1::ReadPacket(uint8_t* destination, size_t capacity, bool allowEmpty) {
    if (destination == nullptr || capacity < 2) throw Error(5);
    if (commMode_ != 0) SetMode(0);
    long got = port().read(destination, 2);
    if (got < 0) throw CommError(15);
    if (got == 0) {
        if (allowEmpty) return 0;
        throw CommError(18, L"TimeOut");
    }
    if (got == 1) {
        const long second = port().read(destination + 1, 1);
        if (second < 0) throw CommError(15);
        if (second == 0) return 0;
    }
    const int length = destination[1];
    const size_t rest = static_cast<size_t>(length) + 1;
    if (capacity < 2 + rest) throw Error(5);
    const long body = port().read(destination + 2, rest);
    if (body < 0) throw CommError(15);
    if (static_cast<size_t>(body) < rest) throw CommError(18, L"Partial Read");
    if (VerifyChecksum(destination, length + 2) != 0) throw CommError(8);
    return length;
}

}  // namespace sAPI
