// Opening, configuring and closing a port through SerialLink, on the
// in-memory port, and the byte checksum.
#include "dc/base/serial_link.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

#include "dc/base/errors.h"
#include "dc/paged/type2_link.h"
#include "dc/paged/type3_link.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/faulty_memory_port.h"
#include "support/serial_test_support.h"
#include "support/system_errors.h"

namespace talvek {

using namespace serialtest;

namespace {

// SerialLink with the link operations left empty, for the port tests.
class PlainComm : public SerialLink {
  public:
    PlainComm(platform::SerialOpener& ports, const char* name, uint32_t baud = 2400,
              uint8_t parity = 1, const CancelFlag* cancel = nullptr)
        : SerialLink(name,
                     LinkSettings{.baudRate = baud,
                                  .dtrControl = true,
                                  .oddParity = parity == 1,
                                  .readTimeoutMs = 1800,
                                  .bufferSize = 40},
                     cancel, ports) {}
    void setMode(int) override {}
    void talk(int) override {}
    void listen(int) override {}
    void communicate(int, int) override {}
};

platform::SerialSettings previousSettings() {
    platform::SerialSettings s;
    s.baud = 4800;
    s.oddParity = false;
    s.dtrEnable = true;
    s.abortOnError = false;
    s.readTimeoutMs = 77;
    s.writeTimeoutMs = 88;
    return s;
}

void expectPrevious(const platform::SerialSettings& s) {
    EXPECT_EQ(s.baud, 4800u);
    EXPECT_FALSE(s.oddParity);
    EXPECT_EQ(s.readTimeoutMs, 77u);
    EXPECT_EQ(s.writeTimeoutMs, 88u);
}

class SerialLinkTest : public ::testing::Test {
  protected:
    SerialLinkTest() : scoped_(clock_) {
        port_ = memtest::addFaultyPort(registry_, "MEM1", nullptr);
        port_->setLineSettings(previousSettings());
    }

    // Builds a PlainComm expecting it to throw; returns the exception.
    template <class E>
    E createFails(const char* name) {
        try {
            PlainComm comm(registry_, name);
        } catch (const E& e) {
            return e;
        }
        ADD_FAILURE() << "no exception";
        throw std::logic_error("expected an exception");
    }

    TraceCapture trace_;
    platform::VirtualClock clock_;
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    std::shared_ptr<memtest::FaultyMemoryPort> port_;
};

}  // namespace

TEST_F(SerialLinkTest, AbsentNameFailsBeforeAnyOpen) {
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        CriticalError e = createFails<CriticalError>(name);
        EXPECT_STREQ(e.what(), "No Comm Port Specified");
        EXPECT_EQ(e.code(), 2);
    }
    EXPECT_EQ(port_->openCount(), 0);
    auto lines = trace_.matching("Device_Comm::Create() Unable To Open Port <No Port Specified>");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, "Error");
}

TEST_F(SerialLinkTest, BusyOrMissingPortIsNotFoundWithErrnoInTrace) {
    port_->setBusy(true);
    CommError busy = createFails<CommError>("MEM1");
    EXPECT_STREQ(busy.what(), "Comm Port Not Found");
    EXPECT_EQ(busy.code(), 12);
    port_->setBusy(false);

    // Held by another SerialLink: the second open fails the same way.
    {
        PlainComm first(registry_, "MEM1");
        EXPECT_EQ(createFails<CommError>("MEM1").code(), 12);
    }
    // Released on destruction: opens again.
    { PlainComm again(registry_, "MEM1"); }

    // A name no registry knows goes on to the system, which has no such file.
    CommError missing = createFails<CommError>("/nonexistent/talvek/ttyS9");
    EXPECT_STREQ(missing.what(), "Comm Port Not Found");

    auto lines =
        trace_.matching("Device_Comm::Create() Unable To Open Port <Port Busy or Not Present>");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].level, "Error");
    EXPECT_NE(lines[0].text.find(std::to_string(EBUSY) + ": "), std::string::npos) << lines[0].text;
    EXPECT_NE(
        lines[2].text.find(std::to_string(syserr::MissingPath) + ": " + syserr::MissingPathText),
        std::string::npos)
        << lines[2].text;
}

