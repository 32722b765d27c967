#include "dc/paged/type2_link.h"

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace talvek {

Type2Link::Type2Link(const char* portName, const CancelFlag* cancelFlag,
                     platform::SerialOpener& ports, int32_t retryBudget)
    : SerialLink(portName, BaudRate, /*dtrControl=*/0, /*abortOnError=*/true, /*parity=*/0,
                 ReadTimeoutMs, BufferSize, BufferSize, cancelFlag, retryBudget, ports) {}

void Type2Link::setMode(int mode) {
    clearCommError();
    if (mode == 0) {
        setRTS(true);
    } else if (mode == 1) {
        setRTS(false);
        platform::sleepMs(16);
    }
    commMode_ = static_cast<uint8_t>(mode);
}

void Type2Link::talk(int count) {
    if (count == 0) return;
    checkSendRoom(count + 1);
    checkReceiveRoom(count + 1);
    const uint8_t sum = checksum(sendBuffer(), count);
    if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
    clearCommError();
    sendBuffer()[count] = sum;
    setMode(1);
    const size_t frame = static_cast<size_t>(count) + 1;
    if (port().write(sendBuffer(), frame) < 0) {
        setMode(0);
        throw CommError(ErrorCode::WriteFailed);
    }
    // The interface echoes the frame; neither the count nor the bytes of the
    // echo are examined, only the reply decides.
    if (port().read(receiveBuffer(), frame) < 0) {
        setMode(0);
        throw CommError(ErrorCode::NotDetected);
    }
}

void Type2Link::listen(int count) {
    if (count == 0) return;
    checkReceiveRoom(count);
    if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
    if (commMode_ != 0) setMode(0);
    const long got = port().read(receiveBuffer(), static_cast<size_t>(count));
    if (got < 0) {
        // A closed port has no lines to switch back.
        if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
        setMode(0);
        trace::write(trace::Error, "Listen(): Read Timed Out");
        throw CommError(ErrorCode::TimedOut);
    }
    if (got == 0) throw CommError(ErrorCode::TimedOut, "Listen: Serial Port Timed Out");
    if (got != count) {
        trace::write(trace::Debug, "DeviceType2_Com::Listen(): Partial data read %d bytes of %d",
                     static_cast<int>(got), count);
        throw CommError(ErrorCode::ReadFailed, "Listen: Partial Data Read");
    }
    if (verifyChecksum(receiveBuffer(), count - 1) != 0) throw CommError(ErrorCode::Checksum);
}

void Type2Link::communicate(int sendCount, int receiveCount) {
    int32_t retries = retryBudget();
    for (;;) {
        try {
            if (commCancelled()) throw UserCancel();
            if (sendCount != 0) talk(sendCount);
            if (commCancelled()) throw UserCancel();
            if (receiveCount != 0) listen(receiveCount);
            return;
        } catch (const Error& e) {
            trace::write(trace::Error, "DeviceType2_Com::Communicate(): Error  code = %u",
                         static_cast<unsigned>(e.code()));
            if (retries <= 0) throw;
            --retries;
            if (commCancelled()) throw UserCancel();
            platform::sleepMs(100);
        }
    }
}

}  // namespace talvek
