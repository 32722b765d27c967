#include "dc/paged/paged_memory.h"

#include <cstring>

#include "dc/base/errors.h"
#include "trace/trace.h"

namespace talvek {

namespace paged {

namespace {

uint16_t wordAt(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void putWord(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The address range check of reads and writes: one byte at the top itself is
// still inside the memory.
bool overruns(uint32_t address, int count, int32_t top) {
    return uint64_t{address} + static_cast<uint64_t>(count) > static_cast<uint64_t>(top) + 1;
}

}  // namespace

uint32_t smallWindow(uint32_t address, int count, int32_t top) {
    const uint32_t t = static_cast<uint32_t>(top);
    if (address + static_cast<uint32_t>(count) == t + 1) return t - (SmallBlock - 1);
    if (address + SmallBlock > t) return t - SmallBlock;
    return address;
}

int read(Driver& device, const Texts& texts, const BlockRead& block, uint32_t address, int count,
         uint8_t* destination, bool countProgress) {
    if (count < 1 || !destination) {
        trace::write(trace::Error, "%s", texts.badRead);
        throw BadInstruction(ErrorCode::BadReadParameter);
    }
    if (overruns(address, count, device.memoryTop())) {
        trace::write(trace::Error, texts.overrun,
                     static_cast<unsigned>(address + static_cast<uint32_t>(count)));
        throw MemoryRangeError();
    }
    if (count < SmallBlock) {
        const uint32_t start = smallWindow(address, count, device.memoryTop());
        uint8_t window[SmallBlock];
        block(start, SmallBlock, window);
        std::memcpy(destination, window + (address - start), static_cast<size_t>(count));
        if (countProgress) device.progress().advance(SmallBlock);
        return SmallBlock;
    }
    if (count <= LargeBlock) {
        block(address, count, destination);
        if (countProgress) device.progress().advance(count);
        return count;
    }
    if (texts.largeRead) trace::write(trace::Detail, "%s", texts.largeRead);
    int total = 0;
    const int blocks = count / LargeBlock;
    for (int i = 0; i < blocks; ++i) {
        block(address + static_cast<uint32_t>(i * LargeBlock), LargeBlock,
              destination + i * LargeBlock);
        total += LargeBlock;
        if (countProgress) device.progress().advance(LargeBlock);
        if (device.cancelled()) {
            trace::write(trace::Info, "%s", texts.readCancel);
            throw UserCancel();
        }
    }
    const int rest = count % LargeBlock;
    if (rest) {
        const int got =
            read(device, texts, block, address + static_cast<uint32_t>(blocks * LargeBlock), rest,
                 destination + blocks * LargeBlock, true);
        if (countProgress) device.progress().advance(got);
        total += got;
    }
    return total;
}

int write(Driver& device, const Texts& texts, const BlockRead& read, const BlockWrite& write,
          uint32_t address, int count, const uint8_t* source, bool countProgress) {
    if (count < 1 || !source) throw BadInstruction(ErrorCode::BadWriteParameter);
    if (overruns(address, count, device.memoryTop())) throw MemoryRangeError();
    if (count < SmallBlock) {
        // Read the surrounding block first so that exactly the addressed
        // bytes change.
        const uint32_t start = smallWindow(address, count, device.memoryTop());
        uint8_t window[SmallBlock];
        read(start, SmallBlock, window);
        std::memcpy(window + (address - start), source, static_cast<size_t>(count));
        write(address, count, window + (address - start));
        if (countProgress) device.progress().advance(count);
        return count;
    }
    if (count <= LargeBlock) {
        write(address, count, source);
        if (countProgress) device.progress().advance(count);
        return count;
    }
    int total = 0;
    const int blocks = count / LargeBlock;
    for (int i = 0; i < blocks; ++i) {
        write(address + static_cast<uint32_t>(i * LargeBlock), LargeBlock, source + i * LargeBlock);
        total += LargeBlock;
        if (countProgress) device.progress().advance(LargeBlock);
        if (device.cancelled()) {
            trace::write(trace::Info, "%s", texts.writeCancel);
            throw UserCancel();
        }
    }
    const int rest = count % LargeBlock;
    if (rest) {
        const int put = paged::write(device, texts, read, write,
                                     address + static_cast<uint32_t>(blocks * LargeBlock), rest,
                                     source + blocks * LargeBlock, true);
        if (countProgress) device.progress().advance(put);
        total += put;
    }
    return total;
}

void storeMemoryMap(uint8_t* image, const uint8_t* m) {
    // m[0] is device address 0x190.
    const uint16_t w190 = wordAt(m), w192 = wordAt(m + 2), w194 = wordAt(m + 4),
                   w196 = wordAt(m + 6);
    uint8_t* p = image + ImageMemoryMap;
    putWord(p, w196);
    putWord(p + 2, w190);
    putWord(p + 4, w194);
    putWord(p + 6, w196);
    putWord(p + 8, w192);
}

MemoryMap memoryMap(const uint8_t* image) {
    const uint8_t* p = image + ImageMemoryMap;
    return MemoryMap{wordAt(p), wordAt(p + 2), wordAt(p + 4), wordAt(p + 6), wordAt(p + 8)};
}

void readHeaderAfterIdentity(Driver& device) {
    uint8_t* image = device.header();
    uint8_t block[64];
    auto totals = [&] {
        putWord(image + ImageMaxDepth, wordAt(block));
        putWord(image + ImageMaxDepth + 2, wordAt(block + 2));
        putWord(image + ImageMaxDepth + 4, wordAt(block + 4));
    };

    device.progress().advance(64);
    device.read(MemSettings, 64, block, true);
    device.progress().advance(64);
    std::memcpy(image + ImageSerial, block + MemSerial, 4);
    image[ImageUnits] = wordAt(block + MemUnits) == 0 ? 1 : 0;

    if (memoryMap(image).diveCount != 0) {
        device.read(MemTotals, 40, block, true);
        totals();
        trace::write(trace::Detail, "Device: MaxDepth=0x%X,TotalTime=0x%X,TotalDives=0x%X",
                     wordAt(block), wordAt(block + 2), wordAt(block + 4));
    } else {
        std::memset(image + ImageMaxDepth, 0, 6);
    }
    device.read(MemTotals, 40, block, true);
    device.progress().advance(40);
    totals();

    device.read(MemPersonal, 40, block, true);
    device.progress().advance(40);
    std::memcpy(image + ImagePersonal, block, 40);
    // The 41st byte of the copy has no source in the 40 bytes read.
    image[ImagePersonal + 40] = 0;

    device.read(MemMap, 40, block, true);
    device.progress().advance(40);
    storeMemoryMap(image, block);

    device.progress().setCurrent(100);
}

}  // namespace paged

}  // namespace talvek
