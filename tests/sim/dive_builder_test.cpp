// Built memories must read back as what the builder meant to write: the
// ring is walked and the profiles decoded by the test's own readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "support/sim_decode.h"

namespace talvek {

using replay::InterfaceType;
using namespace simtest;

namespace {

sim::BuiltComputer build(InterfaceType t, int dives, uint32_t seed = 1) {
    sim::BuildOptions o;
    o.type = t;
    o.dives = dives;
    o.seed = seed;
    return sim::buildComputer(o);
}

// Walks the ring and checks every stored dive against the description.
void expectRingMatches(const sim::BuiltComputer& b) {
    const auto& mem = b.image.memory;
    const auto& m = b.meant;
    const uint32_t top = replay::ringTop(m.type);
    EXPECT_EQ(le(mem, 0x192), m.diveCount);
    EXPECT_EQ(le(mem, 0x194), m.endPointer);
    EXPECT_EQ(le(mem, 0x196), m.startPointer);
    EXPECT_EQ(le(mem, 0x190), m.newestHeader);
    EXPECT_EQ(m.diveCount, m.dives.size());
    EXPECT_EQ(ringDistance(m.startPointer, m.endPointer, top), m.ringBytesUsed);
    const auto walked = walkRing(mem, top);
    ASSERT_EQ(walked.size(), m.dives.size());
    for (size_t i = 0; i < walked.size(); ++i) {
        SCOPED_TRACE("dive " + std::to_string(i));
        const auto& md = m.dives[i];
        const auto& w = walked[i];
        EXPECT_EQ(w.address, md.headerAddress);
        EXPECT_LT(w.address, top);
        ASSERT_EQ(w.headerSize, md.headerSize);
        EXPECT_EQ(le(w.header, 0), md.olderLink);
        DiveRecord got, want;
        parseHeader(w, got);
        sim::fillDiveData(md, m.type, want);
        EXPECT_EQ(diffRecords(got, want), "");
        const auto p = decodeProfile(w.profile, got.pressureSamples != 0, got.temperatureInterval,
                                     got.firstEventBlock);
        ASSERT_EQ(p.samples.size(), md.samples.size());
        for (size_t k = 0; k < p.samples.size(); ++k) {
            EXPECT_EQ(p.samples[k].depth, md.samples[k].depth) << k;
            EXPECT_EQ(p.samples[k].pressure, md.samples[k].pressure) << k;
            EXPECT_EQ(p.samples[k].hasTemperature, md.samples[k].hasTemperature) << k;
            if (md.samples[k].hasTemperature) {
                EXPECT_EQ(p.samples[k].temperature, md.samples[k].temperature) << k;
            }
        }
        std::vector<DecodedEvent> meantEvents;
        for (const auto& blk : md.blocks)
            for (const auto& e : blk.events)
                if (e.type >= 2 && e.type <= 5) meantEvents.push_back({blk.sampleIndex, e});
        ASSERT_EQ(p.events.size(), meantEvents.size());
        for (size_t k = 0; k < p.events.size(); ++k) {
            const auto& a = p.events[k];
            const auto& e = meantEvents[k];
            EXPECT_EQ(a.block, e.block);
            EXPECT_EQ(a.event.type, e.event.type);
            EXPECT_EQ(a.event.data1, e.event.data1);
            EXPECT_EQ(a.event.data2, e.event.data2);
            EXPECT_EQ(a.event.data3, e.event.data3);
            EXPECT_EQ(a.event.data4, e.event.data4);
            EXPECT_EQ(a.event.word, e.event.word);
        }
        // A whole profile ends exactly after its last sample.
        EXPECT_TRUE(p.atEnd);
    }
}

}  // namespace

TEST(SimDiveBuilder, Type2MemoryReadsBackAsMeant) {
    const auto b = build(InterfaceType::Type2, 12);
    const auto& mem = b.image.memory;
    const auto& m = b.meant;
    ASSERT_EQ(mem.size(), 0x8000u);
    EXPECT_EQ(b.image.identity[0], m.model);
    // Settings area.
    EXPECT_TRUE(std::equal(mem.begin() + 0x23, mem.begin() + 0x27, std::begin(m.serial)));
    EXPECT_EQ(le(mem, 0x34) == 0, m.metric);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&mem[0x15E]),
                          strnlen(reinterpret_cast<const char*>(&mem[0x15E]), 40)),
              m.personalText);
    EXPECT_EQ(le(mem, 0x186), m.maxDepth);
    EXPECT_EQ(le(mem, 0x188), m.totalDiveTime);
    EXPECT_EQ(le(mem, 0x18A), 12);
    // A new computer: the first dive at the ring start, nothing overwritten.
    EXPECT_EQ(m.startPointer, replay::RingStart);
    EXPECT_EQ(m.dives.size(), 12u);
    EXPECT_EQ(m.dives.front().olderLink, 0u);
    expectRingMatches(b);
}

