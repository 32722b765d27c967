// A whole download from a simulated computer in process: the worker probes
// the real drivers on an in-memory port and writes the DCDML file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "session/download_worker.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/schema_check.h"
#include "support/temp_dir.h"

namespace talvek {

using replay::InterfaceType;

namespace {

class Sink : public SessionSink {
  public:
    void statusText(const std::string& text) override { last = text; }
    void progress(int) override {}
    std::string last;
};

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Repetition groups as the generator forms them: a dive numbered 1 starts a
// new group, dives before the first such dive join it.
size_t groups(const sim::MeantComputer& m) {
    size_t g = 0;
    bool open = false;
    for (const auto& d : m.dives) {
        if (d.diveNumber == 1) {
            if (open) ++g;
            open = true;
        }
    }
    return m.dives.empty() ? 0 : g + 1;
}

std::string download(const sim::BuiltComputer& b, int& result, std::string& status) {
    platform::VirtualClock clock(1000);
    platform::ScopedClock scoped(clock);
    platform::MemoryPortRegistry ports;
    sim::MemoryComputer computer(b.image);
    ports.add("SIMPORT", &computer);
    const std::string dir = makeTempDir("talvek_sim_e2e_");
    const std::string file = dir + "/out.xml";
    Sink sink;
    {
        DownloadWorker worker(sink, {.ports = &ports});
        // DCDML, metric, probing types 2 and 3.
        worker.set(
            requestFor("SIMPORT", std::string(file.begin(), file.end()), 0x40000 | 0x200 | 0x06));
        worker.execute();
        result = worker.returnValue();
    }
    status = sink.last;
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return text.str();
}

}  // namespace

TEST(SimEndToEnd, WorkerDownloadsEachTypeIntoDcdml) {
    for (auto type : {InterfaceType::Type2, InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        sim::BuildOptions o;
        o.type = type;
        o.dives = 12;
        o.seed = 21;
        const auto b = sim::buildComputer(o);
        int result = -1;
        std::string status;
        const std::string xml = download(b, result, status);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(status, "Download Successfull");
        EXPECT_EQ(count(xml, "<dive "), 12u);
        EXPECT_EQ(dcdmlSchemaErrors(xml), "");
        EXPECT_EQ(count(xml, "<repetitiongroup"), groups(b.meant));
        char serial[16];
        std::snprintf(serial, sizeof serial, "%02u%02u%02u%02u", b.meant.serial[0],
                      b.meant.serial[1], b.meant.serial[2], b.meant.serial[3]);
        EXPECT_NE(xml.find(std::string("serial=\"") + serial + "\""), std::string::npos);
        EXPECT_NE(xml.find("talvek:unknown"), std::string::npos);
        EXPECT_NE(xml.find("<gasswitch"), std::string::npos);
        EXPECT_NE(xml.find("id=\"talvek:end_deco\""), std::string::npos);
    }
}

TEST(SimEndToEnd, EmptyComputerGivesTheNoDivesComment) {
    const auto b = sim::buildComputer({InterfaceType::Type3, 1, 0});
    int result = -1;
    std::string status;
    const std::string xml = download(b, result, status);
    EXPECT_EQ(result, 0);
    EXPECT_NE(xml.find("<!--  No Dives  -->"), std::string::npos);
    EXPECT_EQ(count(xml, "<dive "), 0u);
}

}  // namespace talvek
