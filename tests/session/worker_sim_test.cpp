// The download worker with the real drivers against simulated computers, in
// process behind the in-memory port, on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "session/transfer_settings.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/schema_check.h"
#include "support/text_count.h"
#include "support/worker_test_support.h"

namespace talvek {

using namespace worker_test;
using replay::InterfaceType;

namespace {

constexpr uint32_t DcdmlMetric = 0x40000 | 0x4000 | 0x2000 | 0x200;

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

void writeOlder(const std::string& name) {
    std::ofstream(name, std::ios::binary) << "older download";
}

class WorkerSimTest : public ::testing::Test {
  protected:
    WorkerSimTest() : scoped_(clock_), trace_(dir_.path()) {}

    // A computer of `type` with `dives` dives on the port "SIM".
    void Serve(InterfaceType type, int dives, sim::EngineOptions options = {}) {
        sim::BuildOptions o;
        o.type = type;
        o.dives = dives;
        o.seed = 5;
        built_ = sim::buildComputer(o);
        computer_ = std::make_unique<sim::MemoryComputer>(built_.image, options);
        ports_.add("SIM", computer_.get());
    }

    int Run(uint32_t options, const std::string& port = "SIM") {
        DownloadWorker worker(sink_, {.ports = &ports_});
        worker.set(requestFor(port, Output(), options));
        worker.execute();
        EXPECT_TRUE(worker.done());
        return worker.returnValue();
    }

    std::string Output() const {
        std::string n = dir_.file("out.xml");
        return std::string(n.begin(), n.end());
    }
    std::string Written() const { return readFile(dir_.file("out.xml")); }
    bool WasWritten() const { return fileExists(dir_.file("out.xml")); }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    TraceCapture trace_;
    platform::MemoryPortRegistry ports_;
    sim::BuiltComputer built_;
    std::unique_ptr<sim::MemoryComputer> computer_;
    RecordingSink sink_;
};

TEST_F(WorkerSimTest, Type2DownloadStatusSequenceAndFile) {
    Serve(InterfaceType::Type2, 4);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 0);
    // The type 1 driver gives up with its own text before type 2 answers.
    EXPECT_EQ(sink_.texts,
              (std::vector<std::string>{"Searching for Device (1)", "Comm Open Failure!",
                                        "Searching for Device (2)", "Comm Opened Successfully!",
                                        "Downloading Computer Data", "Downloading Dive Profiles",
                                        "Building Data File", "Download Successfull"}));
    ASSERT_FALSE(sink_.percents.empty());
    EXPECT_EQ(sink_.percents.front(), 0);
    EXPECT_EQ(sink_.percents.back(), 100);
    for (int p : sink_.percents) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }
    std::string xml = Written();
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(occurrences(xml, "<dive "), 4);
    std::string::size_type root = xml.find("<dcdml ");
    ASSERT_NE(root, std::string::npos);
    std::string rootTag = xml.substr(root, xml.find('>', root) - root);
    EXPECT_NE(rootTag.find("units=\"metric\""), std::string::npos) << rootTag;
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(contains(m, "Found Device Type2"));
    EXPECT_TRUE(contains(m, "Downloading Dive 5"));
    EXPECT_FALSE(contains(m, "Downloading Dive 6"));
    EXPECT_TRUE(contains(m, "Download Aborted"));
}

TEST_F(WorkerSimTest, Type3IsFoundAfterTheOtherTypesFail) {
    Serve(InterfaceType::Type3, 2);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 0);
    std::vector<std::string> m = trace_.messages();
    auto at = [&](const std::string& s) { return std::find(m.begin(), m.end(), s) - m.begin(); };
    ASSERT_TRUE(contains(m, "Did Not Find Device Type 1"));
    ASSERT_TRUE(contains(m, "Did Not Find Device Type 2"));
    ASSERT_TRUE(contains(m, "Found Device Type 3"));
    EXPECT_LT(at("Did Not Find Device Type 1"), at("Did Not Find Device Type 2"));
    EXPECT_LT(at("Did Not Find Device Type 2"), at("Found Device Type 3"));
    EXPECT_EQ(occurrences(Written(), "<dive "), 2);
}

TEST_F(WorkerSimTest, Type1Download) {
    Serve(InterfaceType::Type1, 3);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 0);
    EXPECT_TRUE(contains(trace_.messages(), "Found Device Type1"));
    EXPECT_FALSE(contains(sink_.texts, "Searching for Device (2)"));
    EXPECT_EQ(sink_.texts.back(), "Download Successfull");
    EXPECT_EQ(occurrences(Written(), "<dive "), 3);
}

TEST_F(WorkerSimTest, LegacyLayoutWhenNoLayoutIsAsked) {
    Serve(InterfaceType::Type2, 1);
    EXPECT_EQ(Run(0x4000 | 0x2000 | 0x20000 | 0x02), 0);
    EXPECT_NE(Written().find("<TalvekDownload"), std::string::npos);
}

