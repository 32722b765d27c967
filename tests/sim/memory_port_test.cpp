// The in-memory port itself: timing on the virtual clock, what a peer sees,
// purge, busy and hang-up.
#include "platform/memory_port.h"

#include "support/system_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "support/serial_test_support.h"

namespace talvek {

using namespace serialtest;

namespace {

class RecordingPeer : public platform::MemoryPeer {
  public:
    std::vector<uint8_t> seen;
    std::vector<uint64_t> seenAt;
    int lineCalls = 0;
    bool lastRts = false, lastDtr = false;
    int purges = 0;
    uint64_t answerDelay = 350;

    void onHostBytes(platform::MemoryLine& line, const uint8_t* d, size_t n,
                     uint64_t atMs) override {
        seen.insert(seen.end(), d, d + n);
        seenAt.push_back(atMs);
        // Answers part of the frame at once and the rest later, as a computer
        // that starts replying while the host is still sending.
        uint8_t early = 0xE1;
        line.send(&early, 1, atMs);
        line.send({0xA1, 0xA2}, atMs + answerDelay);
    }
    void onLines(platform::MemoryLine&, bool rts, bool dtr, uint64_t) override {
        ++lineCalls;
        lastRts = rts;
        lastDtr = dtr;
    }
    void onPurge(platform::MemoryLine&, uint64_t) override { ++purges; }
};

class MemoryPortTest : public ::testing::Test {
  protected:
    MemoryPortTest() : scoped_(clock_) {
        port_ = registry_.add("M", &peer_);
        platform::PortError error{platform::PortFault::Other, -1, "?"};
        host_ = registry_.open("M", error);
        EXPECT_EQ(error.fault, platform::PortFault::None);
        EXPECT_EQ(error.number, 0);
        EXPECT_TRUE(host_);
        host_->applyTimeouts(1000, 1000);
    }

