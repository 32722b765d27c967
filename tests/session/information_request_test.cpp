// --help, -h, -?, --version and -list: what they print, that nothing else
// is mistaken for them, and that the option table says what README says.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "session/command_line.h"
#include "session/information_request.h"
#include "session/transfer_settings.h"

namespace talvek {

namespace {

std::optional<std::string> Ask(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/talvek-dl"};
    argv.insert(argv.end(), args.begin(), args.end());
    // An empty tree: -list must not depend on this machine's ports.
    return informationText(commandLineFromArgs(argv), {},
                           platform::SystemRoots{"/nonexistent/sys", "/nonexistent/dev"});
}

// The options in the first column of README's option table.
std::vector<std::string> ReadmeOptions() {
    std::ifstream in(std::string(TALVEK_SOURCE_DIR) + "/README.md");
    std::string line;
    bool inTable = false;
    std::vector<std::string> options;
    while (std::getline(in, line)) {
        if (line.rfind("| Option |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.empty() || line[0] != '|') break;
        const std::string cell = line.substr(1, line.find(" |", 1));
        for (size_t at = cell.find('`'); at != std::string::npos; at = cell.find('`', at + 1)) {
            const size_t end = cell.find('`', at + 1);
            std::string option = cell.substr(at + 1, end - at - 1);
            for (size_t bar = option.find("\\|"); bar != std::string::npos; bar = option.find("\\|"))
                option.erase(bar, 1);
            options.push_back(option);
            at = end;
        }
    }
    return options;
}

}  // namespace

TEST(InformationRequest, HelpInEveryFormPrintsTheOptionTable) {
    for (const char* option : {"--help", "-h", "-?", "/?", "-H", "--HELP"}) {
        const auto text = Ask({"-f=out.xml", option});
        ASSERT_TRUE(text) << option;
        EXPECT_EQ(*text, optionTableText()) << option;
    }
    // Help wins over --version and -list, --version over -list.
    EXPECT_EQ(Ask({"-list", "--version", "-h"}), optionTableText());
    EXPECT_EQ(Ask({"-list", "--version"}).value_or("").rfind(TALVEK_PRODUCT_NAME, 0), 0u);
}

TEST(InformationRequest, TheOptionTableHasEveryOptionOfTheReadme) {
    const std::vector<std::string> options = ReadmeOptions();
    ASSERT_GT(options.size(), 30u);
    const std::string table = optionTableText();
    for (const std::string& option : options)
        EXPECT_NE(table.find(option), std::string::npos) << option << " is not in the help text";
    for (const char* added : {"-uddf", "-list", "--help", "-h", "-?", "--version"})
        EXPECT_NE(std::find(options.begin(), options.end(), added), options.end())
            << added << " is not in README's table";
}

TEST(InformationRequest, VersionIsTheProductNameAndVersionOfTheVersionBlock) {
    // This test program carries the same block as talvek-dl.
    EXPECT_EQ(Ask({"--version"}), std::string(TALVEK_PRODUCT_NAME) + " " TALVEK_VERSION "\n");
    const auto missing = informationText("talvek-dl --version", "/nonexistent/talvek-dl");
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing, "talvek-dl: no version information in /nonexistent/talvek-dl\n");
}

TEST(InformationRequest, ListPrintsThePorts) {
    EXPECT_EQ(Ask({"-list"}), "No serial ports found.\n");
    EXPECT_EQ(Ask({"-LIST"}), "No serial ports found.\n");
}

// Keys that only look alike ask for a download, and the new keys change no
// setting of the old ones.
TEST(InformationRequest, DownloadsAreNotMistakenForRequests) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"-version=2", "-p=/dev/ttyUSB0"},
             {"-v=2", "-f=/home/me/h.xml"},
             {"-hx", "-lists", "-hh"},
             {"-f=/tmp/-h", "-p=/dev/-list"},
             {"-uddf"}})
        EXPECT_FALSE(Ask(args)) << commandLineFromArgs(args);

    TransferSettings plain, uddf;
    plain.load("talvek-dl -p=/dev/ttyUSB0 -v=2 -um");
    uddf.load("talvek-dl -p=/dev/ttyUSB0 -v=2 -um -uddf -list -h");
    EXPECT_EQ(uddf.composeOptions(), plain.composeOptions() | 0x400);
    EXPECT_EQ(uddf.portName, plain.portName);
    EXPECT_EQ(uddf.outputFile, plain.outputFile);
}

}  // namespace talvek
