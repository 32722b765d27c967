#include "dc/paged/paged_driver.h"

#include <algorithm>
#include <cstring>

#include "dc/base/errors.h"
#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace talvek {

namespace {

constexpr int RetryBudget = 3;
constexpr int IdentityReply = 8;
// Reply bytes ahead of the data: the echoed command.
constexpr size_t ReplyLead = 6;
constexpr uint32_t BlockReadPauseMs = 500;
constexpr uint32_t DetectPauseMs = 500;
constexpr uint32_t MemoryMapPauseMs = 100;

void identityFrame(uint8_t* send) {
    send[0] = 0x0F;
    send[1] = 0x00;
    send[2] = 0x00;
}

void readFrame(uint8_t* send, uint32_t address, int count) {
    send[0] = 0x05;
    send[1] = 0x00;
    send[2] = 0x03;
    send[3] = static_cast<uint8_t>(address >> 8);
    send[4] = static_cast<uint8_t>(address & 0xFF);
    send[5] = static_cast<uint8_t>(count);
}

int writeFrame(uint8_t* send, uint32_t address, int count, const uint8_t* source) {
    send[0] = 0x06;
    send[1] = 0x00;
    send[2] = static_cast<uint8_t>(count + 3);
    send[3] = static_cast<uint8_t>(address >> 8);
    send[4] = static_cast<uint8_t>(address & 0xFF);
    send[5] = static_cast<uint8_t>(count);
    std::memcpy(send + 6, source, static_cast<size_t>(count));
    return count + 6;
}

// Model and firmware numbers from identity reply bytes 3..6 into the image;
// no reply (a failed identity read) clears them.
void storeIdentity(uint8_t* image, const uint8_t* reply) {
    image[paged::ImageModel] = reply ? reply[3] : 0;
    image[paged::ImageFirmware1] = reply ? reply[4] : 0;
    image[paged::ImageFirmware2] = reply ? reply[5] : 0;
    image[paged::ImageFirmware3] = reply ? reply[6] : 0;
}

}  // namespace

template <class Traits>
PagedDriver<Traits>::PagedDriver(const char* portName, const CancelFlag* cancel,
                                 platform::SerialOpener& ports)
    : Driver(Traits::Family, Traits::MemoryTop, cancel),
      Link(portName, cancel, ports, RetryBudget) {}

template <class Traits>
PagedDriver<Traits>::~PagedDriver() = default;

template <class Traits>
void PagedDriver<Traits>::blockRead(uint32_t address, int count, uint8_t* destination) {
    platform::sleepMs(BlockReadPauseMs);
    readFrame(this->sendBuffer(), address, count);
    try {
        this->communicate(6, count + 7);
    } catch (...) {
        trace::write(trace::Error, "%s", Traits::BlockReadFailed);
        if constexpr (Traits::BlockReadDetail != nullptr)
            trace::write(trace::Detail, Traits::BlockReadDetail, count, address);
        throw;
    }
    capture_.memory(address, this->receiveBuffer() + ReplyLead, static_cast<size_t>(count));
    if (destination)
        std::memcpy(destination, this->receiveBuffer() + ReplyLead, static_cast<size_t>(count));
}

template <class Traits>
void PagedDriver<Traits>::blockWrite(uint32_t address, int count, const uint8_t* source) {
    const int frame = writeFrame(this->sendBuffer(), address, count, source);
    try {
        this->communicate(frame, 7);
    } catch (...) {
        trace::write(trace::Error, "%s", Traits::BlockWriteFailed);
        if constexpr (Traits::BlockWriteDetail != nullptr)
            trace::write(trace::Detail, Traits::BlockWriteDetail, static_cast<unsigned>(count),
                         address);
        throw;
    }
}

template <class Traits>
int PagedDriver<Traits>::read(uint32_t address, int count, uint8_t* destination,
                              bool countProgress) {
    return paged::read(
        *this, Traits::MemoryTexts, [this](uint32_t a, int n, uint8_t* d) { blockRead(a, n, d); },
        address, count, destination, countProgress);
}

template <class Traits>
int PagedDriver<Traits>::write(uint32_t address, int count, const uint8_t* source,
                               bool countProgress) {
    pages_.clear();
    return paged::write(
        *this, Traits::MemoryTexts, [this](uint32_t a, int n, uint8_t* d) { blockRead(a, n, d); },
        [this](uint32_t a, int n, const uint8_t* s) { blockWrite(a, n, s); }, address, count,
        source, countProgress);
}

template <class Traits>
int PagedDriver<Traits>::command(int sendCount, const uint8_t* sendBytes, int replyCount,
                                 uint8_t* destination) {
    if (sendCount > 0 && sendBytes)
        std::memcpy(this->sendBuffer(), sendBytes,
                    std::min(static_cast<size_t>(sendCount), this->sendBufferSize()));
    this->communicate(sendCount, replyCount);
    if (replyCount > 0 && destination) {
        const size_t size = this->receiveBufferSize();
        const size_t room = size > ReplyLead ? size - ReplyLead : 0;
        std::memcpy(destination, this->receiveBuffer() + ReplyLead,
                    std::min(static_cast<size_t>(replyCount), room));
    }
    return replyCount;
}

