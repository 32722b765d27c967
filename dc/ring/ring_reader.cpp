#include "dc/ring/ring_reader.h"

#include <cstring>

#include "dc/base/errors.h"
#include "trace/trace.h"

namespace talvek {

using namespace ring;

Page::Page(MemoryReader& memory) : memory_(memory), kept_(LastPage + 1) {}

void Page::seek(uint32_t address) {
    address_ = static_cast<int32_t>(address);
    const uint32_t index = (address - PageBase) / PageSize;
    pageIndex_ = static_cast<int32_t>(index);
    offset_ = static_cast<int32_t>(address - (index * PageSize + PageBase));
    available_ = static_cast<int32_t>(PageSize) - offset_;
}

void Page::fetch() {
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

    const bool keepable = pageIndex_ >= 0 && pageIndex_ <= LastPage;
    if (keepable && kept_[pageIndex_]) {
        bytes_ = *kept_[pageIndex_];
        return;
    }
    trace::write(trace::Detail, "Page::fetch() Reading profile @ address 0x%X ",
                 static_cast<unsigned>(start + offset_));
    try {
        ++deviceReads_;
        memory_.read(static_cast<uint32_t>(start), size, bytes_.data(), false);
    } catch (...) {
        trace::write(trace::Error, "Page::fetch() Read Error ");
        throw;
    }
    if (keepable) kept_[pageIndex_] = std::make_unique<Bytes>(bytes_);
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

RingReader::RingReader(MemoryReader& memory, ProgressCounter& progress)
    : page_(std::make_unique<Page>(memory)), memory_(memory), progress_(progress) {}

RingReader::~RingReader() = default;

uint32_t RingReader::ringDistance(uint32_t from, uint32_t to) const {
    const uint32_t top = static_cast<uint32_t>(memory_.memoryTop());
    if (from > top || to > top || from < RingStart || to < RingStart) return 0;
    if (from <= to) return to - from;
    return (top - from) + (to - RingStart);
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
        page_->fetch();
        const int32_t available = page_->available();
        if (left > static_cast<uint32_t>(available)) {
            page_->copyOut(cursor_, available);
            cursor_ += available;
            amount_ += available;
            progress_.advance(available);
            page_->advance();
            left -= static_cast<uint32_t>(available);
        } else {
            page_->copyOut(cursor_, static_cast<int>(left));
            cursor_ += left;
            amount_ += static_cast<int32_t>(left);
            progress_.advance(static_cast<int32_t>(left));
            left = 0;
        }
    }
    trace::write(trace::Detail, "RingBuffer::read() Completed   amount = %u",
                 static_cast<unsigned>(amount_));
}

}  // namespace talvek
