#include "dc/ring/ring_reader.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "dc/base/errors.h"
#include "trace/trace.h"

namespace talvek {

using namespace ring;

PageCache::PageCache() : kept_(LastPage + 1) {}

const PageCache::Bytes* PageCache::find(int32_t index) const {
    if (index < 0 || index > LastPage) return nullptr;
    return kept_[static_cast<size_t>(index)].get();
}

void PageCache::keep(int32_t index, const Bytes& bytes) {
    if (index >= 0 && index <= LastPage)
        kept_[static_cast<size_t>(index)] = std::make_unique<Bytes>(bytes);
}

void PageCache::clear() {
    for (auto& page : kept_) page.reset();
}

Page::Page(MemoryReader& memory, PageCache& cache) : memory_(memory), cache_(cache) {}

void Page::seek(uint32_t address) {
    address_ = static_cast<int32_t>(address);
    const uint32_t index = (address - PageBase) / PageSize;
    pageIndex_ = static_cast<int32_t>(index);
    offset_ = static_cast<int32_t>(address - (index * PageSize + PageBase));
    available_ = static_cast<int32_t>(PageSize) - offset_;
}

bool Page::fetch() {
    if (memory_.cancelled()) {
        trace::write(trace::Detail, "Page::fetch() User Cancel ");
        throw UserCancel();
    }
    const int32_t start =
        static_cast<int32_t>(static_cast<uint32_t>(pageIndex_) * PageSize + PageBase);
    int32_t size = static_cast<int32_t>(PageSize);
    if (start + size > memory_.memoryTop()) {
        size = memory_.memoryTop() - start;
        trace::write(trace::Detail, "Page::fetch() adjusting for Memory Top new page size = %d",
                     size);
    }
    available_ = size - offset_;
    // An address outside the paged memory (from a corrupt memory map or
    // link) would make a page start below 0 or leave nothing at the offset.
    if (start < 0 || available_ <= 0) {
        trace::write(trace::Error, "Page::fetch() Read Error ");
        throw MemoryRangeError();
    }

    if (const PageCache::Bytes* kept = cache_.find(pageIndex_)) {
        bytes_ = *kept;
        return false;
    }
    trace::write(trace::Detail, "Page::fetch() Reading profile @ address 0x%X ",
                 static_cast<unsigned>(start + offset_));
    try {
        cache_.countDeviceRead();
        memory_.read(static_cast<uint32_t>(start), size, bytes_.data(), false);
    } catch (...) {
        trace::write(trace::Error, "Page::fetch() Read Error ");
        throw;
    }
    cache_.keep(pageIndex_, bytes_);
    return true;
}

void Page::advance() {
    if (pageIndex_ >= LastPage) {
        seek(RingStart);
    } else {
        ++pageIndex_;
        seek(static_cast<uint32_t>(pageIndex_) * PageSize + PageBase);
    }
}

int Page::copyOut(uint8_t* destination, int count) const {
    std::memcpy(destination, bytes_.data() + offset_, static_cast<size_t>(count));
    return count;
}

RingReader::RingReader(MemoryReader& memory, ProgressCounter& progress, PageCache* cache)
    : ownCache_(cache ? nullptr : std::make_unique<PageCache>()),
      cache_(cache ? *cache : *ownCache_),
      page_(std::make_unique<Page>(memory, cache_)),
      memory_(memory),
      progress_(progress) {}

RingReader::~RingReader() = default;

uint32_t RingReader::ringDistance(uint32_t from, uint32_t to) const {
    const uint32_t top = static_cast<uint32_t>(memory_.memoryTop());
    if (from > top || to > top || from < RingStart || to < RingStart) return 0;
    if (from <= to) return to - from;
    return (top - from) + (to - RingStart);
}

uint32_t RingReader::pagesToRead(uint32_t address, uint32_t length) const {
    const uint32_t top = static_cast<uint32_t>(memory_.memoryTop());
    // A span shorter than the ring can still meet page 0 twice: at the ring
    // start and again after the wrap.
    std::set<uint32_t> pages;
    for (uint32_t at = address, left = length; left > 0;) {
        if (at < PageBase || at >= top) break;
        const uint32_t index = (at - PageBase) / PageSize;
        const uint32_t start = index * PageSize + PageBase;
        const uint32_t end = std::min(start + PageSize, top);
        if (!cache_.find(static_cast<int32_t>(index))) pages.insert(index);
        const uint32_t here = end - at;
        if (left <= here) break;
        left -= here;
        at = index >= static_cast<uint32_t>(LastPage) ? RingStart : end;
    }
    return static_cast<uint32_t>(pages.size());
}

void RingReader::read(uint32_t address, uint32_t length) {
    trace::write(trace::Detail, "RingBuffer::read() begin");
    if (length == 0) {
        trace::write(trace::Error, "RingBuffer::read() Length = 0");
        throw Error("RingBuffer: Zero Length Read");
    }
    buffer_.reset();
    buffer_.reset(new uint8_t[length]);
    cursor_ = buffer_.get();
    amount_ = 0;
    page_->seek(address);
    uint32_t left = length;
    while (left > 0) {
        if (page_->fetch() && counting_ == Counting::DevicePages) progress_.advance(1);
        const int32_t available = page_->available();
        const int32_t taken =
            left > static_cast<uint32_t>(available) ? available : static_cast<int32_t>(left);
        page_->copyOut(cursor_, taken);
        cursor_ += taken;
        amount_ += taken;
        if (counting_ == Counting::Bytes) progress_.advance(taken);
        left -= static_cast<uint32_t>(taken);
        // When the rest exactly fills the page, the page is not advanced.
        if (left > 0) page_->advance();
    }
    trace::write(trace::Detail, "RingBuffer::read() Completed   amount = %u",
                 static_cast<unsigned>(amount_));
}

}  // namespace talvek
