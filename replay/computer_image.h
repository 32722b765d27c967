#pragma once
// The whole state of one dive computer as far as a download sees it: its
// interface type, the identity bytes it answers with, its memory and, for
// type 1, the dives it streams on request.  Saved to and loaded from one
// image file: the simulator serves such files, talvek-dl writes them from
// what it read (-dump) and replays them (-image).
//
// Image file format (all numbers little-endian):
//
//   offset  size  contents
//   0       8     magic "TLVKSIM\0"
//   8       1     format version, 1
//   9       1     interface type, 1, 2 or 3
//   10      4     identity bytes: model code, firmware numbers 1, 2, 3
//   14      4     memory size M (0x2000 for type 1, 0x8000 for types 2 and 3)
//   18      M     memory, from address 0
//   18+M    4     number of dive streams D (0 for types 2 and 3)
//   ...           D times: 4-byte length L, then L bytes of one dive as the
//                 computer transmits it (type 1), oldest dive first; at
//                 most 4096 streams of at most 8000 bytes, together at
//                 most the memory's 8192
//   end-4   4     CRC-32 (IEEE, as zlib) of every byte before it
//
// Nothing may follow the CRC.  A file that breaks any of these rules is
// refused as a whole.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talvek {

namespace replay {

// The interface type byte of an image.  The three named here are the ones
// this layer's engines answer for; an image of another type is valid when
// whoever reads it knows its shape (ShapeOf).
enum class InterfaceType : uint8_t { Type1 = 1, Type2 = 2, Type3 = 3 };

// What an image of one interface type holds: its memory size and whether
// the computer streams its dives (type 1) rather than keeping them in memory.
struct ImageShape {
    uint32_t memorySize = 0;
    bool streamsDives = false;
};
// The shape of an image type, or none for a type the reader does not know.
using ShapeOf = std::function<std::optional<ImageShape>(InterfaceType)>;
// The shapes of types 1, 2 and 3.
std::optional<ImageShape> builtInShape(InterfaceType t);

// Memory geometry of each type.
constexpr uint32_t Type1MemorySize = 0x2000;
constexpr uint32_t Type23MemorySize = 0x8000;
constexpr uint32_t Type1MemoryTop = 0x1FFF;  // last valid address
constexpr uint32_t Type2MemoryTop = 0x7FFE;  // first address past the dive ring
constexpr uint32_t Type3MemoryTop = 0x7FF7;
constexpr uint32_t RingStart = 0x019A;
// Largest dive a type 1 computer holds (its host collects a dive on a
// stack of 8192 bytes).
constexpr uint32_t Type1MaxDiveStream = 8000;
// What all dives a type 1 computer streams come to at most: they come from
// its memory, and a stream longer than that is damaged.
constexpr uint32_t Type1StreamsTotal = Type1MemorySize;
// Most dive streams an image holds.
constexpr uint32_t MaxDiveStreams = 4096;
// The largest valid image file: the header, the larger memory, then for
// type 1 the most streams with their lengths, and the CRC (both types come
// to the same size).
constexpr size_t MaxImageFileSize =
    18 + Type1MemorySize + 4 + 4 * size_t{MaxDiveStreams} + Type1StreamsTotal + 4;
static_assert(MaxImageFileSize >= 18 + Type23MemorySize + 4 + 4);

uint32_t memorySize(InterfaceType t);
// Ring top of types 2 and 3 (0 for type 1).
uint32_t ringTop(InterfaceType t);
// Line speed of the type's interface.
uint32_t baudRate(InterfaceType t);

struct ComputerImage {
    InterfaceType type = InterfaceType::Type2;
    // Model code, firmware numbers 1, 2, 3 (the identity reply of types 2
    // and 3; for type 1 a copy of what its memory says).
    std::array<uint8_t, 4> identity{};
    std::vector<uint8_t> memory;
    std::vector<std::vector<uint8_t>> diveStreams;  // type 1 only, oldest first

    // A blank computer of the given type (memory of the right size, zeroed).
    static ComputerImage blank(InterfaceType t);
    bool operator==(const ComputerImage&) const = default;
};

// Image files of the types `shapes` knows.  All four throw
// std::runtime_error with a readable message; a name that is no plain file
// (a pipe, a device) or holds more than the largest valid image is "not a
// simulator image".
std::vector<uint8_t> encodeImage(const ComputerImage& image, const ShapeOf& shapes = builtInShape);
ComputerImage decodeImage(const std::vector<uint8_t>& bytes, const ShapeOf& shapes = builtInShape);
// Replaces the file as a whole (platform::replaceFile): an older image of
// that name survives a failed save.
void saveImage(const ComputerImage& image, const std::string& path,
               const ShapeOf& shapes = builtInShape);
ComputerImage loadImage(const std::string& path, const ShapeOf& shapes = builtInShape);

// CRC-32 (IEEE, as zlib): the checksum of image files and of the dive store.
uint32_t crc32(const uint8_t* data, size_t n);
// XOR of n bytes, the checksum of every frame.
uint8_t xorSum(const uint8_t* data, size_t n);

}  // namespace replay

}  // namespace talvek
