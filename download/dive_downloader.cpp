#include "download/dive_downloader.h"

#include <cstring>

#include "device/errors.h"
#include "trace/trace.h"

TDiveDownloader::TDiveDownloader(sAPI::Device& device, const __profile_ptrs& map)
    : ring_(std::make_unique<TRingBuffer>(device)),
      diveCount_(map.diveCount),
      progressStart_(map.progressStart),
      endPointer_(map.endPointer),
      currentPointer_(map.startPointer),
      device_(device) {
    downloadSize_ = ring_->RingDistance(progressStart_, endPointer_);
    Trace::Write(Trace::Detail, "DownloadControl::Create.RingBuffer() , size = 0x%X",
                 downloadSize_);
    device_.progress().Reset(static_cast<int32_t>(downloadSize_));
}

TDiveDownloader::~TDiveDownloader() = default;

void TDiveDownloader::CheckCancel() const {
    if (device_.cancelled()) throw sAPI::User_Cancel();
}

bool TDiveDownloader::NextDive(const DivePtr& dive) {
    currentDive_ = dive;
    if (diveCount_ == 0) {
        Trace::Write(Trace::Info, "DownLoadControl:: No Dives");
        return false;
    }
    if (currentPointer_ == endPointer_) {
        Trace::Write(Trace::Info, "DownLoadControl:: Finished");
        return false;
    }
    if (visited_.count(currentPointer_)) {
        Trace::Write(Trace::Error, "DownLoadControl:: Dive Ring Loop @ &0x%X", currentPointer_);
        throw sAPI::BadDiveFormat();
    }
    CheckCancel();
    FetchHeader(currentPointer_);
    device_.progress().Advance(HeaderProgress);
    CheckCancel();
    ParseHeader();
    FetchProfile();
    visited_.insert(currentPointer_);
    currentPointer_ = newerLink_;
    CheckCancel();
    return true;
}

void TDiveDownloader::FetchHeader(uint32_t address) {
    Trace::Write(Trace::Info, "DownLoadControl::FetchHeader() ");
    ring_->read(address, HeaderFetchSize);
    std::memcpy(header_, ring_->buffer(), HeaderFetchSize);
    FindHeaderSize();
    newerLink_ = Word(2);
    olderLink_ = Word(0);
    Trace::Write(Trace::Detail, "DownLoadControl:: Newer @ &0x%X Older @ &0x%X", newerLink_,
                 olderLink_);
}

void TDiveDownloader::FindHeaderSize() {
    headerSize_ = 78;
    for (uint32_t p = 67; p <= 77; ++p) {
        if (header_[p] == 0x80 && header_[p + 1] == 0x01) {
            headerSize_ = p + 6;
            Trace::Write(Trace::Detail, "DownLoadControl:: Header Size = %u", headerSize_);
            return;
        }
    }
    Trace::Write(Trace::Error, "DownLoadControl:: Header Size Error - End Not Found ");
    throw sAPI::CriticalError(L"DownloadControl::Header Size Unknown");
}

void TDiveDownloader::ParseHeader() {
    _DIVE_DATA& d = *currentDive_;
    const uint8_t* h = header_;
    for (int i = 0; i < 9; ++i) d.tissue[i] = Word(41 + 2 * i);
    d.surfaceIntervalMinutes = h[32];
    d.surfaceIntervalHours = h[31];
    d.diveNumber = h[30];
    d.sampleInterval = h[28];
    d.personalAltitude = static_cast<uint8_t>(h[34] * 3 + h[35]);
    d.oxygen1 = h[37];
    d.fixedByte = 127;
    d.year = static_cast<uint8_t>(Word(24) % 2000);
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
    d.diveTime = Word(15);
    d.maxDepth = Word(13);
    d.firstEventBlock = Word(headerSize_ - 2);
    d.pressureSamples = headerSize_ >= 77 ? 1 : 0;
}

void TDiveDownloader::FetchProfile() {
    Trace::Write(Trace::Info, "DownLoadControl::FetchProfile(): begin");
    const uint32_t top = static_cast<uint32_t>(device_.memoryTop());
    uint32_t start = currentPointer_ + headerSize_;
    // A header that ends at or past the top continues at the ring start, and
    // so does its profile.
    if (start >= top && currentPointer_ < top) start = start - top + ring::RingStart;
    const uint32_t length = ring_->RingDistance(start, newerLink_);
    Trace::Write(Trace::Detail, "DownLoadControl::FetchProfile(): ProfileLength = %u", length);
    ring_->read(start, length);
    currentDive_->SetProfile(ring_->buffer(), length);
}
