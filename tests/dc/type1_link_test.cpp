// The type 1 link on the in-memory port: purged echo, the one re-read of a
// short reply, no retries and no cancel checks, and the packet reader.
#include "dc/type1/type1_link.h"

#include <gtest/gtest.h>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/faulty_memory_port.h"
#include "support/serial_test_support.h"

namespace talvek {

using namespace serialtest;

namespace {

class Type1LinkTest : public ::testing::Test {
  protected:
    Type1LinkTest() : scoped_(clock_) {
        // A type 1 computer answers well after the 200 ms purge.
        peer_.replyDelayMs = 350;
        port_ = memtest::addFaultyPort(registry_, "T1", &peer_);
        link_ = std::make_unique<Type1Link>("T1", &cancel_, registry_);
        port_->clearRecord();
        start_ = clock_.nowMs();
    }

    void probe() {
        const uint8_t bytes[] = {0x05, 0x00, 0x1B, 0x1B};
        std::copy(bytes, bytes + 4, link_->sendBuffer());
    }

    // Communicate(4, 32) with the probe; returns the code (0 for success).
    int exchange(int replyCount = 32) {
        probe();
        try {
            link_->communicate(4, replyCount);
            return 0;
        } catch (const Error& e) {
            lastMessage_ = e.what();
            return e.code();
        }
    }

    int packet(bool allowEmpty, size_t capacity = Type1Link::MaxPacketBytes) {
        try {
            return link_->readPacket(packet_, capacity, allowEmpty);
        } catch (const Error& e) {
            lastMessage_ = e.what();
            return -e.code();
        }
    }

    uint64_t elapsed() { return clock_.nowMs() - start_; }

    TraceCapture trace_;
    platform::VirtualClock clock_{100};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    ScriptedPeer peer_;
    std::shared_ptr<memtest::FaultyMemoryPort> port_;
    CancelFlag cancel_{false};
    std::unique_ptr<Type1Link> link_;
    uint64_t start_ = 0;
    std::string lastMessage_;
    uint8_t packet_[Type1Link::MaxPacketBytes] = {};
};

std::vector<uint8_t> reply32() {
    std::vector<uint8_t> r;
    for (int i = 0; i < 31; ++i) r.push_back(static_cast<uint8_t>(0x40 + i));
    return frame(r);
}

std::vector<uint8_t> packetOf(uint8_t lead, std::vector<uint8_t> payload) {
    std::vector<uint8_t> p = {lead, static_cast<uint8_t>(payload.size())};
    p.insert(p.end(), payload.begin(), payload.end());
    return frame(p);
}

}  // namespace

TEST_F(Type1LinkTest, SettingsOfTheFirstGeneration) {
    EXPECT_EQ(port_->settings().baud, 2400u);
    EXPECT_TRUE(port_->settings().oddParity);
    EXPECT_TRUE(port_->settings().dtrEnable);
    EXPECT_EQ(port_->readTimeoutMs(), 1800u);
    EXPECT_EQ(link_->sendBufferSize(), 40u);
}

TEST_F(Type1LinkTest, TalkPurgesTheEchoAndTheLateReplyIsRead) {
    peer_.echo = true;         // gone with the purge
    peer_.always = reply32();  // 350 ms after the frame: after the pause and the purge
    EXPECT_EQ(exchange(), 0);
    auto writes = port_->writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x05, 0x00, 0x1B, 0x1B, 0x05}));
    EXPECT_EQ(bytesOf(link_->receiveBuffer(), 32), reply32());
    EXPECT_EQ(port_->purgeCount(), 1);
    EXPECT_EQ(port_->drainCount(), 1);
    // RTS high to send (16 ms before the first byte), low again after the purge.
    auto lines = port_->lineChanges();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].rts);
    EXPECT_FALSE(lines[1].rts);
    EXPECT_EQ(writes[0].atMs - lines[0].atMs, 16u);
    EXPECT_EQ(lines[1].atMs - writes[0].atMs, 200u);
    EXPECT_EQ(elapsed(), 16u + 350u);
}

TEST_F(Type1LinkTest, ShortReplyGetsOneMoreRead) {
    auto r = reply32();
    // The first read starts after the purge (216 ms) and gets 10 bytes; the
    // rest comes past its 1800 ms, within the second read's.
    port_->send(std::vector<uint8_t>(r.begin(), r.begin() + 10), start_ + 300);
    port_->send(std::vector<uint8_t>(r.begin() + 10, r.end()), start_ + 2300);
    EXPECT_EQ(exchange(), 0);
    EXPECT_EQ(bytesOf(link_->receiveBuffer(), 32), r);
    EXPECT_EQ(port_->readCount(), 2);
}

