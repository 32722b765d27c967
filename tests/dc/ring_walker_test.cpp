#include "dc/ring/ring_walker.h"

#include <gtest/gtest.h>

#include <set>

#include "support/ring_fake_driver.h"

namespace talvek {

using ringtest::DiveSpec;
using ringtest::FakeDevice;
using ringtest::TraceCapture;

namespace {

MemoryMap mapOf(uint16_t start, uint16_t end, uint16_t count) {
    return MemoryMap{start, 0x1234, end, start, count};
}

DivePtr newDive() {
    return DivePtr(new DiveRecord);
}

// Pages (by index) that the span [address, address + n) of the ring covers.
void pagesOf(const FakeDevice& d, uint32_t address, uint32_t n, std::set<uint32_t>& pages) {
    for (uint32_t i = 0; i < n; ++i) pages.insert((d.wrap(address + i) - 0x016E) / 120);
}

}  // namespace

TEST(RingWalker, NoDivesReadsNothing) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    RingWalker dl(d, d.progress(), mapOf(0x0400, 0x0800, 0));
    EXPECT_FALSE(dl.nextDive(newDive()));
    EXPECT_TRUE(d.reads.empty());
    EXPECT_EQ(trace.count("DownLoadControl:: No Dives"), 1u);
    EXPECT_EQ(trace.count("DownloadControl::Create.RingBuffer() , size = 0x400"), 1u);
}

TEST(RingWalker, StartEqualToEndIsFinishedAtOnce) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    RingWalker dl(d, d.progress(), mapOf(0x0400, 0x0400, 5));
    EXPECT_EQ(dl.downloadSize(), 0u);
    EXPECT_EQ(d.progress().total(), 0);
    EXPECT_FALSE(dl.nextDive(newDive()));
    EXPECT_TRUE(d.reads.empty());
    EXPECT_EQ(trace.count("DownLoadControl:: Finished"), 1u);
}

TEST(RingWalker, TwoDivesOldestFirstThenFinished) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    const uint32_t a = 0x0400;
    const uint32_t b = ringtest::writeDive(d, a, 0x0300, {70, 200, 1});
    const uint32_t end = ringtest::writeDive(d, b, a, {71, 90, 2});
    RingWalker dl(d, d.progress(), mapOf(a, static_cast<uint16_t>(end), 2));
    EXPECT_EQ(dl.downloadSize(), end - a);

    DivePtr first = newDive(), second = newDive();
    ASSERT_TRUE(dl.nextDive(first));
    EXPECT_EQ(dl.currentPointer(), b);
    ASSERT_TRUE(dl.nextDive(second));
    EXPECT_FALSE(dl.nextDive(newDive()));

    ASSERT_EQ(first->profileLength, 200u);
    EXPECT_EQ(first->pressureSamples, 0);
    ASSERT_EQ(second->profileLength, 90u);
    EXPECT_EQ(second->pressureSamples, 1);
    for (uint32_t i = 0; i < 200; ++i) ASSERT_EQ(first->profile[i], d.at(a + 76 + i)) << i;
    for (uint32_t i = 0; i < 90; ++i) ASSERT_EQ(second->profile[i], d.at(b + 77 + i)) << i;

    EXPECT_EQ(trace.count("DownLoadControl::FetchHeader() "), 2u);
    EXPECT_EQ(trace.count("DownLoadControl:: Header Size = 76"), 1u);
    EXPECT_EQ(trace.count("DownLoadControl:: Header Size = 77"), 1u);
    char links[80];
    std::snprintf(links, sizeof links, "DownLoadControl:: Newer @ &0x%X Older @ &0x%X", b, 0x300);
    EXPECT_EQ(trace.count(links), 1u);
    EXPECT_EQ(trace.count("DownLoadControl::FetchProfile(): ProfileLength = 200"), 1u);
    EXPECT_EQ(trace.count("DownLoadControl::FetchProfile(): begin"), 2u);
    EXPECT_EQ(trace.count("DownLoadControl:: Finished"), 1u);
}

