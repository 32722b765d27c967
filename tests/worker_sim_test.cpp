// The download worker with the real drivers against simulated computers, in
// process behind the in-memory port, on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "worker_test_support.h"

using namespace worker_test;
using sim::InterfaceType;

namespace {

constexpr uint32_t DcdmlMetric = 0x40000 | 0x4000 | 0x2000 | 0x200;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
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
        computer_ = std::make_unique<sim::MemoryComputer>(sim::buildComputer(o).image, options);
        ports_.add(L"SIM", computer_.get());
    }

    int Run(uint32_t options, const std::wstring& port = L"SIM") {
        TDownloadWorker worker(sink_);
        worker.Set(port, Output(), 6, options);
        worker.Execute();
        EXPECT_TRUE(worker.done());
        return worker.returnValue();
    }

    std::wstring Output() const {
        std::string n = dir_.file("out.xml");
        return std::wstring(n.begin(), n.end());
    }
    std::string Written() const { return readFile(dir_.file("out.xml")); }
    bool WasWritten() const { return fileExists(dir_.file("out.xml")); }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    TraceCapture trace_;
    platform::MemoryPortRegistry ports_;
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
    ASSERT_FALSE(sink_.progress.empty());
    EXPECT_EQ(sink_.progress.front(), 0);
    EXPECT_EQ(sink_.progress.back(), 100);
    for (int p : sink_.progress) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }
    std::string xml = Written();
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(Count(xml, "<dive "), 4);
    std::string::size_type root = xml.find("<dcdml ");
    ASSERT_NE(root, std::string::npos);
    std::string rootTag = xml.substr(root, xml.find('>', root) - root);
    EXPECT_NE(rootTag.find("units=\"metric\""), std::string::npos) << rootTag;
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(Contains(m, "Found Device Type2"));
    EXPECT_TRUE(Contains(m, "Downloading Dive 5"));
    EXPECT_FALSE(Contains(m, "Downloading Dive 6"));
    EXPECT_TRUE(Contains(m, "Download Aborted"));
}

TEST_F(WorkerSimTest, Type3IsFoundAfterTheOtherTypesFail) {
    Serve(InterfaceType::Type3, 2);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 0);
    std::vector<std::string> m = trace_.messages();
    auto at = [&](const std::string& s) { return std::find(m.begin(), m.end(), s) - m.begin(); };
    ASSERT_TRUE(Contains(m, "Did Not Find Device Type 1"));
    ASSERT_TRUE(Contains(m, "Did Not Find Device Type 2"));
    ASSERT_TRUE(Contains(m, "Found Device Type 3"));
    EXPECT_LT(at("Did Not Find Device Type 1"), at("Did Not Find Device Type 2"));
    EXPECT_LT(at("Did Not Find Device Type 2"), at("Found Device Type 3"));
    EXPECT_EQ(Count(Written(), "<dive "), 2);
}

TEST_F(WorkerSimTest, Type1Download) {
    Serve(InterfaceType::Type1, 3);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 0);
    EXPECT_TRUE(Contains(trace_.messages(), "Found Device Type1"));
    EXPECT_FALSE(Contains(sink_.texts, "Searching for Device (2)"));
    EXPECT_EQ(sink_.texts.back(), "Download Successfull");
    EXPECT_EQ(Count(Written(), "<dive "), 3);
}

TEST_F(WorkerSimTest, LegacyLayoutWhenNoLayoutIsAsked) {
    Serve(InterfaceType::Type2, 1);
    EXPECT_EQ(Run(0x4000 | 0x2000 | 0x20000 | 0x02), 0);
    EXPECT_NE(Written().find("<TalvekDownload"), std::string::npos);
}

TEST_F(WorkerSimTest, SilentPortIsNoComputer) {
    ports_.add(L"SIM", nullptr);
    EXPECT_EQ(Run(DcdmlMetric | 0x0F), 17);
    EXPECT_EQ(sink_.texts.back(), "Device Not Found");
    std::vector<std::string> m = trace_.messages();
    EXPECT_TRUE(Contains(m, "Did Not Find Device Type 1"));
    EXPECT_TRUE(Contains(m, "Did Not Find Device Type 2"));
    EXPECT_TRUE(Contains(m, "Did Not Find Device Type C2V2"));
    EXPECT_FALSE(WasWritten());
}

TEST_F(WorkerSimTest, PortThatDoesNotExistEndsWith12) {
    EXPECT_EQ(Run(DcdmlMetric | 0x0E, L"/dev/talvek-no-such-port"), 12);
    EXPECT_EQ(sink_.texts.back(), "Comm Port Not Found");
    EXPECT_FALSE(Contains(sink_.texts, "Searching for Device (3)"));
}

TEST_F(WorkerSimTest, NoDivesStillWritesTheFile) {
    Serve(InterfaceType::Type2, 0);
    EXPECT_EQ(Run(DcdmlMetric | 0x02), 0);
    std::string xml = Written();
    EXPECT_NE(xml.find("<dcdml "), std::string::npos);
    EXPECT_EQ(Count(xml, "<dive "), 0);
}

TEST_F(WorkerSimTest, CancelDuringTheDivesLeavesNoFile) {
    Serve(InterfaceType::Type2, 6);
    // The window's cancel arrives while the dives are read.
    struct CancellingSink : RecordingSink {
        TDownloadWorker* worker = nullptr;
        void StatusText(const std::string& text) override {
            RecordingSink::StatusText(text);
            if (text == "Downloading Dive Profiles") worker->RequestCancel();
        }
    } sink;
    TDownloadWorker w(sink);
    sink.worker = &w;
    w.Set(L"SIM", Output(), 6, DcdmlMetric | 0x02);
    w.Execute();
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

}  // namespace