TEST_F(Type1LinkTest, ReplyFailureRows) {
    // Nothing at all.
    EXPECT_EQ(exchange(), 18);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Serial Port Timed Out");
    EXPECT_EQ(elapsed(), 216u + 1800u);

    // Still short after the second read.
    peer_.replies = {{0x01, 0x02}};
    EXPECT_EQ(exchange(), 18);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Partial Read Time Out ");

    // Wrong checksum.
    auto bad = reply32();
    bad.back() ^= 0x10;
    peer_.replies = {bad};
    EXPECT_EQ(exchange(), 8);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Bad Checksum ");

    // Failing reads: the first, then only the second.
    memtest::MemoryPortFaults f;
    f.failReads = true;
    port_->setFaults(f);
    EXPECT_EQ(exchange(), 15);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Serial Port Read");
    int reads = 0;
    port_->setFaults({});
    port_->setReadHook([&] {
        memtest::MemoryPortFaults g;
        g.failReads = ++reads == 2;
        port_->setFaults(g);
    });
    peer_.replies = {{0x01, 0x02}};
    EXPECT_EQ(exchange(), 15);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Partial Data Read");

    // Each failure was one attempt: no retries on this link.
    EXPECT_EQ(port_->writes().size(), 5u);
}

TEST_F(Type1LinkTest, TalkFailureRowsReturnTheLineToReceive) {
    struct Row {
        memtest::MemoryPortFaults faults;
        int code;
        const char* message;
    };
    memtest::MemoryPortFaults write, drain, shortWrite;
    write.failWrites = true;
    drain.failDrain = true;
    shortWrite.shortWriteBy = 2;
    for (const Row& row :
         {Row{write, 14, "Talk: Write Serial Port"}, Row{drain, 18, "Talk: Write Serial Timed Out"},
          Row{shortWrite, 14, "Talk: Data Send"}}) {
        port_->setFaults(row.faults);
        EXPECT_EQ(exchange(), row.code);
        EXPECT_STREQ(lastMessage_.c_str(), row.message);
        EXPECT_FALSE(port_->rts());
        EXPECT_EQ(port_->purgeCount(), 0);
    }
    EXPECT_EQ(port_->readCount(), 0);
}

TEST_F(Type1LinkTest, TalkZeroThrowsAndCancelIsNotChecked) {
    try {
        link_->talk(0);
        FAIL() << "no exception";
    } catch (const CriticalError& e) {
        EXPECT_STREQ(e.what(), "Attempt to checksum Null buffer");
    }
    cancel_ = true;
    peer_.always = reply32();
    EXPECT_EQ(exchange(), 0);  // the driver checks the flag, not the link
}

TEST_F(Type1LinkTest, PacketReader) {
    std::vector<uint8_t> payload(32);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 3);
    auto full = packetOf(0xA0, payload);
    port_->send(full, 0);
    EXPECT_EQ(packet(false), 32);
    EXPECT_EQ(std::vector<uint8_t>(packet_, packet_ + full.size()), full);

    // Lead byte first, the rest after the first read's time-out.
    auto small = packetOf(0xA1, {1, 2, 3});
    port_->send({small[0]}, 0);
    port_->send(std::vector<uint8_t>(small.begin() + 1, small.end()), clock_.nowMs() + 1900);
    EXPECT_EQ(packet(false), 3);
    EXPECT_EQ(packet_[4], 3);

    // The end: nothing comes.
    EXPECT_EQ(packet(true), 0);
    EXPECT_EQ(packet(false), -18);
    EXPECT_STREQ(lastMessage_.c_str(), "TimeOut");
    // A lead byte and then silence.
    port_->send({0xA2}, 0);
    EXPECT_EQ(packet(false), 0);

    // Short payload, wrong checksum, a length that does not fit.
    port_->send({0xA3, 5, 1, 2}, 0);
    EXPECT_EQ(packet(false), -18);
    EXPECT_STREQ(lastMessage_.c_str(), "Partial Read");
    auto bad = packetOf(0xA4, {9, 9});
    bad.back() ^= 1;
    port_->send(bad, 0);
    EXPECT_EQ(packet(false), -8);
    port_->send(packetOf(0xA5, std::vector<uint8_t>(40, 7)), 0);
    EXPECT_EQ(packet(false, 40), -5);

    memtest::MemoryPortFaults f;
    f.failReads = true;
    port_->setFaults(f);
    EXPECT_EQ(packet(true), -15);
}

}  // namespace talvek