    platform::VirtualClock clock_{10000};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    RecordingPeer peer_;
    std::shared_ptr<platform::MemoryPort> port_;
    std::unique_ptr<platform::SerialPort> host_;
};

}  // namespace

TEST_F(MemoryPortTest, ReadsWaitVirtualTimeForArrivalsOrTheTimeOut) {
    const uint8_t cmd[] = {1, 2, 3};
    ASSERT_EQ(host_->write(cmd, 3), 3);
    EXPECT_EQ(peer_.seen, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(peer_.seenAt[0], 10000u);

    uint8_t buf[8] = {};
    // The early byte is there at once.
    EXPECT_EQ(host_->read(buf, 1), 1);
    EXPECT_EQ(buf[0], 0xE1);
    EXPECT_EQ(clock_.nowMs(), 10000u);
    // The rest comes 350 ms after the write: the read jumps there.
    EXPECT_EQ(host_->read(buf, 2), 2);
    EXPECT_EQ(buf[0], 0xA1);
    EXPECT_EQ(buf[1], 0xA2);
    EXPECT_EQ(clock_.nowMs(), 10350u);
    // Nothing more: the full time-out passes and 0 comes back.
    EXPECT_EQ(host_->read(buf, 4), 0);
    EXPECT_EQ(clock_.nowMs(), 11350u);

    // A reply beyond the time-out: a partial count now, the rest later.
    peer_.answerDelay = 1500;
    host_->write(cmd, 1);
    EXPECT_EQ(host_->read(buf, 3), 1);
    EXPECT_EQ(clock_.nowMs(), 12350u);
    EXPECT_EQ(host_->read(buf, 2), 2);
    EXPECT_EQ(clock_.nowMs(), 12850u);
    EXPECT_EQ(port_->readCount(), 5);
}

TEST_F(MemoryPortTest, AByteNeverOvertakesAnEarlierOne) {
    port_->send({1}, 10500);
    port_->send({2}, 10100);  // sent later, so it arrives later
    uint8_t buf[2];
    EXPECT_EQ(host_->read(buf, 2), 2);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 2);
    EXPECT_EQ(clock_.nowMs(), 10500u);
}

TEST_F(MemoryPortTest, PurgeDropsArrivedBytesOnly) {
    const uint8_t cmd[] = {9};
    host_->write(cmd, 1);  // 0xE1 now, 0xA1 0xA2 in 350 ms
    clock_.advance(200);
    EXPECT_TRUE(host_->purge());
    EXPECT_EQ(peer_.purges, 1);
    EXPECT_EQ(port_->pendingBytes(), 2u);
    uint8_t buf[2];
    EXPECT_EQ(host_->read(buf, 2), 2);
    EXPECT_EQ(buf[0], 0xA1);
}

TEST_F(MemoryPortTest, LinesAreReportedAndRecorded) {
    EXPECT_EQ(host_->setDTR(true), platform::LineResult::Driven);
    clock_.advance(5);
    EXPECT_EQ(host_->setRTS(true), platform::LineResult::Driven);
    EXPECT_EQ(peer_.lineCalls, 2);
    EXPECT_TRUE(peer_.lastRts);
    EXPECT_TRUE(peer_.lastDtr);
    auto changes = port_->lineChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_FALSE(changes[0].rts);
    EXPECT_TRUE(changes[0].dtr);
    EXPECT_EQ(changes[1].atMs, 10005u);
}

TEST_F(MemoryPortTest, BusyGoneAndClosed) {
    platform::PortError error;
    EXPECT_EQ(registry_.open("M", error), nullptr);
    EXPECT_EQ(error.fault, platform::PortFault::Busy);
    EXPECT_EQ(error.number, EBUSY);

    port_->hangUp();
    uint8_t b = 0;
    EXPECT_EQ(host_->write(&b, 1), -1);
    EXPECT_EQ(host_->lastError().fault, platform::PortFault::Gone);
    EXPECT_EQ(host_->lastError().number, EIO);
    EXPECT_EQ(host_->read(&b, 1), -1);
    EXPECT_EQ(host_->setRTS(true), platform::LineResult::Failed);
    host_->close();
    host_->close();
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(registry_.open("M", error), nullptr);
    EXPECT_EQ(error.fault, platform::PortFault::NotFound);

    port_->reconnect();
    port_->setBusy(true);
    EXPECT_EQ(registry_.open("M", error), nullptr);
    EXPECT_EQ(error.fault, platform::PortFault::Busy);
    port_->setBusy(false);
    auto again = registry_.open("M", error);
    ASSERT_TRUE(again);
    EXPECT_EQ(error.fault, platform::PortFault::None);
    EXPECT_EQ(port_->openCount(), 2);
    EXPECT_EQ(host_->read(&b, 1), -1);  // the old host side stays closed
    EXPECT_EQ(host_->lastError().number, EBADF);
}

TEST(MemoryPortRegistry, UnknownNamesAreSystemPorts) {
    platform::MemoryPortRegistry registry;
    registry.add("KNOWN", nullptr);
    platform::PortError error;
    EXPECT_EQ(registry.open("/talvek-no-such-dir/no-such-port", error), nullptr);
    EXPECT_EQ(error.fault, platform::PortFault::NotFound);
    EXPECT_EQ(error.number, syserr::MissingPath);
    EXPECT_FALSE(error.text.empty());
    if (*syserr::MissingPathText) {
        EXPECT_EQ(error.text, syserr::MissingPathText);
    }
    EXPECT_TRUE(registry.open("KNOWN", error));
}

TEST(MemoryPortRealClock, ReadSeesBytesSentFromAnotherThread) {
    // No virtual clock: the read waits in real time and notices a send made
    // while it waits.
    platform::MemoryPortRegistry registry;
    auto port = registry.add("R", nullptr);
    platform::PortError error;
    auto host = registry.open("R", error);
    ASSERT_TRUE(host);
    host->applyTimeouts(2000, 1000);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        port->send({0x42}, platform::nowMs());
    });
    uint8_t b = 0;
    auto t0 = std::chrono::steady_clock::now();
    long got = host->read(&b, 1);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    sender.join();
    EXPECT_EQ(got, 1);
    EXPECT_EQ(b, 0x42);
    EXPECT_LT(ms, 1500);
}

}  // namespace talvek