TEST_F(WorkerSimTest, SilentPortIsNoComputer) {
    ports_.add("SIM", nullptr);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 17);
    EXPECT_EQ(sink_.texts.back(), "Device Not Found");
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(contains(m, "Did Not Find Device Type 1"));
    EXPECT_TRUE(contains(m, "Did Not Find Device Type 2"));
    EXPECT_TRUE(contains(m, "Did Not Find Device Type C2V2"));
    EXPECT_FALSE(WasWritten());
}

TEST_F(WorkerSimTest, PortThatDoesNotExistEndsWith12) {
    EXPECT_EQ(Run(DcdmlMetric | 0x0E, "/dev/talvek-no-such-port"), 12);
    EXPECT_EQ(sink_.texts.back(), "Comm Port Not Found");
    EXPECT_FALSE(contains(sink_.texts, "Searching for Device (3)"));
}

TEST_F(WorkerSimTest, NoDivesStillWritesTheFile) {
    Serve(InterfaceType::Type2, 0);
    EXPECT_EQ(Run(DcdmlMetric | 0x02), 0);
    std::string xml = Written();
    EXPECT_NE(xml.find("<dcdml "), std::string::npos);
    EXPECT_EQ(occurrences(xml, "<dive "), 0);
}

TEST_F(WorkerSimTest, CancelDuringTheDivesLeavesNoFile) {
    Serve(InterfaceType::Type2, 6);
    // The window's cancel arrives while the dives are read.
    struct CancellingSink : RecordingSink {
        DownloadWorker* worker = nullptr;
        void statusText(const std::string& text) override {
            RecordingSink::statusText(text);
            if (text == "Downloading Dive Profiles") worker->requestCancel();
        }
    } sink;
    DownloadWorker w(sink, {.ports = &ports_});
    sink.worker = &w;
    w.set(requestFor("SIM", Output(), DcdmlMetric | 0x02));
    w.execute();
    EXPECT_EQ(w.returnValue(), 9999);
    EXPECT_EQ(sink.texts.back(), "Canceled");
    EXPECT_FALSE(WasWritten());
}

TEST_F(WorkerSimTest, ComputerFallingSilentInTheHeaderOrTheDives) {
    // Detection takes two replies (identity, memory map); the header needs more.
    sim::EngineOptions header;
    header.faults.stopAfterReplies = 3;
    Serve(InterfaceType::Type2, 3, header);
    EXPECT_EQ(Run(DcdmlMetric | 0x02), 18);
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(std::any_of(m.begin(), m.end(), [](const std::string& s) {
        return s.rfind("Download Device: ", 0) == 0;
    }));
    EXPECT_FALSE(WasWritten());
}

TEST_F(WorkerSimTest, HangUpDuringTheDivesEndsWithADeviceError) {
    sim::EngineOptions dives;
    dives.faults.stopAfterReplies = 40;
    Serve(InterfaceType::Type2, 30, dives);
    int code = Run(DcdmlMetric | 0x02);
    EXPECT_EQ(code, 18);
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(std::any_of(m.begin(), m.end(), [](const std::string& s) {
        return s.rfind("Download Dive: ", 0) == 0 && s.find("with code 18") != std::string::npos;
    }));
    EXPECT_FALSE(WasWritten());
}

// A floating line or a break condition reads as a stream of zero bytes, and
// zeros pass the XOR checksum: whatever the host sends, this line answers
// with zeros, one a millisecond.
class ZeroLine : public platform::MemoryPeer {
  public:
    void onHostBytes(platform::MemoryLine& line, const uint8_t*, size_t, uint64_t atMs) override {
        const std::vector<uint8_t> zero(1, 0);
        for (uint64_t i = 0; i < 400; ++i) line.send(zero, atMs + i);
    }
};

TEST_F(WorkerSimTest, LineReadingOnlyZerosIsNoComputer) {
    ZeroLine zeros;
    ports_.add("SIM", &zeros);
    for (uint32_t mask : {0x0Fu, 0x01u, 0x02u, 0x04u}) {
        SCOPED_TRACE(mask);
        writeOlder(Output());
        sink_ = RecordingSink();
        EXPECT_EQ(Run(DcdmlMetric | mask), 17);
        EXPECT_EQ(sink_.texts.back(), "Device Not Found");
        EXPECT_EQ(readFile(Output()), "older download");
    }
    const std::vector<std::string> m = trace_.messages();
    for (const char* found : {"Found Device Type1", "Found Device Type2", "Found Device Type 3"})
        EXPECT_FALSE(contains(m, found)) << found;
}

