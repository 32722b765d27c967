// The terminal front end: whole downloads from a simulated computer in
// process, on the in-memory port and the virtual clock, shown on one line.
#include "frontend/terminal/terminal_frontend.h"

#include "platform/os.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/text_count.h"
#include "support/worker_test_support.h"

namespace talvek {

using namespace worker_test;

namespace {

class TerminalTest : public ::testing::Test {
  protected:
    TerminalTest() : scoped_(clock_) {
        sim::BuildOptions o;
        o.type = replay::InterfaceType::Type2;
        o.dives = 3;
        o.seed = 9;
        computer_ = std::make_unique<sim::MemoryComputer>(sim::buildComputer(o).image);
        ports_.add("SIM", computer_.get());
    }
    ~TerminalTest() override { trace::shutdown(); }

    std::string CommandLine(const std::string& options) const {
        return "talvek-dl -p=SIM -f=" + dir_.file("out.xml") + " -cdblog=" + dir_.file("trace") +
               " " + options;
    }
    SessionSetup Ports() {
        SessionSetup setup;
        setup.ports = &ports_;
        return setup;
    }

    ScratchDir dir_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry ports_;
    std::unique_ptr<sim::MemoryComputer> computer_;
    std::string shown_;  // everything written to the "terminal"
};

TEST_F(TerminalTest, AWholeDownloadOnOneLine) {
    TerminalFrontend terminal(
        CommandLine("-v=2 -um"), [this](const std::string& s) { shown_ += s; }, Ports());
    EXPECT_EQ(terminal.run(), 0);

    // One rewrite per status or progress change, each the whole line.
    std::vector<std::string> texts;
    std::vector<int> percents;
    size_t at = 0;
    while ((at = shown_.find('\r', at)) != std::string::npos) {
        const size_t close = shown_.find("%] ", at);
        const size_t erase = shown_.find("\x1b[K", at);
        ASSERT_EQ(shown_[at + 1], '[');
        ASSERT_EQ(close, at + 5);
        ASSERT_NE(erase, std::string::npos);
        percents.push_back(std::stoi(shown_.substr(at + 2, 3)));
        const std::string text = shown_.substr(close + 3, erase - close - 3);
        if (texts.empty() || texts.back() != text) texts.push_back(text);
        at = erase;
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Searching for Device (1)", "Comm Open Failure!",
                                        "Searching for Device (2)", "Comm Opened Successfully!",
                                        "Downloading Computer Data", "Downloading Dive Profiles",
                                        "Building Data File", "Download Successfull"}));
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
    // The line ends once, after the last text.
    EXPECT_EQ(shown_.substr(shown_.size() - 26), "] Download Successfull\x1b[K\n");
    EXPECT_EQ(occurrences(shown_, "\n"), 1);

    const std::string xml = readFile(dir_.file("out.xml"));
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_EQ(occurrences(xml, "<dive "), 3);
    EXPECT_NE(xml.find("units=\"metric\""), std::string::npos);

    // The trace ends as the window's does.
    const std::string traced = readFile(dir_.file("trace.txt"));
    EXPECT_NE(traced.find("Did Not Find Device Type 1"), std::string::npos);
    EXPECT_NE(traced.find("Found Device Type2"), std::string::npos);
    const std::string last = "  Info:: FormClose(): Returning 0\r\n";
    EXPECT_EQ(traced.substr(traced.size() - last.size()), last);
}

TEST_F(TerminalTest, CancelEndsWithTheCancelledStatusAndNoFile) {
    std::unique_ptr<TerminalFrontend> terminal;
    terminal = std::make_unique<TerminalFrontend>(
        CommandLine("-v=2 -dv=2"),
        [&](const std::string& s) {
            shown_ += s;
            if (s.find("Downloading Dive Profiles") != std::string::npos) terminal->cancel(2);
        },
        Ports());
    // 130 where a status has 8 bits, the code itself on Windows.
    EXPECT_EQ(terminal->run(), platform::systemConventions().fullExitCodes ? 9999 : 130);
    EXPECT_EQ(shown_.substr(shown_.size() - 14), "] Canceled\x1b[K\n");
    EXPECT_FALSE(fileExists(dir_.file("out.xml")));
    EXPECT_NE(readFile(dir_.file("trace.txt")).find("Signal 2 Received"), std::string::npos);
}

TEST_F(TerminalTest, NothingIsShownForABadOption) {
    EXPECT_THROW(TerminalFrontend(
                     CommandLine("-dv=x"), [this](const std::string& s) { shown_ += s; }, Ports()),
                 ConversionError);
    EXPECT_TRUE(shown_.empty());
}

}  // namespace

}  // namespace talvek
