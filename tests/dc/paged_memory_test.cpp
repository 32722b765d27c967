#include "dc/paged/paged_memory.h"

#include <gtest/gtest.h>

#include "support/ring_fake_driver.h"

namespace talvek {

using ringtest::FakeDevice;
using ringtest::TraceCapture;
namespace paged = paged;

namespace {

const paged::Texts kTexts{"T::Read() Bad", "T::Read() Overrun = 0x%X", "T::Read() Cancel",
                          "T::Write() Cancel", "T::Read() Large"};

// Block exchanges against the fake device's memory, recorded.
struct Blocks {
    explicit Blocks(FakeDevice& d) : dev(d) {}
    FakeDevice& dev;
    std::vector<std::pair<uint32_t, int>> reads, writes;
    paged::BlockRead reader() {
        return [this](uint32_t a, int n, uint8_t* dst) {
            reads.emplace_back(a, n);
            for (int i = 0; i < n; ++i) dst[i] = dev.memory.at(a + i);
        };
    }
    paged::BlockWrite writer() {
        return [this](uint32_t a, int n, const uint8_t* src) {
            writes.emplace_back(a, n);
            for (int i = 0; i < n; ++i) dev.memory.at(a + i) = src[i];
        };
    }
};

}  // namespace

TEST(PagedMemory, RangeAndArgumentChecks) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    Blocks b(d);
    uint8_t buf[300];
    EXPECT_THROW(paged::read(d, kTexts, b.reader(), 0x7FFE, 2, buf, false), MemoryRangeError);
    EXPECT_EQ(trace.count("T::Read() Overrun = 0x8000"), 1u);
    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x7F86, 120, buf, false), 120);
    EXPECT_EQ(b.reads.back(), std::make_pair(0x7F86u, 120));
    try {
        paged::read(d, kTexts, b.reader(), 0x100, 0, buf, false);
        FAIL();
    } catch (const BadInstruction& e) {
        EXPECT_EQ(e.code(), 7);
    }
    EXPECT_THROW(paged::read(d, kTexts, b.reader(), 0x100, 5, nullptr, false), BadInstruction);
    EXPECT_EQ(trace.count("T::Read() Bad"), 2u);
    try {
        paged::write(d, kTexts, b.reader(), b.writer(), 0x100, 0, buf, false);
        FAIL();
    } catch (const BadInstruction& e) {
        EXPECT_EQ(e.code(), 6);
    }
    EXPECT_THROW(paged::write(d, kTexts, b.reader(), b.writer(), 0x7FF0, 16, buf, false),
                 MemoryRangeError);
    // A huge address must not wrap around the check.
    EXPECT_THROW(paged::read(d, kTexts, b.reader(), 0xFFFFFFF0u, 40, buf, false), MemoryRangeError);
    EXPECT_TRUE(b.writes.empty());
}

TEST(PagedMemory, ShortReadsUseFortyByteWindows) {
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    Blocks b(d);
    uint8_t buf[40];
    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x7FF0, 10, buf, true), 40);
    EXPECT_EQ(b.reads.back(), std::make_pair(0x7FFEu - 40, 40));
    EXPECT_TRUE(std::equal(buf, buf + 10, d.memory.begin() + 0x7FF0));
    EXPECT_EQ(d.progress().current(), 40);  // clamped to the 100 total otherwise

    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x0200, 5, buf, false), 40);
    EXPECT_EQ(b.reads.back(), std::make_pair(0x0200u, 40));
    EXPECT_TRUE(std::equal(buf, buf + 5, d.memory.begin() + 0x0200));

    // Including the top address itself: the window ends at the top.
    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x7FFC, 3, buf, false), 40);
    EXPECT_EQ(b.reads.back(), std::make_pair(0x7FFEu - 39, 40));
    EXPECT_TRUE(std::equal(buf, buf + 3, d.memory.begin() + 0x7FFC));
}

