#include "device/errors.h"

#include <cerrno>
#include <cwchar>

namespace sAPI {

const wchar_t* const ErrorTable[ErrorTableSize] = {
    L"",
    L"Unknown or System Error",
    L"Critical Error",
    L"Runtime Error",
    L"Can't Get Memory",
    L"Buffer Overrun",
    L"Bad Write Parameter",
    L"Bad Read Parameter",
    L"Checksum Error",
    L"Data did not match expected values",
    L"Can't Set Model",
    L"Expected Metric, Imperial or Scientific",
    L"Can't Open Comm Port",
    L"Bad Command Echo",
    L"Error on Write",
    L"Error on Read",
    L"Invalid Sample Rate",
    L"The Interface Was Not Detected",
    L"Device Timed Out",
    L"Stack Underflow",
    L"Stack Overflow",
    L"Comm Port Not Open",
    L"No Comm Port Specified",
    L"Address Out of Range",
    L"Bad Instruction",
    L"Canceled",
};

const wchar_t* ErrorText(int code) noexcept {
    return (code >= 0 && code < ErrorTableSize) ? ErrorTable[code] : ErrorTable[0];
}

UnknownError::UnknownError(const wchar_t* text) noexcept : Error(L"", 1) {
    build(text, errno);
}

UnknownError::UnknownError(const wchar_t* text, int systemError) noexcept : Error(L"", 1) {
    build(text, systemError);
}

void UnknownError::build(const wchar_t* text, int systemError) noexcept {
    int kept = 0;
    if (text) {
        while (kept < 70 && text[kept] != L'\0') {
            text_[kept] = text[kept];
            ++kept;
        }
    }
    text_[kept] = L'\0';
    length_ = kept;
    // At most 29 characters including the terminator after the kept text.
    std::swprintf(text_ + kept, 29, L" : %d", systemError);
    message_ = text_;
}

UnknownError::UnknownError(const UnknownError& other) noexcept : Error(other) {
    int i = 0;
    for (; i < 99 && other.text_[i] != L'\0'; ++i) text_[i] = other.text_[i];
    text_[i] = L'\0';
    length_ = other.length_;
    message_ = text_;
}

UnknownError& UnknownError::operator=(const UnknownError& other) noexcept {
    if (this != &other) {
        Error::operator=(other);
        int i = 0;
        for (; i < 99 && other.text_[i] != L'\0'; ++i) text_[i] = other.text_[i];
        text_[i] = L'\0';
        length_ = other.length_;
        message_ = text_;
    }
    return *this;
}

}  // namespace sAPI
