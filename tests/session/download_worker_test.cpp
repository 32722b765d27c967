// The download worker in process, with fake drivers on the virtual clock.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>  // a "full disk" through the file size limit
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <new>

#include "platform/clock.h"
#include "support/system_errors.h"
#include "support/worker_test_support.h"

namespace talvek {

using namespace worker_test;

namespace {

// The Options word of a run with -v=2 -um and the given device mask.
constexpr uint32_t Options(uint32_t mask) {
    return 0x40000 | 0x4000 | 0x2000 | 0x200 | mask;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// The entries of `v` that are among `wanted`, in order.
std::vector<std::string> only(const std::vector<std::string>& v,
                              const std::vector<std::string>& wanted) {
    std::vector<std::string> out;
    for (const std::string& s : v)
        if (contains(wanted, s)) out.push_back(s);
    return out;
}

class WorkerTest : public ::testing::Test {
  protected:
    WorkerTest() : scoped_(clock_), trace_(dir_.path()) {}

    // Runs one download to its end and returns the result code.
    int Run(uint32_t options, const std::string& file, const std::string& port = "/dev/ttyS9") {
        DownloadWorker worker(sink_, computers_.parts());
        worker.set(requestFor(port, file, options));
        if (beforeRun_) beforeRun_(worker);
        execute(worker);
        EXPECT_TRUE(worker.done());
        return worker.returnValue();
    }
    int Run(uint32_t options) { return Run(options, output()); }

    virtual void execute(DownloadWorker& worker) { worker.execute(); }

    std::string output() const {
        std::string n = dir_.file("out.xml");
        return std::string(n.begin(), n.end());
    }
    std::string outputName() const { return dir_.file("out.xml"); }

    // Type 2 answers and holds `dives` dives.
    void Type2Present(int dives) {
        computers_.type2.open = [] {};
        computers_.type2.dives = dives;
    }

    ScratchDir dir_;
    platform::VirtualClock clock_;
    platform::ScopedClock scoped_;
    TraceCapture trace_;
    FakeComputers computers_;
    RecordingSink sink_;
    std::function<void(DownloadWorker&)> beforeRun_;
};

TEST_F(WorkerTest, Type2DownloadShowsEveryStatusAndWritesTheFile) {
    Type2Present(2);
    computers_.type2.makeOutput = [](XmlDocument& d) {
        d.setFlags(0x04);
        d.createRoot("fake")->setText("2 dives \xE9");
        d.build();
    };
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<fake >2 dives \xC3\xA9</fake >";
    EXPECT_EQ(Run(Options(0x0F)), 0);

    EXPECT_EQ(sink_.texts,
              (std::vector<std::string>{"Searching for Device (1)", "Searching for Device (2)",
                                        "Comm Opened Successfully!", "Downloading Computer Data",
                                        "Downloading Dive Profiles", "Building Data File",
                                        "Download Successfull"}));
    // Start, after probing, after the header, start of the dives, the
    // driver's own percentages (reset to 0, 50 %, 100 %), before success.
    EXPECT_EQ(sink_.percents, (std::vector<int>{0, 0, 100, 0, 0, 50, 0, 100, 100}));
    EXPECT_EQ(computers_.log, (CallLog{"construct 1", "open 1 x4", "destroy 1", "construct 2",
                                       "open 2 x4", "header", "dive 1", "dive 2", "dive 3",
                                       "output dcdml metric indent", "destroy 2"}));
    EXPECT_EQ(readFile(outputName()), expected);
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"out.xml", "trace.txt"}));

