// -new and the dive store, in process: the real drivers against simulated
// computers behind the in-memory port, on the virtual clock.  The promise
// under test: whatever the store holds, a -new run writes exactly the
// document a full download of the same memory writes, and reads only the
// pages of the newest stored dive's header and of the new dives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "store/dive_store.h"
#include "support/scratch_dir.h"
#include "support/session_run.h"
#include "support/text_count.h"

namespace talvek {

namespace {

using replay::InterfaceType;

uint16_t WordAt(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint16_t>(m[at] | (m[at + 1] << 8));
}

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// The dive store's file in `folder` (the first, when there are several).
std::string DivesFileIn(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".dives") return e.path().string();
    return std::string();
}

bool HasStatus(const session_run::Result& r, const std::string& text) {
    for (const auto& s : r.statuses)
        if (s == text) return true;
    return false;
}

// Page reads of one download: the read frames of 120 bytes (113 for the
// last page of type 3), by page index, counted from what the host sent.
std::multiset<uint32_t> PageReads(const std::vector<uint8_t>& sent) {
    std::multiset<uint32_t> pages;
    for (size_t i = 0; i + 6 < sent.size(); ++i) {
        if (sent[i] != 0x05 || sent[i + 1] != 0x00 || sent[i + 2] != 0x03) continue;
        const uint32_t address = (sent[i + 3] << 8) | sent[i + 4];
        const uint32_t n = sent[i + 5];
        if (n == 120 || (n == 113 && address == 0x7F86)) pages.insert((address - 0x016E) / 120);
        i += 6;
    }
    return pages;
}

class NewDivesTest : public ::testing::TestWithParam<InterfaceType> {
  protected:
    NewDivesTest() : scoped_(clock_) {}

    uint32_t Top() const { return replay::ringTop(GetParam()); }
    std::string TypeOption() const { return "-dv=" + std::to_string(static_cast<int>(GetParam())); }

    void Build(int dives, uint32_t seed, bool fill = false) {
        sim::BuildOptions o;
        o.type = GetParam();
        o.dives = dives;
        o.seed = seed;
        o.fill = fill;
        image_ = sim::buildComputer(o).image;
    }

    struct Run {
        session_run::Result result;
        std::multiset<uint32_t> pages;
    };

    // Downloads the current image with `extra` besides port, file, trace,
    // layout and units.
    Run Download(std::vector<std::string> extra,
                 const std::vector<std::string>& layout = {"-v=2", "-um"}) {
        sim::MemoryComputer computer(image_);
        platform::MemoryPortRegistry ports;
        auto port = ports.add("DC", &computer);
        std::vector<std::string> args = {"-p=DC", TypeOption()};
        args.insert(args.end(), layout.begin(), layout.end());
        args.insert(args.end(), extra.begin(), extra.end());
        const std::string n = std::to_string(++runs_);
        Run r;
        r.result =
            session_run::run(args, &ports, dir_.file("out" + n + ".xml"), dir_.file("trace" + n));
        r.pages = PageReads(port->written());
        return r;
    }
    // What the host sends in a full download of the current image.
    std::vector<uint8_t> FullRunSent() {
        sim::MemoryComputer computer(image_);
        platform::MemoryPortRegistry ports;
        auto port = ports.add("DC", &computer);
        session_run::run({"-p=DC", TypeOption(), "-v=2", "-um"}, &ports, dir_.file("full.xml"),
                         dir_.file("fulltrace"));
        return port->written();
    }
    std::string FullDocument(const std::vector<std::string>& layout = {"-v=2", "-um"}) {
        Run r = Download({}, layout);
        EXPECT_EQ(r.result.code, 0) << r.result.lastStatus();
        return r.result.document;
    }
    std::vector<std::string> NewOptions() const { return {"-new", "-store=" + StoreDir()}; }
    std::string StoreDir() const { return dir_.file("store"); }
    // The store file of the computer (there is only one in these tests).
    std::string StoreFile() const { return DivesFileIn(StoreDir()); }

