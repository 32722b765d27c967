#include "trace/trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "support/scratch_dir.h"

namespace talvek {

namespace {

platform::LocalTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
    platform::LocalTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    t.millisecond = ms;
    return t;
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", v);
    return buf;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
        out.push_back(text.substr(start, p - start));
    return out;
}

// Every test leaves the facility unconfigured and the real clock in place.
class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        trace::shutdown();
        SetTime(At(2009, 6, 5, 17, 12, 48, 7));
    }
    void TearDown() override {
        trace::shutdown();
        trace::setTimeSource({});
    }
    void SetTime(const platform::LocalTime& t) {
        {
            std::lock_guard<std::mutex> g(timeMutex_);
            time_ = t;
        }
        trace::setTimeSource([this] {
            std::lock_guard<std::mutex> g(timeMutex_);
            return time_;
        });
    }
    std::string Base() const { return dir_.file("dl"); }

    ScratchDir dir_;
    std::mutex timeMutex_;
    platform::LocalTime time_;
};

TEST_F(TraceTest, NamingModesComposeTheFileNameFromTheOpeningTime) {
    const std::string base = Base();
    trace::setFile(base.c_str(), 3);
    trace::setLevel(4);
    trace::write(2, "mode %d", 3);
    EXPECT_TRUE(ScratchDir::exists(base + "_20090605_171248.txt"));

    trace::setFile(base.c_str(), 1);
    trace::write(2, "mode 1");
    EXPECT_TRUE(ScratchDir::exists(base + "_20090605.txt"));

    trace::setFile(base.c_str(), 4);
    trace::write(2, "mode 4");
    EXPECT_TRUE(
        ScratchDir::exists(base + "_20090605_171248_" + Hex(platform::processId()) + ".txt"));

    trace::setFile(base.c_str(), 0);
    trace::write(2, "mode 0");
    trace::setFile(base.c_str(), 2);  // mode 2 and unknown modes use "%s.txt" too
    trace::write(2, "mode 2");
    trace::setFile(base.c_str(), 77);
    trace::write(2, "mode 77");
    EXPECT_EQ(ScratchDir::read(base + ".txt"),
              "17:12:48_007_" + Hex(platform::threadId()) + ":   Info:: mode 77\r\n");
    EXPECT_EQ(dir_.count(), 4u);

    // The date fields are zero-padded.
    SetTime(At(2010, 1, 2, 3, 4, 5, 6));
    trace::setFile(base.c_str(), 3);
    trace::write(1, "x");
    EXPECT_TRUE(ScratchDir::exists(base + "_20100102_030405.txt"));
}

TEST_F(TraceTest, DefaultAndEmptyBaseNames) {
    // Never configured: the base is "trace".
    EXPECT_EQ(trace::fileNameFor(At(2009, 6, 5, 1, 2, 3, 0)), "Trace.txt");
    // Empty (or null) base: the extension alone.
    trace::setFile("", 0);
    EXPECT_EQ(trace::fileNameFor(At(2009, 6, 5, 1, 2, 3, 0)), ".txt");
    trace::setFile(nullptr, 1);
    EXPECT_EQ(trace::fileNameFor(At(2009, 6, 5, 1, 2, 3, 0)), "_20090605.txt");
}

TEST_F(TraceTest, LineLayoutAndLevelNames) {
    trace::setFile(Base().c_str(), 0);
    trace::setLevel(4);
    trace::write(1, "Device_Comm::Create() Port Opened (%d)", 3);
    trace::write(2, "%s", "info");
    trace::write(3, "CommandLine = %s ", "x -v=2");
    trace::write(4, "detail");
    const std::string tid = Hex(platform::threadId());
    EXPECT_EQ(ScratchDir::read(Base() + ".txt"),
              "17:12:48_007_" + tid +
                  ":  Error:: Device_Comm::Create() Port Opened (3)\r\n"
                  "17:12:48_007_" +
                  tid +
                  ":   Info:: info\r\n"
                  "17:12:48_007_" +
                  tid +
                  ":  Debug:: CommandLine = x -v=2 \r\n"
                  "17:12:48_007_" +
                  tid + ": Detail:: detail\r\n");
}

TEST_F(TraceTest, ThresholdFiltersLevels) {
    trace::setFile(Base().c_str(), 0);
    // Threshold 0 (the unconfigured state, or a negative level): nothing, not even a file.
    trace::setLevel(-3);
    trace::write(1, "dropped");
    EXPECT_FALSE(ScratchDir::exists(Base() + ".txt"));

    trace::setLevel(2);
    trace::write(4, "four");
    trace::write(3, "three");
    trace::write(2, "two");
    trace::write(1, "one");
    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("  Info:: two"), std::string::npos);
    EXPECT_NE(lines[1].find(" Error:: one"), std::string::npos);
}

