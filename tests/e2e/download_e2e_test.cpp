// talvek-dl against talvek-sim on a pseudo-terminal: real processes, real
// port, real clock.  Only what takes a real process is checked here: the exit
// status, the terminal, signals, files, the trace file, an ordinary user's
// opens of the port.  What ends up in the file for each type, layout and unit
// system is checked in process (worker_sim_test.cpp).
//
// Every type 2/3 page read costs a fixed 500 ms pause, so memories are small:
// seed 37 gives short dives (its first two dives lie in five pages).
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "replay/computer_image.h"
#include "support/process.h"
#include "support/scratch_dir.h"
#include "support/text_count.h"

namespace talvek {

namespace {

using e2e::Process;

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// xmllint's verdict on `file` against docs/<schema>: empty when it is valid
// (or when xmllint is not installed).
std::string SchemaErrors(const std::string& file, const std::string& schema) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) return std::string();
    const std::string errors = file + ".lint";
    const std::string command = "xmllint --noout --schema '" + std::string(TALVEK_SOURCE_DIR) +
                                "/docs/" + schema + "' '" + file + "' 2>'" + errors + "'";
    const int status = std::system(command.c_str());
    const std::string text = ScratchDir::read(errors);
    std::remove(errors.c_str());
    return status == 0 ? std::string() : "invalid: " + text;
}

// A simulated computer served on a pseudo-terminal for the test's lifetime.
class Simulator {
  public:
    static constexpr int ShortDivesSeed = 37;

    Simulator(int type, int dives, std::vector<std::string> extra = {}, int seed = ShortDivesSeed)
        : process_(Arguments(type, dives, extra, seed), Process::Options{}) {
        path_ = process_.ReadLine(20000);
    }
    ~Simulator() {
        process_.Signal(SIGTERM);
        process_.Wait(10000);
    }
    const std::string& Path() const { return path_; }

  private:
    static std::vector<std::string> Arguments(int type, int dives,
                                              const std::vector<std::string>& extra, int seed) {
        std::vector<std::string> a = {TALVEK_SIM,
                                      "--type",
                                      std::to_string(type),
                                      "--dives",
                                      std::to_string(dives),
                                      "--seed",
                                      std::to_string(seed)};
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
    std::string trace() const { return ScratchDir::read(dir_.file("trace.txt")); }

    ScratchDir dir_;
};

// Can the unprivileged user run the build at all (its directories may be out
// of that user's reach)?
bool NobodyCanRunTheBuild() {
    Process::Options po;
    po.uid = 65534;
    Process check({TALVEK_DL, "-g=x"}, po);
    const int status = check.Wait(30000);
    return status != 126 && status != 127;
}

// One run of talvek-dl shared by the tests of the suite below: every type
// probed against a type 2 computer, as the unprivileged user where the build
// allows it, standard error on a terminal, the trace at its default place.
struct SharedRun {
    ScratchDir dir;
    bool asNobody = false;
    std::string problem;  // why the run could not be made
    std::string port;
    int status = -1;
    std::string screen;  // what the terminal showed
    std::string trace;
    std::string xml;
};

class OrdinaryUserRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        run_ = new SharedRun;
        execute(*run_);
    }
    static void TearDownTestSuite() {
        delete run_;
        run_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(run_->problem.empty()) << run_->problem; }

    static void execute(SharedRun& run) {
        run.asNobody = NobodyCanRunTheBuild();
        Simulator sim(2, 1);
        run.port = sim.Path();
        if (run.port.empty()) {
            run.problem = "the simulator did not start";
            return;
        }
        // The port and the directories are open to the user; nothing else is.
        const std::string traceDir = run.dir.file("talvek-dl");
        if (mkdir(traceDir.c_str(), 0755) != 0 ||
            (run.asNobody &&
             (chmod(run.port.c_str(), 0666) != 0 || chmod(run.dir.path().c_str(), 0777) != 0 ||
              chmod(traceDir.c_str(), 0777) != 0))) {
            run.problem = "cannot prepare the port and the directories";
            return;
        }
        int master = -1, slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            run.problem = "no pseudo-terminal for standard error";
            return;
        }
        Process::Options po;
        po.workingDirectory = run.dir.path();
        po.standardError = slave;
        if (run.asNobody) po.uid = 65534;
        Process dl({TALVEK_DL, "-p=" + run.port, "-f=" + run.dir.file("out.xml"), "-v=2", "-um"},
                   po);
        close(slave);
        // Read the terminal while the program runs; reading ends when its
        // last descriptor of the terminal closes.
        std::thread reader([&] {
            char buf[4096];
            ssize_t n;
            while ((n = read(master, buf, sizeof buf)) > 0)
                run.screen.append(buf, static_cast<size_t>(n));
        });
        run.status = dl.Wait(240000);
        reader.join();
        close(master);
        run.trace = ScratchDir::read(traceDir + "/CDBLOG.txt");
        run.xml = ScratchDir::read(run.dir.file("out.xml"));
    }

    static SharedRun* run_;
};

