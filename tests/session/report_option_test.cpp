// -report=FILE: read from the command line like every other key, written
// after the output file through the same replace-by-rename path, and never
// at the cost of the output file or the result code.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>

#include "output/units_converter.h"
#include "platform/clock.h"
#include "session/session.h"
#include "session/transfer_settings.h"
#include "support/system_errors.h"
#include "support/worker_test_support.h"

namespace talvek {

namespace {

using namespace worker_test;

TransferSettings settingsOf(const std::string& commandLine) {
    TransferSettings s;
    s.load(commandLine);
    return s;
}

TEST(ReportOption, IsAKeyOfItsOwn) {
    const TransferSettings none = settingsOf("dl -f=out.xml -v=2");
    EXPECT_FALSE(none.reportRequested);

    const TransferSettings plain = settingsOf("dl -f=out.xml -report=dives.html -um");
    EXPECT_TRUE(plain.reportRequested);
    EXPECT_EQ(plain.reportFile, "dives.html");
    EXPECT_EQ(plain.outputFile, "out.xml");
    EXPECT_EQ(plain.unitsBits, 0x40000u);

    // Keys are case-insensitive, '/' and ':' work too, a quoted value keeps
    // its blanks, and dashes and slashes inside a value stay in it.
    const TransferSettings other =
        settingsOf("dl /REPORT:\"/home/me/my dives/log-2024.html\" -f=a-b/c.xml");
    EXPECT_EQ(other.reportFile, "/home/me/my dives/log-2024.html");
    EXPECT_EQ(other.outputFile, "a-b/c.xml");

    // The first occurrence wins; a value that looks like the key is a value.
    EXPECT_EQ(settingsOf("dl -report=a.html -report=b.html").reportFile, "a.html");
    EXPECT_FALSE(settingsOf("dl -f=-report.xml").reportRequested);
    EXPECT_EQ(settingsOf("dl -f=-report.xml").outputFile, "-report.xml");

    // Given without a value, a report is asked for without a name.
    const TransferSettings empty = settingsOf("dl -report -f=x.xml");
    EXPECT_TRUE(empty.reportRequested);
    EXPECT_EQ(empty.reportFile, "");
    EXPECT_EQ(empty.outputFile, "x.xml");

    // No key of the table is touched by it: the defaults stay.
    const TransferSettings defaults = settingsOf("dl");
    const TransferSettings withReport = settingsOf("dl -report=r.html");
    EXPECT_EQ(withReport.outputFile, defaults.outputFile);
    EXPECT_EQ(withReport.portName, defaults.portName);
    EXPECT_EQ(TransferSettings(withReport).composeOptions(),
              TransferSettings(defaults).composeOptions());
}

// The Options word of a run with -v=2 -um probing type 2 only.
constexpr uint32_t Options = 0x40000 | 0x4000 | 0x2000 | 0x200 | 0x02;

class ReportWorkerTest : public ::testing::Test {
  protected:
    ReportWorkerTest() : scoped_(clock_), trace_(dir_.path()) {
        computers_.type2.open = [] {};
        computers_.type2.makeOutput = [](XmlDocument& d) {
            d.setFlags(XmlDocument::Utf8);
            d.createRoot("fake")->setText("the download");
            d.build();
        };
    }

    int Run(const std::string& output, const std::string* report,
            DownloadWorker::ReportWriter writer = htmlReport) {
        DownloadWorker::Parts parts = computers_.parts();
        parts.report = writer;
        DownloadWorker worker(sink_, std::move(parts));
        Request request = requestFor("/dev/ttyS9", output, Options);
        if (report) request.report = *report;
        worker.set(std::move(request));
        worker.execute();
        return worker.returnValue();
    }

    bool traced(const std::string& start) const {
        const std::vector<std::string> m = trace_.messages();
        return std::any_of(m.begin(), m.end(),
                           [&](const std::string& s) { return s.rfind(start, 0) == 0; });
    }

    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<fake >the download</fake >";
    ScratchDir dir_;
    platform::VirtualClock clock_;
    platform::ScopedClock scoped_;
    TraceCapture trace_;
    FakeComputers computers_;
    RecordingSink sink_;
};

TEST_F(ReportWorkerTest, WrittenBesideTheOutputFromTheSameDivesAndUnits) {
    const std::string report = dir_.file("dives.html");
    UnitSystem units = UnitSystem::Imperial;
    DataFamily family = DataFamily::Family1;
    auto writer = [&](const DiveSet& dives, UnitSystem unitSystem, const DocumentStamp&) {
        units = unitSystem;
        family = dives.family;
        return std::string("<!DOCTYPE html>\n<p>report</p>\n");
    };
    EXPECT_EQ(Run(dir_.file("out.xml"), &report, writer), 0);
    EXPECT_EQ(readFile(dir_.file("out.xml")), xml);
    EXPECT_EQ(readFile(report), "<!DOCTYPE html>\n<p>report</p>\n");
    EXPECT_EQ(units, UnitSystem::Metric);
    EXPECT_EQ(family, DataFamily::Family2);
    // No temporary file is left, no status added, no pause added.
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"dives.html", "out.xml", "trace.txt"}));
    EXPECT_EQ(sink_.texts.back(), "Download Successfull");
    EXPECT_EQ(std::count(sink_.texts.begin(), sink_.texts.end(), "Can't Write Report"), 0);
    EXPECT_EQ(clock_.sleptMs(), 1100u);
    EXPECT_TRUE(traced("Report Written: " + report + " (30 bytes)"));

    // The real report, of the fake's empty dive set.
    EXPECT_EQ(Run(dir_.file("out.xml"), &report), 0);
    EXPECT_EQ(readFile(report).rfind("<!DOCTYPE html>", 0), 0u);
}

