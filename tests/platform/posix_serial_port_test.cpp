// The termios port on a real pseudo-terminal: settings read back from the
// terminal, time-outs measured in real time, exclusive use across processes,
// and the open failures of plain files and missing paths.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "dc/base/errors.h"
#include "dc/base/serial_link.h"
#include "dc/paged/type2_link.h"
#include "dc/paged/type3_link.h"
#include "platform/clock.h"
#include "support/serial_test_support.h"

namespace talvek {

using namespace serialtest;

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t0) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

std::string wide(const std::string& s) {
    return std::string(s.begin(), s.end());
}

struct Pty {
    int master = -1;
    int slave = -1;  // kept open so the terminal keeps its settings
    std::string path;
    std::string name;
    Pty() {
        char buf[256];
        if (openpty(&master, &slave, buf, nullptr, nullptr) == 0) {
            path = buf;
            name = wide(path);
        }
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    bool ok() const { return master >= 0; }
    termios settings() const {
        termios t{};
        tcgetattr(slave, &t);
        return t;
    }
    std::vector<uint8_t> drainMaster() const {
        std::vector<uint8_t> out;
        uint8_t buf[64];
        for (;;) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) break;
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
};

// SerialLink with given line settings and empty link operations.
class PtyComm : public SerialLink {
  public:
    PtyComm(const char* name, uint32_t baud, uint8_t parity, uint32_t readTimeoutMs)
        : SerialLink(name,
                     LinkSettings{.baudRate = baud,
                                  .dtrControl = true,
                                  .oddParity = parity == 1,
                                  .readTimeoutMs = readTimeoutMs,
                                  .bufferSize = 40},
                     nullptr) {}
    void setMode(int) override {}
    void talk(int) override {}
    void listen(int) override {}
    void communicate(int, int) override {}
    using SerialLink::port;
};

void expectRaw(const termios& t, speed_t speed) {
    EXPECT_EQ(cfgetospeed(&t), speed);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_iflag & (INPCK | IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_oflag & OPOST);
}

// Runs `body` in a child process as the unprivileged user (root is exempt
// from TIOCEXCL); returns its exit code.
int runAsNobody(const std::function<int()>& body) {
    // Opens the trace file here, so the child writes its lines to it.
    trace::write(trace::Detail, "test: running a probe as an unprivileged user");
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(90);
        int rc = 91;
        try {
            rc = body();
        } catch (...) {
            rc = 92;
        }
        _exit(rc);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

class PtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!pty_.ok()) GTEST_SKIP() << "no pseudo-terminal";
    }
    TraceCapture trace_;
    Pty pty_;
};

}  // namespace

TEST_F(PtyTest, ConfiguresRawAt2400OddAnd9600None) {
    {
        PtyComm type1(pty_.name.c_str(), 2400, 1, 1800);
        expectRaw(pty_.settings(), B2400);
        // A pseudo-terminal drops PARENB; a real port keeps it.  Either way
        // parity is never checked on input.
    }
    {
        Type2Link type2(pty_.name.c_str(), nullptr);
        termios t = pty_.settings();
        expectRaw(t, B9600);
        EXPECT_FALSE(t.c_cflag & PARENB);
    }
}

TEST_F(PtyTest, OddParityAcceptedWhenTheTerminalAnswersEinval) {
    // Leave the terminal as an earlier run would: raw 2400.  Asking for odd
    // parity then changes nothing a pseudo-terminal can hold.
    termios t = pty_.settings();
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B2400);
    cfsetospeed(&t, B2400);
    ASSERT_EQ(tcsetattr(pty_.slave, TCSANOW, &t), 0);
    PtyComm type1(pty_.name.c_str(), 2400, 1, 1800);
    EXPECT_TRUE(type1.portOpen());
    expectRaw(pty_.settings(), B2400);
}