TEST(RingWalker, HeaderSizeFromTheFirstEndMarker) {
    struct Case {
        uint32_t markerAt;
        uint32_t size;
        uint16_t pressure;
    };
    for (const Case c : {Case{67, 73, 0}, Case{70, 76, 0}, Case{71, 77, 1}, Case{77, 83, 1}}) {
        FakeDevice d(0x7FFE);
        const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {c.markerAt, 40, 3});
        // The event block index is the header's last word.
        d.putWord(0x0400 + c.size - 2, 0x0ABC);
        RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
        DivePtr dive = newDive();
        ASSERT_TRUE(dl.nextDive(dive));
        EXPECT_EQ(dl.headerSize(), c.size);
        EXPECT_EQ(dive->pressureSamples, c.pressure);
        EXPECT_EQ(dive->firstEventBlock, 0x0ABC);
        EXPECT_EQ(dive->profileLength, 40u);
        EXPECT_EQ(dive->profile[0], d.at(0x0400 + c.size));
    }
    // Two markers: the first one decides.
    FakeDevice d(0x7FFE);
    const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {68, 40, 3});
    d.put(0x0400 + 72, 0x80);
    d.put(0x0400 + 73, 0x01);
    RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
    DivePtr dive = newDive();
    ASSERT_TRUE(dl.nextDive(dive));
    EXPECT_EQ(dl.headerSize(), 74u);
    EXPECT_EQ(dive->profileLength, 40u);
    EXPECT_EQ(dive->profile[0], d.at(0x0400 + 74));
}

TEST(RingWalker, HeaderWithoutEndMarkerIsCritical) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {70, 40, 3});
    d.put(0x0400 + 70, 0x00);
    // A marker at 78 is past the positions looked at.
    d.put(0x0400 + 78, 0x80);
    d.put(0x0400 + 79, 0x01);
    RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
    DivePtr dive = newDive();
    try {
        dl.nextDive(dive);
        FAIL() << "no exception";
    } catch (const CriticalError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "DownloadControl::Header Size Unknown");
    }
    EXPECT_EQ(trace.count("DownLoadControl:: Header Size Error - End Not Found "), 1u);
    EXPECT_EQ(dl.currentPointer(), 0x0400u);
}

TEST(RingWalker, ParseHeaderFieldByField) {
    FakeDevice d(0x7FFE);
    const uint32_t a = 0x1000;
    const uint32_t end = ringtest::writeDive(d, a, 0x0900, {71, 60, 5});
    const uint8_t bytes[][2] = {
        {13, 0x34}, {14, 0x12},            // max depth 0x1234
        {15, 0x2D}, {16, 0x01},            // dive time 0x012D
        {19, 0x55},                        // CNS/OTU
        {21, 14},   {22, 35},   {23, 59},  // 14:35:59
        {24, 0xDA}, {25, 0x07},            // year 2010
        {26, 11},   {27, 30},              // 30 November
        {28, 20},   {29, 1},    {30, 3},  {31, 2},
        {32, 45},   {33, 50},   {34, 2},  {35, 1},      // personal 2, altitude 1
        {37, 32},   {38, 50},   {39, 99}, {77 - 7, 4},  // temperature interval (size 77)
    };
    for (auto& b : bytes) d.put(a + b[0], b[1]);
    for (int i = 0; i < 9; ++i) d.putWord(a + 41 + 2 * i, static_cast<uint16_t>(0x1111 * (i + 1)));
    d.putWord(a + 75, 0x0203);  // first event block index
    RingWalker dl(d, d.progress(), mapOf(static_cast<uint16_t>(a), static_cast<uint16_t>(end), 1));
    DivePtr dive = newDive();
    ASSERT_TRUE(dl.nextDive(dive));
    const DiveRecord& x = *dive;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(x.tissue[i], 0x1111u * (i + 1)) << i;
    EXPECT_EQ(x.maxDepth, 0x1234);
    EXPECT_EQ(x.diveTime, 0x012D);
    EXPECT_EQ(x.cnsOtu, 0x55);
    EXPECT_EQ(x.hour, 14);
    EXPECT_EQ(x.minute, 35);
    EXPECT_EQ(x.second, 59);
    EXPECT_EQ(x.year, 10);
    EXPECT_EQ(x.month, 11);
    EXPECT_EQ(x.day, 30);
    EXPECT_EQ(x.sampleInterval, 20);
    EXPECT_EQ(x.diveMode, 1);
    EXPECT_EQ(x.diveNumber, 3);
    EXPECT_EQ(x.surfaceIntervalHours, 2);
    EXPECT_EQ(x.surfaceIntervalMinutes, 45);
    EXPECT_EQ(x.rgbm, 50);
    EXPECT_EQ(x.personalAltitude, 7);
    EXPECT_EQ(x.oxygen1, 32);
    EXPECT_EQ(x.oxygen2, 50);
    EXPECT_EQ(x.oxygen3, 99);
    EXPECT_EQ(x.oxygenFraction, 127);
    EXPECT_EQ(x.temperatureInterval, 4);
    EXPECT_EQ(x.firstEventBlock, 0x0203);
    EXPECT_EQ(x.pressureSamples, 1);
    EXPECT_EQ(x.profileLength, 60u);
    // Fields types 2 and 3 do not fill.
    EXPECT_EQ(x.startCylinderPressure, 0);
    EXPECT_EQ(x.endCylinderPressure, 0);
    EXPECT_EQ(x.startTemperature, 0);
    EXPECT_EQ(x.maxDepthTemperature, 0);
    EXPECT_EQ(x.endTemperature, 0);
    EXPECT_EQ(x.surfaceIntervalSeconds, 0);
}