SharedRun* OrdinaryUserRun::run_ = nullptr;

TEST_F(OrdinaryUserRun, ExitStatusZeroAndTheComputerInTheFile) {
    const SharedRun& run = *run_;
    ASSERT_EQ(run.status, 0) << run.screen << run.trace;
    const std::string& xml = run.xml;
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(xml.find('\r'), std::string::npos);
    const std::string::size_type root = xml.find("<dcdml ");
    ASSERT_NE(root, std::string::npos) << xml.substr(0, 400);
    EXPECT_TRUE(Has(xml.substr(root, xml.find('>', root) - root), "units=\"metric\""));
    EXPECT_EQ(occurrences(xml, "<dive "), 1);
    EXPECT_EQ(SchemaErrors(run.dir.file("out.xml"), "dcdml-metric.xsd"), "");
    EXPECT_TRUE(Has(run.trace, "Success: Exiting with code 0"));
    EXPECT_EQ(occurrences(run.trace, "FormClose(): Returning 0"), 1);
}

TEST_F(OrdinaryUserRun, TraceFileAtItsDefaultPlace) {
    const std::string& trace = run_->trace;
    EXPECT_TRUE(Has(trace, "  Info:: Version = 1."));
    EXPECT_TRUE(
        Has(trace, " Debug:: CommandLine = " + std::string(TALVEK_DL) + " -p=" + run_->port));
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

TEST_F(OrdinaryUserRun, StatusAndProgressOnATerminal) {
    const std::string& screen = run_->screen;
    // One line, rewritten in place, ending with the last text at 100 %.
    EXPECT_TRUE(Has(screen, "\r[  0%] Searching for Device (1)")) << screen;
    EXPECT_TRUE(Has(screen, "] Searching for Device (2)"));
    EXPECT_TRUE(Has(screen, "\r[100%] Downloading Computer Data"));
    EXPECT_TRUE(Has(screen, "] Downloading Dive Profiles"));
    EXPECT_TRUE(Has(screen, "\r[100%] Download Successfull\x1b[K"));
    EXPECT_EQ(occurrences(screen, "\n"), 1);
}

// Root may open a port another descriptor holds with TIOCEXCL, so only an
// ordinary user shows that each probe lets the port go for the next one.
TEST_F(OrdinaryUserRun, ProbesEveryTypeAsAnOrdinaryUser) {
    if (!run_->asNobody) GTEST_SKIP() << "the build cannot be run as nobody";
    ASSERT_EQ(run_->status, 0) << run_->trace;
    const std::string& trace = run_->trace;
    const auto notType1 = trace.find("Did Not Find Device Type 1");
    ASSERT_NE(notType1, std::string::npos);
    EXPECT_GT(trace.find("Found Device Type2"), notType1);
    EXPECT_EQ(occurrences(trace, "Device_Comm::Create() Port Opened"), 2);
}

// Hostile peers against the real program: each ends by itself with a clear
// code and leaves the older file as it was (and no temporary beside it).
// They run at once, so the suite takes as long as the slowest of them.
struct HostileCase {
    const char* name;
    int type;
    std::vector<std::string> simulator;  // the fault options
    std::vector<std::string> download;   // besides port, file and trace
};

const HostileCase HostileCases[] = {
    {"garbage", 2, {"--garbage"}, {"-dv=2"}},
    {"flood", 3, {"--flood"}, {"-dv=3"}},
    {"oneByteASecond", 1, {"--trickle", "1000"}, {"-dv=1"}},
    {"zeros", 2, {"--zeros"}, {"-dv=2"}},
    {"hangUpMidFrame", 3, {"--hang-up-after", "4"}, {"-dv=3"}},
    {"overlappingDives", 2, {"--overlapping-dives", "2000"}, {"-dv=2"}},
};

struct HostileRun {
    int status = -1;
    double seconds = 0;
    std::string log;
    std::string older;
    std::vector<std::string> entries;
};

class HostilePeer : public ::testing::Test {
  protected:
    static constexpr const char* Older = "older download";

    static void SetUpTestSuite() {
        runs_ = new std::map<std::string, HostileRun>;
        std::vector<std::unique_ptr<Simulator>> sims;
        std::vector<std::unique_ptr<ScratchDir>> dirs;
        std::vector<std::unique_ptr<Process>> downloads;
        const auto start = std::chrono::steady_clock::now();
        for (const HostileCase& c : HostileCases) {
            sims.push_back(std::make_unique<Simulator>(c.type, 2, c.simulator));
            dirs.push_back(std::make_unique<ScratchDir>());
            const ScratchDir& dir = *dirs.back();
            ScratchDir::write(dir.file("out.xml"), Older);
            std::vector<std::string> argv = {TALVEK_DL, "-p=" + sims.back()->Path(),
                                             "-f=" + dir.file("out.xml"), "-v=2",
                                             "-cdblog=" + dir.file("trace")};
            argv.insert(argv.end(), c.download.begin(), c.download.end());
            Process::Options po;
            po.workingDirectory = dir.path();
            downloads.push_back(std::make_unique<Process>(argv, po));
        }
        for (size_t i = 0; i < downloads.size(); ++i) {
            HostileRun& run = (*runs_)[HostileCases[i].name];
            // The bound: a run still going after two minutes has hung.
            run.status = downloads[i]->Wait(120000);
            run.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            run.log = ScratchDir::read(dirs[i]->file("trace.txt"));
            run.older = ScratchDir::read(dirs[i]->file("out.xml"));
            for (const auto& e : std::filesystem::directory_iterator(dirs[i]->path()))
                run.entries.push_back(e.path().filename().string());
            std::sort(run.entries.begin(), run.entries.end());
            std::printf("hostile peer %s: status %d within %.1f s\n", HostileCases[i].name,
                        run.status, run.seconds);
        }
    }
    static void TearDownTestSuite() {
        delete runs_;
        runs_ = nullptr;
    }

    // Checks what every hostile run must show, and returns it.
    static const HostileRun& Checked(const char* name) {
        const HostileRun& run = runs_->at(name);
        EXPECT_NE(run.status, -1) << name << " did not end by itself";
        EXPECT_EQ(run.older, Older) << name;
        EXPECT_EQ(run.entries, (std::vector<std::string>{"out.xml", "trace.txt"})) << name;
        EXPECT_EQ(occurrences(run.log, "FormClose(): Returning "), 1) << run.log;
        return run;
    }

    static std::map<std::string, HostileRun>* runs_;
};

std::map<std::string, HostileRun>* HostilePeer::runs_ = nullptr;

TEST_F(HostilePeer, GarbageIsNoComputer) {
    EXPECT_EQ(Checked("garbage").status, 17);
}

TEST_F(HostilePeer, FloodEndsWithADeviceError) {
    // Random bytes may pass a checksum by chance; whatever the run then
    // met, it is a device's code, never success or a bad option.
    const int status = Checked("flood").status;
    EXPECT_GE(status, 2);
    EXPECT_LE(status, 25);
}

TEST_F(HostilePeer, OneByteASecondIsNoComputer) {
    EXPECT_EQ(Checked("oneByteASecond").status, 17);
}

// Every type against zeros, and against one byte a second, are tests in
// process (worker_sim_test.cpp): on the virtual clock they cost no real time.
TEST_F(HostilePeer, ALineOfZerosIsNoComputer) {
    const HostileRun& run = Checked("zeros");
    EXPECT_EQ(run.status, 17);
    EXPECT_TRUE(Has(run.log, "Device_Comm::Listen() Reply of 8 Zero Bytes Is No Answer"));
    EXPECT_TRUE(Has(run.log, "Did Not Find Device Type 2"));
}

TEST_F(HostilePeer, HangUpInTheMiddleOfAFrameIsAPortNoLongerOpen) {
    const HostileRun& run = Checked("hangUpMidFrame");
    EXPECT_EQ(run.status, 21);
    EXPECT_TRUE(Has(run.log, "Comm Port Not Open: ")) << run.log;
}

TEST_F(HostilePeer, OverlappingDivesAreADamagedMemory) {
    const HostileRun& run = Checked("overlappingDives");
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(Has(run.log, "DownLoadControl:: Dives Claim More Than The Ring Holds @ &0x1000"));
}

TEST_F(DownloadTest, Type3InTheLegacyLayout) {
    Simulator sim(3, 2);
    ASSERT_FALSE(sim.Path().empty());
    RunResult r = Download({"-p=" + sim.Path(), "-f=" + Out(), "-v=1", "-ui", "-dv=3",
                            "-cdblog=" + dir_.file("trace")});
    ASSERT_EQ(r.status, 0) << r.standardError << trace();
    const std::string xml = ScratchDir::read(Out());
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(xml.find('\r'), std::string::npos);
    EXPECT_TRUE(Has(xml, "<TalvekDownload >"));
    EXPECT_EQ(occurrences(xml, "<DiveData >"), 2);
    const std::string log = trace();
    EXPECT_TRUE(Has(log, "Found Device Type 3"));
    EXPECT_TRUE(Has(log, "Success: Exiting with code 0"));
    EXPECT_EQ(occurrences(log, "FormClose(): Returning 0"), 1);
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
    // Many long dives: the signal comes after the first dive starts, and the
    // run ends there, so a larger memory costs nothing.
    Simulator sim(2, 8, {}, 7);
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
    while (!Has(trace(), "Downloading Dive 1") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Has(trace(), "Downloading Dive 1"));
    dl.Signal(SIGTERM);
    EXPECT_EQ(dl.Wait(60000), 130);
    EXPECT_FALSE(ScratchDir::exists(Out()));
    EXPECT_EQ(occurrences(trace(), "FormClose(): Returning 9999"), 2);
    ASSERT_TRUE(PortSettings(sim.Path(), after));
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
}

// Every signal that would end a run outright ends it as Cancel does: a
// closed terminal (SIGHUP), a quit from the keyboard (SIGQUIT), a SIGTERM
// that comes as soon as the program has started.  Each gives "Canceled"
// (130) with the old file intact, the trace closed and the port's settings
// put back.  The runs go side by side: the line's pauses dominate.
TEST_F(DownloadTest, StopSignalsEndTheRunAsCancelDoes) {
    struct Row {
        int signal;
        bool atStart;  // else once the dives are being read
    };
    const Row rows[] = {{SIGTERM, true}, {SIGHUP, false}, {SIGQUIT, false}};
    struct Running {
        Row row;
        std::unique_ptr<ScratchDir> dir = std::make_unique<ScratchDir>();
        std::unique_ptr<Simulator> sim;
        std::unique_ptr<Process> dl;
        termios before{};
        bool sent = false;
    };
    std::vector<Running> runs;
    for (const Row& row : rows) {
        Running r;
        r.row = row;
        r.sim = std::make_unique<Simulator>(2, 8, std::vector<std::string>{}, 7);
        ASSERT_FALSE(r.sim->Path().empty());
        ASSERT_TRUE(PortSettings(r.sim->Path(), r.before));
        ScratchDir::write(r.dir->file("out.xml"), "old");
        Process::Options po;
        po.workingDirectory = r.dir->path();
        r.dl = std::make_unique<Process>(
            std::vector<std::string>{TALVEK_DL, "-p=" + r.sim->Path(),
                                     "-f=" + r.dir->file("out.xml"), "-v=2", "-dv=2",
                                     "-cdblog=" + r.dir->file("trace")},
            po);
        runs.push_back(std::move(r));
    }
    // A signal at the start is sent the moment the program catches SIGHUP
    // (it installs every handler at once, first thing).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (bool waiting = true; waiting && std::chrono::steady_clock::now() < until;) {
        waiting = false;
        for (Running& r : runs) {
            if (r.sent) continue;
            const bool ready = r.row.atStart ? r.dl->Catches(SIGHUP)
                                             : Has(ScratchDir::read(r.dir->file("trace.txt")),
                                                   "Downloading Dive 1");
            if (ready) {
                r.dl->Signal(r.row.signal);
                r.sent = true;
            }
            waiting = waiting || !r.sent;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    for (Running& r : runs) {
        SCOPED_TRACE("signal " + std::to_string(r.row.signal));
        EXPECT_TRUE(r.sent);
        if (!r.sent) continue;
        EXPECT_EQ(r.dl->Wait(60000), 130) << r.dl->StandardError();
        EXPECT_EQ(ScratchDir::read(r.dir->file("out.xml")), "old");
        const std::string log = ScratchDir::read(r.dir->file("trace.txt"));
        EXPECT_TRUE(Has(log, "Signal " + std::to_string(r.row.signal) + " Received")) << log;
        EXPECT_GE(occurrences(log, "FormClose(): Returning 9999"), 1) << log;
        termios after{};
        ASSERT_TRUE(PortSettings(r.sim->Path(), after));
        EXPECT_EQ(after.c_cflag, r.before.c_cflag);
        EXPECT_EQ(after.c_lflag, r.before.c_lflag);
        EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&r.before));
    }
}

