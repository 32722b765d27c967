#include "device/device_typed.h"

#include <algorithm>
#include <cstring>

#include "device/errors.h"
#include "device/paged_memory.h"
#include "download/dive_downloader.h"
#include "generate/generater_t2_d23.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace sAPI {

namespace {

const paged::Texts kTexts{
    "Device_Type2::Read() Bad Read Command",
    "Device_Type2::Read() Memory Overrun Last Address = 0x%X",
    "Device_Type2::Read() User Cancel Detected",
    "Device_Type2::Write() User Cancel Detected",
    nullptr,
};

}  // namespace

Device_TypeD_Control::Device_TypeD_Control(const wchar_t* portName, const CancelFlag* cancel)
    : Device(FamilyCode, MemoryTop, cancel), CommModel2(portName, cancel, 3) {}

Device_TypeD_Control::~Device_TypeD_Control() = default;

void Device_TypeD_Control::BlockRead(uint32_t address, int count, uint8_t* destination) {
    platform::sleepMs(500);
    paged::ReadFrame(sendBuffer(), address, count);
    try {
        Communicate(6, count + 7);
    } catch (...) {
        Trace::Write(Trace::Error, "Device_TypeD::Read(): Exception Raised");
        throw;
    }
    if (destination) std::memcpy(destination, receiveBuffer() + 6, static_cast<size_t>(count));
}

void Device_TypeD_Control::BlockWrite(uint32_t address, int count, const uint8_t* source) {
    const int frame = paged::WriteFrame(sendBuffer(), address, count, source);
    try {
        Communicate(frame, 7);
    } catch (...) {
        Trace::Write(Trace::Error, "Device_TypeD::Write(): Exception Raised");
        throw;
    }
}

int Device_TypeD_Control::Read(uint32_t address, int count, uint8_t* destination,
                               bool countProgress) {
    return paged::Read(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); }, address,
        count, destination, countProgress);
}

int Device_TypeD_Control::Write(uint32_t address, int count, const uint8_t* source,
                                bool countProgress) {
    return paged::Write(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); },
        [this](uint32_t a, int n, const uint8_t* s) { BlockWrite(a, n, s); }, address, count,
        source, countProgress);
}

int Device_TypeD_Control::Command(int sendCount, const uint8_t* sendBytes, int replyCount,
                                  uint8_t* destination) {
    return paged::Command(*this, sendCount, sendBytes, replyCount, destination);
}

void Device_TypeD_Control::getheader() {
    uint8_t frame[3];
    paged::IdentityFrame(frame);
    try {
        Command(3, frame, paged::IdentityReply, nullptr);
    } catch (...) {
        paged::StoreIdentity(header_, nullptr);
        Trace::Write(Trace::Detail, "Device_TypeD::getheader(): Exception Caught");
        platform::sleepMs(500);
        throw;
    }
    paged::StoreIdentity(header_, receiveBuffer());
    paged::ReadMemoryMapAfterIdentity(*this);
}

void Device_TypeD_Control::Open(int attempts) {
    paged::Detect(
        *this, attempts, [this] { getheader(); }, "Device_Type2::Open() User Cancel Detected",
        L"Device Type2 Not Found");
    Prepare();
}

std::unique_ptr<OutputGenerater> Device_TypeD_Control::MakeDcdml(const uint8_t* header,
                                                                 DiveList* dives,
                                                                 int32_t familyCode,
                                                                 int32_t units) {
    return std::make_unique<OutputGeneraterT2D2>(header, dives, familyCode, units);
}

Device_TypeD::Device_TypeD(const wchar_t* portName, const CancelFlag* cancel)
    : paged::DiveDriver<Device_TypeD_Control>(portName, cancel) {}

Device_TypeD::~Device_TypeD() = default;

}  // namespace sAPI
