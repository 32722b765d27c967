#include "dc/ring/ring_walker.h"

#include <cstdio>
#include <cstring>

#include "dc/base/errors.h"
#include "trace/trace.h"

namespace talvek {

RingWalker::RingWalker(MemoryReader& memory, ProgressCounter& progress, const MemoryMap& map,
                       PageCache* cache)
    : ring_(std::make_unique<RingReader>(memory, progress, cache)),
      diveCount_(map.diveCount),
      progressStart_(map.progressStart),
      endPointer_(map.endPointer),
      currentPointer_(map.startPointer),
      memory_(memory),
      progress_(progress) {
    downloadSize_ = ring_->ringDistance(progressStart_, endPointer_);
    const uint32_t top = static_cast<uint32_t>(memory_.memoryTop());
    ringSize_ = top > ring::RingStart ? top - ring::RingStart : 0;
    trace::write(trace::Detail, "DownloadControl::Create.RingBuffer() , size = 0x%X",
                 downloadSize_);
    progress_.reset(static_cast<int32_t>(downloadSize_));
}

RingWalker::~RingWalker() = default;

void RingWalker::checkCancel() const {
    if (memory_.cancelled()) throw UserCancel();
}

bool RingWalker::nextDive(const DivePtr& dive) {
    currentDive_ = dive;
    if (diveCount_ == 0) {
        trace::write(trace::Info, "DownLoadControl:: No Dives");
        return false;
    }
    if (currentPointer_ == endPointer_) {
        trace::write(trace::Info, "DownLoadControl:: Finished");
        // Whatever the pages to read came to, nothing is left of them.
        if (countingPages_) progress_.complete();
        return false;
    }
    if (visited_.count(currentPointer_)) {
        trace::write(trace::Error, "DownLoadControl:: Dive Ring Loop @ &0x%X", currentPointer_);
        throw BadDiveFormat();
    }
    if (claimed_ + SmallestDive > ringSize_) {
        trace::write(trace::Error,
                     "DownLoadControl:: More Dives Than The Ring Holds @ &0x%X (%u dives, %u of %u "
                     "bytes)",
                     currentPointer_, static_cast<unsigned>(visited_.size()), claimed_, ringSize_);
        throw BadDiveFormat();
    }
    checkCancel();
    fetchHeader(currentPointer_);
    if (!countingPages_) progress_.advance(HeaderProgress);
    checkCancel();
    parseHeader();
    fetchProfile();
    lastHeaderAddress_ = currentPointer_;
    visited_.insert(currentPointer_);
    currentPointer_ = newerLink_;
    checkCancel();
    return true;
}

void RingWalker::fetchHeader(uint32_t address) {
    trace::write(trace::Info, "DownLoadControl::FetchHeader() ");
    ring_->read(address, HeaderFetchSize);
    std::memcpy(header_, ring_->buffer(), HeaderFetchSize);
    findHeaderSize();
    newerLink_ = word(2);
    olderLink_ = word(0);
    trace::write(trace::Detail, "DownLoadControl:: Newer @ &0x%X Older @ &0x%X", newerLink_,
                 olderLink_);
}

namespace {

std::string format(const char* f, unsigned a, unsigned b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, f, a, b);
    return text;
}

uint32_t newerLinkOf(const RawDive& d) {
    return static_cast<uint32_t>(d.header[2] | (d.header[3] << 8));
}

}  // namespace

std::string RingWalker::resumeAfter(const std::vector<RawDive>& stored, size_t& kept) {
    kept = 0;
    if (diveCount_ == 0) return "the computer holds no dives";
    if (stored.empty()) return "the store holds no dives";
    const uint32_t top = static_cast<uint32_t>(memory_.memoryTop());
    size_t first = 0;
    while (first < stored.size() && stored[first].address != currentPointer_) ++first;
    if (first == stored.size())
        return format("the start pointer 0x%X is no stored dive", currentPointer_);
    std::vector<uint32_t> addresses;
    for (size_t i = first; i < stored.size(); ++i) {
        const RawDive& d = stored[i];
        if (d.header.size() != HeaderFetchSize || headerSizeOf(d.header.data()) == 0)
            return format("stored dive @ &0x%X is damaged", d.address);
        if (i + 1 < stored.size() && newerLinkOf(d) != stored[i + 1].address)
            return format("stored dive @ &0x%X does not lead to the next one", d.address);
        addresses.push_back(d.address);
    }
    const RawDive& newest = stored.back();
    const uint32_t next = newerLinkOf(newest);
    // The stored dives must end at or before the end pointer.
    if (next < ring::RingStart || next >= top ||
        ring_->ringDistance(currentPointer_, next) >
            ring_->ringDistance(currentPointer_, endPointer_))
        return format("the stored dives end at 0x%X, past the end pointer 0x%X", next, endPointer_);
    // A check, not yet the walk: the gauge moves only with what the walk reads.
    ring_->count(RingReader::Counting::Nothing);
    const std::vector<uint8_t> header = readHeaderAt(newest.address);
    ring_->count(RingReader::Counting::Bytes);
    if (header != newest.header)
        return format("the newest stored dive @ &0x%X has changed", newest.address);
    resumeAt(next, addresses);
    kept = addresses.size();
    return std::string();
}

