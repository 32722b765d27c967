#include "device/device_typec2v2.h"

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
    "Device_Type3::Read() Bad Read Command",
    "Device_Type3::Read() Memory Overrun Last Address = 0x%X",
    "Device_Type3::Read() User Cancel Detected",
    "Device_Type3::Write() User Cancel Detected",
    "Device_Type3::Read() Large Read",
};

}  // namespace

Device_TypeC2V2_Control::Device_TypeC2V2_Control(const wchar_t* portName, const CancelFlag* cancel)
    : Device(FamilyCode, MemoryTop, cancel), CommModel3(portName, cancel, 3) {}

Device_TypeC2V2_Control::~Device_TypeC2V2_Control() = default;

void Device_TypeC2V2_Control::BlockRead(uint32_t address, int count, uint8_t* destination) {
    platform::sleepMs(500);
    paged::ReadFrame(sendBuffer(), address, count);
    try {
        Communicate(6, count + 7);
    } catch (...) {
        Trace::Write(Trace::Error, "Device_TypeC2V2::Read(): Exception Raised");
        Trace::Write(Trace::Detail, "Device_TypeC2V2::Read(): %d bytes at address 0x%x", count,
                     address);
        throw;
    }
    if (destination) std::memcpy(destination, receiveBuffer() + 6, static_cast<size_t>(count));
}

void Device_TypeC2V2_Control::BlockWrite(uint32_t address, int count, const uint8_t* source) {
    const int frame = paged::WriteFrame(sendBuffer(), address, count, source);
    try {
        Communicate(frame, 7);
    } catch (...) {
        Trace::Write(Trace::Error, "Device_TypeC2V2::Write(): Exception Raised");
        Trace::Write(Trace::Detail, "Device_TypeC2V2::Write():  %u bytes at address %u",
                     static_cast<unsigned>(count), address);
        throw;
    }
}

int Device_TypeC2V2_Control::Read(uint32_t address, int count, uint8_t* destination,
                                  bool countProgress) {
    return paged::Read(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); }, address,
        count, destination, countProgress);
}

int Device_TypeC2V2_Control::Write(uint32_t address, int count, const uint8_t* source,
                                   bool countProgress) {
    return paged::Write(
        *this, kTexts, [this](uint32_t a, int n, uint8_t* d) { BlockRead(a, n, d); },
        [this](uint32_t a, int n, const uint8_t* s) { BlockWrite(a, n, s); }, address, count,
        source, countProgress);
}

int Device_TypeC2V2_Control::Command(int sendCount, const uint8_t* sendBytes, int replyCount,
                                     uint8_t* destination) {
    return paged::Command(*this, sendCount, sendBytes, replyCount, destination);
}

void Device_TypeC2V2_Control::getheader() {
    Trace::Write(Trace::Detail, "Header Fetch");
    uint8_t frame[3];
    paged::IdentityFrame(frame);
    try {
        Command(3, frame, paged::IdentityReply, nullptr);
    } catch (...) {
        paged::StoreIdentity(header_, nullptr);
        Trace::Write(Trace::Error, "Device_TypeC2V2::getheader(): Exception Caught");
        throw;
    }
    paged::StoreIdentity(header_, receiveBuffer());
    Trace::Write(Trace::Detail, "Device_TypeC2V2::Device ID = %x", header_[paged::ImageModel]);
    paged::ReadMemoryMapAfterIdentity(*this);
}

void Device_TypeC2V2_Control::Open(int attempts) {
    paged::Detect(
        *this, attempts, [this] { getheader(); }, "Device_Type3::Open() User Cancel Detected",
        L"Device Type3 Not Found");
    Prepare();
}

std::unique_ptr<OutputGenerater> Device_TypeC2V2_Control::MakeDcdml(const uint8_t* header,
                                                                    DiveList* dives,
                                                                    int32_t familyCode,
                                                                    int32_t units) {
    return std::make_unique<OutputGeneraterT2D3>(header, dives, familyCode, units);
}

Device_TypeC2V2::Device_TypeC2V2(const wchar_t* portName, const CancelFlag* cancel)
    : paged::DiveDriver<Device_TypeC2V2_Control>(portName, cancel) {}

Device_TypeC2V2::~Device_TypeC2V2() = default;

}  // namespace sAPI
