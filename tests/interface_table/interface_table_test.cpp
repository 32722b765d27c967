// The table of interface types seen from outside the program: a fourth type
// made in this folder alone is probed, downloaded, dumped and replayed by the
// session's own code, and the probe order can put any row first (the store's
// remembered type among them).
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/scratch_dir.h"
#include "support/session_run.h"
#include "toy_interface.h"

namespace talvek {

namespace {

// Three dives of a few depth changes behind a header image.
replay::ComputerImage toyImage() {
    replay::ComputerImage image;
    image.type = static_cast<replay::InterfaceType>(toy::Number);
    image.identity = {42, 1, 2, 3};
    image.memory.assign(toy::MemorySize, 0);
    for (int i = 0; i < HeaderImageSize; ++i) image.memory[i] = static_cast<uint8_t>(i);
    image.memory[toy::DiveCountAt] = 3;
    uint32_t at = toy::DiveCountAt + 1;
    for (uint8_t d = 1; d <= 3; ++d) {
        const std::vector<uint8_t> dive = {24, 5, d, 9, 30, 4, 10, 20, 0xF6, 0xEC};
        std::copy(dive.begin(), dive.end(), image.memory.begin() + at);
        at += static_cast<uint32_t>(dive.size());
    }
    return image;
}

InterfaceTable withToy() {
    InterfaceTable table = standardInterfaces();
    table.add(toy::row());
    return table;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class InterfaceTableTest : public ::testing::Test {
  protected:
    InterfaceTableTest() : scoped_(clock_) {}

    session_run::Result Run(std::vector<std::string> args, platform::SerialOpener* ports) {
        const std::string n = std::to_string(++runs_);
        return session_run::run(args, ports, dir_.file("out" + n + ".xml"), dir_.file("trace" + n),
                                "", withToy());
    }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    int runs_ = 0;
};

TEST_F(InterfaceTableTest, AFourthTypeIsProbedDownloadedDumpedAndReplayed) {
    toy::ToyComputer computer(toyImage());
    platform::MemoryPortRegistry ports;
    ports.add("TOY", &computer);
    const std::string dump = dir_.file("toy.img");

    const session_run::Result online = Run({"-p=TOY", "-v=2", "-um", "-dump=" + dump}, &ports);
    ASSERT_EQ(online.code, 0) << online.lastStatus();
    // Probed after the program's own three, which do not answer.
    EXPECT_EQ(online.statuses[0], "Searching for Device (1)");
    EXPECT_NE(std::find(online.statuses.begin(), online.statuses.end(), "Searching for Device (4)"),
              online.statuses.end());
    EXPECT_EQ(count(online.trace, "Did Not Find Device Type"), 3u);
    EXPECT_EQ(count(online.trace, "Found Device Toy"), 1u);
    EXPECT_EQ(count(online.document, "<dive "), 3u) << online.document;

    // The dump holds the fourth type; only a reader that knows it can read it.
    EXPECT_THROW(replay::loadImage(dump), std::runtime_error);
    const replay::ComputerImage dumped = replay::loadImage(dump, withToy().imageShapes());
    EXPECT_EQ(static_cast<int>(dumped.type), toy::Number);
    EXPECT_EQ(dumped.identity, (std::array<uint8_t, 4>{42, 1, 2, 3}));

    // Replayed without a port, the same document.
    const session_run::Result replayed = Run({"-image=" + dump, "-v=2", "-um"}, nullptr);
    ASSERT_EQ(replayed.code, 0) << replayed.lastStatus();
    EXPECT_EQ(count(replayed.trace, "(Device Type 4)"), 1u);
    EXPECT_EQ(replayed.document, online.document);
}

TEST_F(InterfaceTableTest, ProbeOrderPutsOneRowFirstAndKeepsTheRest) {
    const InterfaceTable table = withToy();
    auto numbers = [&](std::optional<int> first) {
        std::vector<int> out;
        for (const InterfaceRow* row : table.probeOrder(first)) out.push_back(row->number);
        return out;
    };
    EXPECT_EQ(numbers(std::nullopt), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(numbers(3), (std::vector<int>{3, 1, 2, 4}));
    EXPECT_EQ(numbers(4), (std::vector<int>{4, 1, 2, 3}));
    EXPECT_EQ(numbers(1), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(numbers(9), (std::vector<int>{1, 2, 3, 4}));  // no such row
}

TEST_F(InterfaceTableTest, ARowFirstInTheTableIsProbedFirst) {
    toy::ToyComputer computer(toyImage());
    platform::MemoryPortRegistry ports;
    ports.add("TOY", &computer);
    std::vector<InterfaceRow> rows = withToy().rows();
    std::rotate(rows.begin(), rows.end() - 1, rows.end());
    const std::string n = std::to_string(++runs_);
    const session_run::Result r =
        session_run::run({"-p=TOY"}, &ports, dir_.file("out" + n + ".xml"), dir_.file("trace" + n),
                         "", InterfaceTable(rows));
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.statuses[0], "Searching for Device (4)");
    EXPECT_EQ(count(r.trace, "Did Not Find"), 0u);
}

// The store remembers the fourth type on its port like any other: the
// next run that uses the store probes it first.
TEST_F(InterfaceTableTest, AFourthTypeRememberedByTheStoreIsProbedFirst) {
    toy::ToyComputer computer(toyImage());
    platform::MemoryPortRegistry ports;
    ports.add("TOY", &computer);
    const std::string store = "-store=" + dir_.file("store");
    const session_run::Result first = Run({"-p=TOY", store}, &ports);
    ASSERT_EQ(first.code, 0) << first.lastStatus();
    EXPECT_EQ(first.statuses[0], "Searching for Device (1)");
    const session_run::Result second = Run({"-p=TOY", store}, &ports);
    ASSERT_EQ(second.code, 0) << second.lastStatus();
    EXPECT_EQ(second.statuses[0], "Searching for Device (4)");
    EXPECT_EQ(count(second.trace, "Did Not Find"), 0u);
    EXPECT_EQ(second.document, first.document);
}

}  // namespace

}  // namespace talvek
