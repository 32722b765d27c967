#pragma once
// The read loop both systems' readWholeFile share: whole chunks appended
// until the end, never more than the bound.  Not part of the interface.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/os.h"

namespace talvek {

namespace platform {

// `readChunk(buffer, size)` returns the bytes read, 0 at the end, or -1
// with the system error number in `error`.  A file that grew past the bound
// since its size was checked is TooLarge all the same: a byte past the
// bound says so.
template <class ReadChunk>
FileRead readBounded(ReadChunk&& readChunk, std::vector<uint8_t>& bytes, size_t maxBytes) {
    FileRead result;
    result.outcome = ReadOutcome::Read;
    uint8_t buf[65536];
    while (result.ok()) {
        const long n = readChunk(buf, sizeof buf, result.error);
        if (n == 0) break;
        if (n < 0) {
            result.outcome = ReadOutcome::Failed;
        } else if (static_cast<size_t>(n) > maxBytes - bytes.size()) {
            result.outcome = ReadOutcome::TooLarge;
        } else {
            bytes.insert(bytes.end(), buf, buf + n);
        }
    }
    if (!result.ok()) bytes.clear();
    return result;
}

}  // namespace platform

}  // namespace talvek
