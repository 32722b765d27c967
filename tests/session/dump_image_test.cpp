// -dump and -image, in process: a download written as a computer image and
// downloaded again from it, without a port, must give the same document,
// for every interface family and both layouts.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "replay/computer_image.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/scratch_dir.h"
#include "support/session_run.h"
#include "support/text_count.h"

namespace talvek {

namespace {

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

class DumpImageTest : public ::testing::Test {
  protected:
    DumpImageTest() : scoped_(clock_) {}

    // Downloads `image` from an in-memory port.
    session_run::Result Online(const replay::ComputerImage& image,
                               const std::vector<std::string>& extra) {
        const std::string n = std::to_string(++runs_);
        return session_run::online(image, extra, dir_.file("out" + n + ".xml"),
                                   dir_.file("trace" + n));
    }
    // A run with the system's ports (none is opened by an -image run).
    session_run::Result Run(const std::vector<std::string>& args) {
        const std::string n = std::to_string(++runs_);
        return session_run::run(args, nullptr, dir_.file("out" + n + ".xml"),
                                dir_.file("trace" + n));
    }
    static std::string Golden(int type) { return session_run::goldenImage(type); }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    int runs_ = 0;
};

TEST_F(DumpImageTest, DumpThenImageGivesTheOnlineDocument) {
    for (int type : {1, 2, 3}) {
        for (const std::vector<std::string>& layout :
             {std::vector<std::string>{"-v=2", "-um"}, std::vector<std::string>{}}) {
            SCOPED_TRACE("type " + std::to_string(type) + (layout.empty() ? " legacy" : " DCDML"));
            const replay::ComputerImage image = replay::loadImage(Golden(type));
            const std::string dump = dir_.file("dump" + std::to_string(type) + ".img");
            std::vector<std::string> args = layout;
            args.push_back("-dump=" + dump);
            const session_run::Result online = Online(image, args);
            ASSERT_EQ(online.code, 0) << online.lastStatus();
            EXPECT_TRUE(Has(online.trace, "Dump: Wrote " + dump)) << online.trace;

            args = layout;
            args.push_back("-image=" + dump);
            const session_run::Result replayed = Run(args);
            ASSERT_EQ(replayed.code, 0) << replayed.lastStatus();
            EXPECT_EQ(replayed.document, online.document);
            EXPECT_EQ(replayed.statuses, online.statuses);

            // The dump holds what was read and nothing else.
            const replay::ComputerImage dumped = replay::loadImage(dump);
            EXPECT_EQ(dumped.type, image.type);
            EXPECT_EQ(dumped.identity, image.identity);
            EXPECT_EQ(dumped.diveStreams, image.diveStreams);
            size_t read = 0;
            for (size_t a = 0; a < image.memory.size(); ++a) {
                if (dumped.memory[a] == image.memory[a]) {
                    ++read;
                } else {
                    ASSERT_EQ(dumped.memory[a], 0xFF) << "address " << a;
                }
            }
            EXPECT_GT(read, type == 1 ? 100u : 2000u);
        }
    }
}

// The golden files pin the online documents; the image gives them too.
TEST_F(DumpImageTest, ImageOfAGoldenComputerGivesTheGoldenDocument) {
    const session_run::Result r = Run({"-v=2", "-us", "-image=" + Golden(3)});
    ASSERT_EQ(r.code, 0) << r.lastStatus();
    EXPECT_EQ(r.document, ScratchDir::read(std::string(TALVEK_SOURCE_DIR) +
                                           "/tests/golden/type3.dcdml-scientific.xml"));
    // Probing, pauses and time-outs ran on the image's own clock; only the
    // last pause, which leaves the final status readable, on the one in force.
    EXPECT_EQ(&platform::clock(), &clock_);
    EXPECT_EQ(clock_.sleptMs(), 1000u);
    EXPECT_TRUE(Has(r.trace, "Image: Replaying " + Golden(3) + " (Device Type 3)")) << r.trace;
}

// A dump of a -new run holds the stored dives too: it replays as a whole
// download of that memory.
TEST_F(DumpImageTest, DumpOfANewDivesRunReplaysAsAWholeDownload) {
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type2;
    o.dives = 10;
    o.seed = 41;
    replay::ComputerImage image = sim::buildComputer(o).image;
    const std::string store = "-store=" + dir_.file("store");
    ASSERT_EQ(Online(image, {"-v=2", "-new", store}).code, 0);
    sim::addDives(image, 2, 3);
    const std::string dump = dir_.file("new.img");
    const session_run::Result online = Online(image, {"-v=2", "-new", store, "-dump=" + dump});
    ASSERT_EQ(online.code, 0);
    ASSERT_TRUE(Has(online.trace, "10 Stored Dives Still In Memory")) << online.trace;

    const session_run::Result replayed = Run({"-v=2", "-image=" + dump});
    ASSERT_EQ(replayed.code, 0) << replayed.lastStatus();
    EXPECT_EQ(replayed.document, online.document);
    EXPECT_EQ(occurrences(replayed.document, "<dive "), 12);
}

TEST_F(DumpImageTest, UnreadableImageEndsTheRun) {
    ScratchDir::write(dir_.file("bad.img"), "TLVKSIM");
    for (const std::string& name : {dir_.file("missing.img"), dir_.file("bad.img")}) {
        const session_run::Result r = Run({"-v=2", "-image=" + name});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.lastStatus(), "Can't Open Image File");
        EXPECT_FALSE(r.written);
        EXPECT_TRUE(Has(r.trace, "Image: Can't Read " + name)) << r.trace;
        EXPECT_EQ(&platform::clock(), &clock_);
    }
}

TEST_F(DumpImageTest, DumpThatCannotBeWrittenChangesNothing) {
    const replay::ComputerImage image = replay::loadImage(Golden(2));
    const session_run::Result plain = Online(image, {"-v=2"});
    const std::string nowhere = dir_.file("no/such/folder/d.img");
    const session_run::Result r = Online(image, {"-v=2", "-dump=" + nowhere});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.statuses, plain.statuses);
    EXPECT_EQ(r.document, plain.document);
    EXPECT_TRUE(Has(r.trace, "Dump: Can't Write " + nowhere)) << r.trace;