    std::vector<std::string> lines = trace_.lines();
    std::vector<std::string> expectedLines = {"Detail:: sAPIThread::Create()",
                                              "Detail:: sAPIThread::Set() with: file=\"" +
                                                  outputName() +
                                                  "\" port=\"/dev/ttyS9\" Options=0x4620F ",
                                              "  Info:: Did Not Find Device Type 1",
                                              "  Info:: Found Device Type2",
                                              "  Info:: Downloading Device",
                                              "  Info:: Downloading Dive 1",
                                              "  Info:: Download Complete",
                                              "  Info:: Downloading Dive 2",
                                              "  Info:: Download Complete",
                                              "  Info:: Downloading Dive 3",
                                              " Debug:: Download Aborted",
                                              "  Info:: Success: Exiting with code 0",
                                              "Detail:: sAPIThread::Destroy()"};
    EXPECT_EQ(lines, expectedLines);
    // The header pause and the pause of Finish.
    EXPECT_EQ(clock_.sleptMs(), 1100u);
    EXPECT_EQ(sink_.finishes, std::vector<int>{0});
}

TEST_F(WorkerTest, ProbesTheTypesInOrderUntilOneAnswers) {
    computers_.type3.open = [] {};
    EXPECT_EQ(Run(Options(0x0F)), 0);
    EXPECT_EQ(only(computers_.log, {"construct 1", "construct 2", "construct 3", "destroy 1",
                                    "destroy 2", "destroy 3"}),
              (CallLog{"construct 1", "destroy 1", "construct 2", "destroy 2", "construct 3",
                       "destroy 3"}));
    EXPECT_EQ(only(trace_.messages(), {"Did Not Find Device Type 1", "Did Not Find Device Type 2",
                                       "Found Device Type 3"}),
              (std::vector<std::string>{"Did Not Find Device Type 1", "Did Not Find Device Type 2",
                                        "Found Device Type 3"}));
    EXPECT_EQ(sink_.texts[2], "Searching for Device (3)");

    // A type 1 computer stops the probing at once.
    sink_ = RecordingSink();
    computers_.log.clear();
    computers_.type1.open = [] {};
    EXPECT_EQ(Run(Options(0x0F)), 0);
    EXPECT_EQ(computers_.log.front(), "construct 1");
    EXPECT_FALSE(contains(computers_.log, "construct 2"));
    EXPECT_TRUE(contains(trace_.messages(), "Found Device Type1"));
}

TEST_F(WorkerTest, ProbeMaskSelectsTheTypes) {
    Type2Present(0);
    EXPECT_EQ(Run(Options(0x02)), 0);
    EXPECT_FALSE(contains(sink_.texts, "Searching for Device (1)"));
    EXPECT_EQ(sink_.texts.front(), "Searching for Device (2)");
    EXPECT_EQ(computers_.log.front(), "construct 2");

    // Device value 4 (bit 0x08) probes nothing.
    sink_ = RecordingSink();
    computers_.log.clear();
    std::remove(outputName().c_str());
    EXPECT_EQ(Run(Options(0x08)), 17);
    EXPECT_EQ(sink_.texts, (std::vector<std::string>{"Device Not Found"}));
    EXPECT_TRUE(computers_.log.empty());
    EXPECT_FALSE(fileExists(outputName()));
}

TEST_F(WorkerTest, NoComputerAtAllEndsWith17AfterThreeProbes) {
    EXPECT_EQ(Run(Options(0x0F)), 17);
    EXPECT_EQ(sink_.texts,
              (std::vector<std::string>{"Searching for Device (1)", "Searching for Device (2)",
                                        "Searching for Device (3)", "Device Not Found"}));
    std::vector<std::string> m = trace_.messages();
    EXPECT_EQ(only(m, {"Did Not Find Device Type 1", "Did Not Find Device Type 2",
                       "Did Not Find Device Type C2V2"})
                  .size(),
              3u);
    EXPECT_EQ(sink_.percents, (std::vector<int>{0, 0}));
    EXPECT_FALSE(fileExists(outputName()));
}

TEST_F(WorkerTest, PortThatDoesNotExistEndsWithItsErrorAndStopsProbing) {
    computers_.type1.construct = [] {
        throw CommError(ErrorCode::CantOpenPort, "Comm Port Not Found");
    };
    EXPECT_EQ(Run(Options(0x0F)), 12);
    EXPECT_EQ(sink_.texts.back(), "Comm Port Not Found");
    EXPECT_EQ(computers_.log, (CallLog{"construct 1"}));
    EXPECT_TRUE(contains(trace_.messages(), "Device Type1: Comm Port Not Found"));

    // Later types trace the message alone.
    computers_.log.clear();
    computers_.type2.construct = [] {
        throw CommError(ErrorCode::CantOpenPort, "Comm Port Not Found");
    };
    EXPECT_EQ(Run(Options(0x02)), 12);
    EXPECT_TRUE(contains(trace_.messages(), "Comm Port Not Found"));
}

