// Files on Windows as someone hostile (or just another run) may leave them:
// what the trace file refuses to write through, what the replacement keeps
// and cleans up, the store's folder and the plain reads and folders it uses.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_replace.h"
#include "platform/os.h"
#include "platform/win32/wide_text.h"
#include "support/worker_test_support.h"

namespace talvek {

namespace {

using worker_test::readFile;
using worker_test::ScratchDir;

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

DWORD attributesOf(const std::string& name) {
    return GetFileAttributesW(platform::toWide(name).c_str());
}

// Whatever sits at the trace file's name that is not a plain file with one
// name is left as it is, and nothing is written through it.
TEST(Win32TraceFile, OnlyAPlainFileOfItsOwnIsWritten) {
    ScratchDir dir;
    const std::string victim = dir.file("victim.txt");
    writeFile(victim, "precious");

    // A second name of another file.
    const std::string hard = dir.file("hard.txt");
    ASSERT_TRUE(
        CreateHardLinkW(platform::toWide(hard).c_str(), platform::toWide(victim).c_str(), nullptr));
    EXPECT_EQ(platform::createTextFile(hard.c_str()), -1);
    EXPECT_EQ(readFile(victim), "precious");

    // A folder, a device ("NUL.txt" is the null device) and a pipe someone
    // serves: none is a trace file.
    ASSERT_TRUE(CreateDirectoryW(platform::toWide(dir.file("folder.txt")).c_str(), nullptr));
    EXPECT_EQ(platform::createTextFile(dir.file("folder.txt").c_str()), -1);
    EXPECT_EQ(platform::createTextFile("NUL.txt"), -1);
    const std::string pipeName =
        "\\\\.\\pipe\\talvek-trace-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(platform::toWide(pipeName).c_str(), PIPE_ACCESS_INBOUND,
                                     PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 0, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::createTextFile(pipeName.c_str()), -1);
    CloseHandle(server);

    // A plain file of its own is emptied and written; a new name is made.
    const std::string old = dir.file("old.txt");
    writeFile(old, "an older trace, longer than the new one");
    int fd = platform::createTextFile(old.c_str());
    ASSERT_NE(fd, -1);
    EXPECT_EQ(platform::writeFile(fd, "new", 3), 3);
    platform::closeFile(fd);
    EXPECT_EQ(readFile(old), "new");
    fd = platform::createTextFile(dir.file("made.txt").c_str());
    ASSERT_NE(fd, -1);
    platform::closeFile(fd);
    EXPECT_TRUE(platform::pathExists(dir.file("made.txt")));
}

// The check made before the first probe meets what the final write would.
TEST(Win32FileReplace, CheckFindsWhatTheWriteWouldMeet) {
    ScratchDir dir;
    EXPECT_TRUE(platform::checkReplaceable(dir.file("out.xml")).ok());
    EXPECT_TRUE(dir.entries().empty());

    platform::ReplaceResult r = platform::checkReplaceable(dir.file("no\\out.xml"));
    EXPECT_EQ(r.stage, platform::ReplaceStage::Create);
    EXPECT_EQ(r.error, ERROR_PATH_NOT_FOUND);

    ASSERT_TRUE(CreateDirectoryW(platform::toWide(dir.file("taken")).c_str(), nullptr));
    r = platform::checkReplaceable(dir.file("taken"));
    EXPECT_EQ(r.stage, platform::ReplaceStage::Rename);
    EXPECT_EQ(r.error, ERROR_ACCESS_DENIED);

    // A file its owner marked read-only is neither checked as writable nor
    // replaced (Windows itself refuses; Wine would not, so it is checked).
    const std::string kept = dir.file("kept.xml");
    writeFile(kept, "kept");
    ASSERT_TRUE(SetFileAttributesW(platform::toWide(kept).c_str(), FILE_ATTRIBUTE_READONLY));
    r = platform::checkReplaceable(kept);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Rename);
    EXPECT_EQ(r.error, ERROR_ACCESS_DENIED);
    r = platform::replaceFile(kept, "new", 3);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Rename);
    EXPECT_EQ(readFile(kept), "kept");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"kept.xml", "taken"}));
    SetFileAttributesW(platform::toWide(kept).c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(platform::checkReplaceable("").stage, platform::ReplaceStage::Create);
    EXPECT_EQ(platform::checkReplaceable(dir.path() + "\\").stage, platform::ReplaceStage::Create);
}