TEST(SimDiveBuilder, DivesCoverEverySizeModeRecordAndCode) {
    const auto b = build(InterfaceType::Type2, 12);
    std::set<uint32_t> sizes;
    std::set<int> modes, codes, types, tempIntervals;
    bool negativeTemp = false, twoGases = false;
    for (const auto& d : b.meant.dives) {
        sizes.insert(d.headerSize);
        modes.insert(d.diveMode);
        tempIntervals.insert(d.temperatureInterval);
        twoGases |= d.oxygen2 > 0;
        EXPECT_EQ(d.pressureSamples, d.headerSize >= 77 ? 1 : 0);
        for (const auto& s : d.samples) negativeTemp |= s.hasTemperature && s.temperature < 0;
        for (const auto& blk : d.blocks)
            for (const auto& e : blk.events) {
                types.insert(e.type);
                if (e.type == 3) codes.insert(e.data1);
            }
        // Depths are plausible centimetres; the deepest sample is the header's.
        uint16_t deepest = 0;
        for (const auto& s : d.samples) deepest = std::max(deepest, s.depth);
        EXPECT_EQ(deepest, d.maxDepth);
        EXPECT_GE(d.maxDepth, 500);
        EXPECT_LE(d.maxDepth, 5000);
    }
    for (uint32_t s = 73; s <= 83; ++s) EXPECT_TRUE(sizes.count(s)) << s;
    EXPECT_EQ(modes, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(types, (std::set<int>{0, 2, 3, 4, 5, 9}));
    for (int c : {1,   3,   4,   5,   6,   7,   8,   9,   13,  14,  15,
                  129, 131, 132, 133, 134, 135, 136, 137, 141, 142, 143})
        EXPECT_TRUE(codes.count(c)) << c;
    EXPECT_TRUE(codes.count(77) || codes.count(200));  // a code nobody knows
    EXPECT_TRUE(tempIntervals.count(0));
    EXPECT_TRUE(negativeTemp);
    EXPECT_TRUE(twoGases);
    // Repetition series: the memory starts inside a series, others start at 1.
    EXPECT_EQ(b.meant.dives.front().diveNumber, 2);
    int starts = 0;
    for (size_t i = 1; i < b.meant.dives.size(); ++i) {
        const auto& d = b.meant.dives[i];
        if (d.diveNumber == 1)
            ++starts;
        else
            EXPECT_EQ(d.diveNumber, b.meant.dives[i - 1].diveNumber + 1);
    }
    EXPECT_GE(starts, 2);
}

TEST(SimDiveBuilder, WrappingRingsForBothTops) {
    for (auto t : {InterfaceType::Type2, InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(t));
        sim::BuildOptions o;
        o.type = t;
        o.dives = 6;
        o.wrap = true;
        const auto b = sim::buildComputer(o);
        const uint32_t top = replay::ringTop(t);
        EXPECT_GT(b.meant.startPointer, b.meant.endPointer);  // the stored span runs past the top
        bool profileWraps = false;
        for (const auto& d : b.meant.dives) {
            EXPECT_LE(d.headerAddress + d.headerSize, top - 1);
            profileWraps |= d.headerAddress + d.headerSize + d.profile.size() > top;
        }
        EXPECT_TRUE(profileWraps);
        expectRingMatches(b);
        // Nothing of the ring lies at or past the top.
        for (uint32_t a = top; a < 0x8000; ++a) ASSERT_EQ(b.image.memory[a], 0) << a;
    }
}

TEST(SimDiveBuilder, FullMemoryOverwritesItsOldestDives) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type3;
    o.fill = true;
    o.seed = 7;
    const auto b = sim::buildComputer(o);
    const uint32_t ring = replay::Type3MemoryTop - replay::RingStart;
    EXPECT_GT(b.meant.overwritten, 0u);
    EXPECT_EQ(b.meant.totalDives, b.meant.overwritten + b.meant.dives.size());
    EXPECT_GT(b.meant.ringBytesUsed, ring * 9 / 10);
    EXPECT_LT(b.meant.ringBytesUsed, ring);
    EXPECT_GE(b.meant.dives.size(), 20u);
    expectRingMatches(b);
}