TEST_F(WorkerTest, NonDeviceFailuresWhileProbing) {
    computers_.type1.open = [] { throw std::runtime_error("boom"); };
    EXPECT_EQ(Run(Options(0x0F)), 1);
    EXPECT_EQ(sink_.texts.back(), "Runtime Error");
    EXPECT_FALSE(contains(computers_.log, "construct 2"));

    // A non-device error of the wide family counts as "anything else" too.
    computers_.type2.open = [] { throw RuntimeError("odd"); };
    EXPECT_EQ(Run(Options(0x02)), 1);
    EXPECT_EQ(sink_.texts.back(), "Runtime Error");

    computers_.type3.open = [] { throw 42; };
    EXPECT_EQ(Run(Options(0x04)), -1);
    EXPECT_EQ(sink_.texts.back(), "Unknown Error");

    std::vector<std::string> m = trace_.messages();
    auto starts = [&](const std::string& prefix) {
        return std::any_of(m.begin(), m.end(),
                           [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(starts("Unknown Exception searching for Device 1 - error = "));
    EXPECT_TRUE(starts("Unknown Exception searching for Device 2 - error = "));
    EXPECT_TRUE(starts("Unknown Exception searching for Device C2V2 - error = "));
}

// Memory running out anywhere in the body (the driver, the header, a dive,
// building the document) ends the download with a result code; nothing
// leaves the thread body, even when the status plumbing fails as well.
TEST_F(WorkerTest, MemoryRunningOutAnywhereNeverLeavesTheBody) {
    struct FailingSink : RecordingSink {
        bool fail = false;
        void statusText(const std::string& t) override {
            RecordingSink::statusText(t);
            if (fail) throw std::bad_alloc();
        }
        void finished(int code) override {
            RecordingSink::finished(code);
            if (fail) throw std::bad_alloc();
        }
    };
    const auto oom = [] { throw std::bad_alloc(); };
    for (int where = 0; where < 5; ++where) {
        for (bool sinkFails : {false, true}) {
            SCOPED_TRACE(where * 2 + sinkFails);
            FakeComputers fakes;
            fakes.type2.open = [] {};
            fakes.type2.dives = 2;
            if (where == 0) fakes.type2.construct = oom;
            if (where == 1) fakes.type2.open = oom;
            if (where == 2) fakes.type2.header = oom;
            if (where == 3) fakes.type2.dive = [](unsigned) { throw std::bad_alloc(); };
            if (where == 4) fakes.type2.makeOutput = [](XmlDocument&) { throw std::bad_alloc(); };
            FailingSink sink;
            sink.fail = sinkFails;
            DownloadWorker worker(sink, fakes.parts());
            worker.set(requestFor("/dev/ttyS9", output(), Options(0x02)));
            EXPECT_NO_THROW(worker.execute());
            EXPECT_TRUE(worker.done());
            EXPECT_EQ(worker.returnValue(), 1);
            EXPECT_EQ(sink.finishes, std::vector<int>{1});
            EXPECT_FALSE(fileExists(outputName()));
        }
    }
}

TEST_F(WorkerTest, ComputerWithNoDivesStillWritesTheFile) {
    Type2Present(0);
    EXPECT_EQ(Run(Options(0x02)), 0);
    EXPECT_TRUE(fileExists(outputName()));
    std::vector<std::string> m = trace_.messages();
    auto first = std::find(m.begin(), m.end(), "Downloading Dive 1");
    ASSERT_NE(first, m.end());
    ASSERT_NE(first + 1, m.end());
    EXPECT_EQ(*(first + 1), "Download Aborted");
    EXPECT_EQ(sink_.texts.back(), "Download Successfull");
}

TEST_F(WorkerTest, MissingOutputDirectoryCannotBeOpened) {
    Type2Present(1);
    std::string name = dir_.file("missing/out.xml");
    EXPECT_EQ(Run(Options(0x02), std::string(name.begin(), name.end())), 1);
    EXPECT_EQ(sink_.texts.back(), "Can't Open File");
    EXPECT_TRUE(contains(trace_.messages(), "Can't Open " + name + " with error :" +
                                                std::to_string(syserr::MissingPath)));
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"trace.txt"}));
}

