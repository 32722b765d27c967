#include "dc/paged/paged_link.h"

#include "dc/paged/type2_link.h"
#include "dc/paged/type3_link.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace talvek {

namespace {

// A frame sent without echo is given this long on the line before Listen.
constexpr uint32_t SettleAfterSendMs = 10;
constexpr uint32_t RetryPauseMs = 100;

[[noreturn]] void raise(const LinkFailure& failure) {
    if (failure.trace) trace::write(failure.traceLevel, "%s", failure.trace);
    if (failure.message) throw CommError(failure.code, failure.message);
    throw CommError(failure.code);
}

}  // namespace

template <class Traits>
PagedLink<Traits>::PagedLink(const char* portName, const CancelFlag* cancelFlag,
                             platform::SerialOpener& ports, int32_t retryBudget)
    : SerialLink(portName,
                 LinkSettings{.baudRate = BaudRate,
                              .dtrControl = Traits::DtrControl,
                              .abortOnError = Traits::AbortOnError,
                              .oddParity = false,
                              .readTimeoutMs = Traits::ReadTimeoutMs,
                              .bufferSize = BufferSize,
                              .retryBudget = retryBudget},
                 cancelFlag, ports) {}

template <class Traits>
void PagedLink<Traits>::setMode(int mode) {
    switchLine(mode, Traits::RtsHighToSend, Traits::TurnaroundMs);
}

template <class Traits>
void PagedLink<Traits>::talk(int count) {
    if (count == 0) return;
    checkNotLost();
    checkSendRoom(count + 1);
    if constexpr (Traits::Echoes) checkReceiveRoom(count + 1);
    const uint8_t sum = checksum(sendBuffer(), count);
    if constexpr (Traits::Echoes) {
        if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
    }
    clearCommError();
    sendBuffer()[count] = sum;
    const int frame = count + 1;
    if constexpr (Traits::Echoes) {
        setMode(1);
        if (port().write(sendBuffer(), static_cast<size_t>(frame)) < 0) {
            checkLost("Write");
            setMode(0);
            throw CommError(ErrorCode::WriteFailed);
        }
        // Neither the count nor the bytes of the echo are examined: only the
        // reply decides.
        if (port().read(receiveBuffer(), static_cast<size_t>(frame)) < 0) {
            checkLost("Read");
            setMode(0);
            throw CommError(ErrorCode::NotDetected);
        }
    } else {
        sendFrame(frame);
        // The line stays in transmit mode until Listen.
        platform::sleepMs(SettleAfterSendMs);
    }
}

template <class Traits>
void PagedLink<Traits>::listen(int count) {
    if (count == 0) return;
    checkReceiveRoom(count);
    if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
    if (commMode_ != 0) setMode(0);
    const long got = port().read(receiveBuffer(), static_cast<size_t>(count));
    if (got < 0) {
        checkLost("Read");
        if constexpr (Traits::ReceiveAfterFailedRead) {
            // A closed port has no lines to switch back.
            if (!portOpen()) throw CommError(ErrorCode::PortNotOpen);
            setMode(0);
        }
        raise(Traits::ReadFailed);
    }
    if (got == 0) raise(Traits::NoReply);
    if (got != count) {
        trace::write(trace::Debug, Traits::PartialReadTrace, static_cast<int>(got), count);
        throw CommError(ErrorCode::ReadFailed, "Listen: Partial Data Read");
    }
    if (verifyChecksum(receiveBuffer(), count - 1) != 0) raise(Traits::BadChecksum);
}

template <class Traits>
void PagedLink<Traits>::communicate(int sendCount, int receiveCount) {
    int32_t retries = retryBudget();
    for (;;) {
        try {
            if (commCancelled()) throw UserCancel();
            if (sendCount != 0) talk(sendCount);
            // Without this check a cancel during Talk still lets this
            // attempt's Listen run.
            if constexpr (Traits::CancelCheckBeforeListen) {
                if (commCancelled()) throw UserCancel();
            }
            if (receiveCount != 0) listen(receiveCount);
            return;
        } catch (const Error& e) {
            trace::write(trace::Error, Traits::ErrorTrace, static_cast<unsigned>(e.code()));
            // A device that has gone away does not come back for a retry.
            if (retries <= 0 || portLost()) throw;
            --retries;
            if (commCancelled()) throw UserCancel();
            if constexpr (Traits::RetryTrace != nullptr)
                trace::write(trace::Error, "%s", Traits::RetryTrace);
            platform::sleepMs(RetryPauseMs);
        }
    }
}

template class PagedLink<Type2LinkTraits>;
template class PagedLink<Type3LinkTraits>;

}  // namespace talvek