TEST_F(TraceTest, OpensLazilyOnTheFirstLineThatPasses) {
    trace::setFile(Base().c_str(), 0);
    trace::setLevel(1);
    EXPECT_FALSE(ScratchDir::exists(Base() + ".txt"));
    trace::write(2, "filtered");
    EXPECT_FALSE(ScratchDir::exists(Base() + ".txt"));
    trace::write(1, "first");
    EXPECT_TRUE(ScratchDir::exists(Base() + ".txt"));

    // SetFile closes: the next line goes to the new file, the old one keeps its lines.
    trace::setFile(dir_.file("other").c_str(), 0);
    EXPECT_FALSE(ScratchDir::exists(dir_.file("other.txt")));
    trace::write(1, "second");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + ".txt")).size(), 1u);
    EXPECT_EQ(Lines(ScratchDir::read(dir_.file("other.txt"))).size(), 1u);
}

TEST_F(TraceTest, OpeningReplacesAnExistingFile) {
    ScratchDir::write(Base() + ".txt", "old content of an earlier run\r\n");
    trace::setFile(Base().c_str(), 0);
    trace::setLevel(4);
    trace::write(2, "new");
    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("new"), std::string::npos);
}

TEST_F(TraceTest, LongMessageIsCutAt16383Characters) {
    trace::setFile(Base().c_str(), 0);
    trace::setLevel(4);
    const std::string longText(20000, 'x');
    trace::write(2, "%s", longText.c_str());
    trace::write(2, "%s", std::string(16383, 'y').c_str());
    const std::string prefix = "17:12:48_007_" + Hex(platform::threadId()) + ":   Info:: ";
    EXPECT_EQ(ScratchDir::read(Base() + ".txt"), prefix + std::string(16383, 'x') + "\r\n" +
                                                     prefix + std::string(16383, 'y') + "\r\n");
}

TEST_F(TraceTest, DateChangeOpensANewFileOnlyWhereTheNameHoldsTheDate) {
    // Mode 0: the name is the same every day, so a run that crosses
    // midnight keeps its file open: what it wrote before (the version, the
    // command line, the probes) stays.
    trace::setFile(Base().c_str(), 0);
    trace::setLevel(4);
    SetTime(At(2009, 6, 5, 23, 59, 59, 998));
    trace::write(2, "before");
    SetTime(At(2009, 6, 5, 23, 59, 59, 999));  // same day: appended
    trace::write(2, "still");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + ".txt")).size(), 2u);
    SetTime(At(2009, 6, 6, 0, 0, 0, 1));
    trace::write(2, "after");
    SetTime(At(2009, 6, 7, 0, 0, 0, 1));
    trace::write(2, "a day later");
    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("before"), std::string::npos);
    EXPECT_EQ(lines[2].substr(0, 13), "00:00:00_001_");
    EXPECT_NE(lines[3].find("a day later"), std::string::npos);

    // Mode 1: a new dated file; month and year changes count too.
    SetTime(At(2009, 6, 6, 0, 0, 0, 1));
    trace::setFile(Base().c_str(), 1);
    trace::write(2, "june");
    SetTime(At(2009, 7, 6, 0, 0, 0, 1));
    trace::write(2, "july");
    SetTime(At(2010, 7, 6, 0, 0, 0, 1));
    trace::write(2, "next year");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + "_20090606.txt")).size(), 1u);
    EXPECT_EQ(Lines(ScratchDir::read(Base() + "_20090706.txt")).size(), 1u);
    EXPECT_EQ(Lines(ScratchDir::read(Base() + "_20100706.txt")).size(), 1u);
}

TEST_F(TraceTest, MissingDirectoryWritesNothingAndRetries) {
    const std::string sub = dir_.file("missing");
    trace::setFile((sub + "/dl").c_str(), 0);
    trace::setLevel(4);
    trace::write(1, "lost");
    trace::write(1, "lost too");
    EXPECT_EQ(dir_.count(), 0u);
    // Every later line tries again.
    std::filesystem::create_directory(sub);
    trace::write(1, "kept");
    std::vector<std::string> lines = Lines(ScratchDir::read(sub + "/dl.txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("kept"), std::string::npos);
}

TEST_F(TraceTest, FileNameTooLongDropsTheLine) {
    trace::setLevel(4);
    // Longer than the 1024-byte name buffer: not created under a cut name either.
    const std::string huge = dir_.file(std::string(1100, 'a'));
    trace::setFile(huge.c_str(), 0);
    EXPECT_EQ(trace::fileNameFor(At(2009, 6, 5, 0, 0, 0, 0)), "");
    trace::write(1, "dropped");
    // Fits the buffer but not the file system's name limit.
    trace::setFile(dir_.file(std::string(300, 'b')).c_str(), 0);
    trace::write(1, "dropped");
    EXPECT_EQ(dir_.count(), 0u);
    // The facility still works afterwards.
    trace::setFile(Base().c_str(), 0);
    trace::write(1, "fine");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + ".txt")).size(), 1u);
}

