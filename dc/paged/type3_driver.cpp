#include "dc/paged/type3_driver.h"

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
    "Device_Type3::Read() Bad Read Command",
    "Device_Type3::Read() Memory Overrun Last Address = 0x%X",
    "Device_Type3::Read() User Cancel Detected",
    "Device_Type3::Write() User Cancel Detected",
    "Device_Type3::Read() Large Read",
};

}  // namespace

Type3DriverBase::Type3DriverBase(const char* portName, const CancelFlag* cancel,
                                 platform::SerialOpener& ports)
    : Driver(FamilyCode, MemoryTop, cancel), Type3Link(portName, cancel, ports, 3) {}

Type3DriverBase::~Type3DriverBase() = default;

void Type3DriverBase::BlockRead(uint32_t address, int count, uint8_t* destination) {
    platform::sleepMs(500);
    paged::readFrame(sendBuffer(), address, count);
    try {
        communicate(6, count + 7);
    } catch (...) {
        trace::write(trace::Error, "Device_TypeC2V2::Read(): Exception Raised");
        trace::write(trace::Detail, "Device_TypeC2V2::Read(): %d bytes at address 0x%x", count,
                     address);
        throw;
    }
    if (destination) std::memcpy(destination, receiveBuffer() + 6, static_cast<size_t>(count));
}

void Type3DriverBase::BlockWrite(uint32_t address, int count, const uint8_t* source) {
    const int frame = paged::writeFrame(sendBuffer(), address, count, source);
    try {
        communicate(frame, 7);
    } catch (...) {
        trace::write(trace::Error, "Device_TypeC2V2::Write(): Exception Raised");
        trace::write(trace::Detail, "Device_TypeC2V2::Write():  %u bytes at address %u",
                     static_cast<unsigned>(count), address);
        throw;
    }
}

int Type3DriverBase::read(uint32_t address, int count, uint8_t* destination, bool countProgress) {
    return paged::read(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); }, address,
        count, destination, countProgress);
}

int Type3DriverBase::write(uint32_t address, int count, const uint8_t* source, bool countProgress) {
    return paged::write(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); },
        [this](uint32_t a, int n, const uint8_t* s) { BlockWrite(a, n, s); }, address, count,
        source, countProgress);
}

int Type3DriverBase::command(int sendCount, const uint8_t* sendBytes, int replyCount,
                             uint8_t* destination) {
    return paged::command(*this, sendCount, sendBytes, replyCount, destination);
}

void Type3DriverBase::readIdentity() {
    trace::write(trace::Detail, "Header Fetch");
    uint8_t frame[3];
    paged::identityFrame(frame);
    try {
        command(3, frame, paged::IdentityReply, nullptr);
    } catch (...) {
        paged::storeIdentity(header_, nullptr);
        trace::write(trace::Error, "Device_TypeC2V2::getheader(): Exception Caught");
        throw;
    }
    paged::storeIdentity(header_, receiveBuffer());
    trace::write(trace::Detail, "Device_TypeC2V2::Device ID = %x", header_[paged::ImageModel]);
    paged::readMemoryMapAfterIdentity(*this);
}

void Type3DriverBase::open(int attempts) {
    paged::detect(
        *this, attempts, [this] { readIdentity(); }, "Device_Type3::Open() User Cancel Detected",
        "Device Type3 Not Found");
    prepare();
}

Type3Driver::Type3Driver(const char* portName, const CancelFlag* cancel,
                         platform::SerialOpener& ports)
    : paged::PagedDriver<Type3DriverBase>(portName, cancel, ports) {}

Type3Driver::~Type3Driver() = default;

}  // namespace talvek
