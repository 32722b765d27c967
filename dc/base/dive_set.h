#pragma once
// What a download yields and a writer turns into a document.
#include <cstdint>

#include "dc/base/dive_record.h"

namespace talvek {

constexpr int HeaderImageSize = 144;

// The family code of the computer (1, 2 or 4), its header image and its
// dives, oldest first.
struct DiveSet {
    int32_t family = 0;
    const uint8_t* header = nullptr;  // HeaderImageSize bytes
    DiveList* dives = nullptr;
};

}  // namespace talvek
