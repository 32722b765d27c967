// The simulated computer goes diving: sim::addDives logs dives the way the
// computer would, and a download afterwards finds the old dives that are
// left followed by the new ones.
#include <gtest/gtest.h>

#include <memory>

#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "dc/type1/type1_driver.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/sim_decode.h"

namespace talvek {

namespace {

using replay::InterfaceType;

uint16_t LE(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint16_t>(m[at] | (m[at + 1] << 8));
}
uint16_t BE(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint16_t>((m[at] << 8) | m[at + 1]);
}

// A whole download of `image` with the real driver of its type.
DiveSet Download(const replay::ComputerImage& image) {
    platform::VirtualClock clock(1000);
    platform::ScopedClock scoped(clock);
    sim::MemoryComputer computer(image);
    platform::MemoryPortRegistry ports;
    ports.add("DC", &computer);
    static CancelFlag cancel{false};
    std::unique_ptr<Driver> d;
    if (image.type == InterfaceType::Type1)
        d = std::make_unique<Type1Driver>("DC", &cancel, ports);
    else if (image.type == InterfaceType::Type2)
        d = std::make_unique<Type2Driver>("DC", &cancel, ports);
    else
        d = std::make_unique<Type3Driver>("DC", &cancel, ports);
    d->open(4);
    d->readHeader();
    while (d->nextDive()) {
    }
    return d->diveSet();
}

void ExpectDives(const DiveSet& d, const std::vector<sim::MeantDive>& want, InterfaceType type) {
    ASSERT_EQ(d.dives.size(), want.size());
    size_t i = 0;
    for (const auto& got : d.dives) {
        DiveRecord meant;
        sim::fillDiveData(want[i], type, meant);
        EXPECT_EQ(simtest::diffRecords(*got, meant), "") << "dive " << i;
        ++i;
    }
}

sim::BuiltComputer Built(InterfaceType type, int dives, bool fill = false) {
    sim::BuildOptions o;
    o.type = type;
    o.dives = dives;
    o.seed = 51;
    o.fill = fill;
    return sim::buildComputer(o);
}

class AddDivesTest : public ::testing::TestWithParam<InterfaceType> {};

TEST_P(AddDivesTest, NewDivesFollowTheNewestOne) {
    sim::BuiltComputer b = Built(GetParam(), 6);
    replay::ComputerImage& image = b.image;
    const auto before = image.memory;
    const auto added = sim::addDives(image, 3, 5);
    ASSERT_EQ(added.size(), 3u);

    // Links: each new dive points back to the one before it; the first to
    // the newest dive there was, and it lies where the end pointer was.
    EXPECT_EQ(added[0].headerAddress, LE(before, 0x194));
    EXPECT_EQ(added[0].olderLink, LE(before, 0x190));
    for (size_t k = 1; k < added.size(); ++k) {
        EXPECT_EQ(added[k].olderLink, added[k - 1].headerAddress);
        EXPECT_EQ(added[k].headerAddress, added[k - 1].newerLink);
    }
    // Memory map and totals.
    const auto& m = image.memory;
    EXPECT_EQ(LE(m, 0x190), added.back().headerAddress);
    EXPECT_EQ(LE(m, 0x192), LE(before, 0x192) + 3);
    EXPECT_EQ(LE(m, 0x194), added.back().newerLink);
    EXPECT_EQ(LE(m, 0x196), LE(before, 0x196));
    EXPECT_EQ(LE(m, 0x18A), LE(before, 0x18A) + 3);
    uint32_t time = LE(before, 0x188), depth = LE(before, 0x186);
    for (const auto& d : added) {
        time += d.diveTime;
        depth = std::max<uint32_t>(depth, d.maxDepth);
    }
    EXPECT_EQ(LE(m, 0x188), time);
    EXPECT_EQ(LE(m, 0x186), depth);
    // Later than the newest dive, a new series (the diver went home).
    const sim::MeantDive& last = b.meant.dives.back();
    EXPECT_GT(std::tie(added[0].year, added[0].month, added[0].day),
              std::tie(last.year, last.month, last.day));
    EXPECT_EQ(added[0].diveNumber, 1);

    auto want = b.meant.dives;
    want.insert(want.end(), added.begin(), added.end());
    const DiveSet d = Download(image);
    ExpectDives(d, want, GetParam());
    EXPECT_EQ(d.header[0x26] | (d.header[0x27] << 8), LE(m, 0x18A));
}

TEST_P(AddDivesTest, AFullRingGivesUpItsOldestDives) {
    sim::BuiltComputer b = Built(GetParam(), 0, true);
    const auto added = sim::addDives(b.image, 8, 6);
    const uint16_t start = LE(b.image.memory, 0x196);
    size_t first = 0;
    while (first < b.meant.dives.size() && b.meant.dives[first].headerAddress != start) ++first;
    ASSERT_GT(first, 0u);
    ASSERT_LT(first, b.meant.dives.size());
    std::vector<sim::MeantDive> want(b.meant.dives.begin() + static_cast<std::ptrdiff_t>(first),
                                     b.meant.dives.end());
    want.insert(want.end(), added.begin(), added.end());
    EXPECT_EQ(LE(b.image.memory, 0x192), want.size());
    ExpectDives(Download(b.image), want, GetParam());
}

TEST_P(AddDivesTest, AnEmptyComputerStartsAtItsEndPointer) {
    sim::BuiltComputer b = Built(GetParam(), 0);
    const uint16_t end = LE(b.image.memory, 0x194);
    const auto added = sim::addDives(b.image, 2, 7);
    EXPECT_EQ(added[0].headerAddress, end);
    EXPECT_EQ(added[0].olderLink, 0u);
    EXPECT_EQ(LE(b.image.memory, 0x196), end);
    ExpectDives(Download(b.image), added, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Types, AddDivesTest,
                         ::testing::Values(InterfaceType::Type2, InterfaceType::Type3),
                         [](const ::testing::TestParamInfo<InterfaceType>& info) {
                             return "type" + std::to_string(static_cast<int>(info.param));
                         });

TEST(AddDives, Type1ComputersStreamOneMoreDiveEach) {
    sim::BuiltComputer b = Built(InterfaceType::Type1, 3);
    const auto before = b.image.memory;
    const auto added = sim::addDives(b.image, 2, 8);
    ASSERT_EQ(b.image.diveStreams.size(), 5u);
    EXPECT_EQ(BE(b.image.memory, 0x22), BE(before, 0x22) + 2);
    EXPECT_EQ(BE(b.image.memory, 0x20), BE(before, 0x20) + added[0].diveTime + added[1].diveTime);
    auto want = b.meant.dives;
    want.insert(want.end(), added.begin(), added.end());
    ExpectDives(Download(b.image), want, InterfaceType::Type1);
}

// A type 1 computer streams from its 8 KB memory: past it, the oldest dives
// go, the totals still count them, and the host reads what is left whole.
TEST(AddDives, Type1MemoryFullGivesUpItsOldestStreams) {
    const auto streamed = [](const replay::ComputerImage& image) {
        size_t bytes = 0;
        for (const auto& s : image.diveStreams) bytes += s.size();
        return bytes;
    };
    sim::BuiltComputer b = Built(InterfaceType::Type1, 200);
    EXPECT_LE(streamed(b.image), replay::Type1StreamsTotal);
    EXPECT_GT(streamed(b.image), replay::Type1StreamsTotal - replay::Type1MaxDiveStream);
    EXPECT_GT(b.meant.overwritten, 0u);
    EXPECT_EQ(b.meant.overwritten + b.meant.dives.size(), 200u);
    EXPECT_EQ(BE(b.image.memory, 0x22), 200);
    ExpectDives(Download(b.image), b.meant.dives, InterfaceType::Type1);

    // A long trip on top: the newest streams are the trip's, fewer than it logged.
    const auto added = sim::addDives(b.image, 150, 9);
    EXPECT_LE(streamed(b.image), replay::Type1StreamsTotal);
    EXPECT_LT(added.size(), 150u);
    EXPECT_EQ(b.image.diveStreams.size(), added.size());
    EXPECT_EQ(BE(b.image.memory, 0x22), 350);
    ExpectDives(Download(b.image), added, InterfaceType::Type1);
}

TEST(AddDives, TheSameSeedLogsTheSameDives) {
    replay::ComputerImage a = Built(InterfaceType::Type2, 4).image, b = a;
    sim::addDives(a, 2, 9);
    sim::addDives(b, 2, 9);
    EXPECT_TRUE(a == b);
    replay::ComputerImage c = Built(InterfaceType::Type2, 4).image;
    sim::addDives(c, 2, 10);
    EXPECT_FALSE(a == c);
}

TEST(AddDives, RefusesAMemoryWithoutADiveRing) {
    replay::ComputerImage image = Built(InterfaceType::Type3, 2).image;
    image.memory[0x194] = image.memory[0x195] = 0;  // end pointer 0
    EXPECT_THROW(sim::addDives(image, 1, 1), std::invalid_argument);
    EXPECT_THROW(sim::addDives(image, -1, 1), std::invalid_argument);
}

}  // namespace

}  // namespace talvek