TEST(RingWalker, YearAndFactorsWrapInEightBits) {
    FakeDevice d(0x7FFE);
    const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {70, 10, 1});
    d.putWord(0x0400 + 24, 2300);  // 300 does not fit: low 8 bits kept
    d.put(0x0400 + 34, 90);
    d.put(0x0400 + 35, 10);  // 280 in 8 bits
    RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
    DivePtr dive = newDive();
    ASSERT_TRUE(dl.nextDive(dive));
    EXPECT_EQ(dive->year, 300 & 0xFF);
    EXPECT_EQ(dive->personalAltitude, 280 & 0xFF);
}

TEST(RingWalker, ProfileWrappingPastTheTopIsOnePiece) {
    FakeDevice d(0x7FFE);
    const uint32_t a = 0x7F00;
    const uint32_t end = ringtest::writeDive(d, a, 0x7000, {70, 300, 9});
    const uint32_t start = a + 76;
    ASSERT_EQ(end, 300 - (0x7FFE - start) + 0x019A);
    RingWalker dl(d, d.progress(), mapOf(static_cast<uint16_t>(a), static_cast<uint16_t>(end), 1));
    DivePtr dive = newDive();
    ASSERT_TRUE(dl.nextDive(dive));
    EXPECT_EQ(dive->profileLength, (0x7FFE - start) + (end - 0x019A));
    for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(dive->profile[i], d.at(start + i)) << i;
    EXPECT_FALSE(dl.nextDive(newDive()));
}

TEST(RingWalker, HeaderRunningPastTheTopWrapsTheProfileStart) {
    for (uint32_t before : {30u, 76u}) {  // header cut by the top, header ending exactly at it
        SCOPED_TRACE(before);
        FakeDevice d(0x7FF7, DataFamily::Family3);
        const uint32_t a = 0x7FF7 - before;
        const uint32_t end = ringtest::writeDive(d, a, 0x7000, {70, 100, 4});
        const uint32_t start = d.wrap(a + 76);
        RingWalker dl(d, d.progress(),
                      mapOf(static_cast<uint16_t>(a), static_cast<uint16_t>(end), 1));
        DivePtr dive = newDive();
        ASSERT_TRUE(dl.nextDive(dive));
        EXPECT_EQ(dl.headerSize(), 76u);
        ASSERT_EQ(dive->profileLength, 100u);
        for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(dive->profile[i], d.at(start + i)) << i;
    }
}

TEST(RingWalker, CancelAtEachCheckPoint) {
    // Before the header: nothing is read.
    {
        FakeDevice d(0x7FFE);
        const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {70, 400, 1});
        RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
        d.cancel = true;
        EXPECT_THROW(dl.nextDive(newDive()), UserCancel);
        EXPECT_TRUE(d.reads.empty());
    }
    // After the header: the profile is not read.
    {
        FakeDevice d(0x7FFE);
        const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {70, 400, 1});
        RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
        d.onRead = [&](size_t) { d.cancel = true; };
        DivePtr dive = newDive();
        EXPECT_THROW(dl.nextDive(dive), UserCancel);
        EXPECT_EQ(d.reads.size(), 1u);
        EXPECT_EQ(dive->profileLength, 0u);
        EXPECT_EQ(dive->maxDepth, 0);  // not parsed either
    }
    // During the profile: the next page is not read.
    {
        FakeDevice d(0x7FFE);
        const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {70, 400, 1});
        RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
        d.onRead = [&](size_t n) {
            if (n == 2) d.cancel = true;
        };
        DivePtr dive = newDive();
        EXPECT_THROW(dl.nextDive(dive), UserCancel);
        EXPECT_EQ(d.reads.size(), 2u);
        EXPECT_EQ(dive->profileLength, 0u);
    }
    // After the profile: the dive was read completely but is not delivered.
    {
        FakeDevice d(0x7FFE);
        const uint32_t end = ringtest::writeDive(d, 0x0400, 0x0300, {70, 400, 1});
        RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(end), 1));
        DivePtr dive = newDive();
        d.onRead = [&](size_t n) {
            if (n == 5) d.cancel = true;  // the last page of the profile
        };
        EXPECT_THROW(dl.nextDive(dive), UserCancel);
        EXPECT_EQ(d.reads.size(), 5u);
        EXPECT_EQ(dive->profileLength, 400u);
    }
}