    // Pages the span [address, address + n) of the ring covers.
    void PagesOf(uint32_t address, uint32_t n, std::set<uint32_t>& pages) const {
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t a = address + i;
            if (a >= Top()) a = a - Top() + replay::RingStart;
            pages.insert((a - 0x016E) / 120);
        }
    }
    // What -new should read: the newest stored dive's 84 header bytes, and
    // each new dive's header (84 bytes at least) and profile.
    std::set<uint32_t> ExpectedPages(uint32_t newestStored,
                                     const std::vector<sim::MeantDive>& added) const {
        std::set<uint32_t> pages;
        PagesOf(newestStored, 84, pages);
        for (const auto& d : added)
            PagesOf(d.headerAddress,
                    std::max<uint32_t>(84, d.headerSize + static_cast<uint32_t>(d.profile.size())),
                    pages);
        return pages;
    }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    replay::ComputerImage image_;
    int runs_ = 0;
};

// The first -new finds no store and is the full download; each later one
// reads only what is new, and every document is the full download's.
TEST_P(NewDivesTest, AfterAFullDownloadOnlyNewDivesAreRead) {
    Build(12, 21);
    const Run first = Download(NewOptions());
    ASSERT_EQ(first.result.code, 0) << first.result.lastStatus();
    EXPECT_TRUE(Has(first.result.trace, "no store for this computer")) << first.result.trace;
    EXPECT_TRUE(HasStatus(first.result, "Downloading Dive Profiles"));
    EXPECT_EQ(first.result.document, FullDocument());
    ASSERT_FALSE(StoreFile().empty());

    for (int added : {0, 1, 4}) {
        SCOPED_TRACE("dives added: " + std::to_string(added));
        const uint32_t newestStored = WordAt(image_.memory, 0x190);
        const auto meant = sim::addDives(image_, added, 100 + added);
        const Run r = Download(NewOptions());
        ASSERT_EQ(r.result.code, 0) << r.result.lastStatus();
        EXPECT_EQ(r.result.document, FullDocument());
        EXPECT_TRUE(Has(r.result.trace, "Stored Dives Still In Memory")) << r.result.trace;
        EXPECT_TRUE(HasStatus(r.result, "Downloading New Dives (" + std::to_string(added) + ")"));
        EXPECT_FALSE(HasStatus(r.result, "Downloading Dive Profiles"));
        EXPECT_EQ(r.result.lastStatus(), "Download Successfull");
        // Every page once, and only the ones that hold something new.
        const std::set<uint32_t> distinct(r.pages.begin(), r.pages.end());
        EXPECT_EQ(distinct.size(), r.pages.size());
        EXPECT_EQ(distinct, ExpectedPages(newestStored, meant));
    }
}

// The legacy layout prints the raw fields DCDML converts: the stored dives
// are rebuilt to the same records.
TEST_P(NewDivesTest, LegacyDocumentIsTheFullDownloads) {
    Build(9, 22);
    ASSERT_EQ(Download(NewOptions(), {}).result.code, 0);
    sim::addDives(image_, 3, 5);
    const Run r = Download(NewOptions(), {});
    ASSERT_EQ(r.result.code, 0);
    EXPECT_TRUE(Has(r.result.trace, "9 Stored Dives Still In Memory")) << r.result.trace;
    EXPECT_EQ(r.result.document, FullDocument({}));
    EXPECT_EQ(occurrences(r.result.document, "<DiveData "), 12);
}

