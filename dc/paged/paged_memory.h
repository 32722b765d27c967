#pragma once
// What the type 2 and type 3 drivers share: memory reads and writes cut into
// link-sized blocks, the header image, and the dive download through
// RingWalker.  The two types differ only in their link, memory top and
// trace texts, which they hand in here.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "dc/base/driver.h"
#include "dc/ring/ring_walker.h"

namespace talvek {

class XmlDocument;

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

// Model and firmware numbers from identity reply bytes 3..6 into the image;
// a null reply (a failed identity read) clears them.
void storeIdentity(uint8_t* image, const uint8_t* reply);
// The end of a successful identity read: 100 ms, then the memory map.
void readMemoryMapAfterIdentity(Driver& device);

// Fills the memory map at image offset 0x84 from the 8 bytes read at 0x190.
void storeMemoryMap(uint8_t* image, const uint8_t* at0x190);
MemoryMap memoryMap(const uint8_t* image);

// The header reads after the identity read (steps shared by both types).
void readHeaderAfterIdentity(Driver& device);

// The identity frame and the read-memory frame.
constexpr int IdentityReply = 8;
void identityFrame(uint8_t* send);
void readFrame(uint8_t* send, uint32_t address, int count);
int writeFrame(uint8_t* send, uint32_t address, int count, const uint8_t* source);

// Detection: identity reads until one answers, at most `attempts`, 500 ms
// apart; then the status text and the device-found callback.  Throws
// UserCancel (after `cancelTrace`) or DeviceNotPresent(`notFound`).
void detect(Driver& device, int attempts, const std::function<void()>& identityRead,
            const char* cancelTrace, const char* notFound);

// One raw exchange over `link` (either type's link): the send bytes go into
// its send buffer, and `replyCount` reply bytes from position 6 are copied
// to `destination` when one is given, never past the receive buffer.
template <class Link>
int command(Link& link, int sendCount, const uint8_t* sendBytes, int replyCount,
            uint8_t* destination) {
    if (sendCount > 0 && sendBytes)
        std::memcpy(link.sendBuffer(), sendBytes,
                    std::min(static_cast<size_t>(sendCount), link.sendBufferSize()));
    link.communicate(sendCount, replyCount);
    if (replyCount > 0 && destination) {
        const size_t room = link.receiveBufferSize() > 6 ? link.receiveBufferSize() - 6 : 0;
        std::memcpy(destination, link.receiveBuffer() + 6,
                    std::min(static_cast<size_t>(replyCount), room));
    }
    return replyCount;
}

}  // namespace paged

}  // namespace talvek
