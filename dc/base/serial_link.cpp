#include "dc/base/serial_link.h"

#include <string>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/serial_ports.h"
#include "trace/trace.h"

namespace talvek {

namespace {

constexpr uint32_t WriteTimeoutConstant = 1000;

}  // namespace

SerialLink::SerialLink(const char* portName, const LinkSettings& settings,
                       const CancelFlag* cancelFlag, platform::SerialOpener& ports)
    : commCancel_(cancelFlag),
      commRetries_(settings.retryBudget),
      commSend_(new uint8_t[settings.bufferSize]()),
      commReceive_(new uint8_t[settings.bufferSize]()),
      commSendSize_(settings.bufferSize),
      commReceiveSize_(settings.bufferSize) {
    if (portName == nullptr || portName[0] == '\0') {
        trace::write(trace::Error, "Device_Comm::Create() Unable To Open Port <No Port Specified>");
        throw CriticalError(ErrorCode::NoPortSpecified);
    }

    commName_ = portName;
    platform::PortError error;
    commPort_ = ports.open(commName_, error);
    if (!commPort_) {
        // The system's reason tells a busy port from one that is not there or not ours.
        trace::write(trace::Error,
                     "Device_Comm::Create() Unable To Open Port <Port Busy or Not Present> "
                     "(%d: %s)",
                     error.number, error.text.c_str());
        std::string advice = platform::portOpenAdvice(commName_, error);
        if (!advice.empty()) trace::write(trace::Error, "Device_Comm::Create() %s", advice.c_str());
        throw CommError(ErrorCode::CantOpenPort, "Comm Port Not Found", std::move(advice));
    }

    if (!commPort_->saveState()) {
        commPort_->close();
        trace::write(trace::Error, "Device_Comm::Create() Can't Get Comm state or timeouts");
        throw CommError(ErrorCode::CantOpenPort, "Invalid Port Specified");
    }
    trace::write(trace::Detail, "Device_Comm::Create() Port Opened (%d)", commPort_->id());

    commSettings_.baud = settings.baudRate;
    commSettings_.oddParity = settings.oddParity;
    commSettings_.dtrEnable = settings.dtrControl;
    commSettings_.abortOnError = settings.abortOnError;
    commSettings_.readTimeoutMs = settings.readTimeoutMs;
    commSettings_.writeTimeoutMs = WriteTimeoutConstant;
    if (!commPort_->applySettings(commSettings_))
        failCreate("Device_Comm::Create() Can't Set Comm state", false);

    if (!commPort_->applyTimeouts(settings.readTimeoutMs, WriteTimeoutConstant))
        failCreate("Device_Comm::Create() Can't Set New Timeouts", true);

    // The transmit wait ends on "output empty"; the queues get the sizes the
    // interfaces have always had.  Systems without either accept both.
    if (!commPort_->prepareTransmitWait())
        failCreate("Device_Comm::Create() Can't Set CommMask", true);
    if (!commPort_->sizeQueues()) failCreate("Device_Comm::Create() Invalid Setup", true);

    commOpen_ = true;
    try {
        setDTR(true);
    } catch (...) {
        // The destructor will not run for a half-built object: release the
        // port and its settings here.
        close();
        throw;
    }
}

void SerialLink::failCreate(const char* trace, bool restoreSettings) {
    if (restoreSettings) commPort_->restoreState();
    trace::write(trace::Error, "%s", trace);
    commPort_->close();
    throw CriticalError("Error Setting Comm Port");
}

SerialLink::~SerialLink() {
    trace::write(trace::Detail, "Device_Comm::Destroy()");
    commSend_.reset();
    commReceive_.reset();
    close();
    commPort_.reset();
}

void SerialLink::close() {
    if (!commOpen_) return;
    commPort_->restoreState();
    commPort_->close();
    commOpen_ = false;
}

void SerialLink::switchLine(int mode, bool rtsHighToSend, uint32_t turnaroundMs) {
    clearCommError();
    if (mode == 0) {
        setRTS(!rtsHighToSend);
    } else if (mode == 1) {
        setRTS(rtsHighToSend);
        platform::sleepMs(turnaroundMs);
    }
    commMode_ = static_cast<uint8_t>(mode);
}

void SerialLink::setRTS(bool on) {
    if (commLost_) return;
    lineDriven(commPort_->setRTS(on), "SetRTS");
}

void SerialLink::setDTR(bool on) {
    if (commLost_) return;
    lineDriven(commPort_->setDTR(on), "SetDTR");
}

bool SerialLink::purgeComm() {
    if (commLost_) return false;
    if (commPort_->purge()) return true;
    checkLost("Purge");
    return false;
}

void SerialLink::checkLost(const char* call) {
    if (commLost_) throw CommError(ErrorCode::PortNotOpen);
    const platform::PortError& why = commPort_->lastError();
    if (why.fault != platform::PortFault::Gone || !commOpen_) return;
    trace::write(trace::Error, "Device_Comm::%s() Comm Port Not Open: %s went away (%d: %s)", call,
                 commName_.c_str(), why.number, why.text.c_str());
    // Nothing is left to restore settings on: let the port go as it is.
    commOpen_ = false;
    commLost_ = true;
    commPort_->close();
    throw CommError(ErrorCode::PortNotOpen);
}

void SerialLink::checkNotLost() const {
    if (commLost_) throw CommError(ErrorCode::PortNotOpen);
}

void SerialLink::lineDriven(platform::LineResult result, const char* what) {
    if (result == platform::LineResult::Failed) {
        checkLost(what);
        throw UnknownError(what, commPort_->lastError().number);
    }
    if (result == platform::LineResult::NoModemLines && !noModemLinesTraced_) {
        noModemLinesTraced_ = true;
        const platform::PortError& why = commPort_->lastError();
        trace::write(trace::Detail,
                     "SerialPort::modemLine() %s has no modem lines (%d: %s), RTS/DTR not driven",
                     commName_.c_str(), why.number, why.text.c_str());
    }
}

void SerialLink::rejectZeroReply(int count) {
    const uint8_t* reply = receiveBuffer();
    for (int i = 0; i < count; ++i)
        if (reply[i] != 0) return;
    trace::write(trace::Debug, "Device_Comm::Listen() Reply of %d Zero Bytes Is No Answer", count);
    throw CommError(ErrorCode::NotDetected);
}

uint8_t SerialLink::checksum(const uint8_t* bytes, int count) {
    if (count < 1 || bytes == nullptr) throw CriticalError("Attempt to checksum Null buffer");
    uint8_t sum = 0;
    for (int i = 0; i < count; ++i) sum ^= bytes[i];
    return sum;
}

int SerialLink::verifyChecksum(const uint8_t* bytes, int position) {
    try {
        return static_cast<int>(checksum(bytes, position)) - static_cast<int>(bytes[position]);
    } catch (...) {
        return -1;
    }
}

void SerialLink::checkSendRoom(int frameBytes) const {
    if (frameBytes < 0 || static_cast<size_t>(frameBytes) > commSendSize_)
        throw Error(ErrorCode::BufferOverrun);
}

void SerialLink::checkReceiveRoom(int replyBytes) const {
    if (replyBytes < 0 || static_cast<size_t>(replyBytes) > commReceiveSize_)
        throw Error(ErrorCode::BufferOverrun);
}

void SerialLink::sendFrame(int frameBytes) {
    setMode(1);
    const long written = commPort_->write(sendBuffer(), static_cast<size_t>(frameBytes));
    if (written < 0) {
        checkLost("Write");
        setMode(0);
        throw CommError(ErrorCode::WriteFailed, "Talk: Write Serial Port");
    }
    if (!waitTxEmpty()) {
        checkLost("Drain");
        setMode(0);
        throw CommError(ErrorCode::TimedOut, "Talk: Write Serial Timed Out");
    }
    if (written != frameBytes) {
        setMode(0);
        throw CommError(ErrorCode::WriteFailed, "Talk: Data Send");
    }
}

}  // namespace talvek