TEST_F(PtyTest, CloseRestoresThePreviousSettings) {
    termios before = pty_.settings();
    cfsetispeed(&before, B38400);
    cfsetospeed(&before, B38400);
    before.c_lflag |= ICANON | ECHO;
    before.c_oflag |= OPOST;
    ASSERT_EQ(tcsetattr(pty_.slave, TCSANOW, &before), 0);
    before = pty_.settings();
    {
        Type3Link link(pty_.name.c_str(), nullptr);
        expectRaw(pty_.settings(), B9600);
        link.close();
        termios after = pty_.settings();
        EXPECT_EQ(cfgetospeed(&after), B38400);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        link.close();
    }
    // The destructor restores as well.
    { PtyComm c(pty_.name.c_str(), 2400, 0, 100); }
    EXPECT_EQ(pty_.settings().c_lflag, before.c_lflag);
}

TEST_F(PtyTest, ReadTimeOutAndPartialCountsInRealTime) {
    platform::PortError error;
    auto port = platform::openSerialPort(pty_.name, error);
    ASSERT_TRUE(port) << error.text;
    ASSERT_TRUE(port->saveState());
    platform::SerialSettings s;
    ASSERT_TRUE(port->applySettings(s));
    ASSERT_TRUE(port->applyTimeouts(300, 1000));
    // A virtual clock in force must not shorten a real port's wait.
    platform::VirtualClock virtualClock;
    platform::ScopedClock scoped(virtualClock);

    uint8_t buf[8];
    auto t0 = Clock::now();
    EXPECT_EQ(port->read(buf, 4), 0);
    long timedOut = msSince(t0);
    EXPECT_GE(timedOut, 300);
    EXPECT_LT(timedOut, 300 + 200);

    const uint8_t three[] = {7, 8, 9};
    ASSERT_EQ(write(pty_.master, three, 3), 3);
    t0 = Clock::now();
    EXPECT_EQ(port->read(buf, 8), 3);
    long partial = msSince(t0);
    EXPECT_EQ(buf[2], 9);
    EXPECT_GE(partial, 300);

    // Bytes that come while the read waits end it as soon as all are there.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        const uint8_t two[] = {1, 2};
        (void)!write(pty_.master, two, 2);
    });
    t0 = Clock::now();
    EXPECT_EQ(port->read(buf, 2), 2);
    long early = msSince(t0);
    late.join();
    EXPECT_GE(early, 70);
    EXPECT_LT(early, 250);
    std::printf(
        "[ pty      ] read time-out 300 ms: returned 0 after %ld ms; partial read after "
        "%ld ms; 2 bytes sent at 80 ms read after %ld ms\n",
        timedOut, partial, early);
    port->restoreState();
}

TEST_F(PtyTest, Type2ListenTimesOutAfter1100Ms) {
    Type2Link link(pty_.name.c_str(), nullptr);
    auto t0 = Clock::now();
    try {
        link.listen(8);
        FAIL() << "no exception";
    } catch (const CommError& e) {
        EXPECT_EQ(e.code(), 18);
        EXPECT_STREQ(e.what(), "Listen: Serial Port Timed Out");
    }
    long ms = msSince(t0);
    EXPECT_GE(ms, 1100);
    EXPECT_LT(ms, 1100 + 300);
    std::printf("[ pty      ] type 2 read time-out 1100 ms: measured %ld ms\n", ms);
}

