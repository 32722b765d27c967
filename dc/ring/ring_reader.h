#pragma once
// Reads spans of the circular dive memory of type 2 and type 3 computers.
// The memory is read in 120-byte pages on a fixed grid; a span that runs past
// the memory top continues at the ring start.  The memory does not change
// during a download, so every page read is kept and a page is read from the
// device at most once for the life of the ring buffer (one download): each
// device page read costs a 500 ms pause plus the transfer at 9600 baud.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dc/base/memory_reader.h"
#include "dc/base/progress_counter.h"

namespace talvek {

namespace ring {
constexpr uint32_t PageSize = 120;
constexpr uint32_t PageBase = 0x016E;   // address of page 0
constexpr uint32_t RingStart = 0x019A;  // first address of the dive ring
constexpr int32_t LastPage = 269;       // after this page reading continues at RingStart
}  // namespace ring

// One page of the device memory at a time, with the pages already read kept.
class Page {
  public:
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
    explicit Page(MemoryReader& memory);

    void seek(uint32_t address);
    // Makes the bytes of the current page available: from the kept copy when
    // this page was read before, otherwise from the device.  The cancel flag
    // is tested first in either case.
    void fetch();
    // Moves to the next page (after the last page: to the ring start).
    void advance();
    int copyOut(uint8_t* destination, int count) const;
    int32_t available() const { return available_; }
    int32_t pageIndex() const { return pageIndex_; }
    int32_t offset() const { return offset_; }

    // Device reads made so far (for diagnostics and tests).
    uint32_t deviceReads() const { return deviceReads_; }

  private:
    using Bytes = std::array<uint8_t, ring::PageSize>;

    MemoryReader& memory_;
    Bytes bytes_{};
    int32_t available_ = 0;
    int32_t pageIndex_ = 0;
    int32_t offset_ = 0;
    int32_t address_ = 0;
    // Pages read so far, by page index (0..LastPage); empty until read.
    std::vector<std::unique_ptr<Bytes>> kept_;
    uint32_t deviceReads_ = 0;
};

class RingReader {
  public:
    RingReader(const RingReader&) = delete;
    RingReader& operator=(const RingReader&) = delete;
    // Every byte read counts on `progress`.
    RingReader(MemoryReader& memory, ProgressCounter& progress);
    ~RingReader();

    // Fills the result buffer with `length` bytes from `address`, wrapping at
    // the memory top.  The previous result buffer is released first.
    void read(uint32_t address, uint32_t length);
    const uint8_t* buffer() const { return buffer_.get(); }
    int32_t amount() const { return amount_; }

    // Forward distance from `from` to `to` in the ring; 0 for an address
    // outside the ring (below the ring start or above the memory top).
    uint32_t ringDistance(uint32_t from, uint32_t to) const;

    const Page& page() const { return *page_; }

  private:
    std::unique_ptr<uint8_t[]> buffer_;
    uint8_t* cursor_ = nullptr;
    int32_t amount_ = 0;
    std::unique_ptr<Page> page_;
    MemoryReader& memory_;
    ProgressCounter& progress_;
};

}  // namespace talvek
