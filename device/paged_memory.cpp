#include "device/paged_memory.h"

#include <cstring>

#include "dcdml/dcdml_document.h"
#include "device/errors.h"
#include "generate/generater_t1.h"
#include "platform/clock.h"
#include "trace/trace.h"

namespace sAPI {
namespace paged {

namespace {

uint16_t WordAt(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void PutWord(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The address range check of reads and writes: one byte at the top itself is
// still inside the memory.
bool Overruns(uint32_t address, int count, int32_t top) {
    return uint64_t{address} + static_cast<uint64_t>(count) > static_cast<uint64_t>(top) + 1;
}

}  // namespace

uint32_t SmallWindow(uint32_t address, int count, int32_t top) {
    const uint32_t t = static_cast<uint32_t>(top);
    if (address + static_cast<uint32_t>(count) == t + 1) return t - (SmallBlock - 1);
    if (address + SmallBlock > t) return t - SmallBlock;
    return address;
}

int Read(Device& device, const Texts& texts, const BlockRead& block, uint32_t address, int count,
         uint8_t* destination, bool countProgress) {
    if (count < 1 || !destination) {
        Trace::Write(Trace::Error, "%s", texts.badRead);
        throw BadInstruction(7);
    }
    if (Overruns(address, count, device.memoryTop())) {
        Trace::Write(Trace::Error, texts.overrun,
                     static_cast<unsigned>(address + static_cast<uint32_t>(count)));
        throw MemoryRangeError();
    }
    if (count < SmallBlock) {
        const uint32_t start = SmallWindow(address, count, device.memoryTop());
        uint8_t window[SmallBlock];
        block(start, SmallBlock, window);
        std::memcpy(destination, window + (address - start), static_cast<size_t>(count));
        if (countProgress) device.progress().Advance(SmallBlock);
        return SmallBlock;
    }
    if (count <= LargeBlock) {
        block(address, count, destination);
        if (countProgress) device.progress().Advance(count);
        return count;
    }
    if (texts.largeRead) Trace::Write(Trace::Detail, "%s", texts.largeRead);
    int total = 0;
    const int blocks = count / LargeBlock;
    for (int i = 0; i < blocks; ++i) {
        block(address + static_cast<uint32_t>(i * LargeBlock), LargeBlock,
              destination + i * LargeBlock);
        total += LargeBlock;
        if (countProgress) device.progress().Advance(LargeBlock);
        if (device.cancelled()) {
            Trace::Write(Trace::Info, "%s", texts.readCancel);
            throw User_Cancel();
        }
    }
    const int rest = count % LargeBlock;
    if (rest) {
        const int got =
            Read(device, texts, block, address + static_cast<uint32_t>(blocks * LargeBlock), rest,
                 destination + blocks * LargeBlock, true);
        if (countProgress) device.progress().Advance(got);
        total += got;
    }
    return total;
}

int Write(Device& device, const Texts& texts, const BlockRead& read, const BlockWrite& write,
          uint32_t address, int count, const uint8_t* source, bool countProgress) {
    if (count < 1 || !source) throw BadInstruction(6);
    if (Overruns(address, count, device.memoryTop())) throw MemoryRangeError();
    if (count < SmallBlock) {
        // Read the surrounding block first so that exactly the addressed
        // bytes change.
        const uint32_t start = SmallWindow(address, count, device.memoryTop());
        uint8_t window[SmallBlock];
        read(start, SmallBlock, window);
        std::memcpy(window + (address - start), source, static_cast<size_t>(count));
        write(address, count, window + (address - start));
        if (countProgress) device.progress().Advance(count);
        return count;
    }
    if (count <= LargeBlock) {
        write(address, count, source);
        if (countProgress) device.progress().Advance(count);
        return count;
    }
    int total = 0;
    const int blocks = count / LargeBlock;
    for (int i = 0; i < blocks; ++i) {
        write(address + static_cast<uint32_t>(i * LargeBlock), LargeBlock, source + i * LargeBlock);
        total += LargeBlock;
        if (countProgress) device.progress().Advance(LargeBlock);
        if (device.cancelled()) {
            Trace::Write(Trace::Info, "%s", texts.writeCancel);
            throw User_Cancel();
        }
    }
    const int rest = count % LargeBlock;
    if (rest) {
        const int put =
            Write(device, texts, read, write, address + static_cast<uint32_t>(blocks * LargeBlock),
                  rest, source + blocks * LargeBlock, true);
        if (countProgress) device.progress().Advance(put);
        total += put;
    }
    return total;
}

void StoreMemoryMap(uint8_t* image, const uint8_t* m) {
    // m[0] is device address 0x190.
    const uint16_t w190 = WordAt(m), w192 = WordAt(m + 2), w194 = WordAt(m + 4),
                   w196 = WordAt(m + 6);
    uint8_t* p = image + ImageMemoryMap;
    PutWord(p, w196);
    PutWord(p + 2, w190);
    PutWord(p + 4, w194);
    PutWord(p + 6, w196);
    PutWord(p + 8, w192);
}

__profile_ptrs MemoryMap(const uint8_t* image) {
    const uint8_t* p = image + ImageMemoryMap;
    return __profile_ptrs{WordAt(p), WordAt(p + 2), WordAt(p + 4), WordAt(p + 6), WordAt(p + 8)};
}

void ReadHeaderAfterIdentity(Device& device) {
    uint8_t* image = device.header();
    uint8_t block[64];
    auto totals = [&] {
        PutWord(image + ImageMaxDepth, WordAt(block));
        PutWord(image + ImageMaxDepth + 2, WordAt(block + 2));
        PutWord(image + ImageMaxDepth + 4, WordAt(block + 4));
    };

    device.progress().Advance(64);
    device.Read(MemSettings, 64, block, true);
    device.progress().Advance(64);
    std::memcpy(image + ImageSerial, block + MemSerial, 4);
    image[ImageUnits] = WordAt(block + MemUnits) == 0 ? 1 : 0;

    if (MemoryMap(image).diveCount != 0) {
        device.Read(MemTotals, 40, block, true);
        totals();
        Trace::Write(Trace::Detail, "Device: MaxDepth=0x%X,TotalTime=0x%X,TotalDives=0x%X",
                     WordAt(block), WordAt(block + 2), WordAt(block + 4));
    } else {
        std::memset(image + ImageMaxDepth, 0, 6);
    }
    device.Read(MemTotals, 40, block, true);
    device.progress().Advance(40);
    totals();

    device.Read(MemPersonal, 40, block, true);
    device.progress().Advance(40);
    std::memcpy(image + ImagePersonal, block, 40);
    // The 41st byte of the copy has no source in the 40 bytes read.
    image[ImagePersonal + 40] = 0;

    device.Read(MemMap, 40, block, true);
    device.progress().Advance(40);
    StoreMemoryMap(image, block);

    device.progress().SetCurrent(100);
}

void IdentityFrame(uint8_t* send) {
    send[0] = 0x0F;
    send[1] = 0x00;
    send[2] = 0x00;
}

void ReadFrame(uint8_t* send, uint32_t address, int count) {
    send[0] = 0x05;
    send[1] = 0x00;
    send[2] = 0x03;
    send[3] = static_cast<uint8_t>(address >> 8);
    send[4] = static_cast<uint8_t>(address & 0xFF);
    send[5] = static_cast<uint8_t>(count);
}

int WriteFrame(uint8_t* send, uint32_t address, int count, const uint8_t* source) {
    send[0] = 0x06;
    send[1] = 0x00;
    send[2] = static_cast<uint8_t>(count + 3);
    send[3] = static_cast<uint8_t>(address >> 8);
    send[4] = static_cast<uint8_t>(address & 0xFF);
    send[5] = static_cast<uint8_t>(count);
    std::memcpy(send + 6, source, static_cast<size_t>(count));
    return count + 6;
}

void StoreIdentity(uint8_t* image, const uint8_t* reply) {
    image[ImageModel] = reply ? reply[3] : 0;
    image[ImageFirmware1] = reply ? reply[4] : 0;
    image[ImageFirmware2] = reply ? reply[5] : 0;
    image[ImageFirmware3] = reply ? reply[6] : 0;
}

void ReadMemoryMapAfterIdentity(Device& device) {
    platform::sleepMs(100);
    uint8_t scratch[SmallBlock];
    device.Read(MemMap, SmallBlock, scratch, true);
    StoreMemoryMap(device.header(), scratch);
}

void Detect(Device& device, int attempts, const std::function<void()>& identityRead,
            const char* cancelTrace, const wchar_t* notFound) {
    TSmartProgress& progress = device.progress();
    progress.Reset(attempts);
    progress.SetCurrent(attempts);
    for (int attempt = 1;; ++attempt) {
        try {
            identityRead();
            break;
        } catch (const Error&) {
            progress.Advance(-1);
            if (device.cancelled()) {
                Trace::Write(Trace::Info, "%s", cancelTrace);
                throw User_Cancel();
            }
            if (attempt >= attempts) {
                device.DeviceFound(0);
                throw Device_Not_Present(notFound);
            }
            platform::sleepMs(500);
        }
    }
    device.ShowStatus(L"Comm Opened Successfully!");
    progress.SetCurrent(0);
    device.DeviceFound(1);
}

std::unique_ptr<OutputGenerater> ChooseGenerator(Device& device, const char* driverName,
                                                 uint32_t flags, int32_t units,
                                                 DcdmlFactory dcdml) {
    switch (flags & 0x300) {
        case 0:
        case 0x100:
            Trace::Write(Trace::Info, "%s::MakeOutput(): Using Generator Type 1", driverName);
            return std::make_unique<OutputGeneraterT1D2>(device.header(), &device.dives(),
                                                         device.familyCode());
        case 0x200:
            Trace::Write(Trace::Info, "%s::MakeOutput(): Using Generator Type 2", driverName);
            return dcdml(device.header(), &device.dives(), device.familyCode(), units);
        default:
            Trace::Write(Trace::Error, "%s::MakeOutput(): Requested invalid output Format",
                         driverName);
            throw Error(L"Output: format not supported");
    }
}

void SetDocumentOptions(DCDMLDocument& document, uint32_t flags) {
    document.SetFlags(DCDMLDocument::Utf8);
    if (flags & 0x1000)
        document.SetFlags(DCDMLDocument::FullEndTags);
    else
        document.ClearFlags(DCDMLDocument::FullEndTags);
    if (flags & 0x2000)
        document.SetFlags(DCDMLDocument::Indent);
    else
        document.ClearFlags(DCDMLDocument::Indent);
}

int32_t UnitsFromFlags(uint32_t flags) {
    switch (flags & 0xE0000) {
        case 0x40000:
            return 0x40000;
        case 0x80000:
            return 0x80000;
        default:
            return 0x20000;
    }
}

}  // namespace paged
}  // namespace sAPI
