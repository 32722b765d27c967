// Reading a whole file trusts neither its type nor its size: only a plain
// file is read, opened without waiting, and never more than the reader's
// bound.  A FIFO without a writer, a device that never ends and a file
// longer than the bound all come back at once, with nothing read.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/os.h"
#include "support/scratch_dir.h"
#include "support/node_kinds.h"

namespace talvek {

namespace {

using platform::ReadOutcome;

struct ReadCase {
    const char* what;
    std::function<bool(const ScratchDir&, std::string& name)> plant;
    ReadOutcome expected;
    size_t bytes;  // read when the outcome is Read
};

bool planted(special_files::Kind k, const ScratchDir& dir, std::string& name) {
    name = dir.file("node");
    return special_files::make(k, name);
}

TEST(BoundedRead, OnlyPlainFilesWithinTheBound) {
    constexpr size_t Bound = 1000;
    const ReadCase cases[] = {
        {"a plain file at the bound",
         [](const ScratchDir& d, std::string& n) {
             ScratchDir::write(n = d.file("f"), std::string(Bound, 'x'));
             return true;
         },
         ReadOutcome::Read, Bound},
        {"an empty file",
         [](const ScratchDir& d, std::string& n) {
             ScratchDir::write(n = d.file("f"), "");
             return true;
         },
         ReadOutcome::Read, 0},
        {"a link to a plain file",
         [](const ScratchDir& d, std::string& n) {
             ScratchDir::write(d.file("f"), "abc");
             return symlink("f", (n = d.file("l")).c_str()) == 0;
         },
         ReadOutcome::Read, 3},
        {"one byte past the bound",
         [](const ScratchDir& d, std::string& n) {
             ScratchDir::write(n = d.file("f"), std::string(Bound + 1, 'x'));
             return true;
         },
         ReadOutcome::TooLarge, 0},
        {"a sparse file of 200 MB",
         [](const ScratchDir& d, std::string& n) {
             ScratchDir::write(n = d.file("f"), "");
             return truncate(n.c_str(), 200 << 20) == 0;
         },
         ReadOutcome::TooLarge, 0},
        {"nothing",
         [](const ScratchDir& d, std::string& n) { return !(n = d.file("none")).empty(); },
         ReadOutcome::Missing, 0},
        {"a missing folder",
         [](const ScratchDir& d, std::string& n) { return !(n = d.file("no/f")).empty(); },
         ReadOutcome::Missing, 0},
        {"a folder", [](const ScratchDir& d, std::string& n) { return !(n = d.path()).empty(); },
         ReadOutcome::NotAFile, 0},
        {"/dev/zero", [](const ScratchDir&, std::string& n) { return !(n = "/dev/zero").empty(); },
         ReadOutcome::NotAFile, 0},
        {"a link to /dev/zero",
         [](const ScratchDir& d, std::string& n) {
             return symlink("/dev/zero", (n = d.file("l")).c_str()) == 0;
         },
         ReadOutcome::NotAFile, 0},
        {"a FIFO without a writer",
         [](const ScratchDir& d, std::string& n) {
             return planted(special_files::Kind::Fifo, d, n);
         },
         ReadOutcome::NotAFile, 0},
        {"a socket",
         [](const ScratchDir& d, std::string& n) {
             return planted(special_files::Kind::Socket, d, n);
         },
         ReadOutcome::NotAFile, 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        std::string name;
        ASSERT_TRUE(c.plant(dir, name));
        // Should the open wait for a writer after all, one comes after a
        // while and writes nothing, so the test fails instead of hanging.
        std::thread writer;
        struct stat st {};
        if (lstat(name.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
            writer = std::thread([name] {
                std::this_thread::sleep_for(std::chrono::seconds(3));
                const int fd = open(name.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) close(fd);
            });
        }
        std::vector<uint8_t> bytes = {1, 2, 3};
        const platform::FileRead r = platform::readWholeFile(name, bytes, Bound);
        if (writer.joinable()) writer.join();
        EXPECT_EQ(static_cast<int>(r.outcome), static_cast<int>(c.expected));
        EXPECT_EQ(bytes.size(), c.bytes);
    }
}

// Device nodes (root only): what a device gives is never read as a file.
TEST(BoundedRead, DeviceNodesAreNoFiles) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: mknod";
    for (special_files::Kind k : {special_files::Kind::ZeroNode, special_files::Kind::NullNode}) {
        SCOPED_TRACE(special_files::nameOf(k));
        ScratchDir dir;
        ASSERT_TRUE(special_files::make(k, dir.file("node")));
        std::vector<uint8_t> bytes;
        EXPECT_EQ(static_cast<int>(platform::readWholeFile(dir.file("node"), bytes, 1000).outcome),
                  static_cast<int>(ReadOutcome::NotAFile));
        EXPECT_TRUE(bytes.empty());
    }
}

}  // namespace

}  // namespace talvek

#endif