TEST(RingWalker, ProgressCountsHeadersTwiceButStopsAtHundred) {
    FakeDevice d(0x7FFE);
    std::vector<int> percents;
    d.progress().setCallback([&](int p) { percents.push_back(p); });
    uint32_t at = 0x0400, older = 0x0300;
    for (int i = 0; i < 5; ++i) {
        const uint32_t next = ringtest::writeDive(d, at, older, {70, 30, static_cast<uint8_t>(i)});
        older = at;
        at = next;
    }
    RingWalker dl(d, d.progress(), mapOf(0x0400, static_cast<uint16_t>(at), 5));
    EXPECT_EQ(d.progress().total(), static_cast<int32_t>(5 * (76 + 30)));
    int n = 0;
    while (dl.nextDive(newDive())) ++n;
    EXPECT_EQ(n, 5);
    EXPECT_EQ(d.progress().percent(), 100);
    ASSERT_FALSE(percents.empty());
    for (int p : percents) EXPECT_LE(p, 100);
}

// A full ring of dives of every header size, wrapping at the top: each page
// the dives touch is read exactly once.
TEST(RingWalker, ManyDivesReadEveryPageOnce) {
    for (int32_t top : {0x7FFE, 0x7FF7}) {
        SCOPED_TRACE(top);
        FakeDevice d(top, top == 0x7FFE ? DataFamily::Family2 : DataFamily::Family3);
        const uint32_t first = 0x5000;
        uint32_t at = first, older = 0x4000;
        std::set<uint32_t> pages;
        std::vector<uint32_t> starts;
        uint32_t written = 0;
        for (int i = 0; i < 110; ++i) {
            DiveSpec s{67u + static_cast<uint32_t>(i % 11),
                       20u + static_cast<uint32_t>(i * 37 % 300), static_cast<uint8_t>(i)};
            starts.push_back(at);
            const uint32_t next = ringtest::writeDive(d, at, older, s);
            pagesOf(d, at, s.markerAt + 6 + s.profileLength, pages);
            written += s.markerAt + 6 + s.profileLength;
            // The header fetch also covers up to 84 bytes.
            pagesOf(d, at, 84, pages);
            older = at;
            at = next;
        }
        ASSERT_LT(written, static_cast<uint32_t>(top) - 0x019A);  // no dive overwritten
        ASSERT_LT(at, first);                                     // the ring wrapped
        RingWalker dl(d, d.progress(),
                      mapOf(static_cast<uint16_t>(first), static_cast<uint16_t>(at), 110));
        std::vector<DivePtr> dives;
        for (;;) {
            DivePtr dive = newDive();
            if (!dl.nextDive(dive)) break;
            dives.push_back(dive);
        }
        ASSERT_EQ(dives.size(), 110u);
        for (size_t i = 0; i < dives.size(); ++i) {
            const uint32_t size = 67 + i % 11 + 6;
            const uint32_t length = 20 + i * 37 % 300;
            ASSERT_EQ(dives[i]->profileLength, length) << i;
            for (uint32_t k = 0; k < length; ++k)
                ASSERT_EQ(dives[i]->profile[k], d.at(starts[i] + size + k)) << i << " " << k;
        }
        std::set<uint32_t> readAddresses;
        for (auto& r : d.reads) EXPECT_TRUE(readAddresses.insert(r.first).second) << r.first;
        EXPECT_EQ(d.reads.size(), pages.size());
        EXPECT_EQ(dl.ringBuffer().page().deviceReads(), pages.size());
    }
}

TEST(RingWalker, LinksLeadingBackAreRefused) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    const uint32_t a = 0x0400;
    const uint32_t b = ringtest::writeDive(d, a, 0x0300, {70, 50, 1});
    // B's newer link points back at A, never at the end pointer.
    ringtest::writeDive(d, b, a, {70, 50, 2}, a);
    RingWalker dl(d, d.progress(), mapOf(static_cast<uint16_t>(a), 0x2000, 2));
    EXPECT_TRUE(dl.nextDive(newDive()));
    DivePtr second = newDive();
    EXPECT_TRUE(dl.nextDive(second));
    EXPECT_THROW(dl.nextDive(newDive()), BadDiveFormat);
    EXPECT_EQ(trace.count("DownLoadControl:: Dive Ring Loop @ &0x400"), 1u);
}

