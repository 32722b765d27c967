#include "dc/type1/type1_link.h"

#include "dc/base/errors.h"
#include "platform/clock.h"

namespace talvek {

Type1Link::Type1Link(const char* portName, const CancelFlag* cancelFlag,
                     platform::SerialOpener& ports, int32_t retryBudget)
    : SerialLink(portName,
                 LinkSettings{.baudRate = BaudRate,
                              .dtrControl = true,
                              .abortOnError = false,
                              .oddParity = true,
                              .readTimeoutMs = ReadTimeoutMs,
                              .bufferSize = BufferSize,
                              .retryBudget = retryBudget},
                 cancelFlag, ports) {}

void Type1Link::setMode(int mode) {
    switchLine(mode, /*rtsHighToSend=*/true, /*turnaroundMs=*/16);
}

void Type1Link::talk(int count) {
    checkNotLost();
    if (count > 0) checkSendRoom(count + 1);
    const uint8_t sum = checksum(sendBuffer(), count);
    clearCommError();
    sendBuffer()[count] = sum;
    sendFrame(count + 1);
    platform::sleepMs(200);
    // The interface echoes what was sent: drop it.
    purgeComm();
    setMode(0);
}

void Type1Link::listen(int count) {
    checkReceiveRoom(count);
    checkNotLost();
    if (commMode_ != 0) setMode(0);
    uint8_t* buf = receiveBuffer();
    const long got = port().read(buf, static_cast<size_t>(count));
    if (got < 0) {
        checkLost("Read");
        throw CommError(ErrorCode::ReadFailed, "Listen: Serial Port Read");
    }
    if (got == 0) throw CommError(ErrorCode::TimedOut, "Listen: Serial Port Timed Out");
    long total = got;
    if (total < count) {
        // One more read for the rest, directly behind the first part.
        const long more = port().read(buf + total, static_cast<size_t>(count - total));
        if (more < 0) {
            checkLost("Read");
            throw CommError(ErrorCode::ReadFailed, "Listen: Partial Data Read");
        }
        total += more;
    }
    if (total != count) throw CommError(ErrorCode::TimedOut, "Listen: Partial Read Time Out ");
    if (verifyChecksum(buf, count - 1) != 0)
        throw CommError(ErrorCode::Checksum, "Listen: Bad Checksum ");
}

void Type1Link::communicate(int sendCount, int receiveCount) {
    talk(sendCount);
    listen(receiveCount);
}

void Type1Link::readFailed() {
    checkLost("Read");
    throw CommError(ErrorCode::ReadFailed);
}

int Type1Link::readPacket(uint8_t* destination, size_t capacity, bool allowEmpty) {
    if (destination == nullptr || capacity < 2) throw Error(ErrorCode::BufferOverrun);
    checkNotLost();
    if (commMode_ != 0) setMode(0);
    long got = port().read(destination, 2);
    if (got < 0) readFailed();
    if (got == 0) {
        if (allowEmpty) return 0;
        throw CommError(ErrorCode::TimedOut, "TimeOut");
    }
    if (got == 1) {
        const long second = port().read(destination + 1, 1);
        if (second < 0) readFailed();
        if (second == 0) return 0;
    }
    const int length = destination[1];
    const size_t rest = static_cast<size_t>(length) + 1;
    if (capacity < 2 + rest) throw Error(ErrorCode::BufferOverrun);
    const long body = port().read(destination + 2, rest);
    if (body < 0) readFailed();
    if (static_cast<size_t>(body) < rest) throw CommError(ErrorCode::TimedOut, "Partial Read");
    if (verifyChecksum(destination, length + 2) != 0) throw CommError(ErrorCode::Checksum);
    return length;
}

}  // namespace talvek
