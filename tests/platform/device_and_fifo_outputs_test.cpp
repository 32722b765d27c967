// Output names that are special files: a device, a FIFO or a socket at the
// name is never replaced by a regular file.  The null device gets the bytes
// written straight into it; anything else is refused before a byte is
// written, and so is a link that leads to one.  POSIX (mknod, FIFOs); the
// Windows names are tested under Wine.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/file_replace.h"
#include "support/scratch_dir.h"
#include "support/node_kinds.h"

namespace talvek {

namespace {

using special_files::Kind;

struct OutputCase {
    Kind kind;
    bool throughLink;
};

TEST(SpecialOutputs, NeverReplacedAndOnlyTheNullDeviceWrittenInto) {
    const OutputCase cases[] = {
        {Kind::Fifo, false},     {Kind::Fifo, true},     {Kind::Socket, false},
        {Kind::NullNode, false}, {Kind::NullNode, true}, {Kind::ZeroNode, false},
        {Kind::ZeroNode, true},
    };
    int skipped = 0;
    for (const OutputCase& c : cases) {
        const std::string what =
            std::string(special_files::nameOf(c.kind)) + (c.throughLink ? " behind a link" : "");
        SCOPED_TRACE(what);
        if (!special_files::canMake(c.kind)) {
            ++skipped;
            continue;
        }
        ScratchDir dir;
        const std::string node = dir.file("node");
        ASSERT_TRUE(special_files::make(c.kind, node));
        std::string name = node;
        if (c.throughLink) {
            name = dir.file("link");
            ASSERT_EQ(symlink("node", name.c_str()), 0);
        }
        const bool isNull = c.kind == Kind::NullNode;
        EXPECT_EQ(platform::targetKind(name),
                  isNull ? platform::TargetKind::NullDevice : platform::TargetKind::Special);

        const platform::ReplaceResult checked = platform::checkReplaceable(name);
        const platform::ReplaceResult written = platform::replaceFile(name, "<xml/>", 6);
        if (isNull) {
            EXPECT_TRUE(checked.ok()) << checked.error;
            EXPECT_TRUE(written.ok()) << written.error;
        } else {
            EXPECT_EQ(checked.stage, platform::ReplaceStage::Special);
            EXPECT_EQ(written.stage, platform::ReplaceStage::Special);
        }
        // The node is as it was, a link still leads to it, and no
        // temporary file is left beside it.
        EXPECT_TRUE(special_files::still(c.kind, node));
        struct stat st {};
        if (c.throughLink) {
            EXPECT_TRUE(lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        }
        EXPECT_EQ(dir.count(), c.throughLink ? 2u : 1u);
    }
    if (skipped > 0) std::printf("[  SKIPPED ] %d device-node cases: mknod needs root\n", skipped);
}

// A plain file, a link to one and a link to nothing are replaced as always
// (the link itself gives way to the new file).
TEST(SpecialOutputs, PlainNamesAndLinksToThemAreReplaced) {
    ScratchDir dir;
    ScratchDir::write(dir.file("plain"), "old");
    ASSERT_EQ(symlink("plain", dir.file("to-plain").c_str()), 0);
    ASSERT_EQ(symlink("nothing", dir.file("dangling").c_str()), 0);
    for (const char* n : {"plain", "to-plain", "dangling", "new"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(platform::targetKind(dir.file(n)), platform::TargetKind::Replaceable);
        ASSERT_TRUE(platform::replaceFile(dir.file(n), "new", 3).ok());
        struct stat st {};
        ASSERT_EQ(lstat(dir.file(n).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(ScratchDir::read(dir.file(n)), "new");
    }
}

// Root writing into a shared sticky folder: a file another user planted at
// the name (world-writable, of that user's group) passes neither its mode
// nor its group on to what root writes there.
TEST(SpecialOutputs, PlantedFileOfAnotherUserPassesNothingOn) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: only root writes over another user's file";
    ScratchDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
    const std::string name = dir.file("out.xml");
    ScratchDir::write(name, "planted");
    ASSERT_EQ(chown(name.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(name.c_str(), 0666), 0);
    const mode_t saved = umask(022);
    const platform::ReplaceResult r = platform::replaceFile(name, "mine", 4);
    umask(saved);
    ASSERT_TRUE(r.ok()) << r.error;
    struct stat st {};
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, getegid());
    EXPECT_EQ(ScratchDir::read(name), "mine");
}

}  // namespace

}  // namespace talvek

#endif