// A full ring: the new dives overwrite the oldest stored ones, which the
// memory no longer holds and the document leaves out.
TEST_P(NewDivesTest, FullRingOverwritesTheOldestStoredDives) {
    Build(0, 23, true);
    const std::vector<uint8_t> before = image_.memory;
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    const uint16_t storedCount = WordAt(before, 0x192);
    // The stored dives' addresses, oldest first, along the links.
    std::vector<uint32_t> stored;
    for (uint32_t a = WordAt(before, 0x196); stored.size() < storedCount;) {
        stored.push_back(a);
        auto at = [&](uint32_t x) {
            return before[x >= Top() ? x - Top() + replay::RingStart : x];
        };
        a = at(a + 2) | (at(a + 3) << 8);
    }

    const uint32_t newestStored = WordAt(image_.memory, 0x190);
    const auto meant = sim::addDives(image_, 10, 7);
    const uint32_t start = WordAt(image_.memory, 0x196);
    size_t overwritten = 0;
    while (overwritten < stored.size() && stored[overwritten] != start) ++overwritten;
    ASSERT_GT(overwritten, 0u) << "the new dives should overwrite stored ones";
    ASSERT_LT(overwritten, stored.size());
    EXPECT_LT(WordAt(image_.memory, 0x194), start) << "the ring should be wrapped";

    const Run r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0) << r.result.lastStatus();
    EXPECT_TRUE(Has(r.result.trace,
                    std::to_string(stored.size() - overwritten) + " Stored Dives Still In Memory"))
        << r.result.trace;
    EXPECT_EQ(r.result.document, FullDocument());
    const std::set<uint32_t> distinct(r.pages.begin(), r.pages.end());
    EXPECT_EQ(distinct, ExpectedPages(newestStored, meant));
}

// New dives that run across the top of the ring, after the store.
TEST_P(NewDivesTest, NewDivesAcrossTheTopOfTheRing) {
    Build(6, 24);
    // Dive on until the next dives must cross the top.
    while (Top() - WordAt(image_.memory, 0x194) > 500) sim::addDives(image_, 1, 8);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    const uint32_t newestStored = WordAt(image_.memory, 0x190);
    const auto meant = sim::addDives(image_, 3, 9);
    ASSERT_LT(WordAt(image_.memory, 0x194), newestStored) << "the new dives should wrap";
    const Run r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0) << r.result.lastStatus();
    EXPECT_TRUE(HasStatus(r.result, "Downloading New Dives (3)"));
    EXPECT_EQ(r.result.document, FullDocument());
    const std::set<uint32_t> distinct(r.pages.begin(), r.pages.end());
    EXPECT_EQ(distinct, ExpectedPages(newestStored, meant));
}

// A store that is damaged, or holds another computer, or a computer whose
// memory was cleared since: never trusted; the run is a full download.
TEST_P(NewDivesTest, DamagedStoreGivesAFullDownload) {
    Build(8, 25);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    std::string bytes = ScratchDir::read(StoreFile());
    bytes[bytes.size() / 2] ^= 0x01;
    ScratchDir::write(StoreFile(), bytes);
    sim::addDives(image_, 2, 3);

    const Run r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0);
    EXPECT_TRUE(Has(r.result.trace, "checksum mismatch")) << r.result.trace;
    EXPECT_TRUE(Has(r.result.trace, "NewDives: Full Download")) << r.result.trace;
    EXPECT_TRUE(HasStatus(r.result, "Downloading Dive Profiles"));
    EXPECT_EQ(r.result.document, FullDocument());
    // The full download put a sound store back.
    store::StoredComputer kept;
    std::string why;
    const std::string again = ScratchDir::read(StoreFile());
    EXPECT_TRUE(store::decode(std::vector<uint8_t>(again.begin(), again.end()), kept, why)) << why;
    EXPECT_EQ(kept.dives.size(), 10u);
}

TEST_P(NewDivesTest, StoreOfAnotherComputerGivesAFullDownload) {
    // Another computer of the same type, its store put where this one's goes.
    Build(7, 26);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    const std::string other = ScratchDir::read(StoreFile());
    std::filesystem::remove(StoreFile());
    Build(7, 27);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    ScratchDir::write(StoreFile(), other);

    const Run r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0);
    EXPECT_TRUE(Has(r.result.trace, "the store holds another computer")) << r.result.trace;
    EXPECT_EQ(r.result.document, FullDocument());
}

