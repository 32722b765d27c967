#pragma once
// The memory of type 2 and type 3 computers: reads and writes cut into
// link-sized blocks, and the header image with its memory map.
#include <cstdint>
#include <functional>

#include "dc/base/driver.h"
#include "dc/ring/ring_walker.h"

namespace talvek {

namespace paged {

constexpr int SmallBlock = 40;   // every read shorter than this fetches 40 bytes
constexpr int LargeBlock = 120;  // the most one exchange carries

// Header image offsets shared by both types.
constexpr int ImageMaxDepth = 0x22;
constexpr int ImageModel = 0x28;
constexpr int ImageFirmware1 = 0x29;
constexpr int ImageSerial = 0x2A;
constexpr int ImagePersonal = 0x30;
constexpr int ImageUnits = 0x72;
constexpr int ImageFirmware2 = 0x81;
constexpr int ImageFirmware3 = 0x82;
constexpr int ImageMemoryMap = 0x84;

// Device memory addresses.
constexpr uint32_t MemSettings = 0x000;
constexpr uint32_t MemSerial = 0x23;
constexpr uint32_t MemUnits = 0x34;
constexpr uint32_t MemPersonal = 0x15E;
constexpr uint32_t MemTotals = 0x186;
constexpr uint32_t MemMap = 0x190;

struct Texts {
    const char* badRead;      // level 1, before BadInstruction(ErrorCode::BadReadParameter)
    const char* overrun;      // level 1, "%X" of the last address + 1
    const char* readCancel;   // level 2
    const char* writeCancel;  // level 2
    const char* largeRead;    // level 4 before a read of more than 120 bytes; may be null
};

using BlockRead = std::function<void(uint32_t address, int count, uint8_t* destination)>;
using BlockWrite = std::function<void(uint32_t address, int count, const uint8_t* source)>;

// Start of the 40-byte window a short access at `address` of `count` bytes
// uses.  A window that would pass the top ends just below it; an access that
// includes the top address itself gets the window that ends at the top.
uint32_t smallWindow(uint32_t address, int count, int32_t top);

int read(Driver& device, const Texts& texts, const BlockRead& block, uint32_t address, int count,
         uint8_t* destination, bool countProgress);
int write(Driver& device, const Texts& texts, const BlockRead& read, const BlockWrite& write,
          uint32_t address, int count, const uint8_t* source, bool countProgress);

// Fills the memory map at image offset 0x84 from the 8 bytes read at 0x190.
void storeMemoryMap(uint8_t* image, const uint8_t* at0x190);
MemoryMap memoryMap(const uint8_t* image);

// The header reads that follow the identity read.
void readHeaderAfterIdentity(Driver& device);

}  // namespace paged

}  // namespace talvek