TEST_F(ReportWorkerTest, AReportThatCannotBeWrittenLeavesTheOutputAndTheCode) {
    const std::string report = dir_.file("missing/dives.html");
    EXPECT_EQ(Run(dir_.file("out.xml"), &report), 0);
    EXPECT_EQ(readFile(dir_.file("out.xml")), xml);
    EXPECT_TRUE(traced("Can't Write Report " + report + " with error :" +
                       std::to_string(syserr::MissingPath) + " ("));
    // Shown for a second before the download's own ending.
    const std::vector<std::string> tail(sink_.texts.end() - 3, sink_.texts.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Building Data File", "Can't Write Report",
                                              "Download Successfull"}));
    EXPECT_EQ(clock_.sleptMs(), 2100u);
    EXPECT_EQ(sink_.finishes, std::vector<int>{0});
}

TEST_F(ReportWorkerTest, ANameForTheOutputFileIsRefused) {
    // By the same name, and by another spelling of it.
    const std::string output = dir_.file("out.xml");
    for (const std::string& report : {output, dir_.path() + "/./out.xml"}) {
        SCOPED_TRACE(report);
        EXPECT_EQ(Run(output, &report), 0);
        EXPECT_EQ(readFile(output), xml);
        EXPECT_TRUE(traced("Report " + report + " Is The Output File"));
    }
#ifndef _WIN32
    // And through a link to it (Windows: tests/win32, sameFile).
    const std::string link = dir_.file("link.html");
    ASSERT_EQ(::symlink(output.c_str(), link.c_str()), 0);
    EXPECT_EQ(Run(output, &link), 0);
    EXPECT_EQ(readFile(output), xml);
    EXPECT_TRUE(traced("Report " + link + " Is The Output File"));
#endif
}

TEST_F(ReportWorkerTest, AFailingReportWriterOrNoNameIsTracedNotFatal) {
    const std::string report = dir_.file("dives.html");
    auto failing = [](const DiveSet&, UnitSystem, const DocumentStamp&) -> std::string {
        throw std::runtime_error("no memory left");
    };
    EXPECT_EQ(Run(dir_.file("out.xml"), &report, failing), 0);
    EXPECT_TRUE(traced("Can't Build Report: no memory left"));
    EXPECT_FALSE(fileExists(report));

    const std::string none;
    EXPECT_EQ(Run(dir_.file("out.xml"), &none), 0);
    EXPECT_TRUE(traced("No Report File Specified"));
    EXPECT_EQ(readFile(dir_.file("out.xml")), xml);
}

TEST_F(ReportWorkerTest, NoReportWhenTheOutputFileFails) {
    // The older report stays with the older output file it belongs to.
    const std::string report = dir_.file("dives.html");
    std::ofstream(report) << "older report";
    EXPECT_EQ(Run(dir_.file("missing/out.xml"), &report), 1);
    EXPECT_EQ(sink_.texts.back(), "Can't Open File");
    EXPECT_EQ(readFile(report), "older report");
}

TEST(ReportSession, TheCommandLineReachesTheWorker) {
    ScratchDir dir;
    platform::VirtualClock clock;
    platform::ScopedClock scoped(clock);
    FakeComputers computers;
    computers.type2.open = [] {};
    RecordingSink sink;
    SessionSetup setup;
    setup.interfaces = computers.table();
    setup.writer = computers.writer();
    const std::string report = dir.file("r.html");
    Session session("dl -p=/dev/ttyS9 -dv=2 -v=2 -us -f=" + dir.file("o.xml") +
                        " -report=" + report + " -cdblog=" + dir.file("trace"),
                    sink, setup);
    ASSERT_TRUE(session.start());
    session.run();
    EXPECT_EQ(session.close(), 0);
    const std::string page = readFile(report);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    trace::shutdown();
}

}  // namespace

}  // namespace talvek
