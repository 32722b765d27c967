// talvek-dl against talvek-sim --type 1 on a pseudo-terminal: the type 1
// driver is the first one probed, and a whole computer ends up in the file.
// Each layout and unit system is checked in process (worker_sim_test.cpp).
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "support/process.h"
#include "support/schema_check.h"
#include "support/scratch_dir.h"
#include "support/text_count.h"

namespace talvek {

namespace {

class Type1Download : public ::testing::Test {
  protected:
    // Serves a type 1 computer with `dives` dives, runs the downloader with
    // `options` and returns its exit status.  Seed 130 gives short dives:
    // each costs its fixed pauses and little more.
    int Run(int dives, const std::vector<std::string>& options) {
        e2e::Process sim(
            {TALVEK_SIM, "--type", "1", "--dives", std::to_string(dives), "--seed", "130"},
            e2e::Process::Options{});
        const std::string path = sim.ReadLine(20000);
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
        std::vector<std::string> argv = {TALVEK_DL, "-p=" + path, "-f=" + dir_.file("out.xml"),
                                         "-cdblog=" + dir_.file("trace")};
        argv.insert(argv.end(), options.begin(), options.end());
        e2e::Process::Options po;
        po.workingDirectory = dir_.path();
        e2e::Process dl(argv, po);
        const int status = dl.Wait(120000);
        sim.Signal(SIGTERM);
        sim.Wait(10000);
        return status;
    }
    std::string Xml() const { return ScratchDir::read(dir_.file("out.xml")); }
    std::string trace() const { return ScratchDir::read(dir_.file("trace.txt")); }

    ScratchDir dir_;
};

}  // namespace

TEST_F(Type1Download, DcdmlWithEveryTypeProbed) {
    ASSERT_EQ(Run(2, {"-v=2", "-us"}), 0) << trace();
    const std::string xml = Xml();
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(xml.find('\r'), std::string::npos);
    EXPECT_NE(xml.find("<dcdml "), std::string::npos);
    EXPECT_NE(xml.find("units=\"scientific\""), std::string::npos);
    EXPECT_EQ(occurrences(xml, "<dive "), 2);
    EXPECT_EQ(dcdmlSchemaErrors(xml), "");
    const std::string log = trace();
    EXPECT_EQ(occurrences(log, "Found Device Type1"), 1);
    EXPECT_EQ(occurrences(log, "End of Dives Found"), 1);
    EXPECT_EQ(occurrences(log, "Device Type 2"), 0);  // never probed
    EXPECT_EQ(occurrences(log, "Success: Exiting with code 0"), 1);
    EXPECT_EQ(occurrences(log, "FormClose(): Returning 0"), 1);
}

}  // namespace talvek
