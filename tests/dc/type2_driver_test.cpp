// The type 2 and type 3 drivers over the in-memory port, against a minimal
// computer that answers identity, read and write frames from a byte array.
#include "dc/paged/type2_driver.h"

#include <gtest/gtest.h>

#include <cstring>

#include "dc/base/errors.h"
#include "dc/paged/type3_driver.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/ring_fake_driver.h"

namespace talvek {

using ringtest::TraceCapture;

namespace {

uint8_t xorOf(const std::vector<uint8_t>& b) {
    uint8_t x = 0;
    for (uint8_t v : b) x ^= v;
    return x;
}

class ByteComputer : public platform::MemoryPeer {
  public:
    explicit ByteComputer(bool echo) : echo_(echo), memory(0x8000, 0) {
        for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 11 + 5);
    }
    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override {
        if (echo_) line.send(data, n, atMs);
        if (mute) return;
        std::vector<uint8_t> f(data, data + n);
        std::vector<uint8_t> r;
        if (f.size() == 4 && f[0] == 0x0F) {
            r = {0x0F, 0x00, 0x04, 0x21, 0x01, 0x02, 0x03};
        } else if (f.size() == 7 && f[0] == 0x05) {
            const uint32_t a = static_cast<uint32_t>(f[3] << 8 | f[4]);
            r.assign(f.begin(), f.begin() + 6);
            for (int i = 0; i < f[5]; ++i) r.push_back(memory.at(a + i));
        } else if (f.size() >= 7 && f[0] == 0x06) {
            const uint32_t a = static_cast<uint32_t>(f[3] << 8 | f[4]);
            for (int i = 0; i < f[5]; ++i) memory.at(a + i) = f[6 + i];
            r.assign(f.begin(), f.begin() + 6);
        } else {
            return;
        }
        r.push_back(xorOf(r));
        line.send(r, atMs + 20);
    }
    bool echo_;
    bool mute = false;
    std::vector<uint8_t> memory;
};

struct Bench {
    explicit Bench(bool type3) : computer(!type3), scoped(clock) {
        port = ports.add("BENCH", &computer);
        if (type3)
            driver = std::make_unique<Type3Driver>("BENCH", &cancel, ports);
        else
            driver = std::make_unique<Type2Driver>("BENCH", &cancel, ports);
    }
    // The read frames the host sent, as (address, count).
    std::vector<std::pair<uint32_t, int>> readFrames() const {
        std::vector<std::pair<uint32_t, int>> out;
        for (const auto& w : port->writes())
            if (w.bytes.size() == 7 && w.bytes[0] == 0x05)
                out.emplace_back(static_cast<uint32_t>(w.bytes[3] << 8 | w.bytes[4]), w.bytes[5]);
        return out;
    }
    ByteComputer computer;
    platform::VirtualClock clock;
    platform::ScopedClock scoped;
    platform::MemoryPortRegistry ports;
    std::shared_ptr<platform::MemoryPort> port;
    CancelFlag cancel{false};
    std::unique_ptr<Driver> driver;
};

}  // namespace

TEST(PagedDriverTest, ReadsGoOutAsBlocksOfTheRightSize) {
    for (bool type3 : {false, true}) {
        SCOPED_TRACE(type3);
        TraceCapture trace;
        Bench b(type3);
        std::vector<uint8_t> buf(300);
        EXPECT_EQ(b.driver->read(0x1000, 121, buf.data(), false), 160);
        EXPECT_EQ(b.readFrames(),
                  (std::vector<std::pair<uint32_t, int>>{{0x1000, 120}, {0x1078, 40}}));
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 121, b.computer.memory.begin() + 0x1000));
        EXPECT_EQ(trace.count("Device_Type3::Read() Large Read"), type3 ? 1u : 0u);
        // Every block read waits 500 ms first.
        EXPECT_GE(b.clock.sleptMs(), 1000u);

        const uint32_t top = type3 ? 0x7FF7 : 0x7FFE;
        EXPECT_THROW(b.driver->read(top, 2, buf.data(), false), MemoryRangeError);
        char line[80];
        std::snprintf(line, sizeof line, "Device_Type%d::Read() Memory Overrun Last Address = 0x%X",
                      type3 ? 3 : 2, top + 2);
        EXPECT_EQ(trace.count(line), 1u);
        EXPECT_EQ(b.driver->read(top - 9, 3, buf.data(), false), 40);
        EXPECT_EQ(b.readFrames().back(), std::make_pair(top - 40, 40));
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 3, b.computer.memory.begin() + top - 9));
    }
}

