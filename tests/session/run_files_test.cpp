// The files of one run, as a hostile user plants them: outputs named like a
// device, a FIFO or the image being replayed; an image or a dive store that
// is no plain file or larger than any valid one; a type 1 computer that
// streams more than its memory holds; and what of an existing dump survives
// a run that does not succeed.  All in process, on the virtual clock.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/clock.h"
#include "replay/computer_image.h"
#include "support/scratch_dir.h"
#include "support/session_run.h"
#include "support/node_kinds.h"

namespace talvek {

namespace {

using special_files::Kind;

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

class RunFilesTest : public ::testing::Test {
  protected:
    RunFilesTest() : scoped_(clock_) {}

    session_run::Result Run(const std::vector<std::string>& args,
                            platform::SerialOpener* ports = nullptr,
                            const std::string& cancelAt = std::string(),
                            const std::string& output = std::string()) {
        return session_run::run(args, ports, output.empty() ? Output() : output, dir_.file("trace"),
                                cancelAt);
    }
    session_run::Result Online(const replay::ComputerImage& image,
                               const std::vector<std::string>& args) {
        return session_run::online(image, args, Output(), dir_.file("trace"));
    }
    std::string Output() const { return dir_.file("out.xml"); }
    static std::string Golden(int type) { return session_run::goldenImage(type); }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
};

// Each output option given a special file: -f is refused before the port
// is opened ("Can't Open File", 1); the report and the dump are traced and
// left out, the download succeeding; the null device is written into.  The
// replayed image is never written over by any output.
TEST_F(RunFilesTest, OutputsNeverReplaceSpecialFilesOrTheReplayedImage) {
    struct Row {
        const char* option;
        Kind kind;
        int code;
        const char* traced;
    };
    const Row rows[] = {
        {"-f=", Kind::Fifo, 1, "Output %s Is A Device, A Pipe Or A Socket: Never Written"},
        {"-report=", Kind::Fifo, 0, "Report %s Is A Device, A Pipe Or A Socket: Never Written"},
        {"-dump=", Kind::Fifo, 0, "Dump: %s Is A Device, A Pipe Or A Socket: Never Written"},
        {"-dump=", Kind::Socket, 0, "Dump: %s Is A Device, A Pipe Or A Socket: Never Written"},
        {"-f=", Kind::ZeroNode, 1, "Output %s Is A Device, A Pipe Or A Socket: Never Written"},
        {"-report=", Kind::ZeroNode, 0, "Report %s Is A Device, A Pipe Or A Socket: Never Written"},
        {"-f=", Kind::NullNode, 0, "Output %s Is The Null Device: Written Straight Into It"},
        {"-report=", Kind::NullNode, 0, "Report %s Is The Null Device: Written Straight Into It"},
        {"-dump=", Kind::NullNode, 0, "Dump: %s Is The Null Device: Written Straight Into It"},
    };
    int skipped = 0;
    for (const Row& row : rows) {
        const std::string what = std::string(row.option) + special_files::nameOf(row.kind);
        SCOPED_TRACE(what);
        if (!special_files::canMake(row.kind)) {
            ++skipped;
            continue;
        }
        const std::string node = dir_.file("node");
        std::remove(node.c_str());
        ASSERT_TRUE(special_files::make(row.kind, node));
        // -f names the node itself; otherwise the output is a plain file.
        const bool output = std::string(row.option) == "-f=";
        std::vector<std::string> args = {"-v=2", "-image=" + Golden(2)};
        if (!output) args.push_back(row.option + node);
        const session_run::Result r = Run(args, nullptr, std::string(), output ? node : "");
        EXPECT_EQ(r.code, row.code) << r.lastStatus();
        EXPECT_TRUE(special_files::still(row.kind, node));
        std::string line = row.traced;
        line.replace(line.find("%s"), 2, node);
        EXPECT_TRUE(Has(r.trace, line)) << r.trace;
        if (row.code != 0) {
            EXPECT_EQ(r.lastStatus(), "Can't Open File");
            EXPECT_FALSE(Has(r.trace, "Image: Replaying")) << "found after the image was opened";
        }
    }
    if (skipped > 0) std::printf("[  SKIPPED ] %d device-node rows: mknod needs root\n", skipped);

    const std::string image = dir_.file("copy.img");
    ScratchDir::write(image, ScratchDir::read(Golden(2)));
    const session_run::Result overImage =
        Run({"-v=2", "-image=" + image}, nullptr, std::string(), image);
    EXPECT_EQ(overImage.code, 1);
    EXPECT_EQ(overImage.lastStatus(), "Can't Open File");
    EXPECT_TRUE(Has(overImage.trace, "Output " + image + " Is Another File Of This Run"));
    const session_run::Result reportOverImage =
        Run({"-v=2", "-image=" + image, "-report=" + image});
    EXPECT_EQ(reportOverImage.code, 0);
    EXPECT_TRUE(Has(reportOverImage.trace, "Report " + image + " Is Another File Of This Run"));
    EXPECT_EQ(ScratchDir::read(image), ScratchDir::read(Golden(2)));
}

// What the run reads: an image or a store that is no plain file, or larger
// than the format allows, is never read (nor waited for).  An image is then
// "not a simulator image" (1); a store is a doubt, and the run downloads
// everything.
TEST_F(RunFilesTest, ImagesAndStoresAreReadOnlyAsPlainFilesWithinTheirBound) {
    struct Plant {
        const char* what;
        std::function<bool(const std::string& name)> make;
        const char* storeWhy;
    };
    const Plant plants[] = {
        {"a FIFO", [](const std::string& n) { return special_files::make(Kind::Fifo, n); },
         "not a plain file"},
        {"a link to /dev/zero",
         [](const std::string& n) { return symlink("/dev/zero", n.c_str()) == 0; },
         "not a plain file"},
        {"200 MB of garbage",
         [](const std::string& n) {
             ScratchDir::write(n, "TLVKSTOR garbage");
             return truncate(n.c_str(), 200 << 20) == 0;
         },
         "larger than any dive store"},
    };
    // The store of the golden computer, and its full download.
    const std::string store = dir_.file("store");
    const session_run::Result full = Run({"-v=2", "-image=" + Golden(2), "-store=" + store});
    ASSERT_EQ(full.code, 0);
    ASSERT_EQ(dir_.entries("store").size(), 1u);
    const std::string storeFile = store + "/" + dir_.entries("store")[0];
    for (const Plant& p : plants) {
        SCOPED_TRACE(p.what);
        const std::string image = dir_.file("planted.img");
        std::remove(image.c_str());
        ASSERT_TRUE(p.make(image));
        const session_run::Result fromImage = Run({"-v=2", "-image=" + image});
        EXPECT_EQ(fromImage.code, 1);
        EXPECT_EQ(fromImage.lastStatus(), "Can't Open Image File");
        EXPECT_TRUE(Has(fromImage.trace,
                        "Image: Can't Read " + image + ": image file: not a simulator image"))
            << fromImage.trace;

        std::remove(storeFile.c_str());
        ASSERT_TRUE(p.make(storeFile));
        const session_run::Result fromStore =
            Run({"-v=2", "-image=" + Golden(2), "-new", "-store=" + store});
        EXPECT_EQ(fromStore.code, 0);
        EXPECT_EQ(fromStore.document, full.document);
        EXPECT_TRUE(
            Has(fromStore.trace, "NewDives: Full Download (" + storeFile + ": " + p.storeWhy + ")"))
            << fromStore.trace;
    }
}

// A type 1 computer's dives come from its 8 KB memory: streams beyond that
// are a damaged computer, found as soon as the total passes the bound.  The
// image reader refuses such an image; from a line the run ends with "Bad
// Dive Format" (3), the old file kept.  A dump of that failed run is
// written where none was (for a report) and never replaces an existing one.
TEST_F(RunFilesTest, Type1StreamsBeyondTheMemoryAreADamagedComputer) {
    replay::ComputerImage image = replay::loadImage(Golden(1));
    ASSERT_FALSE(image.diveStreams.empty());
    size_t total = 0;
    for (const auto& s : image.diveStreams) total += s.size();
    const size_t kept = image.diveStreams.size();
    for (size_t i = 0; total <= replay::Type1StreamsTotal; ++i) {
        image.diveStreams.push_back(image.diveStreams[i % kept]);
        total += image.diveStreams.back().size();
    }
    const std::string file = dir_.file("big.img");
    const std::vector<uint8_t> bytes = replay::encodeImage(image);
    ScratchDir::write(file, std::string(bytes.begin(), bytes.end()));
    EXPECT_THROW(replay::loadImage(file), std::runtime_error);

    ScratchDir::write(Output(), "old");
    const std::string dump = dir_.file("d.img");
    const session_run::Result fresh = Online(image, {"-v=2", "-dump=" + dump});
    EXPECT_EQ(fresh.code, 3);
    EXPECT_EQ(fresh.lastStatus(), "Bad Dive Format");
    EXPECT_EQ(ScratchDir::read(Output()), "old");
    EXPECT_TRUE(Has(fresh.trace, "GetDiveData():: Dives Stream More Than The Memory Holds"))
        << fresh.trace;
    // What was read before the damage replays as far as it goes.
    const replay::ComputerImage dumped = replay::loadImage(dump);
    size_t dumpedBytes = 0;
    for (const auto& s : dumped.diveStreams) dumpedBytes += s.size();
    EXPECT_LE(dumpedBytes, replay::Type1StreamsTotal);

    ScratchDir::write(dump, "a good dump");
    const session_run::Result again = Online(image, {"-v=2", "-dump=" + dump});
    EXPECT_EQ(again.code, 3);
    EXPECT_EQ(ScratchDir::read(dump), "a good dump");
    EXPECT_TRUE(Has(again.trace, "Dump: " + dump + " Kept (The Run Did Not Succeed)"));
}

// A run cancelled before it read a computer's header has nothing to dump:
// an existing dump stays as it was, and none is made.
TEST_F(RunFilesTest, CancelBeforeTheHeaderWritesNoDump) {
    const std::string dump = dir_.file("d.img");
    ScratchDir::write(dump, "a good dump");
    const session_run::Result r =
        Run({"-v=2", "-image=" + Golden(2), "-dump=" + dump}, nullptr, "Searching for Device (1)");
    EXPECT_EQ(r.code, 9999);
    EXPECT_EQ(ScratchDir::read(dump), "a good dump");
    EXPECT_TRUE(Has(r.trace, "Dump: No Header Read, Nothing Written")) << r.trace;
    std::remove(dump.c_str());
    const session_run::Result none =
        Run({"-v=2", "-image=" + Golden(2), "-dump=" + dump}, nullptr, "Searching for Device (1)");
    EXPECT_EQ(none.code, 9999);
    EXPECT_FALSE(ScratchDir::exists(dump));
}

}  // namespace

}  // namespace talvek

#endif