TEST_P(NewDivesTest, ClearedMemoryGivesAFullDownload) {
    Build(8, 28);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    // Cleared: no dives, the ring erased, the pointers back at the ring start.
    std::fill(image_.memory.begin() + replay::RingStart, image_.memory.begin() + Top(), 0xFF);
    for (size_t at : {0x190, 0x192}) image_.memory[at] = image_.memory[at + 1] = 0;
    for (size_t at : {0x194, 0x196}) {
        image_.memory[at] = replay::RingStart & 0xFF;
        image_.memory[at + 1] = replay::RingStart >> 8;
    }
    Run r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0);
    EXPECT_TRUE(Has(r.result.trace, "the computer holds no dives")) << r.result.trace;
    EXPECT_EQ(r.result.document, FullDocument());

    // Cleared again after that store, and dived since: the stored dives are
    // gone and new ones lie where they were.
    Build(8, 28);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    std::fill(image_.memory.begin() + replay::RingStart, image_.memory.begin() + Top(), 0xFF);
    image_.memory[0x192] = image_.memory[0x193] = 0;
    image_.memory[0x194] = image_.memory[0x196] = replay::RingStart & 0xFF;
    image_.memory[0x195] = image_.memory[0x197] = replay::RingStart >> 8;
    sim::addDives(image_, 3, 11);
    r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0);
    EXPECT_TRUE(Has(r.result.trace, "NewDives: Full Download")) << r.result.trace;
    EXPECT_TRUE(HasStatus(r.result, "Downloading Dive Profiles"));
    EXPECT_EQ(r.result.document, FullDocument());
    EXPECT_EQ(occurrences(r.result.document, "<dive "), 3);
}

// The newest stored dive is intact but the first new dive is broken: the
// run ends exactly as a full download of that memory does.
TEST_P(NewDivesTest, BrokenNewDiveEndsAsTheFullDownloadDoes) {
    Build(8, 29);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    const auto meant = sim::addDives(image_, 2, 4);
    // No end marker in the first new header.
    const uint32_t marker = meant[0].headerAddress + meant[0].headerSize - 6;
    auto at = [&](uint32_t a) -> uint8_t& {
        return image_.memory[a >= Top() ? a - Top() + replay::RingStart : a];
    };
    at(marker) = 0x11;
    const Run full = Download({});
    ASSERT_NE(full.result.code, 0);

    const Run r = Download(NewOptions());
    EXPECT_TRUE(Has(r.result.trace, "NewDives: Full Download (DownloadControl::Header Size"))
        << r.result.trace;
    EXPECT_EQ(r.result.code, full.result.code);
    EXPECT_EQ(r.result.lastStatus(), full.result.lastStatus());
    EXPECT_FALSE(r.result.written);
}

// The gauge of a -new run moves with the pages it reads, from 0 to 100,
// one step a page: the newest stored dive's header, read to check it, is
// no part of it; a page the check read already costs nothing.
TEST_P(NewDivesTest, GaugeCountsThePagesToReadAndEndsAt100) {
    Build(10, 30);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    for (int added : {0, 3}) {
        SCOPED_TRACE("dives added: " + std::to_string(added));
        const uint32_t newestStored = WordAt(image_.memory, 0x190);
        sim::addDives(image_, added, 40 + added);
        const Run r = Download(NewOptions());
        ASSERT_EQ(r.result.code, 0) << r.result.lastStatus();
        std::set<uint32_t> checked;
        PagesOf(newestStored, 84, checked);
        const size_t walked = r.pages.size() - checked.size();
        ASSERT_EQ(walked > 0, added > 0);
        std::vector<int> expected = {0};
        for (size_t i = 1; i <= walked; ++i) {
            const int p = static_cast<int>(
                std::floor(100.0 / (static_cast<double>(walked) / static_cast<double>(i)) + 0.5));
            if (p != expected.back()) expected.push_back(p);
        }
        if (expected.back() != 100) expected.push_back(100);
        EXPECT_EQ(r.result.percentsBetween("Downloading New Dives (0)", "Building Data File"),
                  expected);
    }
}

