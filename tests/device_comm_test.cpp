// Opening, configuring and closing a port through sAPI::Device_Comm, on the
// in-memory port, and the byte checksum.
#include "device/device_comm.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "device/comm_model2.h"
#include "device/comm_model3.h"
#include "device/errors.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "serial_test_support.h"

using namespace serialtest;

namespace {

// Device_Comm with the link operations left empty, for the port tests.
class PlainComm : public sAPI::Device_Comm {
public:
    PlainComm(const wchar_t* name, uint32_t baud = 2400, uint8_t parity = 1,
              const sAPI::CancelFlag* cancel = nullptr)
        : Device_Comm(name, baud, 1, false, parity, 1800, 40, 40, cancel, 3) {}
    void SetMode(int) override {}
    void Talk(int) override {}
    void Listen(int) override {}
    void Communicate(int, int) override {}
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

class DeviceCommTest : public ::testing::Test {
protected:
    DeviceCommTest() : scoped_(clock_) {
        port_ = registry_.add(L"MEM1", nullptr);
        port_->setLineSettings(previousSettings());
    }

    // Builds a PlainComm expecting it to throw; returns the exception.
    template <class E>
    E createFails(const wchar_t* name) {
        try {
            PlainComm comm(name);
        } catch (const E& e) {
            return e;
        }
        ADD_FAILURE() << "no exception";
        return E(0);
    }

    TraceCapture trace_;
    platform::VirtualClock clock_;
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    std::shared_ptr<platform::MemoryPort> port_;
};

}  // namespace

TEST_F(DeviceCommTest, AbsentNameFailsBeforeAnyOpen) {
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L""}) {
        sAPI::CriticalError e = createFails<sAPI::CriticalError>(name);
        EXPECT_STREQ(e.what(), L"No Comm Port Specified");
        EXPECT_EQ(e.code(), 2);
    }
    EXPECT_EQ(port_->openCount(), 0);
    auto lines = trace_.matching("Device_Comm::Create() Unable To Open Port <No Port Specified>");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, "Error");
}

TEST_F(DeviceCommTest, BusyOrMissingPortIsNotFoundWithErrnoInTrace) {
    port_->setBusy(true);
    sAPI::CommError busy = createFails<sAPI::CommError>(L"MEM1");
    EXPECT_STREQ(busy.what(), L"Comm Port Not Found");
    EXPECT_EQ(busy.code(), 12);
    port_->setBusy(false);

    // Held by another Device_Comm: the second open fails the same way.
    {
        PlainComm first(L"MEM1");
        EXPECT_EQ(createFails<sAPI::CommError>(L"MEM1").code(), 12);
    }
    // Released on destruction: opens again.
    { PlainComm again(L"MEM1"); }

    // A name no registry knows goes on to the system, which has no such file.
    sAPI::CommError missing = createFails<sAPI::CommError>(L"/nonexistent/talvek/ttyS9");
    EXPECT_STREQ(missing.what(), L"Comm Port Not Found");

    auto lines =
        trace_.matching("Device_Comm::Create() Unable To Open Port <Port Busy or Not Present>");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].level, "Error");
    EXPECT_NE(lines[0].text.find(std::to_string(EBUSY) + ": "), std::string::npos) << lines[0].text;
    EXPECT_NE(lines[2].text.find(std::to_string(ENOENT) + ": No such file or directory"),
              std::string::npos)
        << lines[2].text;
}

TEST_F(DeviceCommTest, NotATerminalIsInvalidPortAndReleasesIt) {
    platform::MemoryPortFaults f;
    f.notATerminal = true;
    port_->setFaults(f);
    sAPI::CommError e = createFails<sAPI::CommError>(L"MEM1");
    EXPECT_STREQ(e.what(), L"Invalid Port Specified");
    EXPECT_EQ(e.code(), 12);
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Get Comm state or timeouts").size(), 1u);
    EXPECT_TRUE(trace_.matching("Device_Comm::Create() Port Opened").empty());
}

TEST_F(DeviceCommTest, ConfigurationFailuresRestoreWhatThePartLeavesChanged) {
    // Settings refused: nothing was changed, the port is released.
    platform::MemoryPortFaults f;
    f.failSettings = true;
    port_->setFaults(f);
    sAPI::CriticalError e = createFails<sAPI::CriticalError>(L"MEM1");
    EXPECT_STREQ(e.what(), L"Error Setting Comm Port");
    EXPECT_EQ(e.code(), 2);
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Set Comm state").size(), 1u);
    expectPrevious(port_->settings());

    // Time-outs refused after the settings were applied: settings put back.
    f = {};
    f.failTimeouts = true;
    port_->setFaults(f);
    e = createFails<sAPI::CriticalError>(L"MEM1");
    EXPECT_STREQ(e.what(), L"Error Setting Comm Port");
    EXPECT_FALSE(port_->isOpen());
    EXPECT_EQ(trace_.matching("Device_Comm::Create() Can't Set New Timeouts").size(), 1u);
    expectPrevious(port_->settings());
    EXPECT_EQ(port_->settings().baud, 4800u);
}

