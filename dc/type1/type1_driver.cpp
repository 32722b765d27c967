#include "dc/type1/type1_driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace talvek {

namespace {

constexpr uint8_t ProbeFrame[] = {0x05, 0x00, 0x1B, 0x1B};  // read 27 bytes at 0x1B
constexpr uint32_t ProbeAddress = 0x1B;
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

Type1Driver::Type1Driver(const char* portName, const CancelFlag* cancel,
                         platform::SerialOpener& ports)
    : Driver(Family, MemoryTop, cancel), Type1Link(portName, cancel, ports) {}

Type1Driver::~Type1Driver() = default;

void Type1Driver::checkRange(uint32_t address, int count) const {
    if (static_cast<uint64_t>(address) + static_cast<uint64_t>(count) >
        static_cast<uint64_t>(memoryTop_) + 1)
        throw MemoryRangeError();
}

int Type1Driver::read(uint32_t address, int count, uint8_t* destination, bool countProgress) {
    if (count < 1 || destination == nullptr) throw BadInstruction(ErrorCode::BadReadParameter);
    checkRange(address, count);
    if (count <= BlockSize) {
        readBlock(address, count, destination, countProgress);
        return count;
    }
    const int blocks = count / BlockSize;
    for (int i = 0; i < blocks; ++i) {
        readBlock(address + i * BlockSize, BlockSize, destination + i * BlockSize, countProgress);
        if (cancelled()) throw UserCancel();
    }
    const int rest = count % BlockSize;
    if (rest > 0)
        readBlock(address + blocks * BlockSize, rest, destination + blocks * BlockSize,
                  countProgress);
    return count;
}

void Type1Driver::readBlock(uint32_t address, int count, uint8_t* destination, bool countProgress) {
    platform::sleepMs(500);
    purgeComm();
    uint8_t* frame = sendBuffer();
    frame[0] = ReadCommand;
    frame[1] = static_cast<uint8_t>(address >> 8);
    frame[2] = static_cast<uint8_t>(address);
    frame[3] = static_cast<uint8_t>(count);
    communicate(4, count + 5);
    capture_.memory(address, receiveBuffer() + ReplyLead, static_cast<size_t>(count));
    std::memcpy(destination, receiveBuffer() + ReplyLead, static_cast<size_t>(count));
    if (countProgress) progress_.advance(count);
}

int Type1Driver::write(uint32_t address, int count, const uint8_t* source, bool countProgress) {
    purgeComm();
    if (count < 1 || source == nullptr) throw BadInstruction(ErrorCode::BadWriteParameter);
    checkRange(address, count);
    platform::sleepMs(666);
    sendBuffer()[0] = WriteEnableCommand;
    sendBuffer()[1] = CommandKey;
    communicate(2, 3);
    if (count <= BlockSize) {
        writeBlock(address, count, source, countProgress);
        return count;
    }
    const int blocks = count / BlockSize;
    for (int i = 0; i < blocks; ++i) {
        writeBlock(address + i * BlockSize, BlockSize, source + i * BlockSize, countProgress);
        if (cancelled()) throw UserCancel();
    }
    const int rest = count % BlockSize;
    if (rest > 0)
        writeBlock(address + blocks * BlockSize, rest, source + blocks * BlockSize, countProgress);
    return count;
}

void Type1Driver::writeBlock(uint32_t address, int count, const uint8_t* source,
                             bool countProgress) {
    platform::sleepMs(500);
    uint8_t* frame = sendBuffer();
    frame[0] = WriteCommand;
    frame[1] = static_cast<uint8_t>(address >> 8);
    frame[2] = static_cast<uint8_t>(address);
    frame[3] = static_cast<uint8_t>(count);
    std::memcpy(frame + 4, source, static_cast<size_t>(count));
    communicate(count + 4, 5);
    if (receiveBuffer()[3] != count)
        throw CommError(ErrorCode::DataMismatch, "Write: Data returned did not match sent");
    purgeComm();
    if (countProgress) progress_.advance(count);
}

int Type1Driver::command(int sendCount, const uint8_t* sendBytes, int replyCount,
                         uint8_t* destination) {
    // The frame and its checksum must fit the send buffer.
    checkSendRoom(sendCount + 1);
    if (sendCount > 0 && sendBytes != nullptr)
        std::memcpy(sendBuffer(), sendBytes, static_cast<size_t>(sendCount));
    communicate(sendCount, replyCount);
    if (replyCount > 0 && destination != nullptr) {
        // Never copy past the end of the receive buffer.
        const size_t room = receiveBufferSize() - ReplyLead;
        const size_t n = std::min(static_cast<size_t>(replyCount), room);
        std::memcpy(destination, receiveBuffer() + ReplyLead, n);
    }
    return replyCount;
}

void Type1Driver::open(int attempts) {
    detect(attempts);
    prepare();
}

void Type1Driver::detect(int attempts) {
    std::memcpy(sendBuffer(), ProbeFrame, sizeof ProbeFrame);
    progress_.reset(attempts);
    progress_.advance(attempts);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (cancelled()) throw UserCancel();
        try {
            communicate(sizeof ProbeFrame, ProbeReply);
            rejectZeroReply(ProbeReply);
            capture_.memory(ProbeAddress, receiveBuffer() + ReplyLead,
                            static_cast<size_t>(ProbeReply - 5));
            showStatus("Comm Opened Successfully!");
            progress_.setCurrent(0);
            deviceFound(1);
            return;
        } catch (const Error&) {
            // A port that went away answers no later probe either.
            if (portLost()) throw;
            // No answer yet: the next probe follows at once.
            progress_.advance(-1);
        }
    }
    showStatus("Comm Open Failure!");
    deviceFound(0);
    progress_.setCurrent(0);
    throw DeviceNotPresent("Device Type1 Not Found");
}