// -new falls back to the whole download when the newest stored dive's
// header changed: the pages read to find that out are not read again.
TEST_P(NewDivesTest, FallbackReadsEveryPageOnce) {
    Build(10, 31);
    ASSERT_EQ(Download(NewOptions()).result.code, 0);
    const uint32_t newest = WordAt(image_.memory, 0x190);
    sim::addDives(image_, 2, 12);
    // The dive's number in its series, as if the computer had rewritten it.
    uint8_t& number =
        image_.memory[newest + 30 >= Top() ? newest + 30 - Top() + replay::RingStart : newest + 30];
    number ^= 0x40;
    const Run r = Download(NewOptions());
    ASSERT_EQ(r.result.code, 0) << r.result.lastStatus();
    EXPECT_TRUE(Has(r.result.trace, "has changed")) << r.result.trace;
    EXPECT_TRUE(HasStatus(r.result, "Downloading Dive Profiles"));
    EXPECT_EQ(r.result.document, FullDocument());
    const std::set<uint32_t> distinct(r.pages.begin(), r.pages.end());
    EXPECT_EQ(r.pages.size(), distinct.size());
    EXPECT_EQ(r.pages, PageReads(FullRunSent()));
}

INSTANTIATE_TEST_SUITE_P(Types, NewDivesTest,
                         ::testing::Values(InterfaceType::Type2, InterfaceType::Type3),
                         [](const ::testing::TestParamInfo<InterfaceType>& info) {
                             return "type" + std::to_string(static_cast<int>(info.param));
                         });

// Runs with the default store folder, type 1, and the promise that nothing
// is stored unless asked.
class StoreUseTest : public ::testing::Test {
  protected:
    // The data folder follows the environment on Linux; on Windows it is
    // the shell's, which no variable moves.
#ifndef _WIN32
    StoreUseTest() : scoped_(clock_) {
        SaveEnvironment("XDG_DATA_HOME");
        SaveEnvironment("HOME");
        setenv("XDG_DATA_HOME", dir_.file("xdg").c_str(), 1);
        setenv("HOME", dir_.file("home").c_str(), 1);
    }
    ~StoreUseTest() override {
        for (const auto& [name, value] : saved_) {
            if (value.second)
                setenv(name.c_str(), value.first.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
#else
    StoreUseTest() : scoped_(clock_) {}
#endif
    void SaveEnvironment(const std::string& name) {
        const char* v = std::getenv(name.c_str());
        saved_[name] = {v ? v : "", v != nullptr};
    }

    session_run::Result Download(const replay::ComputerImage& image,
                                 std::vector<std::string> extra) {
        sim::MemoryComputer computer(image);
        platform::MemoryPortRegistry ports;
        ports.add("DC", &computer);
        std::vector<std::string> args = {"-p=DC", "-v=2", "-us"};
        args.insert(args.end(), extra.begin(), extra.end());
        return session_run::run(args, &ports, dir_.file("out.xml"), dir_.file("trace"));
    }
    static replay::ComputerImage Computer(InterfaceType type, int dives) {
        sim::BuildOptions o;
        o.type = type;
        o.dives = dives;
        o.seed = 31;
        return sim::buildComputer(o).image;
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path()))
            names.push_back(e.path().lexically_relative(dir_.path()).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    std::map<std::string, std::pair<std::string, bool>> saved_;
};

TEST_F(StoreUseTest, WithoutNewOrStoreNothingIsWrittenButOutputAndTrace) {
    const session_run::Result r = Download(Computer(InterfaceType::Type2, 4), {});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"out.xml", "trace.txt"}));
    EXPECT_FALSE(Has(r.trace, "DiveStore"));
    EXPECT_FALSE(Has(r.trace, "NewDives"));
}

