#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "scratch_dir.h"
#include "trace/trace.h"

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
        Trace::Shutdown();
        SetTime(At(2009, 6, 5, 17, 12, 48, 7));
    }
    void TearDown() override {
        Trace::Shutdown();
        Trace::SetTimeSource({});
    }
    void SetTime(const platform::LocalTime& t) {
        {
            std::lock_guard<std::mutex> g(timeMutex_);
            time_ = t;
        }
        Trace::SetTimeSource([this] {
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
    Trace::SetFile(base.c_str(), 3);
    Trace::SetLevel(4);
    Trace::Write(2, "mode %d", 3);
    EXPECT_TRUE(ScratchDir::exists(base + "_20090605_171248.txt"));

    Trace::SetFile(base.c_str(), 1);
    Trace::Write(2, "mode 1");
    EXPECT_TRUE(ScratchDir::exists(base + "_20090605.txt"));

    Trace::SetFile(base.c_str(), 4);
    Trace::Write(2, "mode 4");
    EXPECT_TRUE(ScratchDir::exists(base + "_20090605_171248_" + Hex(platform::processId()) + ".txt"));

    Trace::SetFile(base.c_str(), 0);
    Trace::Write(2, "mode 0");
    Trace::SetFile(base.c_str(), 2);  // mode 2 and unknown modes use "%s.txt" too
    Trace::Write(2, "mode 2");
    Trace::SetFile(base.c_str(), 77);
    Trace::Write(2, "mode 77");
    EXPECT_EQ(ScratchDir::read(base + ".txt"),
              "17:12:48_007_" + Hex(platform::threadId()) + ":   Info:: mode 77\r\n");
    EXPECT_EQ(dir_.count(), 4u);

    // The date fields are zero-padded.
    SetTime(At(2010, 1, 2, 3, 4, 5, 6));
    Trace::SetFile(base.c_str(), 3);
    Trace::Write(1, "x");
    EXPECT_TRUE(ScratchDir::exists(base + "_20100102_030405.txt"));
}

TEST_F(TraceTest, DefaultAndEmptyBaseNames) {
    // Never configured: the base is "Trace".
    EXPECT_EQ(Trace::FileNameFor(At(2009, 6, 5, 1, 2, 3, 0)), "Trace.txt");
    // Empty (or null) base: the extension alone.
    Trace::SetFile("", 0);
    EXPECT_EQ(Trace::FileNameFor(At(2009, 6, 5, 1, 2, 3, 0)), ".txt");
    Trace::SetFile(nullptr, 1);
    EXPECT_EQ(Trace::FileNameFor(At(2009, 6, 5, 1, 2, 3, 0)), "_20090605.txt");
}

TEST_F(TraceTest, LineLayoutAndLevelNames) {
    Trace::SetFile(Base().c_str(), 0);
    Trace::SetLevel(4);
    Trace::Write(1, "Device_Comm::Create() Port Opened (%d)", 3);
    Trace::Write(2, "%s", "info");
    Trace::Write(3, "CommandLine = %s ", "x -v=2");
    Trace::Write(4, "detail");
    const std::string tid = Hex(platform::threadId());
    EXPECT_EQ(ScratchDir::read(Base() + ".txt"),
              "17:12:48_007_" + tid + ":  Error:: Device_Comm::Create() Port Opened (3)\r\n"
              "17:12:48_007_" + tid + ":   Info:: info\r\n"
              "17:12:48_007_" + tid + ":  Debug:: CommandLine = x -v=2 \r\n"
              "17:12:48_007_" + tid + ": Detail:: detail\r\n");
}

TEST_F(TraceTest, ThresholdFiltersLevels) {
    Trace::SetFile(Base().c_str(), 0);
    // Threshold 0 (the unconfigured state, or a negative level): nothing, not even a file.
    Trace::SetLevel(-3);
    Trace::Write(1, "dropped");
    EXPECT_FALSE(ScratchDir::exists(Base() + ".txt"));

    Trace::SetLevel(2);
    Trace::Write(4, "four");
    Trace::Write(3, "three");
    Trace::Write(2, "two");
    Trace::Write(1, "one");
    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("  Info:: two"), std::string::npos);
    EXPECT_NE(lines[1].find(" Error:: one"), std::string::npos);
}

TEST_F(TraceTest, OpensLazilyOnTheFirstLineThatPasses) {
    Trace::SetFile(Base().c_str(), 0);
    Trace::SetLevel(1);
    EXPECT_FALSE(ScratchDir::exists(Base() + ".txt"));
    Trace::Write(2, "filtered");
    EXPECT_FALSE(ScratchDir::exists(Base() + ".txt"));
    Trace::Write(1, "first");
    EXPECT_TRUE(ScratchDir::exists(Base() + ".txt"));

    // SetFile closes: the next line goes to the new file, the old one keeps its lines.
    Trace::SetFile(dir_.file("other").c_str(), 0);
    EXPECT_FALSE(ScratchDir::exists(dir_.file("other.txt")));
    Trace::Write(1, "second");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + ".txt")).size(), 1u);
    EXPECT_EQ(Lines(ScratchDir::read(dir_.file("other.txt"))).size(), 1u);
}

