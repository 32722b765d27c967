// The type 1 profile walk tells depth changes, markers and gas switches
// apart by their bytes alone.
#include <gtest/gtest.h>

#include <vector>

#include "dc/profile/family1_profile.h"

namespace talvek {

namespace {

using Kind = Family1Profile::Kind;

std::vector<std::pair<Kind, int32_t>> walk(const std::vector<uint8_t>& bytes) {
    DiveRecord record;
    if (!bytes.empty()) record.setProfile(bytes.data(), static_cast<uint32_t>(bytes.size()));
    Family1Profile profile(record);
    Family1Profile::Item item;
    std::vector<std::pair<Kind, int32_t>> items;
    while (profile.next(item)) items.emplace_back(item.kind, item.value);
    return items;
}

TEST(Family1Profile, BytesAreChangesMarkersOrSwitches) {
    // Below 121 and above 135 a byte is a signed change in feet; 121..134 are
    // markers; 135 takes the next byte as the O2 of the new mix.
    const std::vector<std::pair<Kind, int32_t>> expected = {
        {Kind::DepthChange, 0},       {Kind::DepthChange, 120}, {Kind::Marker, 121},
        {Kind::DepthChange, -120},    {Kind::DepthChange, -1},  {Kind::Marker, 128},
        {Kind::Marker, 134},          {Kind::GasSwitch, 135},   {Kind::GasSwitch, 40},
        {Kind::TruncatedGasSwitch, 0}};
    EXPECT_EQ(walk({0, 120, 121, 136, 255, 128, 134, 135, 135, 135, 40, 135}), expected);
}

TEST(Family1Profile, NoBytesNoSteps) {
    EXPECT_TRUE(walk({}).empty());
    EXPECT_EQ(walk({135}), (std::vector<std::pair<Kind, int32_t>>{{Kind::TruncatedGasSwitch, 0}}));
}

}  // namespace

}  // namespace talvek
