// The type 2 link on the in-memory port: frames, echo, RTS polarity, the
// failure rows with their attempt counts and traces, and cancel handling.
#include "dc/paged/type2_link.h"

#include <gtest/gtest.h>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/faulty_memory_port.h"
#include "support/serial_test_support.h"

namespace talvek {

using namespace serialtest;

namespace {

const std::string ErrorLine = "DeviceType2_Com::Communicate(): Error  code = ";

class Type2LinkTest : public ::testing::Test {
  protected:
    Type2LinkTest() : scoped_(clock_) {
        peer_.echo = true;
        port_ = memtest::addFaultyPort(registry_, "T2", &peer_);
        link_ = std::make_unique<Type2Link>("T2", &cancel_, registry_);
        port_->clearRecord();
        start_ = clock_.nowMs();
    }

    void identity() {
        uint8_t* s = link_->sendBuffer();
        s[0] = 0x0F;
        s[1] = 0x00;
        s[2] = 0x00;
    }

    // Runs Communicate(3, 8) and returns the error code (0 for success).
    int exchange() {
        identity();
        try {
            link_->communicate(3, 8);
            return 0;
        } catch (const Error& e) {
            lastMessage_ = e.what();
            return e.code();
        }
    }

    std::vector<std::string> errorCodes() const {
        std::vector<std::string> out;
        for (const auto& l : trace_.matching(ErrorLine)) {
            EXPECT_EQ(l.level, "Error");
            out.push_back(l.text.substr(ErrorLine.size()));
        }
        return out;
    }

    uint64_t elapsed() { return clock_.nowMs() - start_; }

    TraceCapture trace_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    ScriptedPeer peer_;
    std::shared_ptr<memtest::FaultyMemoryPort> port_;
    CancelFlag cancel_{false};
    std::unique_ptr<Type2Link> link_;
    uint64_t start_ = 0;
    std::string lastMessage_;
};

const std::vector<uint8_t> GoodReply = frame({0x01, 0x02, 0x03, 0x10, 0x20, 0x30, 0x40});

}  // namespace

TEST_F(Type2LinkTest, ThreeByteCommandGoesOutAsFourAndTheEchoIsConsumed) {
    peer_.replies = {GoodReply};
    EXPECT_EQ(exchange(), 0);
    auto writes = port_->writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x0F, 0x00, 0x00, 0x0F}));
    // The reply, not the echo, is in the receive buffer.
    EXPECT_EQ(bytesOf(link_->receiveBuffer(), 8), GoodReply);
    EXPECT_EQ(port_->pendingBytes(), 0u);
    EXPECT_EQ(port_->readCount(), 2);  // echo, reply
    EXPECT_TRUE(errorCodes().empty());
}

TEST_F(Type2LinkTest, RtsLowWhileSendingHighWhileReceiving) {
    peer_.replies = {GoodReply};
    EXPECT_EQ(exchange(), 0);
    auto lines = port_->lineChanges();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].rts);  // transmit
    EXPECT_TRUE(lines[1].rts);   // receive, before the reply is read
    EXPECT_TRUE(lines[0].dtr);
    // 16 ms between switching to transmit and the first byte.
    EXPECT_EQ(port_->writes()[0].atMs - lines[0].atMs, 16u);
    EXPECT_EQ(link_->lineMode(), 0);
    // The port's error state is cleared by Talk and by each line switch.
    EXPECT_EQ(port_->errorClearCount(), 3);
}

TEST_F(Type2LinkTest, SetModeStoresAnyValueButDrivesOnlyZeroAndOne) {
    link_->setMode(7);
    EXPECT_EQ(link_->lineMode(), 7);
    EXPECT_TRUE(port_->lineChanges().empty());
    link_->setMode(1);
    EXPECT_FALSE(port_->rts());
    link_->setMode(0);
    EXPECT_TRUE(port_->rts());
    EXPECT_EQ(clock_.sleptMs(), 16u);
}

TEST_F(Type2LinkTest, AWrongEchoIsAcceptedOnlyTheReplyDecides) {
    peer_.echo = false;
    std::vector<uint8_t> wire = {0xAA, 0xBB, 0xCC, 0xDD};  // not what was sent
    wire.insert(wire.end(), GoodReply.begin(), GoodReply.end());
    peer_.always = wire;
    EXPECT_EQ(exchange(), 0);
    EXPECT_EQ(bytesOf(link_->receiveBuffer(), 8), GoodReply);
}

TEST_F(Type2LinkTest, ReplyChecksumAlwaysWrongFailsFourTimesWithCode8) {
    auto bad = GoodReply;
    bad.back() ^= 0x01;
    peer_.always = bad;
    EXPECT_EQ(exchange(), 8);
    EXPECT_STREQ(lastMessage_.c_str(), "Checksum Error");
    EXPECT_EQ(port_->writes().size(), 4u);
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"8", "8", "8", "8"}));
    // Three 100 ms pauses between four attempts of 16 ms each.
    EXPECT_EQ(elapsed(), 4 * 16u + 3 * 100u);
}

TEST_F(Type2LinkTest, NoReplyTimesOutOnTheReadTimeOut) {
    peer_.echo = false;  // nothing comes back at all
    EXPECT_EQ(exchange(), 18);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Serial Port Timed Out");
    EXPECT_EQ(port_->writes().size(), 4u);
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"18", "18", "18", "18"}));
    // Each attempt: 16 ms, the echo read's 1100 ms time-out, the reply's
    // 1100 ms time-out; 100 ms between attempts.
    EXPECT_EQ(elapsed(), 4 * (16u + 1100u + 1100u) + 3 * 100u);
}

