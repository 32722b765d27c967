#pragma once
// What walking a computer's memory needs of its driver: reads, the top of
// the memory and the cancel flag.
#include <cstdint>

namespace talvek {

class MemoryReader {
  public:
    // Reads `count` bytes at `address` into `destination`; returns the
    // number of bytes the device exchanges carried.  `countProgress` lets
    // the driver count them on its own progress counter.
    virtual int read(uint32_t address, int count, uint8_t* destination, bool countProgress) = 0;
    // The highest usable device address.
    virtual int32_t memoryTop() const = 0;
    // True once the user has asked to cancel.
    virtual bool cancelled() const = 0;

  protected:
    MemoryReader() = default;
    ~MemoryReader() = default;
};

}  // namespace talvek