// The largest hostile inputs, each in a run of its own: peak memory (the
// program's own high-water mark) stays under 40 MB.
TEST_F(DownloadTest, HostileInputsStayUnder40MB) {
    const std::string golden = std::string(TALVEK_SOURCE_DIR) + "/tests/golden/type2.img";
    // What the image format allowed before: 4096 type 1 dives of 8000 bytes.
    replay::ComputerImage endless = replay::ComputerImage::blank(replay::InterfaceType::Type1);
    endless.diveStreams.assign(4096, std::vector<uint8_t>(8000, 0x11));
    {
        const std::vector<uint8_t> bytes = replay::encodeImage(endless);
        endless.diveStreams.clear();
        ScratchDir::write(dir_.file("endless.img"), std::string(bytes.begin(), bytes.end()));
    }
    // The store of the golden computer, to plant things at its name.
    const std::string store = dir_.file("store");
    ASSERT_EQ(Download({"-image=" + golden, "-f=" + Out(), "-store=" + store}).status, 0);
    ASSERT_EQ(dir_.entries("store").size(), 1u);
    const std::string storeFile = store + "/" + dir_.entries("store")[0];
    const std::vector<std::string> fromStore = {"-image=" + golden, "-new", "-store=" + store};

    struct Row {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> plant;
        int status;
    };
    const Row rows[] = {
        {"a plain download, for comparison", {"-image=" + golden}, [] {}, 0},
        {"4096 type 1 dives of 8000 bytes in an image",
         {"-image=" + dir_.file("endless.img")},
         [] {},
         1},
        {"/dev/zero as the image", {"-image=/dev/zero"}, [] {}, 1},
        {"/dev/zero as the store", fromStore,
         [&] {
             std::remove(storeFile.c_str());
             ASSERT_EQ(symlink("/dev/zero", storeFile.c_str()), 0);
         },
         0},
        {"200 MB of garbage as the store", fromStore,
         [&] {
             std::remove(storeFile.c_str());
             ScratchDir::write(storeFile, "TLVKSTOR");
             ASSERT_EQ(truncate(storeFile.c_str(), 200 << 20), 0);
         },
         0},
    };
    double plain = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.plant();
        std::vector<std::string> argv = {TALVEK_DL, "-f=" + Out(), "-v=2",
                                         "-cdblog=" + dir_.file("trace")};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        Process::Options po;
        po.workingDirectory = dir_.path();
        Process dl(argv, po);
        EXPECT_EQ(dl.Wait(120000), row.status) << trace();
        const double mb = dl.PeakKilobytes() / 1024.0;
        std::printf("peak memory: %5.1f MB  %s\n", mb, row.what);
        // No input makes the program grow: within a few MB of the plain run
        // (the first row), whatever the build.
        if (plain == 0) plain = mb;
        EXPECT_LT(mb, plain + 8.0);
#ifndef __SANITIZE_ADDRESS__
        // The budget is the program's own; the sanitizers' shadow memory
        // alone takes more.
        EXPECT_LT(mb, 40.0);
#endif
    }
}

