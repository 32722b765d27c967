#include "device/device_comm.h"

#include <string>

#include "device/errors.h"
#include "platform/os.h"
#include "trace/trace.h"

namespace sAPI {

namespace {

constexpr uint32_t WriteTimeoutConstant = 1000;

}  // namespace

Device_Comm::Device_Comm(const wchar_t* portName, uint32_t baudRate, uint8_t dtrControl,
                         bool abortOnError, uint8_t parity, uint32_t readTimeoutConstant,
                         size_t sendBufferSize, size_t receiveBufferSize,
                         const CancelFlag* cancelFlag, int32_t retryBudget)
    : commCancel_(cancelFlag),
      commRetries_(retryBudget),
      commSend_(new uint8_t[sendBufferSize]()),
      commReceive_(new uint8_t[receiveBufferSize]()),
      commSendSize_(sendBufferSize),
      commReceiveSize_(receiveBufferSize) {
    if (portName == nullptr || portName[0] == L'\0') {
        Trace::Write(Trace::Error, "Device_Comm::Create() Unable To Open Port <No Port Specified>");
        throw CriticalError(22);
    }

    int error = 0;
    commPort_ = platform::openSerialPort(portName, error);
    if (!commPort_) {
        // The errno tells a busy port from one that is not there or not ours.
        Trace::Write(Trace::Error,
                     "Device_Comm::Create() Unable To Open Port <Port Busy or Not Present> "
                     "(%d: %s)",
                     error, platform::errorText(error).c_str());
        throw CommError(12, L"Comm Port Not Found");
    }

    if (!commPort_->saveState()) {
        commPort_->close();
        Trace::Write(Trace::Error, "Device_Comm::Create() Can't Get Comm state or timeouts");
        throw CommError(12, L"Invalid Port Specified");
    }
    Trace::Write(Trace::Detail, "Device_Comm::Create() Port Opened (%d)", commPort_->id());

    commSettings_.baud = baudRate;
    commSettings_.oddParity = parity == 1;
    commSettings_.dtrEnable = dtrControl != 0;
    commSettings_.abortOnError = abortOnError;
    commSettings_.readTimeoutMs = readTimeoutConstant;
    commSettings_.writeTimeoutMs = WriteTimeoutConstant;
    if (!commPort_->applySettings(commSettings_))
        FailCreate("Device_Comm::Create() Can't Set Comm state", false);

    if (!commPort_->applyTimeouts(readTimeoutConstant, WriteTimeoutConstant))
        FailCreate("Device_Comm::Create() Can't Set New Timeouts", true);

    // The event mask, queue sizes and error state have nothing to set here.
    commEventMask_ = 4;

    commOpen_ = true;
    try {
        SetDTR(true);
    } catch (...) {
        // The destructor will not run for a half-built object: release the
        // port and its settings here.
        Close();
        throw;
    }
}

void Device_Comm::FailCreate(const char* trace, bool restoreSettings) {
    if (restoreSettings) commPort_->restoreState();
    Trace::Write(Trace::Error, "%s", trace);
    commPort_->close();
    throw CriticalError(L"Error Setting Comm Port");
}

Device_Comm::~Device_Comm() {
    Trace::Write(Trace::Detail, "Device_Comm::Destroy()");
    commSend_.reset();
    commReceive_.reset();
    Close();
    commPort_.reset();
}

void Device_Comm::Close() {
    if (!commOpen_) return;
    commPort_->restoreState();
    commPort_->close();
    commOpen_ = false;
}

void Device_Comm::SetRTS(bool on) {
    if (!commPort_->setRTS(on)) throw UnknownError(L"SetRTS", commPort_->lastError());
}

void Device_Comm::SetDTR(bool on) {
    if (!commPort_->setDTR(on)) throw UnknownError(L"SetDTR", commPort_->lastError());
}

uint8_t Device_Comm::Checksum(const uint8_t* bytes, int count) {
    if (count < 1 || bytes == nullptr) throw CriticalError(L"Attempt to checksum Null buffer");
    uint8_t sum = 0;
    for (int i = 0; i < count; ++i) sum ^= bytes[i];
    return sum;
}

int Device_Comm::VerifyChecksum(const uint8_t* bytes, int position) {
    try {
        return static_cast<int>(Checksum(bytes, position)) - static_cast<int>(bytes[position]);
    } catch (...) {
        return -1;
    }
}

void Device_Comm::CheckSendRoom(int frameBytes) const {
    if (frameBytes < 0 || static_cast<size_t>(frameBytes) > commSendSize_) throw Error(5);
}

void Device_Comm::CheckReceiveRoom(int replyBytes) const {
    if (replyBytes < 0 || static_cast<size_t>(replyBytes) > commReceiveSize_) throw Error(5);
}

void Device_Comm::SendFrame(int frameBytes) {
    SetMode(1);
    const long written = commPort_->write(sendBuffer(), static_cast<size_t>(frameBytes));
    if (written < 0) {
        SetMode(0);
        throw CommError(14, L"Talk: Write Serial Port");
    }
    if (!WaitTxEmpty()) {
        SetMode(0);
        throw CommError(18, L"Talk: Write Serial Timed Out");
    }
    if (written != frameBytes) {
        SetMode(0);
        throw CommError(14, L"Talk: Data Send");
    }
}

}  // namespace sAPI
