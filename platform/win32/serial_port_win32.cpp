#include "platform/win32/serial_port_win32.h"

#include "platform/os.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

void fillDeviceControlBlock(DCB& dcb, const SerialSettings& s) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.baud;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.Parity = s.oddParity ? ODDPARITY : NOPARITY;
    dcb.fBinary = 1;
    dcb.fParity = 0;  // no parity checking, even with odd parity set
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = s.dtrEnable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = s.abortOnError ? 1 : 0;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
}

void fillTimeouts(COMMTIMEOUTS& t, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) {
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = readTimeoutMs;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = writeTimeoutMs;
}

namespace {

// How much sooner than its time-out a read must end to count as one that
// did not wait (the tick count moves in steps of up to 16 ms).
constexpr ULONGLONG EarlyMarginMs = 50;

class Win32SerialPort : public SerialPort {
  public:
    explicit Win32SerialPort(HANDLE h) : handle_(h) {}
    ~Win32SerialPort() override { close(); }

    bool saveState() override {
        if (!usable()) return false;
        saved_ = DCB{};
        saved_.DCBlength = sizeof(DCB);
        if (!GetCommState(handle_, &saved_) || !GetCommTimeouts(handle_, &savedTimeouts_))
            return fail();
        // A port that cannot tell its event mask is restored to none.
        if (!GetCommMask(handle_, &savedMask_)) savedMask_ = 0;
        haveSaved_ = true;
        return true;
    }

    bool applySettings(const SerialSettings& s) override {
        if (!usable()) return false;
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!GetCommState(handle_, &dcb)) return fail();
        fillDeviceControlBlock(dcb, s);
        if (!SetCommState(handle_, &dcb)) return fail();
        return true;
    }

    bool applyTimeouts(uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override {
        if (!usable()) return false;
        COMMTIMEOUTS t{};
        if (!GetCommTimeouts(handle_, &t)) return fail();
        fillTimeouts(t, readTimeoutMs, writeTimeoutMs);
        if (!SetCommTimeouts(handle_, &t)) return fail();
        readTimeoutMs_ = readTimeoutMs;
        return true;
    }

    bool prepareTransmitWait() override {
        if (!usable()) return false;
        return SetCommMask(handle_, TransmitWaitEvents) ? true : fail();
    }

    bool sizeQueues() override {
        if (!usable()) return false;
        return SetupComm(handle_, InQueueBytes, OutQueueBytes) ? true : fail();
    }

    void clearErrors() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(handle_, &errors, &status);
    }

    bool restoreState() override {
        if (!usable()) return false;
        if (!haveSaved_) return fail(ERROR_INVALID_PARAMETER);
        // Each part on its own: one that fails does not keep the others back.
        bool ok = SetCommMask(handle_, savedMask_) != 0;
        ok = SetCommState(handle_, &saved_) != 0 && ok;
        ok = SetCommTimeouts(handle_, &savedTimeouts_) != 0 && ok;
        return ok ? true : fail();
    }

    long read(uint8_t* buf, size_t n) override {
        if (!usable()) return -1;
        DWORD got = 0;
        const ULONGLONG start = GetTickCount64();
        if (!ReadFile(handle_, buf, static_cast<DWORD>(n), &got, nullptr)) return failCount();
        if (got < n && wentAway(GetTickCount64() - start)) return -1;
        return static_cast<long>(got);
    }

    long write(const uint8_t* buf, size_t n) override {
        if (!usable()) return -1;
        DWORD done = 0;
        if (!WriteFile(handle_, buf, static_cast<DWORD>(n), &done, nullptr)) return failCount();
        return static_cast<long>(done);
    }

    bool drain() override {
        if (!usable()) return false;
        // The mask in force is EV_TXEMPTY: this returns once the last byte
        // has left the port.
        DWORD events = 0;
        return WaitCommEvent(handle_, &events, nullptr) ? true : fail();
    }

