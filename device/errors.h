#pragma once
// Error codes and the exception family of the device, download and generator
// layers.  Every exception carries a wide message and an integer code; the
// worker shows the message and ends the process with the code.
#include <cstdint>

namespace w_std {

class exception {
public:
    explicit exception(const wchar_t* message = L"") noexcept : message_(message) {}
    exception(const exception&) noexcept = default;
    exception& operator=(const exception&) noexcept = default;
    virtual ~exception() = default;
    virtual const wchar_t* what() const noexcept { return message_; }

protected:
    const wchar_t* message_;
};

class runtime_error : public exception {
public:
    explicit runtime_error(const wchar_t* message) noexcept : exception(message) {}
};

}  // namespace w_std

namespace sAPI {

// Error-code table: row n is the message of code n.
constexpr int ErrorTableSize = 26;
extern const wchar_t* const ErrorTable[ErrorTableSize];
// Row `code` of the table, or the empty text for a code outside it.
const wchar_t* ErrorText(int code) noexcept;

class Error : public w_std::runtime_error {
public:
    Error(const wchar_t* message, int code) noexcept : runtime_error(message), code_(code) {}
    explicit Error(int code) noexcept : runtime_error(ErrorText(code)), code_(code) {}
    explicit Error(const wchar_t* message) noexcept : runtime_error(message), code_(3) {}
    int code() const noexcept { return code_; }

private:
    int32_t code_;
};

class CriticalError : public Error {
public:
    explicit CriticalError(int index) noexcept : Error(ErrorText(index), 2) {}
    explicit CriticalError(const wchar_t* message) noexcept : Error(message, 2) {}
};

class CommError : public Error {
public:
    CommError(int code, const wchar_t* message) noexcept : Error(message, code) {}
    explicit CommError(int code) noexcept : Error(code) {}
};

// Code 1; the message is the caller's text (at most 70 characters) followed by
// " : " and the system error number captured at construction.
class UnknownError : public Error {
public:
    explicit UnknownError(const wchar_t* text) noexcept;
    UnknownError(const wchar_t* text, int systemError) noexcept;
    UnknownError(const UnknownError& other) noexcept;
    UnknownError& operator=(const UnknownError& other) noexcept;
    int length() const noexcept { return length_; }

private:
    void build(const wchar_t* text, int systemError) noexcept;
    wchar_t text_[100];
    int32_t length_ = 0;
};

class StackError : public Error {
public:
    explicit StackError(int code) noexcept : Error(code) {}
};

class StackEmpty : public StackError {
public:
    StackEmpty() noexcept : StackError(19) {}
};

class User_Cancel : public Error {
public:
    User_Cancel() noexcept : Error(ErrorTable[25], 9999) {}
};

class Device_Not_Present : public Error {
public:
    explicit Device_Not_Present(const wchar_t* message) noexcept : Error(message, 17) {}
};

class BadDiveFormat : public Error {
public:
    BadDiveFormat() noexcept : Error(L"Bad Format Returned", 3) {}
};

class MemoryRangeError : public Error {
public:
    MemoryRangeError() noexcept : Error(23) {}
};

class BadInstruction : public Error {
public:
    explicit BadInstruction(int code) noexcept : Error(code) {}
};

}  // namespace sAPI