// A computer that answers too slowly or with noise is no computer, on
// every type, and the run ends by itself (the time is virtual here; the
// end-to-end runs show garbage and floods on a real line).
TEST_F(WorkerSimTest, TrickledOrGarbledRepliesAreNoComputer) {
    struct Case {
        InterfaceType type;
        uint32_t mask;
        bool garbage;
    };
    for (const Case& c : {Case{InterfaceType::Type1, 0x01, false},
                          Case{InterfaceType::Type2, 0x02, false},
                          Case{InterfaceType::Type3, 0x04, false},
                          Case{InterfaceType::Type1, 0x01, true}}) {
        SCOPED_TRACE(static_cast<int>(c.type) * 10 + c.garbage);
        sim::EngineOptions options;
        if (c.garbage)
            options.faults.garbage = true;
        else
            options.faults.trickle = 1000;  // one byte a second
        Serve(c.type, 2, options);
        writeOlder(Output());
        sink_ = RecordingSink();
        EXPECT_EQ(Run(DcdmlMetric | c.mask), 17);
        EXPECT_EQ(sink_.texts.back(), "Device Not Found");
        EXPECT_EQ(readFile(Output()), "older download");
    }
}

// The crafted memory whose 2,000 overlapping "dives" once gave a 697 MB
// file: refused as a damaged memory after the header's first page.
TEST_F(WorkerSimTest, OverlappingDivesAreADamagedMemory) {
    for (InterfaceType type : {InterfaceType::Type2, InterfaceType::Type3}) {
        sim::BuildOptions o;
        o.type = type;
        o.overlappingDives = 2000;
        computer_ = std::make_unique<sim::MemoryComputer>(sim::buildComputer(o).image);
        ports_.add("SIM", computer_.get());
        writeOlder(Output());
        sink_ = RecordingSink();
        EXPECT_EQ(Run(DcdmlMetric | (type == InterfaceType::Type2 ? 0x02 : 0x04)), 3);
        EXPECT_EQ(sink_.texts.back(), "Bad Format Returned");
        EXPECT_EQ(readFile(Output()), "older download");
        // Identity, memory map and header reads, then one or two pages.
        EXPECT_LT(computer_->engine().repliesSent(), 20u);
    }
    const std::vector<std::string> m = trace_.messages();
    EXPECT_EQ(std::count_if(m.begin(), m.end(),
                            [](const std::string& s) {
                                return s.rfind("DownLoadControl:: Dives Claim More Than The Ring "
                                               "Holds @ &0x1000 (",
                                               0) == 0;
                            }),
              2);
}

// A device that hangs up (cable pulled, adapter unplugged) is a port that is
// no longer open, whatever the interface type and wherever the line was.
struct HangUpCase {
    InterfaceType type;
    int64_t afterBytes;  // what the computer sends before it goes
    bool detected;       // whether that is enough to find it
};

void PrintTo(const HangUpCase& c, std::ostream* os) {
    *os << "type " << static_cast<int>(c.type) << " after " << c.afterBytes << " bytes";
}

class HangUpTest : public WorkerSimTest, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUpTest, EndsWithCommPortNotOpenAndTheSystemsReason) {
    const HangUpCase c = GetParam();
    sim::EngineOptions options;
    options.faults.hangUpAfterBytes = c.afterBytes;
    Serve(c.type, 3, options);
    writeOlder(Output());
    const uint32_t mask = c.type == InterfaceType::Type1   ? 0x01
                          : c.type == InterfaceType::Type2 ? 0x02
                                                           : 0x04;
    EXPECT_EQ(Run(DcdmlMetric | mask), 21);
    EXPECT_EQ(sink_.texts.back(), "Comm Port Not Open");
    EXPECT_EQ(readFile(Output()), "older download");
    const std::vector<std::string> m = trace_.messages();
    EXPECT_EQ(std::any_of(m.begin(), m.end(),
                          [](const std::string& s) { return s.rfind("Found Device Type", 0) == 0; }),
              c.detected);
    // The trace says why, in the system's words.
    EXPECT_TRUE(std::any_of(m.begin(), m.end(), [](const std::string& s) {
        return s.find("Comm Port Not Open") != std::string::npos &&
               s.find("Input/output error") != std::string::npos;
    })) << ::testing::PrintToString(m);
}

INSTANTIATE_TEST_SUITE_P(
    worker, HangUpTest,
    ::testing::Values(HangUpCase{InterfaceType::Type1, 20, false},
                      HangUpCase{InterfaceType::Type1, 150, true},
                      HangUpCase{InterfaceType::Type2, 5, false},
                      HangUpCase{InterfaceType::Type2, 600, true},
                      HangUpCase{InterfaceType::Type3, 3, false},
                      HangUpCase{InterfaceType::Type3, 500, true}),
    [](const ::testing::TestParamInfo<HangUpCase>& info) {
        return "Type" + std::to_string(static_cast<int>(info.param.type)) + "After" +
               std::to_string(info.param.afterBytes) + "Bytes";
    });

