// RingWalker resuming after dives a store kept: the checks that decide
// whether the stored dives are still in memory, and the walk that follows.
#include <gtest/gtest.h>

#include <set>

#include "dc/ring/ring_walker.h"
#include "support/ring_fake_driver.h"
#include "support/sim_decode.h"

namespace talvek {

using ringtest::FakeDevice;

namespace {

// Four dives A..D from 0x0400 (where 0x0300 was older), then the end pointer.
struct Memory {
    FakeDevice device{0x7FFE};
    std::vector<uint32_t> address;
    uint32_t end = 0;

    Memory() {
        ringtest::pattern(device);
        uint32_t at = 0x0400, older = 0x0300;
        for (uint8_t k = 0; k < 4; ++k) {
            address.push_back(at);
            const uint32_t next =
                ringtest::writeDive(device, at, older, {68u + k, 150u + 30u * k, k});
            older = at;
            at = next;
        }
        end = at;
    }
    // A dive after the newest, as the computer logs it.
    void dive(uint8_t seed, uint32_t profile = 120) {
        address.push_back(end);
        end = ringtest::writeDive(device, end, address[address.size() - 2], {72, profile, seed});
    }
    MemoryMap map(uint32_t start, uint16_t count = 4) const {
        return MemoryMap{static_cast<uint16_t>(start), 0, static_cast<uint16_t>(end),
                         static_cast<uint16_t>(start), count};
    }
};

// What a full walk yields: the records and their raw forms.
struct Walk {
    std::vector<DivePtr> dives;
    std::vector<RawDive> raw;
};

Walk WalkAll(RingWalker& w) {
    Walk out;
    for (;;) {
        DivePtr d = std::make_shared<DiveRecord>();
        if (!w.nextDive(d)) return out;
        out.dives.push_back(d);
        out.raw.push_back(w.lastRawDive());
    }
}

std::string Hex(uint32_t v) {
    char t[16];
    std::snprintf(t, sizeof t, "%X", v);
    return t;
}

std::set<uint32_t> PagesRead(const FakeDevice& d) {
    std::set<uint32_t> pages;
    for (const auto& [address, count] : d.reads) pages.insert((address - 0x016E) / 120);
    return pages;
}

TEST(RingWalkerResume, RawDivesRebuildTheSameRecordsAndPointToTheirBytes) {
    Memory m;
    RingWalker w(m.device, m.device.progress(), m.map(m.address[0]));
    const Walk walk = WalkAll(w);
    ASSERT_EQ(walk.raw.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        const RawDive& raw = walk.raw[k];
        EXPECT_EQ(raw.address, m.address[k]);
        ASSERT_EQ(raw.header.size(), RingWalker::HeaderFetchSize);
        for (uint32_t i = 0; i < raw.header.size(); ++i)
            ASSERT_EQ(raw.header[i], m.device.at(raw.address + i)) << k << " " << i;
        EXPECT_EQ(raw.data.size(), 150u + 30u * k);
        EXPECT_EQ(raw.data[0], m.device.at(raw.address + 68 + k + 6));
        DiveRecord rebuilt;
        ASSERT_TRUE(RingWalker::rebuild(raw, rebuilt));
        EXPECT_EQ(simtest::diffRecords(rebuilt, *walk.dives[k]), "") << "dive " << k;
    }
    RawDive broken = walk.raw[0];
    broken.header[68] = 0;
    DiveRecord unused;
    EXPECT_FALSE(RingWalker::rebuild(broken, unused));
}

TEST(RingWalkerResume, FetchesOnlyTheDivesAfterTheNewestStoredOne) {
    Memory m;
    RingWalker first(m.device, m.device.progress(), m.map(m.address[0]));
    const std::vector<RawDive> stored = WalkAll(first).raw;
    m.dive(9);
    m.dive(10, 300);

    m.device.reads.clear();
    RingWalker w(m.device, m.device.progress(), m.map(m.address[0], 6));
    size_t kept = 0;
    ASSERT_EQ(w.resumeAfter(stored, kept), "");
    EXPECT_EQ(kept, 4u);
    const Walk rest = WalkAll(w);
    ASSERT_EQ(rest.raw.size(), 2u);
    EXPECT_EQ(rest.raw[0].address, m.address[4]);
    EXPECT_EQ(rest.raw[1].address, m.address[5]);
    // Pages: D's header, and the new dives; nothing of A, B, C.
    std::set<uint32_t> expected;
    for (uint32_t a = m.address[3]; a < m.address[3] + 84; ++a) expected.insert((a - 0x16E) / 120);
    for (uint32_t a = m.address[4]; a < m.end; ++a) expected.insert((a - 0x16E) / 120);
    EXPECT_EQ(PagesRead(m.device), expected);
    EXPECT_EQ(m.device.reads.size(), expected.size());
}

// A resumed walk counts the pages it reads from the device, not the check
// before it, and ends at 100 % even with nothing to read; a walk prepared
// again on the same cache reads no page twice.
TEST(RingWalkerResume, CountsPagesToReadAndSharesTheCache) {
    Memory m;
    RingWalker first(m.device, m.device.progress(), m.map(m.address[0]));
    const std::vector<RawDive> stored = WalkAll(first).raw;
    size_t kept = 0;
    {
        RingWalker none(m.device, m.device.progress(), m.map(m.address[0]));
        ASSERT_EQ(none.resumeAfter(stored, kept), "");
        EXPECT_EQ(m.device.progress().total(), 0);
        EXPECT_TRUE(WalkAll(none).dives.empty());
        EXPECT_EQ(m.device.progress().percent(), 100);
    }
    m.dive(9);
    m.dive(10, 300);
    m.device.reads.clear();
    PageCache cache;
    RingWalker w(m.device, m.device.progress(), m.map(m.address[0], 6), &cache);
    std::vector<int> shown;
    m.device.progress().setCallback([&](int percent) { shown.push_back(percent); });
    ASSERT_EQ(w.resumeAfter(stored, kept), "");
    const size_t checked = m.device.reads.size();
    EXPECT_GT(checked, 0u);
    // The check moved nothing; the walk starts at 0.
    EXPECT_EQ(shown, std::vector<int>{0});
    const int32_t total = m.device.progress().total();
    std::vector<int32_t> steps;
    m.device.onRead = [&](size_t) { steps.push_back(m.device.progress().current()); };
    EXPECT_EQ(WalkAll(w).dives.size(), 2u);
    EXPECT_EQ(static_cast<size_t>(total), m.device.reads.size() - checked);
    EXPECT_GT(total, 1);
    // One step a page, counted as each page is read (before its own read).
    for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i], static_cast<int32_t>(i));
    EXPECT_EQ(m.device.progress().percent(), 100);

