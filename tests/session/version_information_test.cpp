#include "session/version_information.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"
#include "platform/version_resource.h"
#include "support/scratch_dir.h"

namespace talvek {

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Builds block bytes by hand.  The marker comes from the reader so that this
// test's own file does not carry a second copy of it.
std::string Item(const std::string& s) {
    return s + std::string(1, '\0');
}

std::string Group(const std::string& name, const Pairs& values) {
    std::string g = Item("S=" + name);
    for (const auto& kv : values) g += Item(kv.first) + Item(kv.second);
    return g;
}

std::string Block(const std::string& translations, const std::string& groups) {
    return Item(VersionInformation::marker()) + Item("T=" + translations) + groups + Item("E");
}

const Pairs Full = {{"CompanyName", "Maker Ltd"},    {"FileDescription", "Downloader"},
                    {"FileVersion", "2.3.4.5"},      {"InternalName", "dl"},
                    {"LegalCopyright", "(C) Maker"}, {"LegalTrademarks", "TM"},
                    {"OriginalFilename", "dl.exe"},  {"ProductName", "Product"},
                    {"ProductVersion", "2.3"},       {"Comments", "first"}};

// The block of text is how the program carries its version where
// executables have no version resource; on Windows the resource is read
// instead (tests/win32/version_resource_test.cpp).
class VersionInformationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (platform::hasVersionResources()) GTEST_SKIP() << "this system reads resources";
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        std::string path = dir_.file(name);
        ScratchDir::write(path, bytes);
        return path;
    }
    ScratchDir dir_;
};

TEST_F(VersionInformationTest, MarkerIsTheBlockMarker) {
    EXPECT_EQ(VersionInformation::marker(), std::string("TVKVERSION") + "BLOCK");
}

TEST_F(VersionInformationTest, ReadsAllTenValuesOfTheFirstTranslation) {
    std::string path =
        Put("a.bin", std::string(1000, '\x7f') + std::string(3, '\0') +
                         Block("040904E4", Group("040904e4", Full)) + std::string(500, 'z'));
    VersionInformation v(path.c_str());
    ASSERT_TRUE(v.valid());
    EXPECT_EQ(v.fileName(), path);
    EXPECT_EQ(v.companyName(), "Maker Ltd");
    EXPECT_EQ(v.fileDescription(), "Downloader");
    EXPECT_EQ(v.fileVersion(), "2.3.4.5");
    EXPECT_EQ(v.internalName(), "dl");
    EXPECT_EQ(v.legalCopyright(), "(C) Maker");
    EXPECT_EQ(v.legalTrademarks(), "TM");
    EXPECT_EQ(v.originalFilename(), "dl.exe");
    EXPECT_EQ(v.productName(), "Product");
    EXPECT_EQ(v.productVersion(), "2.3");
    EXPECT_EQ(v.comments(), "first");
    EXPECT_EQ(v.value("FileVersion"), "2.3.4.5");
    EXPECT_EQ(v.value("Unknown"), "");
}

TEST_F(VersionInformationTest, OnlyTheFirstTranslationIsRead) {
    // The groups appear in the other order; the first table entry decides.
    std::string groups = Group("040904e4", {{"ProductName", "English"}}) +
                         Group("040704b0", {{"ProductName", "Deutsch"}, {"FileVersion", "7"}});
    VersionInformation v(Put("t.bin", Block("040704B0,040904E4", groups)).c_str());
    ASSERT_TRUE(v.valid());
    EXPECT_EQ(v.productName(), "Deutsch");
    EXPECT_EQ(v.fileVersion(), "7");

    // No group for the first translation: valid, nothing changes.
    v.read(Put("u.bin", Block("041D04B0,040904E4", groups)).c_str());
    EXPECT_TRUE(v.valid());
    EXPECT_EQ(v.productName(), "Deutsch");
}

TEST_F(VersionInformationTest, MissingKeysKeepTheirPreviousValue) {
    VersionInformation v;
    EXPECT_FALSE(v.valid());
    EXPECT_EQ(v.fileVersion(), "");
    ASSERT_TRUE(v.read(Put("a.bin", Block("040904E4", Group("040904e4", Full))).c_str()));
    Pairs partial = {{"FileVersion", "9.9.9.9"}, {"ProductName", "Other"}};
    ASSERT_TRUE(v.read(Put("b.bin", Block("040904E4", Group("040904e4", partial))).c_str()));
    EXPECT_EQ(v.fileVersion(), "9.9.9.9");
    EXPECT_EQ(v.productName(), "Other");
    EXPECT_EQ(v.comments(), "first");
    EXPECT_EQ(v.companyName(), "Maker Ltd");

    // A fresh object reading a block without "Comments": empty, still valid.
    VersionInformation fresh(dir_.file("b.bin").c_str());
    EXPECT_TRUE(fresh.valid());
    EXPECT_EQ(fresh.comments(), "");
}