TEST(SimDiveBuilder, HundredsOfDivesAndNoDives) {
    const auto many = build(InterfaceType::Type2, 300, 3);
    EXPECT_EQ(many.meant.totalDives, 300);
    expectRingMatches(many);

    const auto none = build(InterfaceType::Type2, 0);
    EXPECT_EQ(le(none.image.memory, 0x192), 0);
    EXPECT_EQ(none.meant.startPointer, none.meant.endPointer);
    EXPECT_TRUE(walkRing(none.image.memory, replay::Type2MemoryTop).empty());
    // The ring of a computer that never dived is erased memory.
    for (uint32_t a = replay::RingStart; a < replay::Type2MemoryTop; ++a)
        ASSERT_EQ(none.image.memory[a], 0xFF);
}

TEST(SimDiveBuilder, HeaderAcrossTheTop) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type2;
    o.dives = 5;
    o.headerAcrossTop = true;
    const auto b = sim::buildComputer(o);
    int across = 0;
    for (const auto& d : b.meant.dives)
        across += d.headerAddress + d.headerSize > replay::Type2MemoryTop;
    EXPECT_EQ(across, 1);
    expectRingMatches(b);  // the test walker wraps the profile start
}

TEST(SimDiveBuilder, BrokenMemories) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type2;
    o.dives = 8;
    o.noEndMarker = true;
    o.brokenDive = 3;
    auto b = sim::buildComputer(o);
    auto walked = walkRing(b.image.memory, replay::Type2MemoryTop);
    ASSERT_EQ(walked.size(), 4u);
    EXPECT_EQ(walked.back().headerSize, 0u);
    EXPECT_TRUE(b.meant.dives[3].noEndMarker);

    o.noEndMarker = false;
    o.truncatedProfile = true;
    o.type = InterfaceType::Type3;
    b = sim::buildComputer(o);
    ASSERT_TRUE(b.meant.dives[3].truncated);
    walked = walkRing(b.image.memory, replay::Type3MemoryTop);
    ASSERT_EQ(walked.size(), 8u);
    const auto& d = b.meant.dives[3];
    const auto p = decodeProfile(walked[3].profile, d.pressureSamples != 0, d.temperatureInterval,
                                 d.firstEventBlock);
    EXPECT_TRUE(p.atEnd);
    EXPECT_EQ(p.samples.size(), d.samples.size());
    // The header still counts every sample the computer meant to store.
    EXPECT_LT(d.samples.size(), le(walked[3].header, d.headerSize - 4));
    expectRingMatches(b);

    EXPECT_THROW(sim::buildComputer({InterfaceType::Type2, 1, 3, false, false, false, false, true}),
                 std::invalid_argument);
}

TEST(SimDiveBuilder, SameSeedSameMemory) {
    EXPECT_EQ(build(InterfaceType::Type2, 10, 5).image, build(InterfaceType::Type2, 10, 5).image);
    EXPECT_NE(build(InterfaceType::Type2, 10, 5).image, build(InterfaceType::Type2, 10, 6).image);
    EXPECT_EQ(build(InterfaceType::Type1, 4, 5).image, build(InterfaceType::Type1, 4, 5).image);
}

