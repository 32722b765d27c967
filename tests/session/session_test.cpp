// The session without a front end: start-up, first activation, the body,
// the ending and the front-end events, with fake drivers on the virtual
// clock, read back from the trace file the session itself sets up.
#include "session/session.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "platform/os.h"
#include "support/worker_test_support.h"

namespace talvek {

using namespace worker_test;

namespace {

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() : scoped_(clock_) {}
    ~SessionTest() override { trace::shutdown(); }

    // The command line of a run that writes its trace and file to the
    // scratch directory.
    std::string CommandLine(const std::string& options) const {
        return "talvek-dl -cdblog=" + dir_.file("trace") + " -f=" + Output() + " " + options;
    }
    std::string Output() const { return dir_.file("out.xml"); }
    SessionSetup Fakes() {
        SessionSetup setup;
        setup.interfaces = computers_.table();
        setup.writer = computers_.writer();
        return setup;
    }
    // The trace lines, level name and message ("  Info:: Version = ...").
    std::vector<std::string> Lines() const { return traceLines(dir_.file("trace.txt")); }

    ScratchDir dir_;
    platform::VirtualClock clock_;
    platform::ScopedClock scoped_;
    FakeComputers computers_;
    RecordingSink sink_;
};

TEST_F(SessionTest, StartUpTracesTheVersionAndCommandLineThenMakesTheWorker) {
    const std::string line = CommandLine("-v=2");
    {
        Session session(line, sink_, Fakes());
        EXPECT_EQ(session.settings().versionBits, 0x200u);
        EXPECT_TRUE(session.version().valid());
    }
    // The test program carries the version block of the build.
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "  Info:: Version = 1.0.0.0", " Debug:: CommandLine = " + line + " ",
                           "Detail:: sAPIThread::Create()", "Detail:: sAPIThread::Destroy()"}));
    // Each line carries the id of the thread that wrote it.
    char tid[16];
    std::snprintf(tid, sizeof tid, "_%X: ", platform::threadId());
    EXPECT_NE(readFile(dir_.file("trace.txt")).find(std::string(tid) + "  Info:: Version"),
              std::string::npos);
    EXPECT_TRUE(sink_.texts.empty());

    // A program file without a version block: the version is empty.
    SessionSetup unread = Fakes();
    unread.programFile = dir_.file("no-such-program");
    Session again(line, sink_, std::move(unread));
    EXPECT_FALSE(again.version().valid());
    EXPECT_EQ(Lines().front(), "  Info:: Version = ");
}

TEST_F(SessionTest, ABadIntegerOptionEndsStartUpBeforeAnyTrace) {
    try {
        Session session(CommandLine("-g=abc"), sink_, Fakes());
        FAIL() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_FALSE(fileExists(dir_.file("trace.txt")));
    EXPECT_TRUE(computers_.log.empty());
}

TEST_F(SessionTest, TheFirstStartNormalisesThePortAndComposesTheWord) {
    Session session(CommandLine("-p=COM3 -v=2 -um"), sink_, Fakes());
    EXPECT_FALSE(session.started());
    EXPECT_EQ(session.settings().portName, "COM3");
    EXPECT_TRUE(session.start());
    EXPECT_EQ(session.settings().portName, "\\\\.\\COM3");
    EXPECT_FALSE(session.start());
    EXPECT_EQ(session.settings().portName, "\\\\.\\COM3");
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Detail:: sAPIThread::Set() with: file=\"" + Output() +
                             "\" port=\"\\\\.\\COM3\" Options=0x4620F "),
              1);
}

TEST_F(SessionTest, AWholeRunInOrderAndItsEnding) {
    computers_.type2.open = [] {};
    computers_.type2.dives = 1;
    Session session(CommandLine("-v=2 -um -dv=2 -p=/dev/ttyS9"), sink_, Fakes());
    session.shown();
    ASSERT_TRUE(session.start());
    EXPECT_FALSE(session.done());
    session.run();
    EXPECT_TRUE(session.done());
    EXPECT_EQ(session.exitCode(), 0);  // not fixed before the close
    EXPECT_EQ(session.close(), 0);
    EXPECT_EQ(session.exitStatus(), 0);
    EXPECT_EQ(sink_.texts.back(), "Download Successfull");
    EXPECT_EQ(sink_.finishes, std::vector<int>{0});

    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{
                  "  Info:: Version = 1.0.0.0",
                  " Debug:: CommandLine = " + CommandLine("-v=2 -um -dv=2 -p=/dev/ttyS9") + " ",
                  "Detail:: sAPIThread::Create()", "  Info:: Gradient=\"ON\"",
                  "Detail:: sAPIThread::Set() with: file=\"" + Output() +
                      "\" port=\"/dev/ttyS9\" Options=0x46202 "}));
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"  Info:: Success: Exiting with code 0",
                                        "Detail:: sAPIThread::Destroy()",
                                        "  Info:: FormClose(): Returning 0"}));
}

