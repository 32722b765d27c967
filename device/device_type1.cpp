#include "device/device_type1.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dcdml/dcdml_document.h"
#include "device/errors.h"
#include "generate/generater_t1.h"
#include "generate/generater_t2_d1.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace sAPI {

namespace {

constexpr uint8_t ProbeFrame[] = {0x05, 0x00, 0x1B, 0x1B};  // read 27 bytes at 0x1B
constexpr int ProbeReply = 32;
constexpr uint8_t ReadCommand = 0x05;
constexpr uint8_t WriteCommand = 0x06;
constexpr uint8_t WriteEnableCommand = 0x07;
constexpr uint8_t FirstDiveCommand = 0x08;
constexpr uint8_t NextDiveCommand = 0x09;
constexpr uint8_t CommandKey = 0xA5;
// Reply bytes ahead of the data of a read.
constexpr int ReplyLead = 4;

// Header words the computer keeps big-endian.
constexpr int SwappedWords[] = {0x22, 0x24, 0x26, 0x6C, 0x6E, 0x76, 0x78};

}  // namespace

// --- Device_Type1_Control -------------------------------------------------

Device_Type1_Control::Device_Type1_Control(const wchar_t* portName, const CancelFlag* cancel)
    : Device(FamilyCode, MemoryTop, cancel), CommModel1(portName, cancel) {}

void Device_Type1_Control::CheckRange(uint32_t address, int count) const {
    if (static_cast<uint64_t>(address) + static_cast<uint64_t>(count) >
        static_cast<uint64_t>(memoryTop_) + 1)
        throw MemoryRangeError();
}

int Device_Type1_Control::Read(uint32_t address, int count, uint8_t* destination,
                               bool countProgress) {
    if (count < 1 || destination == nullptr) throw BadInstruction(7);
    CheckRange(address, count);
    if (count <= BlockSize) {
        ReadBlock(address, count, destination, countProgress);
        return count;
    }
    const int blocks = count / BlockSize;
    for (int i = 0; i < blocks; ++i) {
        ReadBlock(address + i * BlockSize, BlockSize, destination + i * BlockSize, countProgress);
        if (cancelled()) throw User_Cancel();
    }
    const int rest = count % BlockSize;
    if (rest > 0)
        ReadBlock(address + blocks * BlockSize, rest, destination + blocks * BlockSize,
                  countProgress);
    return count;
}

void Device_Type1_Control::ReadBlock(uint32_t address, int count, uint8_t* destination,
                                     bool countProgress) {
    platform::sleepMs(500);
    PurgeComm();
    uint8_t* frame = sendBuffer();
    frame[0] = ReadCommand;
    frame[1] = static_cast<uint8_t>(address >> 8);
    frame[2] = static_cast<uint8_t>(address);
    frame[3] = static_cast<uint8_t>(count);
    Communicate(4, count + 5);
    std::memcpy(destination, receiveBuffer() + ReplyLead, static_cast<size_t>(count));
    if (countProgress) progress_.Advance(count);
}

int Device_Type1_Control::Write(uint32_t address, int count, const uint8_t* source,
                                bool countProgress) {
    PurgeComm();
    if (count < 1 || source == nullptr) throw BadInstruction(6);
    CheckRange(address, count);
    platform::sleepMs(666);
    sendBuffer()[0] = WriteEnableCommand;
    sendBuffer()[1] = CommandKey;
    Communicate(2, 3);
    if (count <= BlockSize) {
        WriteBlock(address, count, source, countProgress);
        return count;
    }
    const int blocks = count / BlockSize;
    for (int i = 0; i < blocks; ++i) {
        WriteBlock(address + i * BlockSize, BlockSize, source + i * BlockSize, countProgress);
        if (cancelled()) throw User_Cancel();
    }
    const int rest = count % BlockSize;
    if (rest > 0)
        WriteBlock(address + blocks * BlockSize, rest, source + blocks * BlockSize, countProgress);
    return count;
}