// Each type in each layout and unit system, asked for with the options of
// the command line and composed into the options word as the program does:
// the whole computer ends up in the file, in the layout and units asked for.
struct LayoutCase {
    InterfaceType type;
    const char* layout;  // "-v=2" (DCDML), "-v=1" (legacy) or "-uddf"
    const char* units;   // "-um", "-ui", "-us"
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << "type " << static_cast<int>(c.type) << " " << c.layout << " " << c.units;
}

class EveryTypeLayoutAndUnits : public WorkerSimTest,
                                public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(EveryTypeLayoutAndUnits, WritesTheWholeComputer) {
    const LayoutCase c = GetParam();
    const int dives = 3;
    Serve(c.type, dives);
    const int type = static_cast<int>(c.type);
    TransferSettings settings;
    settings.load(std::string("talvek-dl -p=SIM ") + c.layout + " " + c.units +
                  " -dv=" + std::to_string(type));
    ASSERT_EQ(Run(settings.composeOptions()), 0);
    EXPECT_EQ(sink_.texts.back(), "Download Successfull");

    const std::string xml = Written();
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(xml.find('\r'), std::string::npos);
    if (std::string(c.layout) == "-v=2") {
        const std::string::size_type root = xml.find("<dcdml ");
        ASSERT_NE(root, std::string::npos) << xml.substr(0, 400);
        const std::string rootTag = xml.substr(root, xml.find('>', root) - root);
        const char* units = c.units == std::string("-um")   ? "units=\"metric\""
                            : c.units == std::string("-us") ? "units=\"scientific\""
                                                            : "units=\"imperial\"";
        EXPECT_NE(rootTag.find(units), std::string::npos) << rootTag;
        EXPECT_EQ(occurrences(xml, "<dive "), dives);
        EXPECT_EQ(occurrences(xml, "<TalvekDownload"), 0);
        EXPECT_EQ(dcdmlSchemaErrors(xml), "");
    } else if (std::string(c.layout) == "-uddf") {
        EXPECT_NE(xml.find("<uddf xmlns="), std::string::npos) << xml.substr(0, 400);
        EXPECT_EQ(occurrences(xml, "<dive id="), dives);
        EXPECT_EQ(uddfSchemaErrors(xml), "");
    } else {
        EXPECT_NE(xml.find("<TalvekDownload >"), std::string::npos) << xml.substr(0, 400);
        EXPECT_EQ(occurrences(xml, "<DiveData >"), dives);
        EXPECT_EQ(occurrences(xml, "<dcdml"), 0);
        if (c.type == InterfaceType::Type1) {
            EXPECT_NE(xml.find("<TotalDives >" + std::to_string(built_.meant.totalDives) +
                               "</TotalDives >"),
                      std::string::npos);
        }
    }
    const std::vector<std::string> m = trace_.messages();
    EXPECT_EQ(std::count(m.begin(), m.end(), "Success: Exiting with code 0"), 1);
}

INSTANTIATE_TEST_SUITE_P(worker, EveryTypeLayoutAndUnits,
                         ::testing::Values(LayoutCase{InterfaceType::Type1, "-v=2", "-um"},
                                           LayoutCase{InterfaceType::Type1, "-v=2", "-ui"},
                                           LayoutCase{InterfaceType::Type1, "-v=2", "-us"},
                                           LayoutCase{InterfaceType::Type1, "-v=1", "-um"},
                                           LayoutCase{InterfaceType::Type2, "-v=2", "-um"},
                                           LayoutCase{InterfaceType::Type2, "-v=2", "-ui"},
                                           LayoutCase{InterfaceType::Type2, "-v=2", "-us"},
                                           LayoutCase{InterfaceType::Type2, "-v=1", "-um"},
                                           LayoutCase{InterfaceType::Type3, "-v=2", "-um"},
                                           LayoutCase{InterfaceType::Type3, "-v=2", "-ui"},
                                           LayoutCase{InterfaceType::Type3, "-v=2", "-us"},
                                           LayoutCase{InterfaceType::Type3, "-v=1", "-ui"},
                                           LayoutCase{InterfaceType::Type1, "-uddf", "-ui"},
                                           LayoutCase{InterfaceType::Type2, "-uddf", "-us"},
                                           LayoutCase{InterfaceType::Type3, "-uddf", "-um"}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return "Type" + std::to_string(static_cast<int>(info.param.type)) +
                                    (info.param.layout[1] == 'u'   ? "Uddf"
                                     : info.param.layout[3] == '2' ? "Dcdml"
                                                                   : "Legacy") +
                                    (info.param.units + 1);
                         });

}  // namespace

}  // namespace talvek