TEST_F(VersionInformationTest, NoBlockUnreadableOrNullLeavesValuesAndClearsValid) {
    VersionInformation v(Put("a.bin", Block("040904E4", Group("040904e4", Full))).c_str());
    ASSERT_TRUE(v.valid());

    EXPECT_FALSE(v.read(Put("plain.txt", "no block in here\n").c_str()));
    EXPECT_FALSE(v.valid());
    EXPECT_EQ(v.fileVersion(), "2.3.4.5");

    ASSERT_TRUE(v.read(dir_.file("a.bin").c_str()));
    EXPECT_FALSE(v.read(dir_.file("does-not-exist").c_str()));
    EXPECT_FALSE(v.valid());
    EXPECT_FALSE(v.read(dir_.path().c_str()));  // a directory
    EXPECT_FALSE(v.read(Put("empty", "").c_str()));

    ASSERT_TRUE(v.read(dir_.file("a.bin").c_str()));
    EXPECT_FALSE(v.read(nullptr));
    EXPECT_FALSE(v.valid());
    EXPECT_EQ(v.productName(), "Product");
    EXPECT_EQ(v.fileName(), dir_.file("a.bin"));

    VersionInformation none(nullptr);
    EXPECT_FALSE(none.valid());
    EXPECT_EQ(none.fileName(), "");
}

TEST_F(VersionInformationTest, MalformedBlocksAreNotTaken) {
    const std::string m = Item(VersionInformation::marker());
    const std::string good = Group("040904e4", Full);
    const std::vector<std::string> bad = {
        m,                                           // marker alone
        m + Item("X=040904E4") + good + Item("E"),   // no translation table
        m + Item("T=") + good + Item("E"),           // empty table
        m + Item("T=0409") + good + Item("E"),       // short pair
        m + Item("T=040904E4,") + good + Item("E"),  // dangling comma
        m + Item("T=0409G4E4") + good + Item("E"),   // not hex
        m + Item("T=040904E4") + good,               // no end item
        m + Item("T=040904E4") + Item("FileVersion") + Item("1") + Item("E"),  // no group
        m + Item("T=040904E4") + Item("S=040904e4") + Item("FileVersion"),     // cut value
        Block("040904E4", good).substr(0, 40),  // file ends inside the block
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        VersionInformation v(Put("bad" + std::to_string(i), "xx" + bad[i]).c_str());
        EXPECT_FALSE(v.valid()) << i;
        EXPECT_EQ(v.fileVersion(), "") << i;
    }
    // A broken block before a good one: the good one is found.
    VersionInformation v(Put("both", bad[2] + "junk" + Block("040904E4", good)).c_str());
    EXPECT_TRUE(v.valid());
    EXPECT_EQ(v.fileVersion(), "2.3.4.5");
}

TEST_F(VersionInformationTest, FindsBlocksAcrossReadBoundariesInLargeFiles) {
    const std::string block = Block("040904E4", Group("040904e4", Full));
    for (size_t offset : {size_t(65536 - 7), size_t(65536 * 3 + 100), size_t(400000)}) {
        std::string bytes(offset, 'q');
        bytes += block;
        bytes += std::string(70000, 'r');
        VersionInformation v(Put("big", bytes).c_str());
        EXPECT_TRUE(v.valid()) << offset;
        EXPECT_EQ(v.originalFilename(), "dl.exe") << offset;
    }
    // The block as the very last bytes of the file.
    VersionInformation v(Put("tail", std::string(65536 * 2 - 3, 'q') + block).c_str());
    EXPECT_TRUE(v.valid());
}

// The block here, the resource on Windows: the same strings either way.
TEST(VersionInformation, ReadsTheVersionLinkedIntoThisExecutable) {
    VersionInformation v(platform::ownExecutablePath().c_str());
    ASSERT_TRUE(v.valid());
    EXPECT_EQ(v.productName(), "Talvek XML Downloader");
    EXPECT_EQ(v.companyName(), "Talvek Oy");
    EXPECT_EQ(v.fileVersion(), "1.0.0.0");
    EXPECT_EQ(v.productVersion(), "1.0.0.0");
}

}  // namespace

}  // namespace talvek
