#include "device/comm_model2.h"

#include "device/errors.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace sAPI {

CommModel2::CommModel2(const wchar_t* portName, const CancelFlag* cancelFlag, int32_t retryBudget)
    : Device_Comm(portName, BaudRate, /*dtrControl=*/0, /*abortOnError=*/true, /*parity=*/0,
                  ReadTimeoutMs, BufferSize, BufferSize, cancelFlag, retryBudget) {}

void CommModel2::SetMode(int mode) {
    ClearCommError();
    if (mode == 0) {
        SetRTS(true);
    } else if (mode == 1) {
        SetRTS(false);
        platform::sleepMs(16);
    }
    commMode_ = static_cast<uint8_t>(mode);
}

void CommModel2::Talk(int count) {
    if (count == 0) return;
    CheckSendRoom(count + 1);
    CheckReceiveRoom(count + 1);
    const uint8_t sum = Checksum(sendBuffer(), count);
    if (!portOpen()) throw CommError(21);
    ClearCommError();
    sendBuffer()[count] = sum;
    SetMode(1);
    const size_t frame = static_cast<size_t>(count) + 1;
    if (port().write(sendBuffer(), frame) < 0) {
        SetMode(0);
        throw CommError(14);
    }
    // The interface echoes the frame; neither the count nor the bytes of the
    // echo are examined, only the reply decides.
    if (port().read(receiveBuffer(), frame) < 0) {
        SetMode(0);
        throw CommError(17);
    }
}

void CommModel2::Listen(int count) {
    if (count == 0) return;
    CheckReceiveRoom(count);
    if (!portOpen()) throw CommError(21);
    if (commMode_ != 0) SetMode(0);
    const long got = port().read(receiveBuffer(), static_cast<size_t>(count));
    if (got < 0) {
        // A closed port has no lines to switch back.
        if (!portOpen()) throw CommError(21);
        SetMode(0);
        Trace::Write(Trace::Error, "Listen(): Read Timed Out");
        throw CommError(18);
    }
    if (got == 0) throw CommError(18, L"Listen: Serial Port Timed Out");
    if (got != count) {
        Trace::Write(Trace::Debug, "DeviceType2_Com::Listen(): Partial data read %d bytes of %d",
                     static_cast<int>(got), count);
        throw CommError(15, L"Listen: Partial Data Read");
    }
    if (VerifyChecksum(receiveBuffer(), count - 1) != 0) throw CommError(8);
}

void CommModel2::Communicate(int sendCount, int receiveCount) {
    int32_t retries = retryBudget();
    for (;;) {
        try {
            if (commCancelled()) throw User_Cancel();
            if (sendCount != 0) Talk(sendCount);
            if (commCancelled()) throw User_Cancel();
            if (receiveCount != 0) Listen(receiveCount);
            return;
        } catch (const Error& e) {
            Trace::Write(Trace::Error, "DeviceType2_Com::Communicate(): Error  code = %u",
                         static_cast<unsigned>(e.code()));
            if (retries <= 0) throw;
            --retries;
            if (commCancelled()) throw User_Cancel();
            platform::sleepMs(100);
        }
    }
}

}  // namespace sAPI