    m.device.onRead = nullptr;
    RingWalker again(m.device, m.device.progress(), m.map(m.address[0], 6), &cache);
    EXPECT_EQ(WalkAll(again).dives.size(), 6u);
    std::set<std::pair<uint32_t, int>> distinct(m.device.reads.begin(), m.device.reads.end());
    EXPECT_EQ(distinct.size(), m.device.reads.size());
    EXPECT_EQ(cache.deviceReads(), m.device.reads.size());
}

TEST(RingWalkerResume, OverwrittenStoredDivesAreLeftOut) {
    Memory m;
    RingWalker first(m.device, m.device.progress(), m.map(m.address[0]));
    const std::vector<RawDive> stored = WalkAll(first).raw;
    // The computer gave up A and B.
    RingWalker w(m.device, m.device.progress(), m.map(m.address[2], 2));
    size_t kept = 0;
    ASSERT_EQ(w.resumeAfter(stored, kept), "");
    EXPECT_EQ(kept, 2u);
    EXPECT_TRUE(WalkAll(w).dives.empty());
}

TEST(RingWalkerResume, RefusesStoredDivesTheMemoryDoesNotHold) {
    Memory m;
    RingWalker first(m.device, m.device.progress(), m.map(m.address[0]));
    const std::vector<RawDive> stored = WalkAll(first).raw;
    auto refusal = [&](const MemoryMap& map, const std::vector<RawDive>& dives) {
        RingWalker w(m.device, m.device.progress(), map);
        size_t kept = 99;
        const std::string why = w.resumeAfter(dives, kept);
        EXPECT_EQ(kept, 0u);
        return why;
    };
    EXPECT_EQ(refusal(m.map(m.address[0], 0), stored), "the computer holds no dives");
    EXPECT_EQ(refusal(m.map(m.address[0]), {}), "the store holds no dives");
    EXPECT_EQ(refusal(m.map(0x0401), stored), "the start pointer 0x401 is no stored dive");

    std::vector<RawDive> unlinked = stored;
    unlinked[1].header[2] ^= 0x10;
    EXPECT_EQ(refusal(m.map(m.address[0]), unlinked),
              "stored dive @ &0x" + Hex(m.address[1]) + " does not lead to the next one");
    std::vector<RawDive> markerless = stored;
    markerless[2].header[70] = 0;
    EXPECT_NE(refusal(m.map(m.address[0]), markerless).find("is damaged"), std::string::npos);

    // The end pointer lies inside the stored dives.
    MemoryMap shorter = m.map(m.address[0]);
    shorter.endPointer = static_cast<uint16_t>(m.address[3]);
    EXPECT_NE(refusal(shorter, stored).find("past the end pointer"), std::string::npos);

    // The newest stored dive was written over.
    m.device.put(m.address[3] + 30, static_cast<uint8_t>(m.device.at(m.address[3] + 30) ^ 1));
    EXPECT_NE(refusal(m.map(m.address[0]), stored).find("has changed"), std::string::npos);
}

TEST(RingWalkerResume, AChainBackIntoTheStoredDivesStops) {
    Memory m;
    RingWalker first(m.device, m.device.progress(), m.map(m.address[0]));
    const std::vector<RawDive> stored = WalkAll(first).raw;
    // A new dive whose newer link leads back to B, with the end pointer past it.
    m.dive(9);
    const uint32_t end = m.end;
    m.device.putWord(m.address[4] + 2, static_cast<uint16_t>(m.address[1]));
    m.end = end + 200;
    RingWalker w(m.device, m.device.progress(), m.map(m.address[0], 5));
    size_t kept = 0;
    ASSERT_EQ(w.resumeAfter(stored, kept), "");
    ASSERT_THROW(
        {
            for (int i = 0; i < 3; ++i) w.nextDive(std::make_shared<DiveRecord>());
        },
        BadDiveFormat);
}

}  // namespace

}  // namespace talvek
