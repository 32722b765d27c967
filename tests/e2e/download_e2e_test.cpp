// talvek-dl against talvek-sim on a pseudo-terminal: real processes, real
// port, real clock.  Memories are kept small: every type 2/3 page read costs
// the link's fixed pauses.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>

#include <chrono>
#include <regex>

#include "e2e/process.h"
#include "scratch_dir.h"

namespace {

using e2e::Process;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::string::size_type at = text.find(what); at != std::string::npos;
         at = text.find(what, at + 1))
        ++n;
    return n;
}

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// A simulated computer served on a pseudo-terminal for the test's lifetime.
class Simulator {
  public:
    Simulator(int type, int dives, std::vector<std::string> extra = {})
        : process_(Arguments(type, dives, extra), Process::Options{}) {
        path_ = process_.ReadLine(20000);
    }
    ~Simulator() {
        process_.Signal(SIGTERM);
        process_.Wait(10000);
    }
    const std::string& Path() const { return path_; }

  private:
    static std::vector<std::string> Arguments(int type, int dives,
                                              const std::vector<std::string>& extra) {
        std::vector<std::string> a = {
            TALVEK_SIM, "--type", std::to_string(type), "--dives", std::to_string(dives),
            "--seed",   "7"};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    Process process_;
    std::string path_;
};

struct RunResult {
    int status = -1;
    double seconds = 0;
    std::string standardError;
};

class DownloadTest : public ::testing::Test {
  protected:
    RunResult Download(const std::vector<std::string>& options, Process::Options po = {},
                       int limitMs = 240000) {
        std::vector<std::string> argv = {TALVEK_DL};
        argv.insert(argv.end(), options.begin(), options.end());
        if (po.workingDirectory.empty()) po.workingDirectory = dir_.path();
        auto start = std::chrono::steady_clock::now();
        Process dl(argv, po);
        RunResult r;
        r.status = dl.Wait(limitMs);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.standardError = dl.StandardError();
        return r;
    }
    std::string Out() const { return dir_.file("out.xml"); }
    std::string Trace() const { return ScratchDir::read(dir_.file("trace.txt")); }

    ScratchDir dir_;
};

struct Case {
    int type;
    const char* layout;  // "-v=2" (DCDML) or "-v=1" (legacy)
    const char* units;   // -ui, -um, -us
};

class EveryTypeLayoutAndUnits : public DownloadTest, public ::testing::WithParamInterface<Case> {};

TEST_P(EveryTypeLayoutAndUnits, DownloadsTheWholeComputer) {
    const Case c = GetParam();
    const int dives = 3;
    Simulator sim(c.type, dives);
    ASSERT_FALSE(sim.Path().empty());
    const std::string mask = "-dv=" + std::to_string(c.type);
    RunResult r = Download({"-p=" + sim.Path(), "-f=" + Out(), c.layout, c.units, mask,
                            "-cdblog=" + dir_.file("trace")});
    ASSERT_EQ(r.status, 0) << r.standardError << Trace();
    std::string xml = ScratchDir::read(Out());
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(xml.find('\r'), std::string::npos);
    if (std::string(c.layout) == "-v=2") {
        EXPECT_TRUE(Has(xml, "<dcdml ")) << xml.substr(0, 400);
        const char* units = c.units == std::string("-um")   ? "units=\"metric\""
                            : c.units == std::string("-us") ? "units=\"scientific\""
                                                            : "units=\"imperial\"";
        EXPECT_TRUE(Has(xml, units));
        EXPECT_EQ(Count(xml, "<dive "), dives);
    } else {
        EXPECT_TRUE(Has(xml, "<TalvekDownload"));
    }
    std::string trace = Trace();
    EXPECT_TRUE(Has(trace, "Success: Exiting with code 0"));
    EXPECT_EQ(Count(trace, "FormClose(): Returning 0"), 1);
    std::printf("type %d %s %s: %.1f s\n", c.type, c.layout, c.units, r.seconds);
}

INSTANTIATE_TEST_SUITE_P(E2E, EveryTypeLayoutAndUnits,
                         ::testing::Values(Case{2, "-v=2", "-um"}, Case{2, "-v=2", "-ui"},
                                           Case{2, "-v=2", "-us"}, Case{2, "-v=1", "-um"},
                                           Case{3, "-v=2", "-um"}, Case{3, "-v=1", "-ui"},
                                           Case{1, "-v=2", "-us"}, Case{1, "-v=1", "-um"}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = "Type" + std::to_string(info.param.type) +
                                                (info.param.layout[3] == '2' ? "Dcdml" : "Legacy") +
                                                (info.param.units + 1);
                             return name;
                         });

TEST_F(DownloadTest, TraceFileAtItsDefaultPlace) {
    Simulator sim(2, 1);
    ASSERT_EQ(mkdir(dir_.file("talvek-dl").c_str(), 0755), 0);
    RunResult r = Download({"-p=" + sim.Path(), "-f=" + Out(), "-v=2", "-dv=2"});
    ASSERT_EQ(r.status, 0) << r.standardError;
    std::string trace = ScratchDir::read(dir_.file("talvek-dl/CDBLOG.txt"));
    EXPECT_TRUE(Has(trace, "  Info:: Version = 1."));
    EXPECT_TRUE(
        Has(trace, " Debug:: CommandLine = " + std::string(TALVEK_DL) + " -p=" + sim.Path()));
    EXPECT_TRUE(Has(trace, "  Info:: Gradient=\"ON\"\r\n"));
    EXPECT_TRUE(Has(trace, "  Info:: Found Device Type2\r\n"));
    EXPECT_TRUE(Has(trace, "  Info:: FormClose(): Returning 0\r\n"));
    // Each line: time, thread id, level.
    std::regex line(R"(^\d\d:\d\d:\d\d_\d\d\d_[0-9A-F]+: ( Error|  Info| Debug|Detail):: )");
    std::istringstream in(trace);
    std::string l;
    int lines = 0;
    while (std::getline(in, l)) {
        ++lines;
        EXPECT_TRUE(std::regex_search(l, line)) << l;
    }
    EXPECT_GT(lines, 10);
}

// The port's settings as the system holds them.
bool PortSettings(const std::string& path, termios& t) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool ok = tcgetattr(fd, &t) == 0;
    close(fd);
    return ok;
}

