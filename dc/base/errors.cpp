#include "dc/base/errors.h"

#include <algorithm>
#include <cerrno>

namespace talvek {

const char* const ErrorTable[ErrorTableSize] = {
    "",
    "Unknown or System Error",
    "Critical Error",
    "Runtime Error",
    "Can't Get Memory",
    "Buffer Overrun",
    "Bad Write Parameter",
    "Bad Read Parameter",
    "Checksum Error",
    "Data did not match expected values",
    "Can't Set Model",
    "Expected Metric, Imperial or Scientific",
    "Can't Open Comm Port",
    "Bad Command Echo",
    "Error on Write",
    "Error on Read",
    "Invalid Sample Rate",
    "The Interface Was Not Detected",
    "Device Timed Out",
    "Stack Underflow",
    "Stack Overflow",
    "Comm Port Not Open",
    "No Comm Port Specified",
    "Address Out of Range",
    "Bad Instruction",
    "Canceled",
};

const char* errorText(int code) noexcept {
    return (code >= 0 && code < ErrorTableSize) ? ErrorTable[code] : ErrorTable[0];
}

const char* errorText(ErrorCode code) noexcept {
    return errorText(static_cast<int>(code));
}

namespace {

// The caller's text is cut at 70 characters, as the fixed message buffer of
// the original exception held.
int keptLength(const std::string& text) {
    return static_cast<int>(std::min<size_t>(text.size(), 70));
}

}  // namespace

UnknownError::UnknownError(const std::string& text) : UnknownError(text, errno) {}

UnknownError::UnknownError(const std::string& text, int systemError)
    : UnknownError(text, systemError, keptLength(text)) {}

UnknownError::UnknownError(const std::string& text, int systemError, int kept)
    : Error(text.substr(0, static_cast<size_t>(kept)) + " : " + std::to_string(systemError), 1),
      length_(kept) {}

}  // namespace talvek
