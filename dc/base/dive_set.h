#pragma once
// What a download yields and a writer turns into a document.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dc/base/dive_record.h"

namespace talvek {

constexpr int HeaderImageSize = 144;
using HeaderImage = std::array<uint8_t, HeaderImageSize>;

// A dive as its readers see it: shared with the driver, never changed.
using ConstDivePtr = std::shared_ptr<const DiveRecord>;

// How a computer lays out its header image and dives; the writers and the
// unit conversion follow it.  The codes (1, 2, 4) are the ones the dive
// store's files and the unit conversion number the families by.
enum class DataFamily : int32_t { Family1 = 1, Family2 = 2, Family3 = 4 };

constexpr int32_t familyCode(DataFamily family) {
    return static_cast<int32_t>(family);
}

// The family of a stored code; none for a code no family has.
constexpr std::optional<DataFamily> familyOfCode(int32_t code) {
    switch (code) {
        case 1:
            return DataFamily::Family1;
        case 2:
            return DataFamily::Family2;
        case 4:
            return DataFamily::Family3;
        default:
            return std::nullopt;
    }
}

// The family of the computer, its header image and its dives, oldest
// first.  A copy of the header; the dives are shared.
struct DiveSet {
    DataFamily family{};  // none until a driver says
    HeaderImage header{};
    std::vector<ConstDivePtr> dives;
    // Dives the computer sent that could not be read (type 1 leaves out a
    // dive without its end marker): for each, how many of `dives` came
    // before it.  They still count when the dives are numbered as the
    // computer counts them.
    std::vector<size_t> unreadable;
};

}  // namespace talvek
