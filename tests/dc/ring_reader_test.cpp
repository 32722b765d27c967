#include "dc/ring/ring_reader.h"

#include <gtest/gtest.h>

#include "support/ring_fake_driver.h"

namespace talvek {

using ringtest::FakeDevice;
using ringtest::TraceCapture;

namespace {

std::vector<uint8_t> bytesAt(const FakeDevice& d,
                             std::initializer_list<std::pair<uint32_t, uint32_t>> spans) {
    std::vector<uint8_t> out;
    for (auto [a, n] : spans)
        for (uint32_t i = 0; i < n; ++i) out.push_back(d.memory[a + i]);
    return out;
}

std::vector<uint8_t> result(const RingReader& r, uint32_t n) {
    return std::vector<uint8_t>(r.buffer(), r.buffer() + n);
}

}  // namespace

TEST(RingReader, FirstRingByteIsInPageZero) {
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    RingReader r(d, d.progress());
    r.read(0x019A, 10);
    ASSERT_EQ(d.reads.size(), 1u);
    EXPECT_EQ(d.reads[0], std::make_pair(0x016Eu, 120));
    EXPECT_EQ(r.page().pageIndex(), 0);
    EXPECT_EQ(r.page().offset(), 44);
    EXPECT_EQ(r.page().available(), 76);
    EXPECT_EQ(r.amount(), 10);
    EXPECT_EQ(result(r, 10), bytesAt(d, {{0x019A, 10}}));
}

TEST(RingReader, SpanCrossingIntoLastPage) {
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    RingReader r(d, d.progress());
    r.read(0x7F80, 20);
    ASSERT_EQ(d.reads.size(), 2u);
    EXPECT_EQ(d.reads[0], std::make_pair(0x7F0Eu, 120));
    EXPECT_EQ(d.reads[1], std::make_pair(0x7F86u, 120));  // full page below top 0x7FFE
    EXPECT_EQ(result(r, 20), bytesAt(d, {{0x7F80, 20}}));
}

TEST(RingReader, ReadPastLastPageContinuesAtRingStart) {
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    d.progress().reset(100000);
    RingReader r(d, d.progress());
    r.read(0x7FF0, 30);
    ASSERT_EQ(d.reads.size(), 2u);
    EXPECT_EQ(d.reads[0], std::make_pair(0x7F86u, 120));
    EXPECT_EQ(d.reads[1], std::make_pair(0x016Eu, 120));
    EXPECT_EQ(result(r, 30), bytesAt(d, {{0x7FF0, 14}, {0x019A, 16}}));
    EXPECT_EQ(d.progress().current(), 30);
}

TEST(RingReader, TypeThreeLastPageIsCutAtTop) {
    TraceCapture trace;
    FakeDevice d(0x7FF7, DataFamily::Family3);
    ringtest::pattern(d);
    RingReader r(d, d.progress());
    r.read(0x7FF0, 10);
    ASSERT_EQ(d.reads.size(), 2u);
    EXPECT_EQ(d.reads[0], std::make_pair(0x7F86u, 113));
    EXPECT_EQ(d.reads[1], std::make_pair(0x016Eu, 120));
    EXPECT_EQ(result(r, 10), bytesAt(d, {{0x7FF0, 7}, {0x019A, 3}}));
    EXPECT_EQ(trace.count("Page::fetch() adjusting for Memory Top new page size = 113"), 1u);
    EXPECT_EQ(trace.count("Page::fetch() Reading profile @ address 0x7FF0 "), 1u);
    EXPECT_EQ(trace.count("RingBuffer::read() Completed   amount = 10"), 1u);
}

TEST(RingReader, WholeRingInOneReadTouchesEveryPageOnce) {
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    RingReader r(d, d.progress());
    const uint32_t ringBytes = 0x7FFE - 0x019A;
    r.read(0x019A, ringBytes);
    EXPECT_EQ(d.reads.size(), 270u);
    EXPECT_EQ(result(r, ringBytes), bytesAt(d, {{0x019A, ringBytes}}));
}

TEST(RingReader, ZeroLengthReadThrows) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    RingReader r(d, d.progress());
    try {
        r.read(0x019A, 0);
        FAIL() << "no exception";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "RingBuffer: Zero Length Read");
        EXPECT_EQ(e.code(), 3);
    }
    EXPECT_TRUE(d.reads.empty());
    EXPECT_EQ(trace.count("RingBuffer::read() Length = 0"), 1u);
}