void Device_Type1_Control::WriteBlock(uint32_t address, int count, const uint8_t* source,
                                      bool countProgress) {
    platform::sleepMs(500);
    uint8_t* frame = sendBuffer();
    frame[0] = WriteCommand;
    frame[1] = static_cast<uint8_t>(address >> 8);
    frame[2] = static_cast<uint8_t>(address);
    frame[3] = static_cast<uint8_t>(count);
    std::memcpy(frame + 4, source, static_cast<size_t>(count));
    Communicate(count + 4, 5);
    if (receiveBuffer()[3] != count) throw CommError(9, L"Write: Data returned did not match sent");
    PurgeComm();
    if (countProgress) progress_.Advance(count);
}

int Device_Type1_Control::Command(int sendCount, const uint8_t* sendBytes, int replyCount,
                                  uint8_t* destination) {
    // The frame and its checksum must fit the send buffer.
    CheckSendRoom(sendCount + 1);
    if (sendCount > 0 && sendBytes != nullptr)
        std::memcpy(sendBuffer(), sendBytes, static_cast<size_t>(sendCount));
    Communicate(sendCount, replyCount);
    if (replyCount > 0 && destination != nullptr) {
        // Never copy past the end of the receive buffer.
        const size_t room = receiveBufferSize() - ReplyLead;
        const size_t n = std::min(static_cast<size_t>(replyCount), room);
        std::memcpy(destination, receiveBuffer() + ReplyLead, n);
    }
    return replyCount;
}

void Device_Type1_Control::Open(int attempts) {
    Detect(attempts);
    Prepare();
}

void Device_Type1_Control::Detect(int attempts) {
    std::memcpy(sendBuffer(), ProbeFrame, sizeof ProbeFrame);
    progress_.Reset(attempts);
    progress_.Advance(attempts);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (cancelled()) throw User_Cancel();
        try {
            Communicate(sizeof ProbeFrame, ProbeReply);
            ShowStatus(L"Comm Opened Successfully!");
            progress_.SetCurrent(0);
            DeviceFound(1);
            return;
        } catch (const w_std::exception&) {
            // No answer yet: the next probe follows at once.
            progress_.Advance(-1);
        }
    }
    ShowStatus(L"Comm Open Failure!");
    DeviceFound(0);
    progress_.SetCurrent(0);
    throw Device_Not_Present(L"Device Type1 Not Found");
}

// --- Device_Type1 ---------------------------------------------------------

Device_Type1::Device_Type1(const wchar_t* portName, const CancelFlag* cancel)
    : Device_Type1_Control(portName, cancel) {}

Device_Type1::~Device_Type1() = default;

void Device_Type1::Prepare() {
    firstDive_ = true;
    dives_.clear();
}

void Device_Type1::ReadHeader() {
    uint8_t block[32];
    progress_.Reset(75);

    Read(0x1E, 14, block, true);
    progress_.Advance(14);
    std::memcpy(header_ + 0x22, block, 14);
    if (cancelled()) throw User_Cancel();

    Read(0x2C, 32, block, false);
    progress_.Advance(32);
    std::memcpy(header_ + 0x30, block, 32);
    if (cancelled()) throw User_Cancel();

    Read(0x53, 29, block, false);
    progress_.Advance(29);
    std::memcpy(header_ + 0x62, block, 9);
    std::memcpy(header_ + 0x6C, block + 9, 20);
    // The settings read ends at 0x7F; nothing of this type belongs at 0x80.
    header_[0x80] = 0;

    for (int offset : SwappedWords) std::swap(header_[offset], header_[offset + 1]);
}

bool Device_Type1::DownloadDive() {
    // The computer said so already: asking again would only wait for a
    // packet that never comes.
    if (endOfDives_) return false;
    currentDive_.reset(new _DIVE_DATA());
    bool result;
    try {
        if (firstDive_) {
            progress_.Reset(DiveProgressTotal);
            firstDive_ = false;
            result = GetDiveData(FirstDiveCommand);
        } else {
            result = GetDiveData(NextDiveCommand);
        }
    } catch (const BadDiveFormat&) {
        Trace::Write(Trace::Error, "Device_Type1::DownloadDive(): Bad Dive Format! Ignoring Dive");
        return true;
    }
    if (result) dives_.push_back(currentDive_);
    return result;
}

bool Device_Type1::GetDiveData(uint8_t command) {
    platform::sleepMs(666);
    CollectPackets(command);
    if (endOfDives_) return false;
    ParceDive(*currentDive_);
    return true;
}