TEST_F(Type2LinkTest, LateReplyWithinTheTimeOutIsRead) {
    peer_.always = GoodReply;
    peer_.replyDelayMs = 1000;
    EXPECT_EQ(exchange(), 0);
    EXPECT_EQ(elapsed(), 16u + 1000u);
}

TEST_F(Type2LinkTest, ShortReplyIsAPartialRead) {
    peer_.always = {0x01, 0x02, 0x03};
    EXPECT_EQ(exchange(), 15);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Partial Data Read");
    auto partial = trace_.matching("DeviceType2_Com::Listen(): Partial data read");
    ASSERT_EQ(partial.size(), 4u);
    EXPECT_EQ(partial[0].text, "DeviceType2_Com::Listen(): Partial data read 3 bytes of 8");
    EXPECT_EQ(partial[0].level, "Debug");
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"15", "15", "15", "15"}));
}

TEST_F(Type2LinkTest, FailingWriteIsCode14AndLeavesTheLineInReceive) {
    memtest::MemoryPortFaults f;
    f.failWrites = true;
    port_->setFaults(f);
    EXPECT_EQ(exchange(), 14);
    EXPECT_STREQ(lastMessage_.c_str(), "Error on Write");
    EXPECT_EQ(errorCodes().size(), 4u);
    EXPECT_EQ(port_->readCount(), 0);
    EXPECT_TRUE(port_->rts());
    EXPECT_EQ(link_->lineMode(), 0);
}

TEST_F(Type2LinkTest, FailingEchoReadIsInterfaceNotDetected) {
    memtest::MemoryPortFaults f;
    f.failReads = true;
    port_->setFaults(f);
    EXPECT_EQ(exchange(), 17);
    EXPECT_STREQ(lastMessage_.c_str(), "The Interface Was Not Detected");
    EXPECT_EQ(port_->writes().size(), 4u);
    EXPECT_TRUE(port_->rts());
}

TEST_F(Type2LinkTest, FailingReplyReadIsATimeOutOr21WhenThePortWasClosed) {
    // Fail every second read (the reply read).
    int reads = 0;
    port_->setReadHook([&] {
        memtest::MemoryPortFaults f;
        f.failReads = (++reads % 2) == 0;
        port_->setFaults(f);
    });
    EXPECT_EQ(exchange(), 18);
    EXPECT_STREQ(lastMessage_.c_str(), "Device Timed Out");
    auto timedOut = trace_.matching("Listen(): Read Timed Out");
    ASSERT_EQ(timedOut.size(), 4u);
    EXPECT_EQ(timedOut[0].level, "Error");
    EXPECT_TRUE(port_->rts());

    // The port closed under the read: 21, and the next attempts find it
    // closed before sending.
    reads = 0;
    port_->setFaults({});
    port_->setReadHook([&] {
        if (++reads == 2) link_->close();
    });
    port_->clearRecord();
    EXPECT_EQ(exchange(), 21);
    EXPECT_STREQ(lastMessage_.c_str(), "Comm Port Not Open");
    EXPECT_EQ(port_->writes().size(), 1u);
}

TEST_F(Type2LinkTest, ClosedPortIsCode21) {
    link_->close();
    EXPECT_EQ(exchange(), 21);
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"21", "21", "21", "21"}));
    EXPECT_TRUE(port_->writes().empty());
}

TEST_F(Type2LinkTest, RetrySucceedsAfterOneBadReply) {
    auto bad = GoodReply;
    bad.back() ^= 0xFF;
    peer_.replies = {bad, GoodReply};
    EXPECT_EQ(exchange(), 0);
    EXPECT_EQ(port_->writes().size(), 2u);
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"8"}));
}

TEST_F(Type2LinkTest, CommunicateZeroZeroTouchesNothingUnlessCancelled) {
    link_->communicate(0, 0);
    EXPECT_TRUE(port_->writes().empty());
    EXPECT_TRUE(port_->lineChanges().empty());
    EXPECT_EQ(port_->readCount(), 0);
    EXPECT_EQ(clock_.sleptMs(), 0u);

    cancel_ = true;
    EXPECT_THROW(link_->communicate(0, 0), UserCancel);
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"9999"}));
    EXPECT_TRUE(port_->writes().empty());
}

TEST_F(Type2LinkTest, CancelDuringTheReplyReadEndsAfterThatReadWithoutRetry) {
    int reads = 0;
    port_->setReadHook([&] {
        if (++reads == 2) cancel_ = true;  // the reply read
    });
    peer_.always = GoodReply;
    peer_.replyDelayMs = 5000;  // the reply misses this read's time-out
    identity();
    EXPECT_THROW(link_->communicate(3, 8), UserCancel);
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"18"}));
    EXPECT_EQ(port_->writes().size(), 1u);
    // The read ran to its time-out; no retry pause followed.
    EXPECT_EQ(elapsed(), 16u + 1100u);
}

TEST_F(Type2LinkTest, CancelDuringTalkSkipsTheListen) {
    peer_.always = GoodReply;
    peer_.onWrite = [&](const uint8_t*, size_t) { cancel_ = true; };
    identity();
    EXPECT_THROW(link_->communicate(3, 8), UserCancel);
    EXPECT_EQ(port_->readCount(), 1);  // the echo only
    EXPECT_EQ(errorCodes(), (std::vector<std::string>{"9999"}));
}

TEST_F(Type2LinkTest, FramesLongerThanTheBuffersAreRefused) {
    try {
        link_->talk(256);  // 257 bytes with the checksum
        FAIL() << "no exception";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), 5);
    }
    EXPECT_THROW(link_->listen(257), Error);
}

}  // namespace talvek