TEST_F(DeviceCommTest, FailingDtrAtTheEndOfCreateReleasesThePort) {
    platform::MemoryPortFaults f;
    f.failLineControl = true;
    port_->setFaults(f);
    sAPI::UnknownError e = createFails<sAPI::UnknownError>(L"MEM1");
    EXPECT_STREQ(e.what(), L"SetDTR : 5");  // EIO
    EXPECT_EQ(e.code(), 1);
    EXPECT_FALSE(port_->isOpen());
    expectPrevious(port_->settings());
}

TEST_F(DeviceCommTest, PerTypeSettingsAndDtrRaised) {
    {
        sAPI::CommModel2 link(L"MEM1", nullptr);
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
        EXPECT_EQ(link.eventMask(), 4u);
    }
    {
        sAPI::CommModel3 link(L"MEM1", nullptr);
        EXPECT_TRUE(port_->settings().dtrEnable);
        EXPECT_FALSE(port_->settings().abortOnError);
        EXPECT_EQ(port_->readTimeoutMs(), 4400u);
        EXPECT_TRUE(port_->dtr());
    }
    {
        PlainComm type1(L"MEM1");
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

TEST_F(DeviceCommTest, CloseRestoresAndIsIdempotent) {
    PlainComm comm(L"MEM1");
    EXPECT_TRUE(comm.portOpen());
    EXPECT_TRUE(port_->isOpen());
    comm.Close();
    EXPECT_FALSE(comm.portOpen());
    EXPECT_FALSE(port_->isOpen());
    expectPrevious(port_->settings());
    EXPECT_EQ(port_->readTimeoutMs(), 77u);

    // A second Close does nothing, even when the port now holds other
    // settings (another program changed them).
    platform::SerialSettings other = previousSettings();
    other.baud = 19200;
    port_->setLineSettings(other);
    comm.Close();
    EXPECT_EQ(port_->settings().baud, 19200u);

    // Line control on a closed port fails with the port's error number.
    try {
        comm.SetRTS(true);
        FAIL() << "no exception";
    } catch (const sAPI::UnknownError& e) {
        EXPECT_STREQ(e.what(), L"SetRTS : 9");  // EBADF
    }
}

TEST_F(DeviceCommTest, DestroyTracesAndReleases) {
    { PlainComm comm(L"MEM1"); }
    EXPECT_FALSE(port_->isOpen());
    auto lines = trace_.matching("Device_Comm::Destroy()");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, "Detail");
    expectPrevious(port_->settings());
}

TEST_F(DeviceCommTest, LineControlDrivesTheLinesOrThrowsWithTheErrno) {
    PlainComm comm(L"MEM1");
    comm.SetRTS(true);
    EXPECT_TRUE(port_->rts());
    comm.SetRTS(false);
    EXPECT_FALSE(port_->rts());
    comm.SetDTR(false);
    EXPECT_FALSE(port_->dtr());

    platform::MemoryPortFaults f;
    f.failLineControl = true;
    port_->setFaults(f);
    try {
        comm.SetRTS(true);
        FAIL() << "no exception";
    } catch (const sAPI::UnknownError& e) {
        EXPECT_STREQ(e.what(), L"SetRTS : 5");
        EXPECT_EQ(e.code(), 1);
    }
    try {
        comm.SetDTR(true);
        FAIL() << "no exception";
    } catch (const sAPI::UnknownError& e) {
        EXPECT_STREQ(e.what(), L"SetDTR : 5");
    }
}

TEST(Checksum, XorOfTheBytes) {
    const uint8_t cmd[] = {0x05, 0x00, 0x03};
    EXPECT_EQ(sAPI::Device_Comm::Checksum(cmd, 3), 0x06);
    const uint8_t one[] = {0xA5};
    EXPECT_EQ(sAPI::Device_Comm::Checksum(one, 1), 0xA5);
    const uint8_t pair[] = {0x5A, 0x5A};
    EXPECT_EQ(sAPI::Device_Comm::Checksum(pair, 2), 0);
    try {
        sAPI::Device_Comm::Checksum(cmd, 0);
        FAIL() << "no exception";
    } catch (const sAPI::CriticalError& e) {
        EXPECT_STREQ(e.what(), L"Attempt to checksum Null buffer");
        EXPECT_EQ(e.code(), 2);
    }
}

TEST(Checksum, VerifyComparesWithTheByteAtPosition) {
    const uint8_t good[] = {0x0F, 0x00, 0x00, 0x0F};
    EXPECT_EQ(sAPI::Device_Comm::VerifyChecksum(good, 3), 0);
    const uint8_t bad[] = {0x0F, 0x00, 0x00, 0x0E};
    EXPECT_NE(sAPI::Device_Comm::VerifyChecksum(bad, 3), 0);
    EXPECT_EQ(sAPI::Device_Comm::VerifyChecksum(good, 0), -1);
}