// An output that cannot be created is found before the first probe, so no
// download is thrown away for it and the port is never opened.
TEST_F(WorkerTest, UnwritableOutputEndsTheRunBeforeAnyPortIsOpened) {
    namespace fs = std::filesystem;
    Type2Present(1);
    ASSERT_TRUE(fs::create_directory(dir_.file("folder.xml")));
    std::vector<std::pair<std::string, int>> cases = {
        {dir_.file("missing/out.xml"), syserr::MissingPath},
        {dir_.file("folder.xml"), syserr::FolderAsFile}};
    std::vector<std::string> entries = {"folder.xml", "trace.txt"};
#ifdef _WIN32
    // A file its owner marked read-only is not replaced.
    std::ofstream(dir_.file("kept.xml")) << "kept";
    fs::permissions(dir_.file("kept.xml"), fs::perms::all & ~fs::perms::owner_write);
    cases.emplace_back(dir_.file("kept.xml"), syserr::AccessDenied);
    entries.insert(entries.begin() + 1, "kept.xml");
#else
    ASSERT_TRUE(fs::create_directory(dir_.file("locked")));
    fs::permissions(dir_.file("locked"), fs::perms::owner_read | fs::perms::owner_exec |
                                             fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
    entries.insert(entries.begin() + 1, "locked");
    // The superuser may write into a read-only directory.
    if (geteuid() != 0) cases.emplace_back(dir_.file("locked/out.xml"), EACCES);
#endif
    for (const auto& [name, error] : cases) {
        SCOPED_TRACE(name);
        computers_.log.clear();
        sink_ = RecordingSink();
        EXPECT_EQ(Run(Options(0x0F), name), 1);
        EXPECT_EQ(sink_.texts.back(), "Can't Open File");
        EXPECT_TRUE(computers_.log.empty()) << computers_.log.front();
        EXPECT_FALSE(contains(sink_.texts, "Searching for Device (1)"));
        EXPECT_TRUE(contains(trace_.messages(),
                             "Can't Open " + name + " with error :" + std::to_string(error)));
    }
    EXPECT_EQ(dir_.entries(), entries);
#ifdef _WIN32
    EXPECT_EQ(readFile(dir_.file("kept.xml")), "kept");
    fs::permissions(dir_.file("kept.xml"), fs::perms::owner_write, fs::perm_options::add);
#else
    EXPECT_TRUE(dir_.entries("locked").empty());
#endif
}

// A cancel while the document is built or written wins as long as the file
// has not taken its name: no file, 9999.
TEST_F(WorkerTest, CancelWhileTheDocumentIsBuiltLeavesNoFile) {
    {
        std::ofstream old(outputName(), std::ios::binary);
        old << "old";
    }
    const CancelFlag* flag = nullptr;
    beforeRun_ = [&](DownloadWorker& w) { flag = &w.cancelFlag(); };
    Type2Present(1);
    computers_.type2.makeOutput = [&](XmlDocument& d) {
        d.createRoot("doc");
        d.build();
        const_cast<CancelFlag*>(flag)->store(true);
    };
    EXPECT_EQ(Run(Options(0x02)), 9999);
    EXPECT_EQ(sink_.texts.back(), "Canceled");
    EXPECT_EQ(readFile(outputName()), "old");
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"out.xml", "trace.txt"}));
}