// The pulled cable: a port that is no longer open (21), told apart from a
// bad option, with the system's reason in the trace.
TEST_F(DownloadTest, SimulatorHangingUpEndsWithADeviceError) {
    // 600 bytes take the download into its first dive.
    Simulator sim(2, 2, {"--hang-up-after", "600"});
    RunResult r = Download(
        {"-p=" + sim.Path(), "-f=" + Out(), "-v=2", "-dv=2", "-cdblog=" + dir_.file("trace")}, {},
        120000);
    EXPECT_EQ(r.status, 21) << trace();
    EXPECT_FALSE(ScratchDir::exists(Out()));
    const std::string log = trace();
    EXPECT_TRUE(Has(log, "Downloading Dive 1"));
    EXPECT_TRUE(Has(log, "Comm Port Not Open: " + sim.Path() + " went away (5: Input/output error)"))
        << log;
    EXPECT_EQ(occurrences(log, "FormClose(): Returning 21"), 1);
    std::printf("hang-up: status %d after %.1f s\n", r.status, r.seconds);
}

// The program without a device: a stored image downloaded in process, its
// dives kept in a store, and a second run that fetches only what is new.
TEST_F(DownloadTest, ImageRunsWithoutADeviceAndFillsTheStore) {
    const std::string golden = std::string(TALVEK_SOURCE_DIR) + "/tests/golden/type2";
    const std::string store = dir_.file("store"), dump = dir_.file("dump.img");
    auto withoutStamp = [](std::string doc) {
        const size_t at = doc.find(" tstamp=\"");
        if (at != std::string::npos) doc.erase(at, doc.find('"', at + 9) + 1 - at);
        return doc;
    };
    RunResult r = Download({"-image=" + golden + ".img", "-f=" + Out(), "-v=2", "-um", "-new",
                            "-store=" + store, "-dump=" + dump, "-cdblog=" + dir_.file("trace")});
    ASSERT_EQ(r.status, 0) << r.standardError;
    EXPECT_EQ(withoutStamp(ScratchDir::read(Out())),
              withoutStamp(ScratchDir::read(golden + ".dcdml-metric.xml")));
    EXPECT_TRUE(ScratchDir::exists(dump));
    EXPECT_TRUE(Has(trace(), "DiveStore: Saved 8 Dives (" + store + "/t2-m")) << trace();

    r = Download({"-image=" + dump, "-f=" + Out(), "-v=2", "-um", "-new", "-store=" + store,
                  "-cdblog=" + dir_.file("trace")});
    ASSERT_EQ(r.status, 0) << r.standardError;
    EXPECT_EQ(withoutStamp(ScratchDir::read(Out())),
              withoutStamp(ScratchDir::read(golden + ".dcdml-metric.xml")));
    EXPECT_TRUE(Has(trace(), "NewDives: 8 Stored Dives Still In Memory")) << trace();
    std::printf("image run: %.1f s (window pauses 2.5 s included)\n", r.seconds);
}

