#include "dc/paged/type2_driver.h"

#include <algorithm>
#include <cstring>

#include "dc/base/errors.h"
#include "dc/paged/paged_memory.h"
#include "dc/ring/ring_walker.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace talvek {

namespace {

const paged::Texts kTexts{
    "Device_Type2::Read() Bad Read Command",
    "Device_Type2::Read() Memory Overrun Last Address = 0x%X",
    "Device_Type2::Read() User Cancel Detected",
    "Device_Type2::Write() User Cancel Detected",
    nullptr,
};

}  // namespace

Type2DriverBase::Type2DriverBase(const char* portName, const CancelFlag* cancel,
                                 platform::SerialOpener& ports)
    : Driver(FamilyCode, MemoryTop, cancel), Type2Link(portName, cancel, ports, 3) {}

Type2DriverBase::~Type2DriverBase() = default;

void Type2DriverBase::BlockRead(uint32_t address, int count, uint8_t* destination) {
    platform::sleepMs(500);
    paged::readFrame(sendBuffer(), address, count);
    try {
        communicate(6, count + 7);
    } catch (...) {
        trace::write(trace::Error, "Device_TypeD::Read(): Exception Raised");
        throw;
    }
    if (destination) std::memcpy(destination, receiveBuffer() + 6, static_cast<size_t>(count));
}

void Type2DriverBase::BlockWrite(uint32_t address, int count, const uint8_t* source) {
    const int frame = paged::writeFrame(sendBuffer(), address, count, source);
    try {
        communicate(frame, 7);
    } catch (...) {
        trace::write(trace::Error, "Device_TypeD::Write(): Exception Raised");
        throw;
    }
}

int Type2DriverBase::read(uint32_t address, int count, uint8_t* destination, bool countProgress) {
    return paged::read(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); }, address,
        count, destination, countProgress);
}

int Type2DriverBase::write(uint32_t address, int count, const uint8_t* source, bool countProgress) {
    return paged::write(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); },
        [this](uint32_t a, int n, const uint8_t* s) { BlockWrite(a, n, s); }, address, count,
        source, countProgress);
}

int Type2DriverBase::command(int sendCount, const uint8_t* sendBytes, int replyCount,
                             uint8_t* destination) {
    return paged::command(*this, sendCount, sendBytes, replyCount, destination);
}

void Type2DriverBase::readIdentity() {
    uint8_t frame[3];
    paged::identityFrame(frame);
    try {
        command(3, frame, paged::IdentityReply, nullptr);
    } catch (...) {
        paged::storeIdentity(header_, nullptr);
        trace::write(trace::Detail, "Device_TypeD::getheader(): Exception Caught");
        platform::sleepMs(500);
        throw;
    }
    paged::storeIdentity(header_, receiveBuffer());
    paged::readMemoryMapAfterIdentity(*this);
}

void Type2DriverBase::open(int attempts) {
    paged::detect(
        *this, attempts, [this] { readIdentity(); }, "Device_Type2::Open() User Cancel Detected",
        "Device Type2 Not Found");
    prepare();
}

Type2Driver::Type2Driver(const char* portName, const CancelFlag* cancel,
                         platform::SerialOpener& ports)
    : paged::PagedDriver<Type2DriverBase>(portName, cancel, ports) {}

Type2Driver::~Type2Driver() = default;

}  // namespace talvek