    bool purge() override {
        if (!usable()) return false;
        return PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR) ? true : fail();
    }

    LineResult setRTS(bool on) override { return modemLine(on ? SETRTS : CLRRTS); }
    LineResult setDTR(bool on) override { return modemLine(on ? SETDTR : CLRDTR); }

    void close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    const PortError& lastError() const override { return lastError_; }
    int id() const override {
        // Diagnostic only; the low 32 bits are what identifies a handle.
        return static_cast<int>(reinterpret_cast<intptr_t>(handle_));
    }

  private:
    // Whether the device went away during a read that came back short.
    // With total time-outs only, a read ends when its bytes are there or its
    // time is up; one that ends sooner did not wait: the device has hung up
    // (Wine on a closed line, a driver whose adapter was pulled).  One that
    // waited its time out may have lost its device meanwhile: the port's
    // state then cannot be read any more.  As on a POSIX line, what came
    // before the hang-up is no answer.
    bool wentAway(ULONGLONG elapsedMs) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_, &errors, &status)) {
            const PortError error = systemPortErrorInUse(static_cast<int>(GetLastError()));
            if (error.fault != PortFault::Gone) return false;
            lastError_ = error;
            return true;
        }
        if (readTimeoutMs_ < 2 * EarlyMarginMs || elapsedMs + EarlyMarginMs >= readTimeoutMs_)
            return false;
        lastError_ = systemPortErrorInUse(ERROR_DEVICE_NOT_CONNECTED);
        return true;
    }

    bool usable() {
        if (handle_ != INVALID_HANDLE_VALUE) return true;
        lastError_ = systemPortError(ERROR_INVALID_HANDLE);
        return false;
    }
    bool fail() { return fail(static_cast<int>(GetLastError())); }
    bool fail(int e) {
        lastError_ = systemPortErrorInUse(e);
        // With abort-on-error set, a framing or overrun error stops every
        // call with "operation aborted" until the error is cleared: that
        // device is still there, and clearing it answers.
        if (e == ERROR_OPERATION_ABORTED) {
            DWORD errors = 0;
            COMSTAT status{};
            if (ClearCommError(handle_, &errors, &status)) lastError_.fault = PortFault::Other;
        }
        return false;
    }
    long failCount() {
        fail();
        return -1;
    }

    LineResult modemLine(DWORD function) {
        if (!usable()) return LineResult::Failed;
        if (EscapeCommFunction(handle_, function)) return LineResult::Driven;
        const DWORD e = GetLastError();
        fail(static_cast<int>(e));
        // A port without the lines (a USB gadget port, or a pseudo-terminal
        // behind Wine) answers "not supported" or "invalid function".
        return (e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION) ? LineResult::NoModemLines
                                                                         : LineResult::Failed;
    }

    HANDLE handle_;
    DCB saved_{};
    COMMTIMEOUTS savedTimeouts_{};
    DWORD savedMask_ = 0;
    bool haveSaved_ = false;
    uint32_t readTimeoutMs_ = 0;
    PortError lastError_;
};

}  // namespace

PortError systemPortError(int number) {
    PortFault fault = PortFault::Other;
    switch (number) {
        case 0:
            fault = PortFault::None;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            fault = PortFault::NotFound;
            break;
        // A port another program holds is refused as "access denied": no
        // user right guards a COM port on Windows.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            fault = PortFault::Busy;
            break;
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_GEN_FAILURE:
        case ERROR_BAD_COMMAND:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
            fault = PortFault::Gone;
            break;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_PARAMETER:
            fault = PortFault::Unsupported;
            break;
        default:
            break;
    }
    return PortError{fault, number, number == 0 ? std::string() : errorText(number)};
}

PortError systemPortErrorInUse(int number) {
    PortError error = systemPortError(number);
    switch (number) {
        // What a call on an open port gets once its device has gone: Wine on
        // a hung-up line (not ready), USB serial drivers after an unplug.
        // None of them has another meaning for a handle already open with
        // read and write access.
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            error.fault = PortFault::Gone;
            break;
        default:
            break;
    }
    return error;
}

std::unique_ptr<SerialPort> openSerialPort(const std::string& name, PortError& error) {
    error = PortError{};
    // No sharing: the port is this program's alone while it is open.
    HANDLE h = CreateFileW(toWide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = systemPortError(static_cast<int>(GetLastError()));
        return nullptr;
    }
    return std::make_unique<Win32SerialPort>(h);
}

}  // namespace platform

}  // namespace talvek