TEST_F(WorkerTest, EmptyNamesEndTheRunBeforeAnyProbe) {
    Type2Present(1);
    EXPECT_EQ(Run(Options(0x0F), ""), 1);
    EXPECT_EQ(sink_.texts, (std::vector<std::string>{"Can't Open File"}));
    EXPECT_TRUE(computers_.log.empty());

    sink_ = RecordingSink();
    EXPECT_EQ(Run(Options(0x0F), output(), ""), 2);
    EXPECT_EQ(sink_.texts, (std::vector<std::string>{"No Comm Port Specified"}));
    EXPECT_TRUE(computers_.log.empty());
    EXPECT_FALSE(fileExists(outputName()));
}

TEST_F(WorkerTest, DeviceErrorInTheHeaderEndsWithItsCode) {
    Type2Present(1);
    computers_.type2.header = [] { throw Error(ErrorCode::Checksum); };
    EXPECT_EQ(Run(Options(0x02)), 8);
    EXPECT_EQ(sink_.texts.back(), "Checksum Error");
    EXPECT_TRUE(contains(trace_.messages(), "Download Device: Checksum Error"));
    EXPECT_FALSE(fileExists(outputName()));
    EXPECT_EQ(computers_.log.back(), "destroy 2");
}

TEST_F(WorkerTest, DeviceErrorInTheDivesEndsWithItsCode) {
    Type2Present(3);
    computers_.type2.dive = [](unsigned n) {
        if (n == 2) throw CommError(ErrorCode::TimedOut);
    };
    EXPECT_EQ(Run(Options(0x02)), 18);
    EXPECT_EQ(sink_.texts.back(), "Device Timed Out");
    EXPECT_TRUE(contains(trace_.messages(), "Download Dive: Device Timed Out with code 18"));
    EXPECT_FALSE(fileExists(outputName()));
}

TEST_F(WorkerTest, NonDeviceRuntimeErrorsEndWith666) {
    Type2Present(1);
    computers_.type2.header = [] { throw RuntimeError("header went odd"); };
    EXPECT_EQ(Run(Options(0x02)), 666);
    EXPECT_EQ(sink_.texts.back(), "header went odd");
    EXPECT_TRUE(contains(trace_.messages(), "Download Device: runtime_error header went odd"));

    computers_.type2.header = nullptr;
    computers_.type2.dive = [](unsigned) { throw RuntimeError("dive went odd"); };
    EXPECT_EQ(Run(Options(0x02)), 666);
    EXPECT_EQ(sink_.texts.back(), "dive went odd");
    EXPECT_TRUE(contains(trace_.messages(), "Download Dive:runtime_error dive went odd "));

    // Anything else is a plain runtime error with code 1.
    computers_.type2.dive = nullptr;
    computers_.type2.header = [] { throw std::bad_alloc(); };
    EXPECT_EQ(Run(Options(0x02)), 1);
    EXPECT_EQ(sink_.texts.back(), "Runtime Error");
    computers_.type2.header = nullptr;
    computers_.type2.makeOutput = [](XmlDocument&) { throw std::runtime_error("TDCDML: x"); };
    EXPECT_EQ(Run(Options(0x02)), 1);
    EXPECT_EQ(sink_.texts.back(), "Runtime Error");
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(std::any_of(m.begin(), m.end(), [](const std::string& s) {
        return s.rfind("Download Dive: Unexpected Error = ", 0) == 0;
    }));
    EXPECT_FALSE(fileExists(outputName()));
}

// Where the cancel request arrives.
enum class CancelAt { Probe1, Probe2, Probe3, Header, Dive, InsideDriver };

class WorkerCancelTest : public WorkerTest, public ::testing::WithParamInterface<CancelAt> {};

