#pragma once
// What a download yields and a writer turns into a document.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "dc/base/dive_record.h"

namespace talvek {

constexpr int HeaderImageSize = 144;
using HeaderImage = std::array<uint8_t, HeaderImageSize>;

// A dive as its readers see it: shared with the driver, never changed.
using ConstDivePtr = std::shared_ptr<const DiveRecord>;

// The family code of the computer (1, 2 or 4), its header image and its
// dives, oldest first.  A copy of the header; the dives are shared.
struct DiveSet {
    int32_t family = 0;
    HeaderImage header{};
    std::vector<ConstDivePtr> dives;
    // Dives the computer sent that could not be read (type 1 leaves out a
    // dive without its end marker): for each, how many of `dives` came
    // before it.  They still count when the dives are numbered as the
    // computer counts them.
    std::vector<size_t> unreadable;
};

}  // namespace talvek
