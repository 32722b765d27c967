// The type 3 link on the in-memory port: no echo, RTS high while sending,
// its own failure texts and codes, the Retry trace, one cancel check.
#include "dc/paged/type3_link.h"

#include <gtest/gtest.h>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/faulty_memory_port.h"
#include "support/serial_test_support.h"

namespace talvek {

using namespace serialtest;

namespace {

const std::string ErrorLine = "DeviceType3_Com::Communicate(): Errorcode = ";
const std::string RetryLine = "DeviceType3_Com::Communicate(): Retry";

class Type3LinkTest : public ::testing::Test {
  protected:
    Type3LinkTest() : scoped_(clock_) {
        port_ = memtest::addFaultyPort(registry_, "T3", &peer_);
        link_ = std::make_unique<Type3Link>("T3", &cancel_, registry_);
        port_->clearRecord();
        start_ = clock_.nowMs();
    }

    int exchange(int send = 3, int receive = 8) {
        uint8_t* s = link_->sendBuffer();
        s[0] = 0x0F;
        s[1] = 0x00;
        s[2] = 0x00;
        try {
            link_->communicate(send, receive);
            return 0;
        } catch (const Error& e) {
            lastMessage_ = e.what();
            return e.code();
        }
    }

    // The Communicate trace lines in order: the code of each error line, or
    // "Retry".
    std::vector<std::string> communicateTrace() const {
        std::vector<std::string> out;
        for (const auto& l : trace_.matching("DeviceType3_Com::Communicate(): ")) {
            EXPECT_EQ(l.level, "Error");
            if (l.text == RetryLine)
                out.push_back("Retry");
            else if (l.text.compare(0, ErrorLine.size(), ErrorLine) == 0)
                out.push_back(l.text.substr(ErrorLine.size()));
            else
                ADD_FAILURE() << l.text;
        }
        return out;
    }

    uint64_t elapsed() { return clock_.nowMs() - start_; }

    TraceCapture trace_;
    platform::VirtualClock clock_{500};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    ScriptedPeer peer_;
    std::shared_ptr<memtest::FaultyMemoryPort> port_;
    CancelFlag cancel_{false};
    std::unique_ptr<Type3Link> link_;
    uint64_t start_ = 0;
    std::string lastMessage_;
};

const std::vector<uint8_t> GoodReply = frame({0x0F, 0x00, 0x00, 0x23, 0x41, 0x02, 0x07});
const std::vector<std::string> FourTimes8 = {"8", "Retry", "8", "Retry", "8", "Retry", "8"};

}  // namespace

TEST_F(Type3LinkTest, ThreeBytesOnTheWireAndNothingReadBeforeListen) {
    EXPECT_EQ(exchange(3, 0), 0);
    auto writes = port_->writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x0F, 0x00, 0x00, 0x0F}));
    EXPECT_EQ(port_->readCount(), 0);
    EXPECT_EQ(port_->drainCount(), 1);
    // Still transmitting: RTS high, 15 ms before the first byte, 10 ms after.
    auto lines = port_->lineChanges();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].rts);
    EXPECT_EQ(writes[0].atMs - lines[0].atMs, 15u);
    EXPECT_EQ(elapsed(), 25u);
    EXPECT_EQ(link_->lineMode(), 1);
    EXPECT_TRUE(port_->transmitWaitPrepared());
}

TEST_F(Type3LinkTest, ExchangeSwitchesToReceiveBeforeReading) {
    peer_.always = GoodReply;
    peer_.replyDelayMs = 300;
    EXPECT_EQ(exchange(), 0);
    EXPECT_EQ(bytesOf(link_->receiveBuffer(), 8), GoodReply);
    auto lines = port_->lineChanges();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].rts);
    EXPECT_FALSE(lines[1].rts);
    EXPECT_EQ(link_->lineMode(), 0);
    EXPECT_EQ(elapsed(), 15u + 300u);  // the reply arrives 300 ms after the write
    EXPECT_TRUE(communicateTrace().empty());
}

TEST_F(Type3LinkTest, WrongChecksumFourAttemptsWithRetryAfterTheFirstThree) {
    auto bad = GoodReply;
    bad.back() ^= 0x40;
    peer_.always = bad;
    EXPECT_EQ(exchange(), 8);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Bad Checksum");
    EXPECT_EQ(communicateTrace(), FourTimes8);
    auto cs = trace_.matching("DeviceType3_Com::Listen(): Checksum Error");
    ASSERT_EQ(cs.size(), 4u);
    EXPECT_EQ(cs[0].level, "Error");
    EXPECT_EQ(port_->writes().size(), 4u);
    EXPECT_EQ(elapsed(), 4 * 25u + 3 * 100u);
}

