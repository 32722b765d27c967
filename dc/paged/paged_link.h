#pragma once
// The link of the second and third interface generations.  Both send a
// command frame followed by the XOR of its bytes, read a reply of known
// length that ends with the XOR of the bytes before it, and retry a failed
// exchange three times, 100 ms apart.  What differs between them (the echo,
// RTS polarity, read time-out, cancel checks, failure codes and texts) comes
// from `Traits`: Type2LinkTraits and Type3LinkTraits.
#include <cstddef>
#include <cstdint>

#include "dc/base/errors.h"
#include "dc/base/serial_link.h"

namespace talvek {

// How one kind of failed reply is reported: an optional trace line, then
// CommError(code) with `message`, or with the error table's text when
// `message` is null.
struct LinkFailure {
    int traceLevel;
    const char* trace;  // null: no trace line
    ErrorCode code;
    const char* message;
};

template <class Traits>
class PagedLink : public SerialLink {
  public:
    static constexpr uint32_t BaudRate = 9600;
    static constexpr size_t BufferSize = 256;
    static constexpr int32_t DefaultRetries = 3;

    PagedLink(const char* portName, const CancelFlag* cancelFlag,
              platform::SerialOpener& ports = platform::systemSerialOpener(),
              int32_t retryBudget = DefaultRetries);

    void setMode(int mode) override;
    // Sends the frame for the first `count` bytes of the send buffer (and,
    // on an echoing line, reads the echo back).  A count of 0 sends nothing.
    void talk(int count) override;
    // Reads and checks a reply of `count` bytes; 0 reads nothing.
    void listen(int count) override;
    // Talk then Listen, with the cancel checks and retries of the type.
    void communicate(int sendCount, int receiveCount) override;
};

}  // namespace talvek