#ifndef _WIN32
TEST_F(StoreUseTest, NewKeepsTheStoreInTheDataFolder) {
    const auto image = Computer(InterfaceType::Type3, 5);
    const session_run::Result first = Download(image, {"-new"});
    ASSERT_EQ(first.code, 0);
    const auto entries = Entries();
    // out.xml, trace.txt, xdg, xdg/talvek-dl, the port's type, the store
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[2], "xdg");
    EXPECT_EQ(entries[3], "xdg/talvek-dl");
    EXPECT_EQ(entries[4], "xdg/talvek-dl/ports.txt");
    EXPECT_EQ(entries[5].rfind("xdg/talvek-dl/t4-m", 0), 0u) << entries[5];
    const session_run::Result second = Download(image, {"-new"});
    EXPECT_TRUE(Has(second.trace, "5 Stored Dives Still In Memory")) << second.trace;
    EXPECT_EQ(second.document, first.document);

    // Without XDG_DATA_HOME the store lives under ~/.local/share.
    unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(Download(image, {"-store"}).code, 0);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("home/.local/share/talvek-dl")));
}
#else
TEST_F(StoreUseTest, NewKeepsTheStoreInTheLocalApplicationDataFolder) {
    const char* local = std::getenv("LOCALAPPDATA");
    ASSERT_TRUE(local && local[0]);
    const std::filesystem::path folder = std::filesystem::path(local) / "Talvek" / "XML Downloader";
    // A computer of its own (seed 73), so no other run's store is touched.
    sim::BuildOptions o;
    o.type = InterfaceType::Type3;
    o.dives = 5;
    o.seed = 73;
    const auto image = sim::buildComputer(o).image;
    const session_run::Result first = Download(image, {"-new"});
    ASSERT_EQ(first.code, 0);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"out.xml", "trace.txt"}));
    std::vector<std::filesystem::path> made;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind("t4-m", 0) == 0) made.push_back(e.path());
    const session_run::Result second = Download(image, {"-new"});
    for (const auto& p : made) std::filesystem::remove(p);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(Has(second.trace, "5 Stored Dives Still In Memory")) << second.trace;
    EXPECT_EQ(second.document, first.document);
}
#endif