TEST(PagedDriverTest, ShortWriteChangesOnlyTheAddressedBytes) {
    for (bool type3 : {false, true}) {
        Bench b(type3);
        const std::vector<uint8_t> before = b.computer.memory;
        const uint8_t data[2] = {0xDE, 0xAD};
        EXPECT_EQ(b.driver->write(0x0500, 2, data, false), 2);
        for (size_t i = 0; i < before.size(); ++i) {
            if (i == 0x500 || i == 0x501) continue;
            ASSERT_EQ(b.computer.memory[i], before[i]) << i;
        }
        EXPECT_EQ(b.computer.memory[0x500], 0xDE);
        EXPECT_EQ(b.computer.memory[0x501], 0xAD);
        const auto writes = b.port->writes();
        const auto& frame = writes.back().bytes;
        const std::vector<uint8_t> expect = {0x06, 0x00, 0x05, 0x05, 0x00, 0x02, 0xDE, 0xAD};
        ASSERT_EQ(frame.size(), expect.size() + 1);
        EXPECT_TRUE(std::equal(expect.begin(), expect.end(), frame.begin()));
        EXPECT_EQ(frame.back(), xorOf(expect));
    }
}

TEST(PagedDriverTest, DetectionRetriesAndGivesUp) {
    for (bool type3 : {false, true}) {
        SCOPED_TRACE(type3);
        TraceCapture trace;
        Bench b(type3);
        b.computer.mute = true;
        std::vector<int> found;
        std::vector<int> percents;
        b.driver->setCallbacks([&](int p) { percents.push_back(p); }, nullptr,
                               [&](int f) { found.push_back(f); });
        try {
            b.driver->open(4);
            FAIL();
        } catch (const DeviceNotPresent& e) {
            EXPECT_EQ(e.code(), 17);
            EXPECT_STREQ(e.what(), type3 ? "Device Type3 Not Found" : "Device Type2 Not Found");
        }
        EXPECT_EQ(found, std::vector<int>{0});
        // Four identity reads, each tried four times by the link.
        int identities = 0;
        for (const auto& w : b.port->writes())
            identities += w.bytes.size() == 4 && w.bytes[0] == 0x0F;
        EXPECT_EQ(identities, 16);
        EXPECT_EQ(trace.count(type3 ? "Device_TypeC2V2::getheader(): Exception Caught"
                                    : "Device_TypeD::getheader(): Exception Caught"),
                  4u);
        // The gauge starts full and counts down with each failure.
        ASSERT_FALSE(percents.empty());
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 0);
    }
}

TEST(PagedDriverTest, CancelDuringDetection) {
    for (bool type3 : {false, true}) {
        TraceCapture trace;
        Bench b(type3);
        b.computer.mute = true;
        b.port->setReadHook([&] { b.cancel = true; });
        EXPECT_THROW(b.driver->open(4), UserCancel);
        EXPECT_EQ(trace.count(type3 ? "Device_Type3::Open() User Cancel Detected"
                                    : "Device_Type2::Open() User Cancel Detected"),
                  1u);
    }
}

TEST(PagedDriverTest, HeaderImageFromIdentityAndMemory) {
    for (bool type3 : {false, true}) {
        SCOPED_TRACE(type3);
        Bench b(type3);
        auto& m = b.computer.memory;
        const char text[] = "Personal text of exactly forty chars!!!!";
        std::memcpy(&m[0x15E], text, 40);
        m[0x34] = m[0x35] = 0;                                              // metric display
        const uint8_t map[8] = {0x00, 0x10, 0, 0, 0x00, 0x20, 0x9A, 0x01};  // no dives
        std::memcpy(&m[0x190], map, 8);
        std::vector<std::string> status;
        b.driver->setCallbacks(
            nullptr, [&](const char* s) { status.push_back(s); }, nullptr);
        b.driver->open(4);
        EXPECT_EQ(status, std::vector<std::string>{"Comm Opened Successfully!"});
        b.driver->readHeader();
        const uint8_t* h = b.driver->header();
        EXPECT_EQ(h[0x28], 0x21);
        EXPECT_EQ(h[0x29], 0x01);
        EXPECT_EQ(h[0x81], 0x02);
        EXPECT_EQ(h[0x82], 0x03);
        EXPECT_EQ(0, std::memcmp(h + 0x2A, &m[0x23], 4));
        EXPECT_EQ(0, std::memcmp(h + 0x30, text, 40));
        EXPECT_EQ(h[0x58], 0);
        EXPECT_EQ(h[0x72], 1);
        // Totals are kept even without dives.
        EXPECT_EQ(0, std::memcmp(h + 0x22, &m[0x186], 6));
        const uint8_t image[10] = {0x9A, 0x01, 0x00, 0x10, 0x00, 0x20, 0x9A, 0x01, 0, 0};
        EXPECT_EQ(0, std::memcmp(h + 0x84, image, 10));
        EXPECT_EQ(b.driver->progress().total(), 224);
        EXPECT_EQ(b.driver->progress().current(), 100);
        // No dives: the download ends at once.
        EXPECT_FALSE(b.driver->nextDive());
        EXPECT_TRUE(b.driver->dives().empty());
    }
}

}  // namespace talvek