void Device_Type1::CollectPackets(uint8_t command) {
    stack_.Reset();
    sendBuffer()[0] = command;
    sendBuffer()[1] = CommandKey;
    try {
        Talk(2);
    } catch (const Error& e) {
        Trace::Write(Trace::Error, "GetDiveData():: Exception thrown (1) - %s ",
                     Trace::ToNarrow(e.what()).c_str());
        throw;
    }
    stack_.Push(StackSentinel);
    bool first = true;
    while (!cancelled()) {
        int length;
        try {
            length = ReadPacket(packet_, sizeof packet_, !first);
        } catch (const Error& e) {
            Trace::Write(Trace::Error, "GetDataPackage():: Exception thrown (2) - %s",
                         Trace::ToNarrow(e.what()).c_str());
            throw;
        }
        if (length == 0) {
            if (first) {
                Trace::Write(Trace::Info, "End of Dives Found");
                endOfDives_ = true;
            }
            return;
        }
        progress_.Advance(length);
        for (int i = 0; i < length; ++i) stack_.Push(packet_[2 + i]);
        if (length < FullPacket) return;
        first = false;
    }
    throw User_Cancel();
}

void Device_Type1::ParceDive(_DIVE_DATA& dive) {
    std::vector<uint8_t> profile;
    try {
        dive.surfaceIntervalMinutes = stack_.Pop();
        dive.surfaceIntervalHours = stack_.Pop();
        dive.diveNumber = stack_.Pop();
        dive.sampleInterval = stack_.Pop();
        dive.personalAltitude = stack_.Pop();
        dive.gasPressure1 = static_cast<uint8_t>((stack_.Pop() >> 1) & 0x7F);
        dive.oxygen1 = stack_.Pop();
        dive.fixedByte = stack_.Pop();
        dive.type1Byte = stack_.Pop();
        dive.year = stack_.Pop();
        dive.month = stack_.Pop();
        dive.day = stack_.Pop();
        dive.hour = stack_.Pop();
        dive.minute = stack_.Pop();

        profile.reserve(stack_.Count() + 2);
        for (;;) {
            const uint8_t b = stack_.Pop();
            if (b == EndOfDiveMarker) break;
            if (b == StackSentinel) {
                Trace::Write(Trace::Error,
                             "ParceDive: End of Profile reached - No EOD Marker Found");
                throw BadDiveFormat();
            }
            profile.push_back(b);
        }

        dive.type1Bytes[0] = stack_.Pop();
        dive.type1Bytes[1] = stack_.Pop();
        dive.gasPressure2 = static_cast<uint8_t>((stack_.Pop() >> 1) & 0x7F);
        dive.cnsOtu = stack_.Pop();
    } catch (const StackEmpty&) {
        throw BadDiveFormat();
    }
    dive.SetProfile(profile.data(), static_cast<uint32_t>(profile.size()));
    if (dive.oxygen1 == 0) {
        dive.oxygen1 = 21;
        dive.oxygen2 = 0;
        dive.oxygen3 = 0;
        dive.diveMode = 0;
    } else {
        dive.diveMode = 1;
    }
}

void Device_Type1::MakeOutput(DCDMLDocument& document, uint32_t flags) {
    generator_.reset();
    switch (flags & 0xE0000) {
        case 0x40000:
            outputUnits_ = 0x40000;
            break;
        case 0x80000:
            outputUnits_ = 0x80000;
            break;
        default:
            outputUnits_ = 0x20000;
            break;
    }
    switch (flags & 0x300) {
        case 0:
        case 0x100:
            generator_.reset(new OutputGeneraterT1D1(header_, &dives_, familyCode_));
            break;
        case 0x200:
            generator_.reset(new OutputGeneraterT2D1(header_, &dives_, familyCode_, outputUnits_));
            break;
        default:
            Trace::Write(Trace::Error,
                         "Device_Type1::MakeOutput(): Requested invalid output Format");
            throw Error(L"Output: format not supported");
    }
    document.SetFlags(DCDMLDocument::Utf8);
    if (flags & 0x1000)
        document.SetFlags(DCDMLDocument::FullEndTags);
    else
        document.ClearFlags(DCDMLDocument::FullEndTags);
    if (flags & 0x2000)
        document.SetFlags(DCDMLDocument::Indent);
    else
        document.ClearFlags(DCDMLDocument::Indent);
    generator_->Make(document);
    generator_.reset();
}

}  // namespace sAPI