TEST_F(StoreUseTest, UnwritableStoreIsTracedAndChangesNothing) {
    const auto image = Computer(InterfaceType::Type2, 3);
    const session_run::Result plain = Download(image, {});
    // The folder's name is taken by a file.
    ScratchDir::write(dir_.file("blocked"), "x");
    const session_run::Result r = Download(image, {"-new", "-store=" + dir_.file("blocked")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.statuses, plain.statuses);
    EXPECT_EQ(r.lastStatus(), "Download Successfull");
    EXPECT_TRUE(Has(r.trace, "DiveStore: Not Saved")) << r.trace;
    EXPECT_EQ(r.document, plain.document);
}

// The probes a run made, in order.
std::vector<std::string> Searches(const session_run::Result& r) {
    std::vector<std::string> out;
    for (const auto& s : r.statuses)
        if (s.rfind("Searching for Device (", 0) == 0) out.push_back(s.substr(22, 1));
    return out;
}

using Order = std::vector<std::string>;

// The store remembers the type found on the port and probes it first.
TEST_F(StoreUseTest, RememberedTypeIsProbedFirst) {
    const std::string folder = dir_.file("st"), list = folder + "/ports.txt";
    const std::vector<std::string> store = {"-new", "-store=" + folder};
    const auto three = Computer(InterfaceType::Type3, 4);
    const session_run::Result first = Download(three, store);
    ASSERT_EQ(first.code, 0);
    EXPECT_EQ(Searches(first), (Order{"1", "2", "3"}));
    EXPECT_TRUE(Has(first.trace, "Probe: Usual Order (" + list + ": no port found yet)"))
        << first.trace;
    EXPECT_EQ(ScratchDir::read(list), "TLVKPORTS 1\n3 DC\n");

    const session_run::Result second = Download(three, store);
    EXPECT_EQ(Searches(second), (Order{"3"}));
    EXPECT_TRUE(Has(second.trace, "Probe: Device Type 3 First (last found on DC: " + list + ")"))
        << second.trace;
    EXPECT_EQ(second.document, first.document);
}

// Another computer on a port remembered for another type: the remembered
// probe fails (no answer, or an answer whose header does not read: the
// type 2 cable's echo reads as an answer to type 3), the usual order finds
// the computer, the run writes what a run without the store writes, and the
// store remembers the new type.
TEST_F(StoreUseTest, AnotherComputerOnTheRememberedPortIsFoundInTheUsualOrder) {
    const std::string folder = dir_.file("st"), list = folder + "/ports.txt";
    for (int computer : {1, 2, 3}) {
        const auto image = Computer(static_cast<InterfaceType>(computer), 4);
        const session_run::Result plain = Download(image, {});
        ASSERT_EQ(plain.code, 0);
        for (int remembered : {1, 2, 3}) {
            if (remembered == computer) continue;
            SCOPED_TRACE("computer " + std::to_string(computer) + ", remembered " +
                         std::to_string(remembered));
            std::filesystem::remove_all(folder);
            std::filesystem::create_directories(folder);
            ScratchDir::write(list, "TLVKPORTS 1\n" + std::to_string(remembered) + " DC\n");
            const session_run::Result r = Download(image, {"-store=" + folder});
            ASSERT_EQ(r.code, 0) << r.trace;
            EXPECT_EQ(r.document, plain.document);
            const Order probes = Searches(r);
            ASSERT_FALSE(probes.empty());
            EXPECT_EQ(probes.front(), std::to_string(remembered));
            // Then the usual order up to the computer: without the remembered
            // type when it did not answer, with it when its header did not read.
            Order usual;
            for (int n = 1; n <= computer; ++n)
                if (n != remembered ||
                    Has(r.trace, "Answered First But Its Header Did Not Read; The Usual Order"))
                    usual.push_back(std::to_string(n));
            EXPECT_EQ(Order(probes.begin() + 1, probes.end()), usual) << r.trace;
            EXPECT_TRUE(Has(r.trace, "Probe: Device Type " + std::to_string(remembered) +
                                         " Did Not Answer First; The Usual Order Follows") ||
                        Has(r.trace, "Probe: Device Type " + std::to_string(remembered) +
                                         " Answered First But"))
                << r.trace;
            EXPECT_EQ(ScratchDir::read(list), "TLVKPORTS 1\n" + std::to_string(computer) + " DC\n");
        }
    }
}

// Whatever the list holds that cannot be used, and whenever the run does
// not use the store or -dv chose the types: the usual order, and the same
// document as a run without the store.
TEST_F(StoreUseTest, UsualOrderWhenNoRememberedTypeApplies) {
    const std::string folder = dir_.file("st"), list = folder + "/ports.txt";
    const std::vector<std::string> store = {"-new", "-store=" + folder};
    const auto three = Computer(InterfaceType::Type3, 3);
    const session_run::Result plain = Download(three, {});
    ASSERT_EQ(plain.code, 0);
    const std::string threeOnDc = "TLVKPORTS 1\n3 DC\n";
    struct Case {
        const char* name;
        std::optional<std::string> file;  // the list before the run (none: a folder at its name)
        std::vector<std::string> args;
        Order probes;
        std::string traced;  // empty: nothing of the list is traced
        std::optional<std::string> after;
    };
    const std::vector<Case> cases = {
        {"no store", "TLVKPORTS 1\n2 DC\n", {}, {"1", "2", "3"}, "", "TLVKPORTS 1\n2 DC\n"},
        {"-dv with the store",
         "TLVKPORTS 1\n2 DC\n",
         {"-new", "-store=" + folder, "-dv=3"},
         {"3"},
         "",
         threeOnDc},
        {"another port remembered",
         "TLVKPORTS 1\n2 COM9\n",
         store,
         {"1", "2", "3"},
         "Probe: Usual Order (" + list + ": nothing found on DC yet)",
         "TLVKPORTS 1\n3 DC\n2 COM9\n"},
        {"damaged line",
         "TLVKPORTS 1\n3x DC\n",
         store,
         {"1", "2", "3"},
         "Probe: Remembered Types Ignored (" + list + ": line 2 is damaged)",
         threeOnDc},
        {"no list",
         "garbage\n",
         store,
         {"1", "2", "3"},
         "Probe: Remembered Types Ignored (" + list + ": not a list of ports)",
         threeOnDc},
        {"cut short",
         "TLVKPORTS 1\n3 D",
         store,
         {"1", "2", "3"},
         "Probe: Remembered Types Ignored (" + list + ": the last line has no end)",
         threeOnDc},
        {"no longer a type",
         "TLVKPORTS 1\n7 DC\n",
         store,
         {"1", "2", "3"},
         "Probe: Remembered Type Ignored (" + list + ": no interface type 7)",
         threeOnDc},
        // What the system says of a folder read as a file: "not a plain
        // file" here, access denied under Wine.
        {"a folder at its name",
         std::nullopt,
         store,
         {"1", "2", "3"},
         "Probe: Remembered Types Ignored (" + list + ": ",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        if (c.file)
            ScratchDir::write(list, *c.file);
        else
            std::filesystem::create_directory(list);
        const session_run::Result r = Download(three, c.args);
        ASSERT_EQ(r.code, 0) << r.lastStatus();
        EXPECT_EQ(Searches(r), c.probes);
        EXPECT_EQ(r.document, plain.document);
        if (c.traced.empty())
            EXPECT_FALSE(Has(r.trace, "First (")) << r.trace;
        else
            EXPECT_TRUE(Has(r.trace, c.traced)) << r.trace;
        if (c.after)
            EXPECT_EQ(ScratchDir::read(list), *c.after);
        else
            EXPECT_TRUE(Has(r.trace, "Probe: Device Type 3 Not Remembered (")) << r.trace;
    }
}

// Type 1 streams every dive in order: -new reads them all, and still keeps
// them in the store.
TEST_F(StoreUseTest, Type1NewReadsEverythingAndFillsTheStore) {
    auto image = Computer(InterfaceType::Type1, 3);
    const std::string folder = dir_.file("st");
    const session_run::Result first = Download(image, {"-new", "-store=" + folder});
    ASSERT_EQ(first.code, 0);
    sim::addDives(image, 2, 6);
    const session_run::Result plain = Download(image, {});
    const session_run::Result r = Download(image, {"-new", "-store=" + folder});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(Has(r.trace, "this interface type reads every dive")) << r.trace;
    EXPECT_EQ(r.document, plain.document);
    EXPECT_EQ(occurrences(r.document, "<dive "), 5);
    const std::string file = DivesFileIn(folder);
    const std::string text = ScratchDir::read(file);
    store::StoredComputer kept;
    std::string why;
    ASSERT_TRUE(store::decode(std::vector<uint8_t>(text.begin(), text.end()), kept, why)) << why;
    ASSERT_EQ(kept.dives.size(), 5u);
    EXPECT_EQ(kept.dives.back().data, image.diveStreams.back());
    EXPECT_EQ(kept.family, DataFamily::Family1);
}

}  // namespace

}  // namespace talvek