// A hidden file stays hidden when it is replaced; a plain one stays plain.
TEST(Win32FileReplace, ReplacingKeepsTheOldFilesAttributes) {
    ScratchDir dir;
    const std::string hidden = dir.file("hidden.xml");
    ASSERT_TRUE(platform::replaceFile(hidden, "old", 3).ok());
    ASSERT_TRUE(SetFileAttributesW(platform::toWide(hidden).c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(platform::replaceFile(hidden, "new", 3).ok());
    EXPECT_EQ(readFile(hidden), "new");
    EXPECT_TRUE(attributesOf(hidden) & FILE_ATTRIBUTE_HIDDEN);

    const std::string plain = dir.file("plain.xml");
    ASSERT_TRUE(platform::replaceFile(plain, "old", 3).ok());
    ASSERT_TRUE(platform::replaceFile(plain, "new", 3).ok());
    EXPECT_FALSE(attributesOf(plain) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
}

// The temporary a run writes, seen while it is there.
std::string temporaryWhileWriting(const ScratchDir& dir, const std::string& name) {
    const std::string big(32 << 20, 'x');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        platform::replaceFile(name, big.data(), big.size());
        done = true;
    });
    std::string seen;
    while (!done && seen.empty()) {
        for (const std::string& e : dir.entries())
            if (e.rfind(".tlvk-", 0) == 0) seen = e;
    }
    writer.join();
    return seen;
}

// A run that was killed leaves its temporary; the next run that writes the
// same name removes it, and nothing else: not one another run still holds,
// not a folder, a read-only file or one of another name.
TEST(Win32FileReplace, LeftTemporariesOfTheSameNameAreRemoved) {
    ScratchDir dir;
    const std::string name = dir.file("out.xml");
    const std::string left = temporaryWhileWriting(dir, name);
    ASSERT_FALSE(left.empty()) << "no temporary seen";
    EXPECT_EQ(left.size(), 21u) << left;  // whatever the length of the name
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.xml"}));

    // What a killed run leaves: a file no program holds any more.
    writeFile(dir.file(left), "partial");
    const std::string stem = left.substr(0, 15);
    const std::vector<std::string> kept = {stem + "Held00", stem + "Dir000", stem + "RdOnly",
                                           stem + "Short", ".tlvk-00000000-Other0"};
    for (const std::string& k : kept)
        if (k != stem + "Dir000") writeFile(dir.file(k), k);
    ASSERT_TRUE(CreateDirectoryW(platform::toWide(dir.file(stem + "Dir000")).c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesW(platform::toWide(dir.file(stem + "RdOnly")).c_str(),
                                   FILE_ATTRIBUTE_READONLY));
    // Another run still writing it holds it open.
    HANDLE held = CreateFileW(platform::toWide(dir.file(stem + "Held00")).c_str(), GENERIC_WRITE,
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(platform::replaceFile(name, "new", 3).ok());
    CloseHandle(held);
    EXPECT_EQ(readFile(name), "new");
    EXPECT_FALSE(platform::pathExists(dir.file(left)));
    for (const std::string& k : kept) EXPECT_TRUE(platform::pathExists(dir.file(k))) << k;

    // The check before a download cleans up the same way; the file no run
    // holds any more is now a leftover too.
    writeFile(dir.file(left), "partial");
    EXPECT_TRUE(platform::checkReplaceable(name).ok());
    EXPECT_FALSE(platform::pathExists(dir.file(left)));
    EXPECT_FALSE(platform::pathExists(dir.file(stem + "Held00")));
    EXPECT_EQ(dir.entries().size(), kept.size());
    SetFileAttributesW(platform::toWide(dir.file(stem + "RdOnly")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Names that are devices on Windows, in any folder and with any extension,
// are never replaced by a file: the null device is written into, every
// other device refused before anything is written.
TEST(Win32Files, DeviceNamesAreNeverReplaced) {
    using platform::TargetKind;
    const struct {
        const char* name;
        TargetKind kind;
    } rows[] = {
        {"NUL", TargetKind::NullDevice},        {"C:\\logs\\nul.txt", TargetKind::NullDevice},
        {"\\\\.\\NUL", TargetKind::NullDevice},   {"COM1", TargetKind::Special},
        {"sub\\com3.xml", TargetKind::Special},  {"CON", TargetKind::Special},
        {"aux.html", TargetKind::Special},      {"lpt9", TargetKind::Special},
        {"CONOUT$", TargetKind::Special},       {"\\\\.\\COM12", TargetKind::Special},
        {"\\\\.\\pipe\\x", TargetKind::Special}, {"COM", TargetKind::Replaceable},
        {"COMA.xml", TargetKind::Replaceable},  {"console.xml", TargetKind::Replaceable},
        {"out.xml", TargetKind::Replaceable},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(platform::targetKind(row.name), row.kind);
    }
    ScratchDir dir;
    EXPECT_TRUE(platform::replaceFile("NUL", "<xml/>", 6).ok());
    EXPECT_TRUE(platform::checkReplaceable(dir.file("nul.xml")).ok());
    EXPECT_EQ(platform::replaceFile(dir.file("com1.xml"), "<xml/>", 6).stage,
              platform::ReplaceStage::Special);
    EXPECT_EQ(platform::checkReplaceable(dir.file("aux")).stage, platform::ReplaceStage::Special);
    EXPECT_TRUE(dir.entries().empty());
}

TEST(Win32Files, ReadWholeFileAndMakeFolders) {
    ScratchDir dir;
    std::vector<uint8_t> bytes = {1, 2, 3};
    // Missing, also behind a missing folder: ENOENT's number on every system.
    platform::FileRead r = platform::readWholeFile(dir.file("missing.bin"), bytes, 1000);
    EXPECT_EQ(r.outcome, platform::ReadOutcome::Missing);
    EXPECT_EQ(r.error, ENOENT);
    EXPECT_TRUE(bytes.empty());
    r = platform::readWholeFile(dir.file("no\\missing.bin"), bytes, 1000);
    EXPECT_EQ(r.outcome, platform::ReadOutcome::Missing);
    EXPECT_EQ(r.error, ENOENT);
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    writeFile(dir.file("big.bin"), content);
    ASSERT_TRUE(platform::readWholeFile(dir.file("big.bin"), bytes, content.size()).ok());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
    // One byte short of the bound; a device (the null device) is no file.
    EXPECT_EQ(platform::readWholeFile(dir.file("big.bin"), bytes, content.size() - 1).outcome,
              platform::ReadOutcome::TooLarge);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(platform::readWholeFile("NUL", bytes, 1000).outcome, platform::ReadOutcome::NotAFile);

    // Both separators, several new levels, a trailing separator.
    std::string nested = dir.path() + "\\a/b\\c\\";
    EXPECT_EQ(platform::makeDirectories(nested), 0);
    EXPECT_TRUE(attributesOf(dir.file("a\\b\\c")) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(platform::makeDirectories(dir.file("a\\b")), 0);  // already there
    // A file in the way.
    writeFile(dir.file("a\\file"), "x");
    EXPECT_NE(platform::makeDirectories(dir.file("a\\file\\d")), 0);
    EXPECT_NE(platform::makeDirectories(dir.file("a\\file")), 0);
    // A drive's root is there already.
    EXPECT_EQ(platform::makeDirectories("C:\\"), 0);
}

// The store's folder is the user's local application data folder (the one
// %LOCALAPPDATA% names), "Talvek\XML Downloader" in it.
TEST(Win32Files, TheDataFolderIsInTheLocalApplicationData) {
    const char* local = std::getenv("LOCALAPPDATA");
    ASSERT_TRUE(local && local[0]);
    std::string expected = local;
    if (expected.back() != '\\') expected += '\\';
    expected += "Talvek\\XML Downloader\\";
    std::string folder = platform::dataDirectory();
    // The same folder, whatever the case of its spelling.
    std::transform(folder.begin(), folder.end(), folder.begin(), ::tolower);
    std::transform(expected.begin(), expected.end(), expected.begin(), ::tolower);
    EXPECT_EQ(folder, expected);
}

}  // namespace

}  // namespace talvek