TEST_F(SerialLinkTest, NotATerminalIsInvalidPortAndReleasesIt) {
    memtest::MemoryPortFaults f;
    f.notATerminal = true;
    port_->setFaults(f);
    CommError e = createFails<CommError>("MEM1");
    EXPECT_STREQ(e.what(), "Invalid Port Specified");
    EXPECT_EQ(e.code(), 12);
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Get Comm state or timeouts").size(), 1u);
    EXPECT_TRUE(trace_.matching("Device_Comm::Create() Port Opened").empty());
}

TEST_F(SerialLinkTest, ConfigurationFailuresRestoreWhatThePartLeavesChanged) {
    // Settings refused: nothing was changed, the port is released.
    memtest::MemoryPortFaults f;
    f.failSettings = true;
    port_->setFaults(f);
    CriticalError e = createFails<CriticalError>("MEM1");
    EXPECT_STREQ(e.what(), "Error Setting Comm Port");
    EXPECT_EQ(e.code(), 2);
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Set Comm state").size(), 1u);
    expectPrevious(port_->settings());

    // Time-outs refused after the settings were applied: settings put back.
    f = {};
    f.failTimeouts = true;
    port_->setFaults(f);
    e = createFails<CriticalError>("MEM1");
    EXPECT_STREQ(e.what(), "Error Setting Comm Port");
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Set New Timeouts").size(), 1u);
    expectPrevious(port_->settings());
    EXPECT_EQ(port_->settings().baud, 4800u);

    // Event mask or queue sizes refused: settings put back, each traced.
    for (bool queues : {false, true}) {
        f = {};
        (queues ? f.failQueues : f.failTransmitWait) = true;
        port_->setFaults(f);
        e = createFails<CriticalError>("MEM1");
        EXPECT_STREQ(e.what(), "Error Setting Comm Port");
        EXPECT_FALSE(port_->isOpen());
        expectPrevious(port_->settings());
    }
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Set CommMask").size(), 1u);
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Invalid Setup").size(), 1u);
}

TEST_F(SerialLinkTest, CreateWaitsForOutputEmptyAndSizesTheQueues) {
    PlainComm comm(registry_, "MEM1");
    EXPECT_TRUE(port_->transmitWaitPrepared());  // the Windows port's EV_TXEMPTY
    EXPECT_TRUE(port_->queuesSized());           // and its queues of 32640 and 1280 bytes
}

TEST_F(SerialLinkTest, FailingDtrAtTheEndOfCreateReleasesThePort) {
    memtest::MemoryPortFaults f;
    f.failLineControl = true;
    port_->setFaults(f);
    UnknownError e = createFails<UnknownError>("MEM1");
    EXPECT_STREQ(e.what(), "SetDTR : 5");  // EIO
    EXPECT_EQ(e.code(), 1);
    EXPECT_FALSE(port_->isOpen());
    expectPrevious(port_->settings());
}

TEST_F(SerialLinkTest, PerTypeSettingsAndDtrRaised) {
    {
        Type2Link link("MEM1", nullptr, registry_);
        const auto& s = port_->settings();
        EXPECT_EQ(s.baud, 9600u);
        EXPECT_FALSE(s.oddParity);
        EXPECT_FALSE(s.dtrEnable);  // disabled in the settings, yet raised below
        EXPECT_TRUE(s.abortOnError);
        EXPECT_EQ(port_->readTimeoutMs(), 1100u);
        EXPECT_EQ(port_->writeTimeoutMs(), 1000u);
        EXPECT_TRUE(port_->dtr());
        EXPECT_EQ(link.sendBufferSize(), 256u);
        EXPECT_EQ(link.receiveBufferSize(), 256u);
        EXPECT_EQ(link.retryBudget(), 3);
        EXPECT_TRUE(port_->transmitWaitPrepared());
    }
    {
        Type3Link link("MEM1", nullptr, registry_);
        EXPECT_TRUE(port_->settings().dtrEnable);
        EXPECT_FALSE(port_->settings().abortOnError);
        EXPECT_EQ(port_->readTimeoutMs(), 4400u);
        EXPECT_TRUE(port_->dtr());
    }
    {
        PlainComm type1(registry_, "MEM1");
        EXPECT_EQ(port_->settings().baud, 2400u);
        EXPECT_TRUE(port_->settings().oddParity);
        EXPECT_EQ(port_->readTimeoutMs(), 1800u);
        EXPECT_EQ(type1.sendBufferSize(), 40u);
    }
    auto opened = trace_.matching("Device_Comm::Create() Port Opened (");
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].level, "Detail");
    EXPECT_EQ(opened[0].text, "Device_Comm::Create() Port Opened (1)");
}