TEST(SimDiveBuilder, Type1StreamsParseBackwardsAsMeant) {
    const auto b = build(InterfaceType::Type1, 9);
    const auto& m = b.meant;
    ASSERT_EQ(b.image.diveStreams.size(), 9u);
    std::set<int> markers, ignored;
    bool gasSwitch = false, air = false, nitrox = false;
    for (size_t i = 0; i < m.dives.size(); ++i) {
        SCOPED_TRACE("dive " + std::to_string(i));
        const auto& md = m.dives[i];
        DiveRecord got, want;
        ASSERT_TRUE(parseType1(b.image.diveStreams[i], got));
        sim::fillDiveData(md, InterfaceType::Type1, want);
        EXPECT_EQ(diffRecords(got, want), "");
        air |= md.diveMode == 0;
        nitrox |= md.diveMode == 1;
        // The profile's bytes, as the family 1 generator reads them.
        size_t k = 0;
        int depth = 0;
        for (size_t j = 0; j < md.profile.size(); ++j, ++k) {
            ASSERT_LT(k, md.t1Items.size());
            const uint8_t c = md.profile[j];
            const auto& it = md.t1Items[k];
            if (c < 121 || c > 135) {
                depth += static_cast<int8_t>(c);
                EXPECT_EQ(it.kind, sim::MeantT1Item::Depth);
                EXPECT_GE(depth, 0);
            } else if ((c >= 122 && c <= 127) || c == 129) {
                EXPECT_EQ(it.kind, sim::MeantT1Item::Marker);
                markers.insert(c);
            } else if (c == 135) {
                ASSERT_LT(j + 1, md.profile.size());
                EXPECT_EQ(it.kind, sim::MeantT1Item::GasSwitch);
                EXPECT_EQ(it.byte, md.profile[++j]);
                gasSwitch = true;
            } else {
                EXPECT_EQ(it.kind, sim::MeantT1Item::Ignored);
                ignored.insert(c);
            }
            EXPECT_EQ(it.depthFeet, depth);
        }
        EXPECT_EQ(k, md.t1Items.size());
        EXPECT_EQ(depth, 0);  // every dive ends at the surface
    }
    EXPECT_EQ(markers, (std::set<int>{122, 123, 124, 125, 126, 127, 129}));
    EXPECT_EQ(ignored, (std::set<int>{121, 130, 131, 132, 133}));
    EXPECT_TRUE(gasSwitch && air && nitrox);

    // Header memory: big-endian words at 0x1E, text at 0x2C, settings at 0x53.
    const auto& mem = b.image.memory;
    EXPECT_EQ(be(mem, 0x1E), m.maxDepth);
    EXPECT_EQ(be(mem, 0x20), m.totalDiveTime);
    EXPECT_EQ(be(mem, 0x22), 9);
    EXPECT_EQ(mem[0x24], m.model);
    EXPECT_TRUE(std::equal(mem.begin() + 0x26, mem.begin() + 0x2A, std::begin(m.serial)));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&mem[0x2C])), m.personalText);
    EXPECT_EQ(mem[0x53], m.sampleInterval);
    EXPECT_EQ(mem[0x54], m.personalAltitudeByte);
    EXPECT_EQ(be(mem, 0x5C), m.freeDiveMaxDepth);
    EXPECT_EQ(mem[0x62] != 0, m.metric);
    EXPECT_EQ(be(mem, 0x66), m.timeAlarm);
    EXPECT_EQ(be(mem, 0x68), m.depthAlarm);
    uint32_t deepest = 0;
    for (const auto& d : m.dives) deepest = std::max<uint32_t>(deepest, d.maxDepth);
    EXPECT_EQ(m.maxDepth, deepest * 128);
}

TEST(SimDiveBuilder, Type1BrokenDives) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type1;
    o.dives = 5;
    o.noDiveMarker = true;
    o.truncatedProfile = true;
    o.brokenDive = 1;
    const auto b = sim::buildComputer(o);
    for (size_t i = 0; i < 5; ++i) {
        DiveRecord r;
        EXPECT_EQ(parseType1(b.image.diveStreams[i], r), i != 1) << i;
    }
    EXPECT_TRUE(b.meant.dives[1].noDiveMarker);
    EXPECT_TRUE(b.meant.dives[1].truncated);

    o.noDiveMarker = false;
    const auto t = sim::buildComputer(o);
    DiveRecord got, want;
    ASSERT_TRUE(parseType1(t.image.diveStreams[1], got));
    sim::fillDiveData(t.meant.dives[1], InterfaceType::Type1, want);
    EXPECT_EQ(diffRecords(got, want), "");
}

}  // namespace talvek