TEST_P(WorkerCancelTest, CancelEndsWith9999AndNoFile) {
    const CancelFlag* flag = nullptr;
    beforeRun_ = [&](DownloadWorker& w) { flag = &w.cancelFlag(); };
    // The fakes cannot reach the worker, so they cancel through the flag they
    // were given, as the GUI thread would.
    auto cancel = [&] { const_cast<CancelFlag*>(flag)->store(true); };
    bool checkPoint = true;
    switch (GetParam()) {
        case CancelAt::Probe1:
            computers_.type1.open = [&] {
                cancel();
                throw DeviceNotPresent("x");
            };
            break;
        case CancelAt::Probe2:
            computers_.type2.open = [&] {
                cancel();
                throw DeviceNotPresent("x");
            };
            break;
        case CancelAt::Probe3:
            computers_.type3.open = [&] { cancel(); };
            break;
        case CancelAt::Header:
            Type2Present(2);
            computers_.type2.header = [&] { cancel(); };
            break;
        case CancelAt::Dive:
            Type2Present(2);
            computers_.type2.dive = [&](unsigned) { cancel(); };
            break;
        case CancelAt::InsideDriver:
            Type2Present(2);
            computers_.type2.dive = [&](unsigned) { throw UserCancel(); };
            checkPoint = false;
            break;
    }
    EXPECT_EQ(Run(Options(0x0F)), 9999);
    EXPECT_EQ(sink_.texts.back(), "Canceled");
    EXPECT_EQ(sink_.finishes, std::vector<int>{9999});
    EXPECT_EQ(contains(trace_.messages(), "Terminate() Raised"), checkPoint);
    EXPECT_FALSE(fileExists(outputName()));
    EXPECT_FALSE(contains(computers_.log, "output dcdml metric indent"));
    // Every driver made was destroyed by the time the worker finished.
    EXPECT_EQ(std::count_if(computers_.log.begin(), computers_.log.end(),
                            [](const std::string& s) { return s.rfind("construct", 0) == 0; }),
              std::count_if(computers_.log.begin(), computers_.log.end(),
                            [](const std::string& s) { return s.rfind("destroy", 0) == 0; }));
}

INSTANTIATE_TEST_SUITE_P(EveryCheckPoint, WorkerCancelTest,
                         ::testing::Values(CancelAt::Probe1, CancelAt::Probe2, CancelAt::Probe3,
                                           CancelAt::Header, CancelAt::Dive,
                                           CancelAt::InsideDriver));

TEST_F(WorkerTest, ExistingFileIsReplacedWholeOrKept) {
    {
        std::ofstream old(outputName(), std::ios::binary);
        old << "older download, much longer than anything a fake writes";
    }
    // A failed run leaves the older file as it was.
    computers_.type2.open = [] {};
    computers_.type2.header = [] { throw Error(ErrorCode::Checksum); };
    EXPECT_EQ(Run(Options(0x02)), 8);
    EXPECT_EQ(readFile(outputName()), "older download, much longer than anything a fake writes");

    // A successful run replaces it by exactly the document's bytes.
    computers_.type2.header = nullptr;
    EXPECT_EQ(Run(Options(0x02)), 0);
    EXPECT_EQ(readFile(outputName()), "");  // the fake builds no document
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"out.xml", "trace.txt"}));
}

#ifndef _WIN32
TEST_F(WorkerTest, FailedWriteIsCantOpenFileAndLeavesNoPartialFile) {
    {
        std::ofstream old(outputName(), std::ios::binary);
        old << "old";
    }
    Type2Present(0);
    // Larger than the limit below, which the trace file never reaches.
    std::string big(1 << 20, 'x');
    computers_.type2.makeOutput = [&](XmlDocument& d) {
        d.setFlags(0x04);
        d.createRoot("big")->setText(big);
        d.build();
        // The disk is "full" for this process: files cannot grow past 512 KiB.
        struct rlimit small {};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 1 << 19;
        setrlimit(RLIMIT_FSIZE, &small);
    };
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    int code = Run(Options(0x02));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(sink_.texts.back(), "Can't Open File");
    EXPECT_EQ(readFile(outputName()), "old");
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"out.xml", "trace.txt"}));
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(std::any_of(m.begin(), m.end(), [&](const std::string& s) {
        return s.rfind("Can't Write " + outputName() + " with error :27", 0) == 0;
    }));
}
#endif

}  // namespace

}  // namespace talvek
