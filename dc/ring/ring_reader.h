#pragma once
// Reads spans of the circular dive memory of type 2 and type 3 computers.
// The memory is read in 120-byte pages on a fixed grid; a span that runs past
// the memory top continues at the ring start.  The memory does not change
// while the computer is connected, so every page read is kept in a PageCache
// and a page is read from the device at most once for the life of the cache
// (the driver keeps one for its whole connection, so a walk that starts over
// reads nothing twice): each device page read costs a 500 ms pause plus the
// transfer at 9600 baud.
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

// The pages read from one computer so far, by page index (0..LastPage).
class PageCache {
  public:
    using Bytes = std::array<uint8_t, ring::PageSize>;

    PageCache();
    PageCache(const PageCache&) = delete;
    PageCache& operator=(const PageCache&) = delete;

    // The kept copy of a page; null when it was not read.
    const Bytes* find(int32_t index) const;
    void keep(int32_t index, const Bytes& bytes);
    // Forgets every page (the memory was written to).
    void clear();

    // Device page reads made through this cache (for diagnostics and tests).
    uint32_t deviceReads() const { return deviceReads_; }
    void countDeviceRead() { ++deviceReads_; }

  private:
    std::vector<std::unique_ptr<Bytes>> kept_;
    uint32_t deviceReads_ = 0;
};

// One page of the device memory at a time, with the pages already read kept.
class Page {
  public:
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
    Page(MemoryReader& memory, PageCache& cache);

    void seek(uint32_t address);
    // Makes the bytes of the current page available: from the kept copy when
    // this page was read before, otherwise from the device (then true).  The
    // cancel flag is tested first in either case.
    bool fetch();
    // Moves to the next page (after the last page: to the ring start).
    void advance();
    int copyOut(uint8_t* destination, int count) const;
    int32_t available() const { return available_; }
    int32_t pageIndex() const { return pageIndex_; }
    int32_t offset() const { return offset_; }

    // Device reads made so far through its cache (for diagnostics and tests).
    uint32_t deviceReads() const { return cache_.deviceReads(); }

  private:
    MemoryReader& memory_;
    PageCache& cache_;
    PageCache::Bytes bytes_{};
    int32_t available_ = 0;
    int32_t pageIndex_ = 0;
    int32_t offset_ = 0;
    int32_t address_ = 0;
};

class RingReader {
  public:
    RingReader(const RingReader&) = delete;
    RingReader& operator=(const RingReader&) = delete;
    // What a read counts on the progress counter.
    enum class Counting {
        Bytes,        // every byte copied, from the device or a kept page
        DevicePages,  // one for each page read from the device
        Nothing,
    };

    // Reads count on `progress` (bytes, until told otherwise).  The pages
    // are kept in `cache`, when given, or in a cache of the reader's own.
    RingReader(MemoryReader& memory, ProgressCounter& progress, PageCache* cache = nullptr);
    ~RingReader();

    void count(Counting counting) { counting_ = counting; }

    // Fills the result buffer with `length` bytes from `address`, wrapping at
    // the memory top.  The previous result buffer is released first.
    void read(uint32_t address, uint32_t length);
    const uint8_t* buffer() const { return buffer_.get(); }
    int32_t amount() const { return amount_; }

    // Forward distance from `from` to `to` in the ring; 0 for an address
    // outside the ring (below the ring start or above the memory top).
    uint32_t ringDistance(uint32_t from, uint32_t to) const;
    // How many pages a read of `length` bytes from `address` would take from
    // the device: those it covers that are not kept yet.
    uint32_t pagesToRead(uint32_t address, uint32_t length) const;

    const Page& page() const { return *page_; }

  private:
    std::unique_ptr<PageCache> ownCache_;
    PageCache& cache_;
    Counting counting_ = Counting::Bytes;
    std::unique_ptr<uint8_t[]> buffer_;
    uint8_t* cursor_ = nullptr;
    int32_t amount_ = 0;
    std::unique_ptr<Page> page_;
    MemoryReader& memory_;
    ProgressCounter& progress_;
};

}  // namespace talvek
