#include "device/comm_model3.h"

#include "device/errors.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace sAPI {

CommModel3::CommModel3(const wchar_t* portName, const CancelFlag* cancelFlag, int32_t retryBudget)
    : Device_Comm(portName, BaudRate, /*dtrControl=*/1, /*abortOnError=*/false, /*parity=*/0,
                  ReadTimeoutMs, BufferSize, BufferSize, cancelFlag, retryBudget) {}

void CommModel3::SetMode(int mode) {
    ClearCommError();
    if (mode == 0) {
        SetRTS(false);
    } else if (mode == 1) {
        SetRTS(true);
        platform::sleepMs(15);
    }
    commMode_ = static_cast<uint8_t>(mode);
}

void CommModel3::Talk(int count) {
    if (count == 0) return;
    CheckSendRoom(count + 1);
    const uint8_t sum = Checksum(sendBuffer(), count);
    ClearCommError();
    sendBuffer()[count] = sum;
    commEventMask_ = 4;
    SendFrame(count + 1);
    // The line stays in transmit mode until Listen.
    platform::sleepMs(10);
}

void CommModel3::Listen(int count) {
    if (count == 0) return;
    CheckReceiveRoom(count);
    if (!portOpen()) throw CommError(21);
    if (commMode_ != 0) SetMode(0);
    const long got = port().read(receiveBuffer(), static_cast<size_t>(count));
    if (got < 0) {
        Trace::Write(Trace::Debug, "DeviceType3_Com::Listen(): Serial Port Error");
        throw CommError(15, L"Listen: Serial Port Read");
    }
    if (got == 0) {
        Trace::Write(Trace::Debug, "DeviceType3_Com::Listen(): Serial Port Timed Out");
        throw CommError(18, L"Listen: Serial Port Timed Out");
    }
    if (got != count) {
        Trace::Write(Trace::Debug, "DeviceType3_Com::Listen(): Partial data read %d bytes of %d",
                     static_cast<int>(got), count);
        throw CommError(15, L"Listen: Partial Data Read");
    }
    if (VerifyChecksum(receiveBuffer(), count - 1) != 0) {
        Trace::Write(Trace::Error, "DeviceType3_Com::Listen(): Checksum Error");
        throw CommError(8, L"Listen: Bad Checksum");
    }
}

void CommModel3::Communicate(int sendCount, int receiveCount) {
    int32_t retries = retryBudget();
    for (;;) {
        try {
            // One cancel check per attempt: a cancel during Talk still lets
            // this attempt's Listen run.
            if (commCancelled()) throw User_Cancel();
            if (sendCount != 0) Talk(sendCount);
            if (receiveCount != 0) Listen(receiveCount);
            return;
        } catch (const Error& e) {
            Trace::Write(Trace::Error, "DeviceType3_Com::Communicate(): Errorcode = %u",
                         static_cast<unsigned>(e.code()));
            if (retries <= 0) throw;
            --retries;
            if (commCancelled()) throw User_Cancel();
            Trace::Write(Trace::Error, "DeviceType3_Com::Communicate(): Retry");
            platform::sleepMs(100);
        }
    }
}

}  // namespace sAPI