void Type1Driver::prepare() {
    firstDive_ = true;
    streamed_ = 0;
    clearDives();
}

void Type1Driver::readHeader() {
    uint8_t block[32];
    progress_.reset(75);

    read(0x1E, 14, block, true);
    progress_.advance(14);
    std::memcpy(header_ + 0x22, block, 14);
    if (cancelled()) throw UserCancel();

    read(0x2C, 32, block, false);
    progress_.advance(32);
    std::memcpy(header_ + 0x30, block, 32);
    if (cancelled()) throw UserCancel();

    read(0x53, 29, block, false);
    progress_.advance(29);
    std::memcpy(header_ + 0x62, block, 9);
    std::memcpy(header_ + 0x6C, block + 9, 20);
    // The settings read ends at 0x7F; nothing of this type belongs at 0x80.
    header_[0x80] = 0;

    for (int offset : SwappedWords) std::swap(header_[offset], header_[offset + 1]);
}

bool Type1Driver::downloadDive() {
    // The computer said so already: asking again would only wait for a
    // packet that never comes.
    if (endOfDives_) return false;
    currentDive_.reset(new DiveRecord());
    bool result;
    try {
        if (firstDive_) {
            progress_.reset(DiveProgressTotal);
            firstDive_ = false;
            result = getDiveData(FirstDiveCommand);
        } else {
            result = getDiveData(NextDiveCommand);
        }
    } catch (const BadDiveFormat&) {
        trace::write(trace::Error, "Device_Type1::DownloadDive(): Bad Dive Format! Ignoring Dive");
        skipDive();
        return true;
    }
    if (result) {
        RawDive raw;
        raw.data = stream_;
        keepDive(currentDive_, std::move(raw));
    }
    return result;
}

bool Type1Driver::getDiveData(uint8_t command) {
    platform::sleepMs(666);
    collectPackets(command);
    if (endOfDives_) return false;
    parseDive(*currentDive_);
    return true;
}

void Type1Driver::collectPackets(uint8_t command) {
    stack_.reset();
    sendBuffer()[0] = command;
    sendBuffer()[1] = CommandKey;
    try {
        talk(2);
    } catch (const Error& e) {
        trace::write(trace::Error, "GetDiveData():: Exception thrown (1) - %s ", e.what());
        throw;
    }
    stack_.push(StackSentinel);
    stream_.clear();
    bool first = true;
    while (!cancelled()) {
        int length;
        try {
            length = readPacket(packet_, sizeof packet_, !first);
        } catch (const Error& e) {
            trace::write(trace::Error, "GetDataPackage():: Exception thrown (2) - %s", e.what());
            throw;
        }
        if (length == 0) {
            if (first) {
                trace::write(trace::Info, "End of Dives Found");
                endOfDives_ = true;
            } else {
                capture_.stream(stream_);
            }
            return;
        }
        streamed_ += static_cast<uint32_t>(length);
        if (streamed_ > StreamsTotal) {
            trace::write(trace::Error,
                         "GetDiveData():: Dives Stream More Than The Memory Holds (%u of %u bytes)",
                         streamed_, StreamsTotal);
            throw StreamOverrun();
        }
        progress_.advance(length);
        for (int i = 0; i < length; ++i) stack_.push(packet_[2 + i]);
        stream_.insert(stream_.end(), packet_ + 2, packet_ + 2 + length);
        if (length < FullPacket) {
            capture_.stream(stream_);
            return;
        }
        first = false;
    }
    throw UserCancel();
}

void Type1Driver::parseDive(DiveRecord& dive) {
    std::vector<uint8_t> profile;
    try {
        dive.surfaceIntervalMinutes = stack_.pop();
        dive.surfaceIntervalHours = stack_.pop();
        dive.diveNumber = stack_.pop();
        dive.sampleInterval = stack_.pop();
        dive.personalAltitude = stack_.pop();
        dive.startCylinderPressure = static_cast<uint8_t>((stack_.pop() >> 1) & 0x7F);
        dive.oxygen1 = stack_.pop();
        dive.oxygenFraction = stack_.pop();
        dive.startTemperature = stack_.pop();
        dive.year = stack_.pop();
        dive.month = stack_.pop();
        dive.day = stack_.pop();
        dive.hour = stack_.pop();
        dive.minute = stack_.pop();

        profile.reserve(stack_.count() + 2);
        for (;;) {
            const uint8_t b = stack_.pop();
            if (b == EndOfDiveMarker) break;
            if (b == StackSentinel) {
                trace::write(trace::Error,
                             "ParceDive: End of Profile reached - No EOD Marker Found");
                throw BadDiveFormat();
            }
            profile.push_back(b);
        }

        dive.maxDepthTemperature = stack_.pop();
        dive.endTemperature = stack_.pop();
        dive.endCylinderPressure = static_cast<uint8_t>((stack_.pop() >> 1) & 0x7F);
        dive.cnsOtu = stack_.pop();
    } catch (const StackEmpty&) {
        throw BadDiveFormat();
    }
    dive.setProfile(profile.data(), static_cast<uint32_t>(profile.size()));
    if (dive.oxygen1 == 0) {
        dive.oxygen1 = 21;
        dive.oxygen2 = 0;
        dive.oxygen3 = 0;
        dive.diveMode = 0;
    } else {
        dive.diveMode = 1;
    }
}

}  // namespace talvek
