// Whole-file replacement: exact bytes, no partial file under the name, an
// older file surviving every failure, no temporary left behind.
#include "platform/file_replace.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <csignal>

#include "support/worker_test_support.h"

namespace talvek {

using worker_test::readFile;
using worker_test::ScratchDir;

TEST(FileReplace, WritesExactBytesAndReplacesAnOlderFile) {
    ScratchDir dir;
    std::string name = dir.file("out.xml");
    const std::string first("line\nwith \0 byte\r\n", 18);
    ASSERT_TRUE(platform::replaceFile(name, first.data(), first.size()).ok());
    EXPECT_EQ(readFile(name), first);

    ASSERT_TRUE(platform::replaceFile(name, "b", 1).ok());
    EXPECT_EQ(readFile(name), "b");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.xml"}));

    // An empty document is an empty file, not a missing one.
    ASSERT_TRUE(platform::replaceFile(name, "", 0).ok());
    EXPECT_TRUE(platform::pathExists(name));
    EXPECT_EQ(readFile(name), "");
}

// Modes, errno numbers and the file size limit are POSIX; the Windows
// side has its own cases (tests/win32/).
#ifndef _WIN32
TEST(FileReplace, NewFileModeFollowsTheUmask) {
    ScratchDir dir;
    mode_t old = umask(027);
    platform::ReplaceResult r = platform::replaceFile(dir.file("m"), "x", 1);
    umask(old);
    ASSERT_TRUE(r.ok());
    struct stat st {};
    ASSERT_EQ(stat(dir.file("m").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(FileReplace, FailuresNameTheirStageAndError) {
    ScratchDir dir;
    platform::ReplaceResult r = platform::replaceFile(dir.file("no/such/dir.xml"), "x", 1);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Create);
    EXPECT_EQ(r.error, ENOENT);

    ASSERT_EQ(mkdir(dir.file("taken").c_str(), 0755), 0);
    r = platform::replaceFile(dir.file("taken"), "x", 1);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Rename);
    EXPECT_EQ(r.error, EISDIR);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"taken"}));

    r = platform::replaceFile("", "x", 1);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Create);
}

TEST(FileReplace, FullDiskKeepsTheOlderFileAndLeavesNoTemporary) {
    ScratchDir dir;
    std::string name = dir.file("out.xml");
    ASSERT_TRUE(platform::replaceFile(name, "old", 3).ok());

    std::string big(10000, 'x');
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 4096;  // the file may grow to 4096 bytes, then the "disk" is full
    setrlimit(RLIMIT_FSIZE, &small);
    platform::ReplaceResult r = platform::replaceFile(name, big.data(), big.size());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(r.stage, platform::ReplaceStage::Write);
    EXPECT_EQ(r.error, EFBIG);
    EXPECT_EQ(readFile(name), "old");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.xml"}));
}

#endif

}  // namespace talvek