void RingWalker::resumeAt(uint32_t pointer, const std::vector<uint32_t>& known) {
    currentPointer_ = pointer;
    visited_.insert(known.begin(), known.end());
    downloadSize_ = ring_->ringDistance(pointer, endPointer_);
    // The time of a resumed walk is its page reads: the gauge counts those
    // still to be made, not the bytes.
    countingPages_ = true;
    ring_->count(RingReader::Counting::DevicePages);
    progress_.reset(static_cast<int32_t>(ring_->pagesToRead(pointer, downloadSize_)));
}

std::vector<uint8_t> RingWalker::readHeaderAt(uint32_t address) {
    ring_->read(address, HeaderFetchSize);
    return std::vector<uint8_t>(ring_->buffer(), ring_->buffer() + HeaderFetchSize);
}

RawDive RingWalker::lastRawDive() const {
    RawDive raw;
    raw.address = lastHeaderAddress_;
    raw.header.assign(header_, header_ + HeaderFetchSize);
    if (currentDive_ && currentDive_->profile)
        raw.data.assign(currentDive_->profile.get(),
                        currentDive_->profile.get() + currentDive_->profileLength);
    return raw;
}

uint32_t RingWalker::headerSizeOf(const uint8_t* h) {
    for (uint32_t p = 67; p <= 77; ++p)
        if (h[p] == 0x80 && h[p + 1] == 0x01) return p + 6;
    return 0;
}

bool RingWalker::rebuild(const RawDive& raw, DiveRecord& d) {
    if (raw.header.size() != HeaderFetchSize) return false;
    const uint32_t size = headerSizeOf(raw.header.data());
    if (size == 0) return false;
    parseHeader(raw.header.data(), size, d);
    d.setProfile(raw.data.data(), static_cast<uint32_t>(raw.data.size()));
    return true;
}

void RingWalker::findHeaderSize() {
    headerSize_ = headerSizeOf(header_);
    if (headerSize_ != 0) {
        trace::write(trace::Detail, "DownLoadControl:: Header Size = %u", headerSize_);
        return;
    }
    headerSize_ = 78;
    trace::write(trace::Error, "DownLoadControl:: Header Size Error - End Not Found ");
    throw CriticalError("DownloadControl::Header Size Unknown");
}

void RingWalker::parseHeader() {
    parseHeader(header_, headerSize_, *currentDive_);
}

void RingWalker::parseHeader(const uint8_t* h, uint32_t headerSize, DiveRecord& d) {
    auto word = [h](uint32_t at) { return static_cast<uint16_t>(h[at] | (h[at + 1] << 8)); };
    for (int i = 0; i < 9; ++i) d.tissue[i] = word(41 + 2 * i);
    d.surfaceIntervalMinutes = h[32];
    d.surfaceIntervalHours = h[31];
    d.diveNumber = h[30];
    d.sampleInterval = h[28];
    d.personalAltitude = static_cast<uint8_t>(h[34] * 3 + h[35]);
    d.oxygen1 = h[37];
    d.oxygenFraction = 127;
    d.year = static_cast<uint8_t>(word(24) % 2000);
    d.month = h[26];
    d.day = h[27];
    d.hour = h[21];
    d.minute = h[22];
    d.cnsOtu = h[19];
    d.oxygen2 = h[38];
    d.oxygen3 = h[39];
    d.second = h[23];
    d.temperatureInterval = h[headerSize - 7];
    d.rgbm = h[33];
    d.diveMode = h[29];
    d.diveTime = word(15);
    d.maxDepth = word(13);
    d.firstEventBlock = word(headerSize - 2);
    d.pressureSamples = headerSize >= 77 ? 1 : 0;
}

void RingWalker::fetchProfile() {
    trace::write(trace::Info, "DownLoadControl::FetchProfile(): begin");
    const uint32_t top = static_cast<uint32_t>(memory_.memoryTop());
    uint32_t start = currentPointer_ + headerSize_;
    // A header that ends at or past the top continues at the ring start, and
    // so does its profile.
    if (start >= top && currentPointer_ < top) start = start - top + ring::RingStart;
    const uint32_t length = ring_->ringDistance(start, newerLink_);
    trace::write(trace::Detail, "DownLoadControl::FetchProfile(): ProfileLength = %u", length);
    // 64 bits: a damaged length must not wrap the sum back into range.
    const uint64_t claim = uint64_t{claimed_} + headerSize_ + length;
    if (claim > ringSize_) {
        trace::write(trace::Error,
                     "DownLoadControl:: Dives Claim More Than The Ring Holds @ &0x%X (%llu of %u "
                     "bytes)",
                     currentPointer_, static_cast<unsigned long long>(claim), ringSize_);
        throw BadDiveFormat();
    }
    claimed_ = static_cast<uint32_t>(claim);
    ring_->read(start, length);
    currentDive_->setProfile(ring_->buffer(), length);
}

}  // namespace talvek