template <class Traits>
void PagedDriver<Traits>::readIdentity() {
    if constexpr (Traits::IdentityStart != nullptr)
        trace::write(trace::Detail, "%s", Traits::IdentityStart);
    uint8_t frame[3];
    identityFrame(frame);
    try {
        command(3, frame, IdentityReply, nullptr);
        this->rejectZeroReply(IdentityReply);
    } catch (...) {
        storeIdentity(header_, nullptr);
        trace::write(Traits::IdentityFailedLevel, "%s", Traits::IdentityFailed);
        if constexpr (Traits::IdentityFailedPauseMs > 0)
            platform::sleepMs(Traits::IdentityFailedPauseMs);
        throw;
    }
    storeIdentity(header_, this->receiveBuffer());
    capture_.identity(this->receiveBuffer() + 3);
    if constexpr (Traits::IdentityRead != nullptr)
        trace::write(trace::Detail, Traits::IdentityRead, unsigned{header_[paged::ImageModel]});
    platform::sleepMs(MemoryMapPauseMs);
    uint8_t map[paged::SmallBlock];
    read(paged::MemMap, paged::SmallBlock, map, true);
    paged::storeMemoryMap(header_, map);
}

template <class Traits>
void PagedDriver<Traits>::open(int attempts) {
    progress_.reset(attempts);
    progress_.setCurrent(attempts);
    for (int attempt = 1;; ++attempt) {
        try {
            readIdentity();
            break;
        } catch (const Error&) {
            // A port that went away answers no later identity read either.
            if (this->portLost()) throw;
            progress_.advance(-1);
            if (cancelled()) {
                trace::write(trace::Info, "%s", Traits::OpenCancelled);
                throw UserCancel();
            }
            if (attempt >= attempts) {
                deviceFound(0);
                throw DeviceNotPresent(Traits::NotFound);
            }
            platform::sleepMs(DetectPauseMs);
        }
    }
    showStatus("Comm Opened Successfully!");
    progress_.setCurrent(0);
    deviceFound(1);
    prepare();
}

template <class Traits>
void PagedDriver<Traits>::prepare() {
    firstDive_ = true;
    clearDives();
    downloader_.reset();
    downloader_ =
        std::make_unique<RingWalker>(*this, progress_, paged::memoryMap(header_), &pages_);
}

template <class Traits>
bool PagedDriver<Traits>::nextDive() {
    if (!downloader_) return false;
    if (firstDive_) {
        progress_.reset(static_cast<int32_t>(downloader_->downloadSize()));
        firstDive_ = false;
    }
    currentDive_ = std::make_shared<DiveRecord>();
    const bool got = downloader_->nextDive(currentDive_);
    if (got) keepDive(currentDive_, downloader_->lastRawDive());
    return got;
}

template <class Traits>
ResumeResult PagedDriver<Traits>::resumeAfter(const std::vector<RawDive>& stored) {
    ResumeResult result;
    try {
        result.reason = downloader_ ? downloader_->resumeAfter(stored, result.kept)
                                    : std::string("the dive download has not been prepared");
    } catch (const UserCancel&) {
        throw;
    } catch (const std::exception& e) {
        result.reason = std::string("reading the newest stored dive failed: ") + e.what();
    }
    result.resumed = result.reason.empty();
    if (!result.resumed) {
        prepare();
        return result;
    }
    // The resumed walk set the progress to the pages it has to read.
    firstDive_ = false;
    // The kept dives are the oldest of this download; the walk adds the rest.
    for (size_t i = stored.size() - result.kept; i < stored.size(); ++i) {
        auto dive = std::make_shared<DiveRecord>();
        RingWalker::rebuild(stored[i], *dive);
        fillFromStore(stored[i]);
        keepDive(std::move(dive), stored[i]);
    }
    return result;
}

template <class Traits>
void PagedDriver<Traits>::fillFromStore(const RawDive& dive) {
    // Ring bytes wrap at the top like the walk's reads do.
    auto put = [this](uint32_t at, const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes) {
            capture_.fillUnread(at, &b, 1);
            if (++at >= static_cast<uint32_t>(memoryTop_)) at = ring::RingStart;
        }
    };
    put(dive.address, dive.header);
    uint32_t profile = dive.address + RingWalker::headerSizeOf(dive.header.data());
    if (profile >= static_cast<uint32_t>(memoryTop_))
        profile = profile - memoryTop_ + ring::RingStart;
    put(profile, dive.data);
}

template <class Traits>
void PagedDriver<Traits>::readHeader() {
    progress_.reset(224);
    readIdentity();
    paged::readHeaderAfterIdentity(*this);
}

template class PagedDriver<Type2DriverTraits>;
template class PagedDriver<Type3DriverTraits>;

}  // namespace talvek
