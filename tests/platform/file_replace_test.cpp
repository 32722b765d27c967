// Whole-file replacement: exact bytes, no partial file under the name, an
// older file surviving every failure, no temporary left behind.
#include "platform/file_replace.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

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

// Replacing a file keeps what its owner chose for it: the permission bits
// and, where the system allows it, the group.
TEST(FileReplace, ReplacingKeepsTheOldFilesModeAndGroup) {
    ScratchDir dir;
    const std::string name = dir.file("private.xml");
    ASSERT_TRUE(platform::replaceFile(name, "old", 3).ok());
    ASSERT_EQ(chmod(name.c_str(), 0600), 0);
    const bool root = geteuid() == 0;
    const gid_t group = 1;  // a group the superuser may give the file
    if (root) {
        ASSERT_EQ(chown(name.c_str(), static_cast<uid_t>(-1), group), 0);
    }

    ASSERT_TRUE(platform::replaceFile(name, "new", 3).ok());
    struct stat st {};
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_gid, group);
    }
    EXPECT_EQ(readFile(name), "new");

    ASSERT_EQ(chmod(name.c_str(), 0664), 0);
    ASSERT_TRUE(platform::replaceFile(name, "newer", 5).ok());
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
}

// The temporary file's name does not grow with the output's: a name of 250
// bytes (the system allows 255) can be written.
TEST(FileReplace, LongestNamesCanBeWritten) {
    ScratchDir dir;
    const std::string name = dir.file(std::string(246, 'n') + ".xml");
    platform::ReplaceResult r = platform::replaceFile(name, "x", 1);
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(readFile(name), "x");
    EXPECT_EQ(dir.entries().size(), 1u);
}

namespace {

// Replaces `name` (in `dir`, which holds only it) in a child process that
// is killed (SIGKILL: nothing of it runs any more) as soon as its temporary
// file is there.  Returns the name of the temporary it left, or "" when it
// could not be caught at it.
std::string leftByAKilledRun(const ScratchDir& dir, const std::string& name) {
    const std::string big(64 << 20, 'x');
    const pid_t child = fork();
    if (child < 0) return "";
    if (child == 0) {
        platform::replaceFile(name, big.data(), big.size());
        _exit(0);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (dir.entries().size() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const std::vector<std::string> entries = dir.entries();
    if (!WIFSIGNALED(status) || entries.size() != 2) return "";
    return entries[0] == "out.xml" ? entries[1] : entries[0];
}

}  // namespace

// A run killed while it writes leaves its temporary file; the next run that
// writes the same name removes it.
TEST(FileReplace, TemporaryLeftByAKilledRunIsRemovedByTheNextRun) {
    ScratchDir dir;
    const std::string name = dir.file("out.xml");
    ASSERT_TRUE(platform::replaceFile(name, "old", 3).ok());
    ASSERT_NE(leftByAKilledRun(dir, name), "");
    EXPECT_EQ(readFile(name), "old");

    ASSERT_TRUE(platform::replaceFile(name, "next", 4).ok());
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.xml"}));
    EXPECT_EQ(readFile(name), "next");
}

// What the clean-up may take is only ever a left temporary of the same
// output name: never one a running program holds, never another user's file,
// nothing that is not a plain file, nothing of another name.
TEST(FileReplace, CleanUpLeavesEverythingElseAlone) {
    ScratchDir dir;
    const std::string name = dir.file("out.xml");
    ASSERT_TRUE(platform::replaceFile(name, "old", 3).ok());
    // A killed run's leftover shows the temporaries' name pattern.
    const std::string left = leftByAKilledRun(dir, name);
    ASSERT_EQ(left.size(), 21u) << left;
    EXPECT_EQ(left.rfind(".tlvk-", 0), 0u) << left;
    ASSERT_EQ(std::rename(dir.file(left).c_str(), dir.file("saved").c_str()), 0);

    // Names of the pattern that are not ours to take.
    const std::string stem = left.substr(0, 15);
    auto plain = [&](const std::string& n) {
        std::ofstream(dir.file(n)) << n;
        return n;
    };
    const std::string held = plain(stem + "Held00");
    const int holder = ::open(dir.file(held).c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);  // a run still writing it
    std::vector<std::string> kept = {held, plain(".tlvk-00000000-Other0"),
                                     plain(stem + "Short"), plain(stem + "Bad_c0")};
    ASSERT_EQ(symlink("saved", dir.file(stem + "Link00").c_str()), 0);
    kept.push_back(stem + "Link00");
    ASSERT_EQ(mkdir(dir.file(stem + "Dir000").c_str(), 0755), 0);
    kept.push_back(stem + "Dir000");
    if (geteuid() == 0) {
        const std::string others = plain(stem + "Other0");
        ASSERT_EQ(chown(dir.file(others).c_str(), 65534, 65534), 0);
        kept.push_back(others);
    }
    // ... and one that is: the leftover, back under its name.
    ASSERT_EQ(std::rename(dir.file("saved").c_str(), dir.file(left).c_str()), 0);

    ASSERT_TRUE(platform::replaceFile(name, "new", 3).ok());
    ::close(holder);
    for (const std::string& k : kept) EXPECT_TRUE(platform::pathExists(dir.file(k))) << k;
    EXPECT_FALSE(platform::pathExists(dir.file(left)));
    EXPECT_EQ(dir.entries().size(), kept.size() + 1);
}

// The check made before a download: the same failures replaceFile would
// meet, found without writing anything.
TEST(FileReplace, CheckFindsWhatTheWriteWouldMeet) {
    ScratchDir dir;
    EXPECT_TRUE(platform::checkReplaceable(dir.file("out.xml")).ok());
    EXPECT_TRUE(dir.entries().empty());
    platform::ReplaceResult r = platform::checkReplaceable(dir.file("no/out.xml"));
    EXPECT_EQ(r.stage, platform::ReplaceStage::Create);
    EXPECT_EQ(r.error, ENOENT);
    ASSERT_EQ(mkdir(dir.file("taken").c_str(), 0755), 0);
    r = platform::checkReplaceable(dir.file("taken"));
    EXPECT_EQ(r.stage, platform::ReplaceStage::Rename);
    EXPECT_EQ(r.error, EISDIR);
    EXPECT_EQ(platform::checkReplaceable("").stage, platform::ReplaceStage::Create);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"taken"}));
}

#endif

// A cancel before the finished file takes its name wins: no new file, no
// temporary, the older file as it was.
TEST(FileReplace, CancelBeforeTheRenameLeavesTheOlderFile) {
    ScratchDir dir;
    const std::string name = dir.file("out.xml");
    ASSERT_TRUE(platform::replaceFile(name, "old", 3).ok());
    std::atomic<bool> cancel{true};
    platform::ReplaceResult r = platform::replaceFile(name, "new", 3, &cancel);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Cancelled);
    EXPECT_EQ(readFile(name), "old");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.xml"}));
    cancel = false;
    EXPECT_TRUE(platform::replaceFile(name, "new", 3, &cancel).ok());
    EXPECT_EQ(readFile(name), "new");
}

}  // namespace talvek