TEST_F(SerialLinkTest, CloseRestoresAndIsIdempotent) {
    PlainComm comm(registry_, "MEM1");
    EXPECT_TRUE(comm.portOpen());
    EXPECT_TRUE(port_->isOpen());
    comm.close();
    EXPECT_FALSE(comm.portOpen());
    EXPECT_FALSE(port_->isOpen());
    expectPrevious(port_->settings());
    EXPECT_EQ(port_->readTimeoutMs(), 77u);

    // A second Close does nothing, even when the port now holds other
    // settings (another program changed them).
    platform::SerialSettings other = previousSettings();
    other.baud = 19200;
    port_->setLineSettings(other);
    comm.close();
    EXPECT_EQ(port_->settings().baud, 19200u);

    // Line control on a closed port fails with the port's error number.
    try {
        comm.setRTS(true);
        FAIL() << "no exception";
    } catch (const UnknownError& e) {
        EXPECT_STREQ(e.what(), "SetRTS : 9");  // EBADF
    }
}

TEST_F(SerialLinkTest, DestroyTracesAndReleases) {
    { PlainComm comm(registry_, "MEM1"); }
    EXPECT_FALSE(port_->isOpen());
    auto lines = trace_.matching("Device_Comm::Destroy()");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, "Detail");
    expectPrevious(port_->settings());
}

TEST_F(SerialLinkTest, LineControlDrivesTheLinesOrThrowsWithTheErrno) {
    PlainComm comm(registry_, "MEM1");
    comm.setRTS(true);
    EXPECT_TRUE(port_->rts());
    comm.setRTS(false);
    EXPECT_FALSE(port_->rts());
    comm.setDTR(false);
    EXPECT_FALSE(port_->dtr());

    memtest::MemoryPortFaults f;
    f.failLineControl = true;
    port_->setFaults(f);
    try {
        comm.setRTS(true);
        FAIL() << "no exception";
    } catch (const UnknownError& e) {
        EXPECT_STREQ(e.what(), "SetRTS : 5");
        EXPECT_EQ(e.code(), 1);
    }
    try {
        comm.setDTR(true);
        FAIL() << "no exception";
    } catch (const UnknownError& e) {
        EXPECT_STREQ(e.what(), "SetDTR : 5");
    }
}

TEST(Checksum, XorOfTheBytes) {
    const uint8_t cmd[] = {0x05, 0x00, 0x03};
    EXPECT_EQ(SerialLink::checksum(cmd, 3), 0x06);
    const uint8_t one[] = {0xA5};
    EXPECT_EQ(SerialLink::checksum(one, 1), 0xA5);
    const uint8_t pair[] = {0x5A, 0x5A};
    EXPECT_EQ(SerialLink::checksum(pair, 2), 0);
    try {
        SerialLink::checksum(cmd, 0);
        FAIL() << "no exception";
    } catch (const CriticalError& e) {
        EXPECT_STREQ(e.what(), "Attempt to checksum Null buffer");
        EXPECT_EQ(e.code(), 2);
    }
}

TEST(Checksum, VerifyComparesWithTheByteAtPosition) {
    const uint8_t good[] = {0x0F, 0x00, 0x00, 0x0F};
    EXPECT_EQ(SerialLink::verifyChecksum(good, 3), 0);
    const uint8_t bad[] = {0x0F, 0x00, 0x00, 0x0E};
    EXPECT_NE(SerialLink::verifyChecksum(bad, 3), 0);
    EXPECT_EQ(SerialLink::verifyChecksum(good, 0), -1);
}

}  // namespace talvek
