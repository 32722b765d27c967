#pragma once
// Walks the dive ring of a type 2 or type 3 computer from the oldest dive
// along each header's newer link to the newest, one dive per NextDive.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dc/base/dive_record.h"
#include "dc/base/memory_reader.h"
#include "dc/base/progress_counter.h"
#include "dc/base/raw_reads.h"
#include "dc/ring/ring_reader.h"

namespace talvek {

// The memory map the drivers read from the settings area, in this order.
struct MemoryMap {
    uint16_t progressStart;  // start of the span the download size is measured over
    uint16_t unused;         // carried by the drivers, not used here
    uint16_t endPointer;     // one past the newest dive
    uint16_t startPointer;   // header of the oldest dive
    uint16_t diveCount;      // 0: no dive stored
};

class RingWalker {
  public:
    RingWalker(const RingWalker&) = delete;
    RingWalker& operator=(const RingWalker&) = delete;
    // Bytes fetched for every header: enough for an end marker at 77 and the
    // event block index of the longest header (83 bytes).
    static constexpr uint32_t HeaderFetchSize = 84;
    // What a header adds to the progress besides the bytes read for it.
    static constexpr int32_t HeaderProgress = 78;
    // The least room a dive takes in the ring: the shortest header (end
    // marker at 67) and one profile byte.
    static constexpr uint32_t SmallestDive = 74;

    // Headers and profiles count on `progress`, which starts over at the
    // download size.  Pages are kept in `cache` when given (the driver's, so
    // that a walk that starts over reads nothing twice), otherwise in a cache
    // of the walk's own.
    RingWalker(MemoryReader& memory, ProgressCounter& progress, const MemoryMap& map,
               PageCache* cache = nullptr);
    ~RingWalker();

    // Fetches the next dive into `dive`; false when none is left.
    bool nextDive(const DivePtr& dive);

    // Checks dives a store kept of this computer (oldest first) against the
    // memory before the first nextDive: the start pointer must be one of
    // them, the ones from there to the newest must form one chain that ends
    // before the end pointer, and the newest one's header bytes must read as
    // stored.  Then the walk resumes after the newest one and `kept` tells
    // how many stored dives (the newest ones) are still in memory.  Returns
    // why not otherwise (the walk is then unusable: prepare a new one).
    // The check's read does not count on the progress; a resumed walk counts
    // the pages it reads from the device against those it has to read, and
    // completes the progress when it finishes.
    std::string resumeAfter(const std::vector<RawDive>& stored, size_t& kept);
    // The dive fetched last, as the memory holds it.
    RawDive lastRawDive() const;

    // Size of the header in `h` (HeaderFetchSize bytes): the end marker
    // 0x80 0x01 at 67..77, first match, gives marker position + 6; 0 when
    // there is none.
    static uint32_t headerSizeOf(const uint8_t* h);
    // The header fields of `d` from the header `h` of `headerSize` bytes.
    static void parseHeader(const uint8_t* h, uint32_t headerSize, DiveRecord& d);
    // `d` as a walk would have fetched `raw`; false when its header has no
    // end marker.
    static bool rebuild(const RawDive& raw, DiveRecord& d);

    uint32_t downloadSize() const { return downloadSize_; }
    uint32_t headerSize() const { return headerSize_; }
    uint32_t currentPointer() const { return currentPointer_; }
    const RingReader& ringBuffer() const { return *ring_; }

    // Steps of NextDive, public for the drivers' diagnostics and tests.
    void fetchHeader(uint32_t address);
    void findHeaderSize();
    void parseHeader();
    void fetchProfile();

  private:
    // Walks on from `pointer` instead of the start pointer: the dives before
    // it are known already (a store).  Their header addresses `known` count
    // as visited, so a chain that leads back into them stops.
    void resumeAt(uint32_t pointer, const std::vector<uint32_t>& known);
    // The HeaderFetchSize bytes at `address`, read as a header is (through
    // the page cache).
    std::vector<uint8_t> readHeaderAt(uint32_t address);
    uint16_t word(uint32_t at) const {
        return static_cast<uint16_t>(header_[at] | (header_[at + 1] << 8));
    }
    void checkCancel() const;

    std::unique_ptr<RingReader> ring_;
    // A copy of the last header: the ring buffer's result is replaced by the
    // profile read that follows.
    uint8_t header_[HeaderFetchSize] = {};
    uint32_t diveCount_;
    uint32_t progressStart_;
    uint32_t newerLink_ = 0;
    uint32_t olderLink_ = 0;
    uint32_t endPointer_;
    uint32_t currentPointer_;
    uint32_t lastHeaderAddress_ = 0;
    uint32_t headerSize_ = 78;
    uint32_t downloadSize_;
    MemoryReader& memory_;
    ProgressCounter& progress_;
    DivePtr currentDive_;
    // Headers fetched so far: corrupt links that lead back to one of them
    // would otherwise walk the ring forever.
    std::set<uint32_t> visited_;
    // Room the dives walked so far take in the ring (headers and profiles).
    // Dives never overlap, so a walk that claims more than the ring holds
    // reads a damaged memory; checked before the bytes are fetched.
    uint32_t claimed_ = 0;
    uint32_t ringSize_;
    // A resumed walk: the progress counts device pages, not bytes.
    bool countingPages_ = false;
};

}  // namespace talvek