TEST_F(DownloadTest, SigtermDuringTheDownloadIsACancelledRun) {
    Simulator sim(2, 8);
    termios before{}, after{};
    ASSERT_TRUE(PortSettings(sim.Path(), before));
    std::vector<std::string> argv = {TALVEK_DL,     "-p=" + sim.Path(),
                                     "-f=" + Out(), "-v=2",
                                     "-dv=2",       "-cdblog=" + dir_.file("trace")};
    Process::Options po;
    po.workingDirectory = dir_.path();
    Process dl(argv, po);
    // Wait until the dives are being read.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!Has(Trace(), "Downloading Dive 1") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Has(Trace(), "Downloading Dive 1"));
    dl.Signal(SIGTERM);
    EXPECT_EQ(dl.Wait(60000), 130);
    EXPECT_FALSE(ScratchDir::exists(Out()));
    EXPECT_EQ(Count(Trace(), "FormClose(): Returning 9999"), 2);
    ASSERT_TRUE(PortSettings(sim.Path(), after));
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
}

TEST_F(DownloadTest, StatusAndProgressOnATerminal) {
    Simulator sim(2, 1);
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    Process::Options po;
    po.workingDirectory = dir_.path();
    po.standardError = slave;
    Process dl({TALVEK_DL, "-p=" + sim.Path(), "-f=" + Out(), "-v=2", "-dv=2",
                "-cdblog=" + dir_.file("trace")},
               po);
    close(slave);
    EXPECT_EQ(dl.Wait(120000), 0);
    std::string screen;
    char buf[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) break;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        screen.append(buf, static_cast<size_t>(n));
    }
    close(master);
    // One line, rewritten in place, ending with the last text at 100 %.
    EXPECT_TRUE(Has(screen, "\r[  0%] Searching for Device (2)")) << screen;
    EXPECT_TRUE(Has(screen, "\r[100%] Downloading Computer Data"));
    EXPECT_TRUE(Has(screen, "] Downloading Dive Profiles"));
    EXPECT_TRUE(Has(screen, "\r[100%] Download Successfull\x1b[K"));
    EXPECT_EQ(Count(screen, "\n"), 1);
}

TEST_F(DownloadTest, Type3FoundAfterProbingAllTypesAsAnOrdinaryUser) {
    {
        Process::Options po;
        po.uid = 65534;
        Process check({TALVEK_DL, "-g=x"}, po);
        int status = check.Wait(30000);
        if (status == 126 || status == 127) GTEST_SKIP() << "the build cannot be run as nobody";
    }
    Simulator sim(3, 2);
    // The port and the directory are open to the user; nothing else is.
    ASSERT_EQ(chmod(sim.Path().c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
    Process::Options po;
    po.uid = 65534;
    RunResult r =
        Download({"-p=" + sim.Path(), "-f=" + Out(), "-v=2", "-cdblog=" + dir_.file("trace")}, po);
    ASSERT_EQ(r.status, 0) << r.standardError << Trace();
    std::string trace = Trace();
    EXPECT_TRUE(Has(trace, "Did Not Find Device Type 1"));
    EXPECT_TRUE(Has(trace, "Did Not Find Device Type 2"));
    EXPECT_TRUE(Has(trace, "Found Device Type 3"));
    EXPECT_EQ(Count(ScratchDir::read(Out()), "<dive "), 2);
}

TEST_F(DownloadTest, SimulatorHangingUpEndsWithADeviceError) {
    Simulator sim(2, 6, {"--hang-up-after", "3000"});
    RunResult r = Download(
        {"-p=" + sim.Path(), "-f=" + Out(), "-v=2", "-dv=2", "-cdblog=" + dir_.file("trace")}, {},
        120000);
    EXPECT_NE(r.status, -1) << "still running after the time-outs";
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.status, 130);
    EXPECT_NE(r.status, 17);
    EXPECT_FALSE(ScratchDir::exists(Out()));
    std::printf("hang-up: status %d after %.1f s\n", r.status, r.seconds);
}

TEST_F(DownloadTest, BadGradientValueEndsWithStatus1AndTheMessage) {
    RunResult r = Download({"-g=abc", "-f=" + Out()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.standardError, "'abc' is not a valid integer value")) << r.standardError;
    EXPECT_FALSE(ScratchDir::exists(Out()));
}

}  // namespace