    // A dump named like another file of the run leaves that file alone: the
    // output just written, the report, the image just replayed.
    const std::string output = dir_.file("out" + std::to_string(runs_ + 1) + ".xml");
    const session_run::Result overOutput = Online(image, {"-v=2", "-dump=" + output});
    EXPECT_EQ(overOutput.code, 0);
    EXPECT_EQ(overOutput.document, plain.document);
    EXPECT_TRUE(Has(overOutput.trace, "Dump: " + output + " Is Another File Of This Run"))
        << overOutput.trace;
    const std::string report = dir_.file("report.html");
    const session_run::Result overReport =
        Online(image, {"-v=2", "-report=" + report, "-dump=" + report});
    EXPECT_EQ(overReport.code, 0);
    EXPECT_EQ(ScratchDir::read(report).rfind("<!DOCTYPE html>", 0), 0u);
    const std::string copy = dir_.file("copy.img");
    ScratchDir::write(copy, ScratchDir::read(Golden(2)));
    const session_run::Result overImage = Run({"-v=2", "-image=" + copy, "-dump=" + copy});
    EXPECT_EQ(overImage.code, 0);
    EXPECT_EQ(ScratchDir::read(copy), ScratchDir::read(Golden(2)));

    // No computer: nothing to dump.
    const session_run::Result none =
        Run({"-p=" + dir_.file("no-port"), "-dv=2", "-dump=" + dir_.file("d.img")});
    EXPECT_NE(none.code, 0);
    EXPECT_FALSE(ScratchDir::exists(dir_.file("d.img")));
}

}  // namespace

}  // namespace talvek