TEST(RingReader, Distances) {
    FakeDevice two(0x7FFE);
    RingReader r(two, two.progress());
    EXPECT_EQ(r.ringDistance(0x7F00, 0x01A0), 254u + 6u);
    EXPECT_EQ(r.ringDistance(0x019A, 0x0200), 0x0200u - 0x019Au);
    EXPECT_EQ(r.ringDistance(0x0300, 0x0300), 0u);
    EXPECT_EQ(r.ringDistance(0x019A, 0x7FFE), 0x7FFEu - 0x019Au);
    // Outside the ring: below its start (even above 0x2C) or above the top.
    EXPECT_EQ(r.ringDistance(0x002B, 0x0300), 0u);
    EXPECT_EQ(r.ringDistance(0x0100, 0x0300), 0u);
    EXPECT_EQ(r.ringDistance(0x0300, 0x0199), 0u);
    EXPECT_EQ(r.ringDistance(0x7FFF, 0x0300), 0u);
    EXPECT_EQ(r.ringDistance(0x0300, 0x8000), 0u);

    FakeDevice three(0x7FF7, DataFamily::Family3);
    RingReader r3(three, three.progress());
    EXPECT_EQ(r3.ringDistance(0x7F00, 0x01A0), 0x7FF7u - 0x7F00u + 6u);
    EXPECT_EQ(r3.ringDistance(0x0300, 0x7FFE), 0u);
}

TEST(RingReader, PagesAreReadOnceAndServedAgainFromMemory) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    d.progress().reset(100000);
    RingReader r(d, d.progress());
    r.read(0x7FF0, 30);  // pages 269 and 0
    r.read(0x019A, 50);  // page 0 again
    r.read(0x7F80, 20);  // page 268 new, 269 again
    ASSERT_EQ(d.reads.size(), 3u);
    EXPECT_EQ(d.reads[2], std::make_pair(0x7F0Eu, 120));
    EXPECT_EQ(result(r, 20), bytesAt(d, {{0x7F80, 20}}));
    r.read(0x019A, 50);
    EXPECT_EQ(result(r, 50), bytesAt(d, {{0x019A, 50}}));
    EXPECT_EQ(d.reads.size(), 3u);
    EXPECT_EQ(r.page().deviceReads(), 3u);
    // Progress counts every copied byte, kept page or not.
    EXPECT_EQ(d.progress().current(), 30 + 50 + 20 + 50);
    EXPECT_EQ(trace.count("Page::fetch() Reading profile"), 3u);
    EXPECT_EQ(trace.count("RingBuffer::read() Completed"), 4u);
}

TEST(RingReader, CancelIsCheckedBeforeKeptPagesToo) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    RingReader r(d, d.progress());
    r.read(0x019A, 10);
    d.cancel = true;
    EXPECT_THROW(r.read(0x019A, 10), UserCancel);
    EXPECT_EQ(d.reads.size(), 1u);
    EXPECT_EQ(trace.count("Page::fetch() User Cancel "), 1u);
}

TEST(RingReader, CancelBetweenPagesStopsAtTheNextPage) {
    FakeDevice d(0x7FFE);
    d.onRead = [&](size_t n) {
        if (n == 2) d.cancel = true;
    };
    RingReader r(d, d.progress());
    EXPECT_THROW(r.read(0x019A, 1000), UserCancel);
    EXPECT_EQ(d.reads.size(), 2u);
    EXPECT_EQ(r.amount(), 76 + 120);
}

TEST(RingReader, DeviceErrorPassesUnchangedAndPageIsNotKept) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    d.failOnRead = 1;
    RingReader r(d, d.progress());
    try {
        r.read(0x0200, 10);
        FAIL() << "no exception";
    } catch (const CommError& e) {
        EXPECT_EQ(e.code(), 8);
    }
    EXPECT_EQ(trace.count("Page::fetch() Read Error "), 1u);
    // The failed page is read again next time, not served from a bad copy.
    r.read(0x0200, 10);
    EXPECT_EQ(d.reads.size(), 2u);
    EXPECT_EQ(result(r, 10), bytesAt(d, {{0x0200, 10}}));
}

TEST(RingReader, AddressOutsideTheMemoryFailsWithoutCopying) {
    FakeDevice three(0x7FF7, DataFamily::Family3);
    RingReader r(three, three.progress());
    // Past the top of type 3: the cut last page has nothing at this offset.
    EXPECT_THROW(r.read(0x7FF8, 10), MemoryRangeError);
    FakeDevice two(0x7FFE);
    RingReader r2(two, two.progress());
    // Below the page base: the device refuses the page address.
    EXPECT_THROW(r2.read(0x0010, 10), MemoryRangeError);
}

}  // namespace talvek
