// The simulator's image-file reader: any file is refused or read, and what
// is read writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "replay/computer_image.h"

using namespace talvek;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    replay::ComputerImage image;
    try {
        image = replay::decodeImage(bytes);
    } catch (const std::runtime_error&) {
        return 0;
    }
    if (replay::encodeImage(image) != bytes) __builtin_trap();
    return 0;
}