// The UDDF file of a real run is what the published schema describes,
// checked with xmllint as a logbook author would.
TEST_F(DownloadTest, UddfFileValidatesWithXmllint) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
    // A replayed memory: the program's whole path without the line's pauses.
    const std::string image = std::string(TALVEK_SOURCE_DIR) + "/tests/golden/type2.img";
    RunResult r = Download({"-image=" + image, "-f=" + Out(), "-uddf", "-dv=2",
                            "-cdblog=" + dir_.file("trace")});
    ASSERT_EQ(r.status, 0) << r.standardError << trace();
    const std::string xml = ScratchDir::read(Out());
    EXPECT_TRUE(Has(xml, "<uddf xmlns=\"http://www.streit.cc/uddf/3.2/\" version=\"3.2.3\" >"));
    EXPECT_EQ(occurrences(xml, "<dive id="), 8);
    EXPECT_EQ(SchemaErrors(Out(), "uddf/uddf_3.2.3.xsd"), "");
}

// --help, -h, -? and --version answer at once on standard output, with no
// window, trace or port; -list too.
TEST_F(DownloadTest, HelpVersionAndListExitAtOnce) {
    for (const char* option : {"--help", "-h", "-?", "/?"}) {
        Process p({TALVEK_DL, option}, {});
        EXPECT_EQ(p.Wait(30000), 0) << option;
        EXPECT_TRUE(Has(p.StandardOutput(), "-uddf")) << option << ": " << p.StandardOutput();
        EXPECT_TRUE(Has(p.StandardOutput(), "-f=FILE")) << option;
    }
    // A session would write this trace file; none starts.
    const std::string traceOption = "-cdblog=" + dir_.file("trace");
    Process version({TALVEK_DL, "--version", traceOption}, {});
    EXPECT_EQ(version.Wait(30000), 0);
    EXPECT_EQ(version.StandardOutput(), "Talvek XML Downloader " TALVEK_VERSION "\n");
    Process list({TALVEK_DL, "-list", traceOption}, {});
    EXPECT_EQ(list.Wait(30000), 0);
    EXPECT_FALSE(list.StandardOutput().empty());
    EXPECT_FALSE(ScratchDir::exists(dir_.file("trace.txt")));
}

TEST_F(DownloadTest, BadGradientValueEndsWithStatus1AndTheMessage) {
    RunResult r = Download({"-g=abc", "-f=" + Out()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.standardError, "'abc' is not a valid integer value")) << r.standardError;
    EXPECT_FALSE(ScratchDir::exists(Out()));
}

// An argument the command-line text cannot carry stops the run before the
// window: status 1, a message naming it, nothing written (not even the
// trace), no other file of a similar name touched.
TEST_F(DownloadTest, ArgumentThatCannotBeCarriedStopsTheRunUntouched) {
    ScratchDir::write(dir_.file("a"), "someone's file");
    ASSERT_EQ(mkdir(dir_.file("talvek-dl").c_str(), 0755), 0);
    const std::string bad = "-f=a\"b c.xml";
    RunResult r = Download({bad, "-p=/dev/null", "-dv=4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.standardError, "'" + bad + "'")) << r.standardError;
    EXPECT_EQ(ScratchDir::read(dir_.file("a")), "someone's file");
    EXPECT_EQ(dir_.count(), 2u);
    EXPECT_TRUE(std::filesystem::is_empty(dir_.file("talvek-dl")));
}

}  // namespace

}  // namespace talvek
