#include "dc/paged/type3_link.h"

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace talvek {

Type3Link::Type3Link(const char* portName, const CancelFlag* cancelFlag,
                     platform::SerialOpener& ports, int32_t retryBudget)
    : SerialLink(portName, BaudRate, /*dtrControl=*/1, /*abortOnError=*/false, /*parity=*/0,
                 ReadTimeoutMs, BufferSize, BufferSize, cancelFlag, retryBudget, ports) {}

void Type3Link::setMode(int mode) {
    clearCommError();
    if (mode == 0) {
        setRTS(false);
    } else if (mode == 1) {
        setRTS(true);
        platform::sleepMs(15);
    }
    commMode_ = static_cast<uint8_t>(mode);
}

void Type3Link::talk(int count) {
    if (count == 0) return;
    checkSendRoom(count + 1);
    const uint8_t sum = checksum(sendBuffer(), count);
    clearCommError();
    sendBuffer()[count] = sum;
    commEventMask_ = 4;
    sendFrame(count + 1);
    // The line stays in transmit mode until Listen.
    platform::sleepMs(10);
}

void Type3Link::listen(int count) {
    if (count == 0) return;
    checkReceiveRoom(count);
    if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
    if (commMode_ != 0) setMode(0);
    const long got = port().read(receiveBuffer(), static_cast<size_t>(count));
    if (got < 0) {
        trace::write(trace::Debug, "DeviceType3_Com::Listen(): Serial Port Error");
        throw CommError(ErrorCode::ReadFailed, "Listen: Serial Port Read");
    }
    if (got == 0) {
        trace::write(trace::Debug, "DeviceType3_Com::Listen(): Serial Port Timed Out");
        throw CommError(ErrorCode::TimedOut, "Listen: Serial Port Timed Out");
    }
    if (got != count) {
        trace::write(trace::Debug, "DeviceType3_Com::Listen(): Partial data read %d bytes of %d",
                     static_cast<int>(got), count);
        throw CommError(ErrorCode::ReadFailed, "Listen: Partial Data Read");
    }
    if (verifyChecksum(receiveBuffer(), count - 1) != 0) {
        trace::write(trace::Error, "DeviceType3_Com::Listen(): Checksum Error");
        throw CommError(ErrorCode::Checksum, "Listen: Bad Checksum");
    }
}

void Type3Link::communicate(int sendCount, int receiveCount) {
    int32_t retries = retryBudget();
    for (;;) {
        try {
            // One cancel check per attempt: a cancel during Talk still lets
            // this attempt's Listen run.
            if (commCancelled()) throw UserCancel();
            if (sendCount != 0) talk(sendCount);
            if (receiveCount != 0) listen(receiveCount);
            return;
        } catch (const Error& e) {
            trace::write(trace::Error, "DeviceType3_Com::Communicate(): Errorcode = %u",
                         static_cast<unsigned>(e.code()));
            if (retries <= 0) throw;
            --retries;
            if (commCancelled()) throw UserCancel();
            trace::write(trace::Error, "DeviceType3_Com::Communicate(): Retry");
            platform::sleepMs(100);
        }
    }
}

}  // namespace talvek
