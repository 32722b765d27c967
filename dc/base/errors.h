#pragma once
// Error codes and the exception family of the device, download and output
// layers.  Every exception carries a UTF-8 message and an integer result
// code; the session shows the message and ends the process with the code.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace talvek {

// The error table: each code is its row number, the row's text its message.
enum class ErrorCode : int32_t {
    None = 0,
    System = 1,
    Critical = 2,
    Runtime = 3,
    NoMemory = 4,
    BufferOverrun = 5,
    BadWriteParameter = 6,
    BadReadParameter = 7,
    Checksum = 8,
    DataMismatch = 9,
    CantSetModel = 10,
    BadUnitSystem = 11,
    CantOpenPort = 12,
    BadEcho = 13,
    WriteFailed = 14,
    ReadFailed = 15,
    BadSampleRate = 16,
    NotDetected = 17,
    TimedOut = 18,
    StackUnderflow = 19,
    StackOverflow = 20,
    PortNotOpen = 21,
    NoPortSpecified = 22,
    AddressOutOfRange = 23,
    BadInstruction = 24,
    Canceled = 25,
};

constexpr int ErrorTableSize = 26;
extern const char* const ErrorTable[ErrorTableSize];
// The row of `code`, or the empty text for a code outside the table.
const char* errorText(ErrorCode code) noexcept;
const char* errorText(int code) noexcept;

// Result codes that are no row of the table.
constexpr int CancelledCode = 9999;

// Root of the family.  A phase of the download that fails with one that is no
// Error ends with code 666; anything outside the family ends with code 1.
class RuntimeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Error : public RuntimeError {
  public:
    Error(const std::string& message, int code) : RuntimeError(message), code_(code) {}
    explicit Error(ErrorCode code) : Error(errorText(code), static_cast<int>(code)) {}
    explicit Error(const std::string& message) : Error(message, 3) {}
    int code() const noexcept { return code_; }

  private:
    int32_t code_;
};

// Code 2, whatever the message.
class CriticalError : public Error {
  public:
    explicit CriticalError(ErrorCode row) : Error(errorText(row), 2) {}
    explicit CriticalError(const std::string& message) : Error(message, 2) {}
};

class CommError : public Error {
  public:
    // `advice` tells the user what to do about it (empty when nothing).
    CommError(ErrorCode code, const std::string& message, std::string advice = {})
        : Error(message, static_cast<int>(code)), advice_(std::move(advice)) {}
    explicit CommError(ErrorCode code) : Error(code) {}
    const std::string& advice() const noexcept { return advice_; }

  private:
    std::string advice_;
};

// Code 1; the message is the caller's text (at most 70 characters) followed
// by " : " and the system error number (by default errno at construction).
class UnknownError : public Error {
  public:
    explicit UnknownError(const std::string& text);
    UnknownError(const std::string& text, int systemError);
    // Characters kept of the caller's text.
    int length() const noexcept { return length_; }

  private:
    UnknownError(const std::string& text, int systemError, int kept);
    int32_t length_;
};

class StackError : public Error {
  public:
    explicit StackError(ErrorCode code) : Error(code) {}
};

class StackEmpty : public StackError {
  public:
    StackEmpty() : StackError(ErrorCode::StackUnderflow) {}
};

class UserCancel : public Error {
  public:
    UserCancel() : Error(errorText(ErrorCode::Canceled), CancelledCode) {}
};

class DeviceNotPresent : public Error {
  public:
    explicit DeviceNotPresent(const std::string& message)
        : Error(message, static_cast<int>(ErrorCode::NotDetected)) {}
};

class BadDiveFormat : public Error {
  public:
    BadDiveFormat() : Error("Bad Format Returned", 3) {}
};

// A type 1 computer that streams more dive bytes than its memory holds:
// the stream is damaged, and so is the whole download (unlike one dive
// without its marker, which is left out).
class StreamOverrun : public Error {
  public:
    StreamOverrun() : Error("Bad Dive Format", 3) {}
};

class MemoryRangeError : public Error {
  public:
    MemoryRangeError() : Error(ErrorCode::AddressOutOfRange) {}
};

class BadInstruction : public Error {
  public:
    explicit BadInstruction(ErrorCode code) : Error(code) {}
};

}  // namespace talvek