TEST_F(Type3LinkTest, NoReplyTimesOutAfter4400) {
    EXPECT_EQ(exchange(), 18);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Serial Port Timed Out");
    EXPECT_EQ(trace_.matching("DeviceType3_Com::Listen(): Serial Port Timed Out").size(), 4u);
    EXPECT_EQ(communicateTrace(),
              (std::vector<std::string>{"18", "Retry", "18", "Retry", "18", "Retry", "18"}));
    EXPECT_EQ(elapsed(), 4 * (25u + 4400u) + 3 * 100u);
}

TEST_F(Type3LinkTest, ShortReply) {
    peer_.always = {0x0F, 0x00};
    EXPECT_EQ(exchange(), 15);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Partial Data Read");
    auto p = trace_.matching("DeviceType3_Com::Listen(): Partial data read");
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].text, "DeviceType3_Com::Listen(): Partial data read 2 bytes of 8");
    EXPECT_EQ(p[0].level, "Debug");
}

TEST_F(Type3LinkTest, TalkFailureRows) {
    struct Row {
        memtest::MemoryPortFaults faults;
        int code;
        const char* message;
    };
    memtest::MemoryPortFaults write, drain, shortWrite;
    write.failWrites = true;
    drain.failDrain = true;
    shortWrite.shortWriteBy = 1;
    for (const Row& row :
         {Row{write, 14, "Talk: Write Serial Port"}, Row{drain, 18, "Talk: Write Serial Timed Out"},
          Row{shortWrite, 14, "Talk: Data Send"}}) {
        port_->setFaults(row.faults);
        port_->clearRecord();
        EXPECT_EQ(exchange(), row.code);
        EXPECT_STREQ(lastMessage_.c_str(), row.message);
        EXPECT_EQ(port_->readCount(), 0);  // Listen never ran
        EXPECT_FALSE(port_->rts());        // back in receive
        EXPECT_EQ(link_->lineMode(), 0);
    }
}

TEST_F(Type3LinkTest, FailingReadKeepsTheLineMode) {
    memtest::MemoryPortFaults f;
    f.failReads = true;
    port_->setFaults(f);
    EXPECT_EQ(exchange(), 15);
    EXPECT_STREQ(lastMessage_.c_str(), "Listen: Serial Port Read");
    EXPECT_EQ(trace_.matching("DeviceType3_Com::Listen(): Serial Port Error").size(), 4u);
    EXPECT_EQ(port_->readCount(), 4);
}

TEST_F(Type3LinkTest, ListenOnAClosedPortIs21) {
    link_->close();
    EXPECT_EQ(exchange(0, 8), 21);
    EXPECT_STREQ(lastMessage_.c_str(), "Comm Port Not Open");
    EXPECT_EQ(communicateTrace(),
              (std::vector<std::string>{"21", "Retry", "21", "Retry", "21", "Retry", "21"}));
}

TEST_F(Type3LinkTest, CancelDuringTalkStillRunsThisAttemptsListen) {
    peer_.always = GoodReply;
    peer_.onWrite = [&](const uint8_t*, size_t) { cancel_ = true; };
    EXPECT_EQ(exchange(), 0);
    EXPECT_EQ(bytesOf(link_->receiveBuffer(), 8), GoodReply);

    // The next exchange stops at its check, before sending.
    port_->clearRecord();
    EXPECT_EQ(exchange(), 9999);
    EXPECT_TRUE(port_->writes().empty());
    EXPECT_EQ(communicateTrace(), (std::vector<std::string>{"9999"}));
}

TEST_F(Type3LinkTest, CancelDuringTalkWithAFailedReplyEndsWithoutRetry) {
    auto bad = GoodReply;
    bad.back() ^= 1;
    peer_.always = bad;
    peer_.onWrite = [&](const uint8_t*, size_t) { cancel_ = true; };
    EXPECT_EQ(exchange(), 9999);
    EXPECT_EQ(communicateTrace(), (std::vector<std::string>{"8"}));
    EXPECT_EQ(port_->writes().size(), 1u);
}

TEST_F(Type3LinkTest, CommunicateZeroZero) {
    link_->communicate(0, 0);
    EXPECT_TRUE(port_->lineChanges().empty());
    EXPECT_EQ(port_->readCount(), 0);
    cancel_ = true;
    EXPECT_THROW(link_->communicate(0, 0), UserCancel);
}

}  // namespace talvek