// A damaged memory can describe dives that together need more room than the
// ring has.  Such a walk is refused before the bytes are fetched: fetching
// them would copy the ring over and over (a crafted memory gave thousands of
// "dives" of 32 KB each).
TEST(RingWalker, HeadersFourBytesApartAreADamagedMemory) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    // Each header's older link 0x0180 is also the end marker 0x80 0x01 at
    // position 68 of the header 68 bytes before it, so every header is
    // 74 bytes long and its profile runs once round the ring to the next
    // header, 4 bytes on.
    const uint32_t start = 0x1000;
    const int dives = 2000;
    for (int k = 0; k < dives + 30; ++k) {
        d.putWord(start + 4 * k, 0x0180);
        d.putWord(start + 4 * k + 2, static_cast<uint16_t>(start + 4 * (k + 1)));
    }
    RingWalker dl(d, d.progress(), mapOf(start, start + 4 * dives, dives));
    EXPECT_THROW(dl.nextDive(newDive()), BadDiveFormat);
    EXPECT_LE(d.reads.size(), 2u);  // the header's pages, not the ring
    EXPECT_EQ(trace.count("DownLoadControl:: Dives Claim More Than The Ring Holds @ &0x1000"), 1u);
}

TEST(RingWalker, DivesTogetherLargerThanTheRingAreADamagedMemory) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    const uint32_t ring = 0x7FFE - 0x019A;
    // Headers only (the profiles' bytes do not matter): each dive 9076
    // bytes, so the fourth would take the walk past the whole ring.
    const uint32_t step = 9076;
    std::vector<uint32_t> at;
    for (uint32_t k = 0, a = 0x0400; k <= 6; ++k, a = d.wrap(a + step)) at.push_back(a);
    for (int k = 0; k < 6; ++k) {
        d.putWord(at[k], static_cast<uint16_t>(k ? at[k - 1] : 0x0300));
        d.putWord(at[k] + 2, static_cast<uint16_t>(at[k + 1]));
        d.put(at[k] + 70, 0x80);
        d.put(at[k] + 71, 0x01);
    }
    RingWalker dl(d, d.progress(), mapOf(static_cast<uint16_t>(at[0]), at[6], 6));
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(dl.nextDive(newDive())) << k;
    const size_t readsBefore = d.reads.size();
    EXPECT_THROW(dl.nextDive(newDive()), BadDiveFormat);
    EXPECT_LE(d.reads.size() - readsBefore, 2u);  // its header, not its profile
    char line[120];
    std::snprintf(line, sizeof line,
                  "DownLoadControl:: Dives Claim More Than The Ring Holds @ &0x%X (%u of %u bytes)",
                  at[3], 4 * step, ring);
    EXPECT_EQ(trace.count(line), 1u) << trace.text();

    // Room for fewer bytes than the smallest dive (a 73-byte header and one
    // profile byte) is no room for another dive: refused before its header.
    FakeDevice e(0x7FFE);
    const uint32_t size = (ring - 8) / 4;  // four dives leave 8 bytes
    std::vector<uint32_t> h;
    for (uint32_t k = 0, a = 0x0400; k <= 4; ++k, a = e.wrap(a + size)) h.push_back(a);
    for (int k = 0; k < 4; ++k) {
        e.putWord(h[k] + 2, static_cast<uint16_t>(h[k + 1]));
        e.put(h[k] + 70, 0x80);
        e.put(h[k] + 71, 0x01);
    }
    // A fifth header squeezed into the 8 bytes left, its marker beyond them.
    e.putWord(h[4] + 2, 0x2000);
    e.put(h[4] + 67, 0x80);
    e.put(h[4] + 68, 0x01);
    RingWalker walk(e, e.progress(), mapOf(static_cast<uint16_t>(h[0]), 0x2000, 5));
    for (int k = 0; k < 4; ++k) ASSERT_TRUE(walk.nextDive(newDive())) << k;
    const size_t readsThen = e.reads.size();
    EXPECT_THROW(walk.nextDive(newDive()), BadDiveFormat);
    EXPECT_EQ(e.reads.size(), readsThen);
    std::snprintf(line, sizeof line, "DownLoadControl:: More Dives Than The Ring Holds @ &0x%X",
                  h[4]);
    EXPECT_EQ(trace.count(line), 1u) << trace.text();
}

}  // namespace talvek