TEST_F(PtyTest, ExchangesOverTheTerminalAndLinesWithoutModemControl) {
    const std::vector<uint8_t> reply = frame({0x0F, 0x00, 0x00, 0x12, 0x34, 0x01, 0x02});
    {
        Type2Link link(pty_.name.c_str(), nullptr);
        // The echo and the reply wait in the terminal's input already.
        std::vector<uint8_t> wire = {0x0F, 0x00, 0x00, 0x0F};
        wire.insert(wire.end(), reply.begin(), reply.end());
        ASSERT_EQ(write(pty_.master, wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
        uint8_t* s = link.sendBuffer();
        s[0] = 0x0F;
        s[1] = 0x00;
        s[2] = 0x00;
        link.communicate(3, 8);
        EXPECT_EQ(bytesOf(link.receiveBuffer(), 8), reply);
        EXPECT_EQ(pty_.drainMaster(), (std::vector<uint8_t>{0x0F, 0x00, 0x00, 0x0F}));
        link.setRTS(true);
        link.setDTR(false);
        link.setDTR(true);
    }
    {
        Type3Link link(pty_.name.c_str(), nullptr);
        ASSERT_EQ(write(pty_.master, reply.data(), reply.size()),
                  static_cast<ssize_t>(reply.size()));
        uint8_t* s = link.sendBuffer();
        s[0] = 0x0F;
        s[1] = 0x00;
        s[2] = 0x00;
        link.communicate(3, 8);
        EXPECT_EQ(bytesOf(link.receiveBuffer(), 8), reply);
        EXPECT_EQ(pty_.drainMaster(), (std::vector<uint8_t>{0x0F, 0x00, 0x00, 0x0F}));
    }
    // No modem lines on a pseudo-terminal: tolerated, traced once per port.
    auto noLines = trace_.matching("SerialPort::modemLine() ");
    ASSERT_EQ(noLines.size(), 2u);
    EXPECT_EQ(noLines[0].level, "Detail");
    EXPECT_NE(noLines[0].text.find(pty_.path), std::string::npos);
}

TEST_F(PtyTest, SecondOpenFailsAndARunOfProbesReopens) {
    ASSERT_EQ(fchmod(pty_.slave, 0666), 0);
    {
        Type2Link holder(pty_.name.c_str(), nullptr);
        // Another process, not privileged, is refused.
        int rc = runAsNobody([&] {
            // Any other program is kept out by TIOCEXCL, lock or no lock.
            int fd = open(pty_.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd >= 0) {
                close(fd);
                return 3;
            }
            if (errno != EBUSY) return 4;
            try {
                Type2Link second(pty_.name.c_str(), nullptr);
                return 1;
            } catch (const CommError& e) {
                return (e.code() == 12 && std::strcmp(e.what(), "Comm Port Not Found") == 0) ? 0
                                                                                             : 2;
            }
        });
        EXPECT_EQ(rc, 0);
        // So is a second open in this process, privileged or not.
        try {
            Type3Link second(pty_.name.c_str(), nullptr);
            ADD_FAILURE() << "second open succeeded";
        } catch (const CommError& e) {
            EXPECT_EQ(e.code(), 12);
            EXPECT_STREQ(e.what(), "Comm Port Not Found");
        }
    }
    // The worker opens the port once per interface type; as a normal user
    // each open after a close must succeed.
    int rc = runAsNobody([&] {
        for (int i = 0; i < 3; ++i) {
            try {
                PtyComm probe(pty_.name.c_str(), i == 0 ? 2400 : 9600, i == 0 ? 1 : 0, 100);
            } catch (const Error&) {
                return 10 + i;
            }
        }
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST_F(PtyTest, APortThatIsNotTheUsersSaysWhyInTheTrace) {
    ASSERT_EQ(fchmod(pty_.slave, 0), 0);
    int rc = runAsNobody([&] {
        try {
            Type2Link link(pty_.name.c_str(), nullptr);
            return 1;
        } catch (const CommError& e) {
            return std::strcmp(e.what(), "Comm Port Not Found") == 0 ? 0 : 2;
        }
    });
    EXPECT_EQ(rc, 0);
    auto lines = trace_.matching("Device_Comm::Create() Unable To Open Port");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text,
              "Device_Comm::Create() Unable To Open Port <Port Busy or Not Present> (13: "
              "Permission denied)");
}

// A terminal whose far end went away (the pulled cable) is a port that is
// no longer open: the read fails at once with the port's code 21, the
// system's reason goes to the trace, and the lines are left alone after it.
TEST_F(PtyTest, AHungUpTerminalIsAPortNoLongerOpen) {
    Type3Link link(pty_.name.c_str(), nullptr);
    close(pty_.master);
    pty_.master = -1;
    auto t0 = Clock::now();
    try {
        link.listen(8);
        FAIL() << "no exception";
    } catch (const CommError& e) {
        EXPECT_EQ(e.code(), 21);
        EXPECT_STREQ(e.what(), "Comm Port Not Open");
    }
    EXPECT_LT(msSince(t0), 1000);  // not the 4400 ms time-out
    EXPECT_TRUE(link.portLost());
    EXPECT_FALSE(link.portOpen());
    auto lost = trace_.matching("Device_Comm::Read() Comm Port Not Open: ");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_NE(lost[0].text.find("(5: Input/output error)"), std::string::npos) << lost[0].text;
    // Line control and every exchange after it change nothing.
    link.setRTS(true);
    link.setDTR(false);
    EXPECT_THROW(link.communicate(3, 8), CommError);
    EXPECT_EQ(trace_.matching("Device_Comm::Read() Comm Port Not Open: ").size(), 1u);
}

// What goes wrong reaches the device layer as a kind, with the system's
// number and text for the trace.
TEST_F(PtyTest, FailuresCrossAsKinds) {
    platform::PortError error;
    EXPECT_EQ(platform::openSerialPort("/dev/talvek-no-such-port", error), nullptr);
    EXPECT_EQ(error.fault, platform::PortFault::NotFound);
    EXPECT_EQ(error.number, ENOENT);
    EXPECT_EQ(error.text, "No such file or directory");

    auto port = platform::openSerialPort(pty_.name, error);
    ASSERT_TRUE(port) << error.text;
    EXPECT_EQ(error.fault, platform::PortFault::None);
    EXPECT_EQ(platform::openSerialPort(pty_.name, error), nullptr);
    EXPECT_EQ(error.fault, platform::PortFault::Busy);
    EXPECT_EQ(error.number, EBUSY);

    // A pseudo-terminal has no modem lines: not a failure, and it says why.
    EXPECT_EQ(port->setDTR(true), platform::LineResult::NoModemLines);
    EXPECT_EQ(port->lastError().fault, platform::PortFault::NotASerialPort);
    EXPECT_EQ(port->lastError().number, ENOTTY);

    ASSERT_TRUE(port->applyTimeouts(2000, 1000));
    close(pty_.master);
    pty_.master = -1;
    uint8_t b;
    EXPECT_EQ(port->read(&b, 1), -1);
    EXPECT_EQ(port->lastError().fault, platform::PortFault::Gone);
    port->close();
    EXPECT_FALSE(port->purge());
    EXPECT_EQ(port->lastError().fault, platform::PortFault::Gone);

    std::string file = ::testing::TempDir() + "talvek_not_a_port_" + std::to_string(getpid());
    std::fclose(std::fopen(file.c_str(), "w"));
    auto plain = platform::openSerialPort(file, error);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->saveState());
    EXPECT_EQ(plain->lastError().fault, platform::PortFault::NotASerialPort);
    plain.reset();
    std::remove(file.c_str());
}

TEST(PosixSerialOpen, PlainFileIsInvalidPortAndMissingPathIsNotFound) {
    TraceCapture trace;
    std::string file = trace.path() + ".bin";
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_TRUE(f);
        std::fclose(f);
    }
    for (int i = 0; i < 2; ++i) {  // the second time proves the first let go
        try {
            Type2Link link(wide(file).c_str(), nullptr);
            ADD_FAILURE() << "a plain file opened as a port";
        } catch (const CommError& e) {
            EXPECT_EQ(e.code(), 12);
            EXPECT_STREQ(e.what(), "Invalid Port Specified");
        }
    }
    std::remove(file.c_str());
    try {
        Type2Link link("/dev/talvek-no-such-port", nullptr);
        ADD_FAILURE() << "a missing path opened";
    } catch (const CommError& e) {
        EXPECT_EQ(e.code(), 12);
        EXPECT_STREQ(e.what(), "Comm Port Not Found");
    }
    EXPECT_EQ(trace.matching("Device_Comm::Create() Can't Get Comm state or timeouts").size(), 2u);
    EXPECT_EQ(trace
                  .matching("Device_Comm::Create() Unable To Open Port <Port Busy or Not Present> "
                            "(2: No such file or directory)")
                  .size(),
              1u);
}

}  // namespace talvek
