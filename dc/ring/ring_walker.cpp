#include "dc/ring/ring_walker.h"

#include <cstring>

#include "dc/base/errors.h"
#include "trace/trace.h"

namespace talvek {

RingWalker::RingWalker(MemoryReader& memory, ProgressCounter& progress, const MemoryMap& map)
    : ring_(std::make_unique<RingReader>(memory, progress)),
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
    progress_.advance(HeaderProgress);
    checkCancel();
    parseHeader();
    fetchProfile();
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

void RingWalker::findHeaderSize() {
    headerSize_ = 78;
    for (uint32_t p = 67; p <= 77; ++p) {
        if (header_[p] == 0x80 && header_[p + 1] == 0x01) {
            headerSize_ = p + 6;
            trace::write(trace::Detail, "DownLoadControl:: Header Size = %u", headerSize_);
            return;
        }
    }
    trace::write(trace::Error, "DownLoadControl:: Header Size Error - End Not Found ");
    throw CriticalError("DownloadControl::Header Size Unknown");
}

void RingWalker::parseHeader() {
    DiveRecord& d = *currentDive_;
    const uint8_t* h = header_;
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
    d.temperatureInterval = h[headerSize_ - 7];
    d.rgbm = h[33];
    d.diveMode = h[29];
    d.diveTime = word(15);
    d.maxDepth = word(13);
    d.firstEventBlock = word(headerSize_ - 2);
    d.pressureSamples = headerSize_ >= 77 ? 1 : 0;
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