TEST(PagedMemory, LongReadsAreCutIntoBlocks) {
    TraceCapture trace;
    FakeDevice d(0x7FF7, DataFamily::Family3);
    ringtest::pattern(d);
    d.progress().reset(10000);
    Blocks b(d);
    std::vector<uint8_t> buf(300);
    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x1000, 250, buf.data(), false), 280);
    ASSERT_EQ(b.reads.size(), 3u);
    EXPECT_EQ(b.reads[0], std::make_pair(0x1000u, 120));
    EXPECT_EQ(b.reads[1], std::make_pair(0x1078u, 120));
    EXPECT_EQ(b.reads[2], std::make_pair(0x10F0u, 40));
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 250, d.memory.begin() + 0x1000));
    // The rest is read with progress counting even for an uncounted read.
    EXPECT_EQ(d.progress().current(), 40);

    b.reads.clear();
    d.progress().reset(10000);
    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x2000, 121, buf.data(), true), 160);
    ASSERT_EQ(b.reads.size(), 2u);
    EXPECT_EQ(b.reads[1], std::make_pair(0x2078u, 40));
    EXPECT_EQ(d.progress().current(), 120 + 40 + 40);
    EXPECT_EQ(trace.count("T::Read() Large"), 2u);

    EXPECT_EQ(paged::read(d, kTexts, b.reader(), 0x2000, 64, buf.data(), false), 64);
    EXPECT_EQ(b.reads.back(), std::make_pair(0x2000u, 64));
}

TEST(PagedMemory, CancelBetweenLongReadBlocks) {
    TraceCapture trace;
    FakeDevice d(0x7FFE);
    Blocks b(d);
    auto reader = [&](uint32_t a, int n, uint8_t* dst) {
        b.reader()(a, n, dst);
        d.cancel = true;
    };
    std::vector<uint8_t> buf(600);
    EXPECT_THROW(paged::read(d, kTexts, reader, 0x1000, 600, buf.data(), false), UserCancel);
    EXPECT_EQ(b.reads.size(), 1u);
    EXPECT_EQ(trace.count("T::Read() Cancel"), 1u);
}

TEST(PagedMemory, WritesChangeExactlyTheAddressedBytes) {
    FakeDevice d(0x7FFE);
    ringtest::pattern(d);
    const std::vector<uint8_t> before = d.memory;
    Blocks b(d);
    const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
    EXPECT_EQ(paged::write(d, kTexts, b.reader(), b.writer(), 0x7FF0, 3, data, false), 3);
    EXPECT_EQ(b.reads.back(), std::make_pair(0x7FFEu - 40, 40));
    ASSERT_EQ(b.writes.size(), 1u);
    EXPECT_EQ(b.writes[0], std::make_pair(0x7FF0u, 3));
    for (size_t i = 0; i < d.memory.size(); ++i) {
        if (i >= 0x7FF0 && i < 0x7FF3)
            EXPECT_EQ(d.memory[i], data[i - 0x7FF0]);
        else
            ASSERT_EQ(d.memory[i], before[i]) << i;
    }

    std::vector<uint8_t> big(250, 0x5A);
    b.writes.clear();
    EXPECT_EQ(paged::write(d, kTexts, b.reader(), b.writer(), 0x1000, 250, big.data(), false), 250);
    ASSERT_EQ(b.writes.size(), 3u);
    EXPECT_EQ(b.writes[2], std::make_pair(0x10F0u, 10));
    EXPECT_TRUE(std::all_of(d.memory.begin() + 0x1000, d.memory.begin() + 0x1000 + 250,
                            [](uint8_t v) { return v == 0x5A; }));
    EXPECT_EQ(d.memory[0x1000 + 250], before[0x1000 + 250]);
}

TEST(PagedMemory, MemoryMapWordOrder) {
    uint8_t image[144] = {};
    const uint8_t at190[8] = {0x90, 0x01, 0x05, 0x00, 0x00, 0x20, 0x9A, 0x01};
    paged::storeMemoryMap(image, at190);
    const uint8_t expected[10] = {0x9A, 0x01, 0x90, 0x01, 0x00, 0x20, 0x9A, 0x01, 0x05, 0x00};
    EXPECT_TRUE(std::equal(expected, expected + 10, image + 0x84));
    const MemoryMap map = paged::memoryMap(image);
    EXPECT_EQ(map.progressStart, 0x019A);
    EXPECT_EQ(map.unused, 0x0190);
    EXPECT_EQ(map.endPointer, 0x2000);
    EXPECT_EQ(map.startPointer, 0x019A);
    EXPECT_EQ(map.diveCount, 5);
}

}  // namespace talvek