TEST_F(SessionTest, ClosingBeforeTheStartIsACancelledRun) {
    Session session(CommandLine(""), sink_, Fakes());
    EXPECT_EQ(session.close(), 9999);
    // 130 where a status has 8 bits, the code itself on Windows.
    EXPECT_EQ(session.exitStatus(), platform::systemConventions().fullExitCodes ? 9999 : 130);
    EXPECT_FALSE(session.start());
    session.run();  // nothing left to run
    // A second close only traces the code again.
    EXPECT_EQ(session.close(), 9999);
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"Detail:: sAPIThread::Destroy()",
                                        "  Info:: FormClose(): Returning 9999",
                                        "  Info:: FormClose(): Returning 9999"}));
    EXPECT_TRUE(computers_.log.empty());
}

TEST_F(SessionTest, CancelFromAnotherThreadEndsTheBodyWith9999) {
    computers_.type2.open = [] {};
    computers_.type2.dives = 1000000;
    std::mutex m;
    std::condition_variable diving;
    bool inDives = false;
    computers_.type2.dive = [&](unsigned) {
        {
            std::lock_guard<std::mutex> g(m);
            inDives = true;
        }
        diving.notify_all();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    Session session(CommandLine("-dv=2"), sink_, Fakes());
    ASSERT_TRUE(session.start());
    std::thread body([&] { session.run(); });
    {
        std::unique_lock<std::mutex> g(m);
        diving.wait(g, [&] { return inDives; });
    }
    session.signalReceived(15);
    session.cancel();
    body.join();
    EXPECT_EQ(session.close(), 9999);
    EXPECT_EQ(sink_.texts.back(), "Canceled");
    EXPECT_FALSE(fileExists(Output()));
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  Info:: Signal 15 Received"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  Info:: Terminate() Raised"), 1);
}

TEST_F(SessionTest, FrontEndEventsAreTraced) {
    Session session(CommandLine("-g=0"), sink_, Fakes());
    session.shown();
    session.cancelPressed();
    session.signalReceived(2);
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"  Info:: Gradient=\"OFF\"", "  Info:: CloseButton Pressed",
                                        "  Info:: Signal 2 Received"}));
}

TEST_F(SessionTest, TheRealDriversOpenPortsThroughTheGivenOpener) {
    // A port only the registry knows, held by someone else: the system has
    // no port of that name, so only the registry can say it is busy.
    platform::MemoryPortRegistry ports;
    ports.add("SIM", nullptr)->setBusy(true);
    SessionSetup setup;
    setup.ports = &ports;
    Session session(CommandLine("-p=SIM -dv=2"), sink_, std::move(setup));
    session.start();
    session.run();
    EXPECT_EQ(session.close(), 12);
    EXPECT_EQ(sink_.texts.back(), "Comm Port Not Found");
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         " Error:: Device_Comm::Create() Unable To Open Port <Port Busy or Not "
                         "Present> (16: Device or resource busy)"),
              1);
}

TEST(ExitStatus, MapsResultCodesToEightBits) {
    const platform::SystemConventions& posix = platform::PosixConventions;
    EXPECT_EQ(exitStatusFor(0, posix), 0);
    EXPECT_EQ(exitStatusFor(1, posix), 1);
    EXPECT_EQ(exitStatusFor(12, posix), 12);
    EXPECT_EQ(exitStatusFor(17, posix), 17);
    EXPECT_EQ(exitStatusFor(255, posix), 255);
    EXPECT_EQ(exitStatusFor(-1, posix), 255);
    EXPECT_EQ(exitStatusFor(666, posix), 154);
    EXPECT_EQ(exitStatusFor(9999, posix), 130);
    // Nothing out of range may read as success.
    EXPECT_EQ(exitStatusFor(256, posix), 1);
    EXPECT_EQ(exitStatusFor(-7, posix), 1);
}

TEST(ExitStatus, WindowsReturnsTheWholeCode) {
    for (int code : {0, 1, 12, 17, 255, 256, -1, 666, 9999})
        EXPECT_EQ(exitStatusFor(code, platform::WindowsConventions), code);
}

}  // namespace

}  // namespace talvek