#ifndef _WIN32  // links and pipes the POSIX way; tests/win32 has the Windows ones
// Someone else may plant a link, a pipe or a second name of another file at
// the trace's name (or name it with -cdblog=): the trace then writes
// nothing, and whatever the name leads to stays as it was.
TEST_F(TraceTest, PlantedLinkOrPipeAtTheNameIsNeverWrittenThrough) {
    trace::setLevel(4);
    const std::string victim = dir_.file("victim");
    ScratchDir::write(victim, "precious");

    // A symbolic link to an existing file, and one to a file not yet there.
    std::filesystem::create_symlink(victim, Base() + ".txt");
    trace::setFile(Base().c_str(), 0);
    trace::write(1, "line");
    EXPECT_EQ(ScratchDir::read(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(Base() + ".txt"));
    const std::string dangling = dir_.file("dangling");
    std::filesystem::create_symlink(dir_.file("made"), dangling + ".txt");
    trace::setFile(dangling.c_str(), 0);
    trace::write(1, "line");
    EXPECT_FALSE(ScratchDir::exists(dir_.file("made")));

    // A second name of the file (a hard link).
    const std::string hard = dir_.file("hard");
    ASSERT_EQ(link(victim.c_str(), (hard + ".txt").c_str()), 0);
    trace::setFile(hard.c_str(), 0);
    trace::write(1, "line");
    EXPECT_EQ(ScratchDir::read(victim), "precious");

    // A named pipe with someone reading it: nothing arrives there.
    const std::string pipe = dir_.file("pipe");
    ASSERT_EQ(mkfifo((pipe + ".txt").c_str(), 0600), 0);
    const int reader = ::open((pipe + ".txt").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    trace::setFile(pipe.c_str(), 0);
    trace::write(1, "line");
    char buf[64];
    EXPECT_LE(::read(reader, buf, sizeof buf), 0);
    ::close(reader);

    // A link in place of the trace's folder (talvek-dl -> another folder):
    // that folder's trace file stays as it was, and nothing is made there.
    std::filesystem::create_directory(dir_.file("elsewhere"));
    ScratchDir::write(dir_.file("elsewhere/CDBLOG.txt"), "precious");
    std::filesystem::create_directory_symlink(dir_.file("elsewhere"), dir_.file("talvek-dl"));
    trace::setFile(dir_.file("talvek-dl/CDBLOG").c_str(), 0);
    trace::write(1, "line");
    trace::setFile(dir_.file("talvek-dl/other").c_str(), 0);
    trace::write(1, "line");
    EXPECT_EQ(ScratchDir::read(dir_.file("elsewhere/CDBLOG.txt")), "precious");
    EXPECT_EQ(dir_.entries("elsewhere"), std::vector<std::string>{"CDBLOG.txt"});

    // A directory at the name is no trace file either; a plain name still is.
    std::filesystem::create_directory(dir_.file("folder.txt"));
    trace::setFile(dir_.file("folder").c_str(), 0);
    trace::write(1, "line");
    trace::setFile(dir_.file("plain").c_str(), 0);
    trace::write(1, "kept");
    EXPECT_EQ(Lines(ScratchDir::read(dir_.file("plain.txt"))).size(), 1u);
}
#endif

TEST_F(TraceTest, LinesCarryTheWritingThreadsId) {
    trace::setFile(Base().c_str(), 0);
    trace::setLevel(4);
    constexpr int PerThread = 50;
    auto writer = [](const char* who) {
        const std::string tid = Hex(platform::threadId());
        for (int i = 0; i < PerThread; ++i) trace::write(3, "%s %s %d", who, tid.c_str(), i);
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    trace::write(3, "main %s", Hex(platform::threadId()).c_str());

    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 2u * PerThread + 1);
    std::set<std::string> ids;
    for (const std::string& line : lines) {
        // "hh:mm:ss_mmm_<tid>:  Debug:: <who> <tid> <i>": both ids agree.
        size_t idStart = 13, idEnd = line.find(':', idStart);
        ASSERT_NE(idEnd, std::string::npos) << line;
        std::string prefixId = line.substr(idStart, idEnd - idStart);
        std::istringstream msg(line.substr(line.find(":: ") + 3));
        std::string who, msgId;
        msg >> who >> msgId;
        EXPECT_EQ(prefixId, msgId) << line;
        ids.insert(prefixId);
    }
    EXPECT_EQ(ids.size(), 3u);
}

}  // namespace

}  // namespace talvek