TEST_F(TraceTest, OpeningReplacesAnExistingFile) {
    ScratchDir::write(Base() + ".txt", "old content of an earlier run\r\n");
    Trace::SetFile(Base().c_str(), 0);
    Trace::SetLevel(4);
    Trace::Write(2, "new");
    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("new"), std::string::npos);
}

TEST_F(TraceTest, LongMessageIsCutAt16383Characters) {
    Trace::SetFile(Base().c_str(), 0);
    Trace::SetLevel(4);
    const std::string longText(20000, 'x');
    Trace::Write(2, "%s", longText.c_str());
    Trace::Write(2, "%s", std::string(16383, 'y').c_str());
    const std::string prefix = "17:12:48_007_" + Hex(platform::threadId()) + ":   Info:: ";
    EXPECT_EQ(ScratchDir::read(Base() + ".txt"), prefix + std::string(16383, 'x') + "\r\n" +
                                                     prefix + std::string(16383, 'y') + "\r\n");
}

TEST_F(TraceTest, DateChangeReopensTheFile) {
    // Mode 0: the same name, emptied; the line after midnight is the first line.
    Trace::SetFile(Base().c_str(), 0);
    Trace::SetLevel(4);
    SetTime(At(2009, 6, 5, 23, 59, 59, 998));
    Trace::Write(2, "before");
    SetTime(At(2009, 6, 5, 23, 59, 59, 999));  // same day: appended
    Trace::Write(2, "still");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + ".txt")).size(), 2u);
    SetTime(At(2009, 6, 6, 0, 0, 0, 1));
    Trace::Write(2, "after");
    std::vector<std::string> lines = Lines(ScratchDir::read(Base() + ".txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 13), "00:00:00_001_");
    EXPECT_NE(lines[0].find("after"), std::string::npos);

    // Mode 1: a new dated file; month and year changes count too.
    Trace::SetFile(Base().c_str(), 1);
    Trace::Write(2, "june");
    SetTime(At(2009, 7, 6, 0, 0, 0, 1));
    Trace::Write(2, "july");
    SetTime(At(2010, 7, 6, 0, 0, 0, 1));
    Trace::Write(2, "next year");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + "_20090606.txt")).size(), 1u);
    EXPECT_EQ(Lines(ScratchDir::read(Base() + "_20090706.txt")).size(), 1u);
    EXPECT_EQ(Lines(ScratchDir::read(Base() + "_20100706.txt")).size(), 1u);
}

TEST_F(TraceTest, MissingDirectoryWritesNothingAndRetries) {
    const std::string sub = dir_.file("missing");
    Trace::SetFile((sub + "/dl").c_str(), 0);
    Trace::SetLevel(4);
    Trace::Write(1, "lost");
    Trace::Write(1, "lost too");
    EXPECT_EQ(dir_.count(), 0u);
    // Every later line tries again.
    std::filesystem::create_directory(sub);
    Trace::Write(1, "kept");
    std::vector<std::string> lines = Lines(ScratchDir::read(sub + "/dl.txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("kept"), std::string::npos);
}

TEST_F(TraceTest, FileNameTooLongDropsTheLine) {
    Trace::SetLevel(4);
    // Longer than the 1024-byte name buffer: not created under a cut name either.
    const std::string huge = dir_.file(std::string(1100, 'a'));
    Trace::SetFile(huge.c_str(), 0);
    EXPECT_EQ(Trace::FileNameFor(At(2009, 6, 5, 0, 0, 0, 0)), "");
    Trace::Write(1, "dropped");
    // Fits the buffer but not the file system's name limit.
    Trace::SetFile(dir_.file(std::string(300, 'b')).c_str(), 0);
    Trace::Write(1, "dropped");
    EXPECT_EQ(dir_.count(), 0u);
    // The facility still works afterwards.
    Trace::SetFile(Base().c_str(), 0);
    Trace::Write(1, "fine");
    EXPECT_EQ(Lines(ScratchDir::read(Base() + ".txt")).size(), 1u);
}

TEST_F(TraceTest, LinesCarryTheWritingThreadsId) {
    Trace::SetFile(Base().c_str(), 0);
    Trace::SetLevel(4);
    constexpr int PerThread = 50;
    auto writer = [](const char* who) {
        const std::string tid = Hex(platform::threadId());
        for (int i = 0; i < PerThread; ++i) Trace::Write(3, "%s %s %d", who, tid.c_str(), i);
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    Trace::Write(3, "main %s", Hex(platform::threadId()).c_str());

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

TEST(TraceToNarrow, ConvertsToUtf8AndRejectsNull) {
    EXPECT_EQ(Trace::ToNarrow(L"COM3"), "COM3");
    EXPECT_EQ(Trace::ToNarrow(L""), "");
    EXPECT_EQ(Trace::ToNarrow(L"\u00e4\u20ac\U0001F600"),
              "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    try {
        Trace::ToNarrow(nullptr);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Trace:: Bad Parameter");
    }
    const wchar_t lone[] = {static_cast<wchar_t>(0xD800), 0};
    try {
        Trace::ToNarrow(lone);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Trace:: String Convert Error");
    }
}

}  // namespace
