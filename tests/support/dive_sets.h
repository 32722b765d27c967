#pragma once
// Dive sets for the writer tests, from a header image and a dive list.
#include <algorithm>
#include <cstdint>

#include "dc/base/dive_set.h"

namespace talvek {

inline DiveSet diveSetOf(int32_t family, const uint8_t* header, const DiveList& dives) {
    DiveSet set;
    set.family = family;
    std::copy(header, header + HeaderImageSize, set.header.begin());
    set.dives.assign(dives.begin(), dives.end());
    return set;
}

}  // namespace talvek
