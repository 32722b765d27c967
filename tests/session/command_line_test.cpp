#include "session/command_line.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/os.h"
#include "session/transfer_settings.h"

namespace talvek {

namespace {

std::vector<std::string> Tokens(const std::string& line) {
    ArgumentTokens p(line);
    std::vector<std::string> out;
    for (size_t i = 0; i < p.count(); ++i) out.push_back(p[i]);
    return out;
}

using V = std::vector<std::string>;

TEST(ArgumentTokens, SplitsOnBlanksAndQuotes) {
    EXPECT_EQ(Tokens("C:\\Tools\\fetch.exe -f=out.xml"), (V{"C:\\Tools\\fetch.exe", "-f=out.xml"}));
    EXPECT_EQ(Tokens("\"C:\\Program Files\\fetch.exe\" -v=2"),
              (V{"C:\\Program Files\\fetch.exe", "-v=2"}));
    // Repeated blanks give no empty tokens; tabs do not separate.
    EXPECT_EQ(Tokens("  a\tb   c  "), (V{"a\tb", "c"}));
    // A quote after a backslash does not close; the backslash stays.
    EXPECT_EQ(Tokens("\"a\\\"b\" c"), (V{"a\\\"b", "c"}));
    // Empty quoted token dropped; a token may follow a closing quote directly.
    EXPECT_EQ(Tokens("\"\" x \"a b\"c"), (V{"x", "a b", "c"}));
    // An unclosed quote drops the rest of the text.
    EXPECT_EQ(Tokens("a \"b c"), (V{"a"}));
    // A quote inside a plain token is an ordinary character.
    EXPECT_EQ(Tokens("-f=\"x y\""), (V{"-f=\"x", "y\""}));

    ArgumentTokens empty("");
    EXPECT_EQ(empty.count(), 0u);
    EXPECT_EQ(empty[0], "");
    ArgumentTokens one("prog");
    EXPECT_EQ(one[1], "");
    EXPECT_EQ(one[1000], "");
}

TEST(PathParts, SplitsDriveDirectoryNameAndExtension) {
    PathParts win("C:/Tools/fetch.exe");
    EXPECT_EQ(win.fullPath(), "C:/Tools/fetch.exe");
    EXPECT_EQ(win.drive(), "C:");
    EXPECT_EQ(win.directory(), "/Tools");
    EXPECT_EQ(win.name(), "fetch");
    EXPECT_EQ(win.extension(), ".exe");

    PathParts dotted("D:\\my.tools\\fetch.tar.gz");
    EXPECT_EQ(dotted.directory(), "\\my.tools");
    EXPECT_EQ(dotted.name(), "fetch.tar");
    EXPECT_EQ(dotted.extension(), ".gz");

    // No drive letter: the split goes on.
    PathParts linux("/opt/x/talvek-dl");
    EXPECT_EQ(linux.drive(), "");
    EXPECT_EQ(linux.directory(), "/opt/x");
    EXPECT_EQ(linux.name(), "talvek-dl");
    EXPECT_EQ(linux.extension(), "");

    PathParts bare("talvek-dl");
    EXPECT_EQ(bare.directory(), "");
    EXPECT_EQ(bare.name(), "talvek-dl");

    PathParts relative("./build/app/dl");
    EXPECT_EQ(relative.directory(), "./build/app");
    EXPECT_EQ(relative.name(), "dl");

    PathParts driveOnly("C:");
    EXPECT_EQ(driveOnly.drive(), "C:");
    EXPECT_EQ(driveOnly.name(), "");

    PathParts none("");
    EXPECT_EQ(none.fullPath(), "");
    EXPECT_EQ(none.drive() + none.directory() + none.name() + none.extension(), "");
}

TEST(CommandLine, PrefixesSeparatorsAndCase) {
    CommandLine p("prog -F=Out.xml /p:COM3 -nc -Codec=UTF16");
    EXPECT_STREQ(p.valueOf("f"), "Out.xml");  // values keep their case
    EXPECT_STREQ(p.valueOf("F"), "Out.xml");  // lookups are lower-cased too
    EXPECT_STREQ(p.valueOf("p"), "COM3");
    EXPECT_STREQ(p.valueOf("codec"), "UTF16");
    ASSERT_NE(p.valueOf("nc"), nullptr);
    EXPECT_STREQ(p.valueOf("nc"), "");
    EXPECT_TRUE(p.contains("NC"));
    EXPECT_FALSE(p.contains("x"));
    EXPECT_EQ(p.valueOf("x"), nullptr);
    EXPECT_EQ(p.values().size(), 4u);

    CommandLine sensitive("prog -F=x", true);
    EXPECT_TRUE(sensitive.contains("F"));
    EXPECT_FALSE(sensitive.contains("f"));
}

TEST(CommandLine, FirstOccurrenceWins) {
    CommandLine p("prog -f=a.xml -F=b.xml /f:c.xml -file=d.xml");
    EXPECT_STREQ(p.valueOf("f"), "a.xml");
    EXPECT_STREQ(p.valueOf("file"), "d.xml");
}

TEST(CommandLine, ValuesQuotedBlankSeparatedAndAtTheEnd) {
    CommandLine quoted("prog -f=\"C:\\My Files\\out.xml\" -v=2");
    EXPECT_STREQ(quoted.valueOf("f"), "C:\\My Files\\out.xml");
    EXPECT_STREQ(quoted.valueOf("v"), "2");

    // A value after a blank is not taken; the word is scanned for options.
    CommandLine blank("prog -f out.xml -v=2");
    EXPECT_STREQ(blank.valueOf("f"), "");
    EXPECT_STREQ(blank.valueOf("v"), "2");
    EXPECT_EQ(blank.values().size(), 2u);
    CommandLine blankPath("prog -f /tmp/out.xml");
    EXPECT_STREQ(blankPath.valueOf("f"), "");
    EXPECT_TRUE(blankPath.contains("tmp/out.xml"));

    CommandLine tail("prog -v=2 -g");
    EXPECT_STREQ(tail.valueOf("g"), "");
    CommandLine sepLast("prog -f=");
    EXPECT_STREQ(sepLast.valueOf("f"), "");
    CommandLine valueLast("prog -f=abc");
    EXPECT_STREQ(valueLast.valueOf("f"), "abc");
    CommandLine unclosed("prog -f=\"my out.xml -v=2");
    EXPECT_STREQ(unclosed.valueOf("f"), "my out.xml -v=2");
    EXPECT_FALSE(unclosed.contains("v"));
    CommandLine emptyQuoted("prog -f=\"\" -v=1");
    EXPECT_STREQ(emptyQuoted.valueOf("f"), "");
    EXPECT_STREQ(emptyQuoted.valueOf("v"), "1");
    CommandLine colons("prog -p:a:b=c");
    EXPECT_STREQ(colons.valueOf("p"), "a:b=c");
}

TEST(CommandLine, StrayPrefixesAndEmptyKeys) {
    // A doubled prefix keeps one dash in the key.
    CommandLine doubled("prog --f=x");
    EXPECT_FALSE(doubled.contains("f"));
    EXPECT_STREQ(doubled.valueOf("-f"), "x");
    // Dashes in the program path give no keys at all.
    CommandLine path("C:\\my-tools\\fetch.exe -v=2");
    EXPECT_EQ(path.values().size(), 1u);
    EXPECT_STREQ(path.valueOf("v"), "2");
    // Empty keys are not stored; their values are still consumed.
    CommandLine empty("prog -:x -=y - -v=2 -");
    EXPECT_EQ(empty.values().size(), 1u);
    EXPECT_STREQ(empty.valueOf("v"), "2");
    CommandLine none("");
    EXPECT_TRUE(none.values().empty());
}

// The program's own path never supplies an option, however it reads: a
// folder named like an option leaves the user's options (and the defaults)
// as they are, and still names the trace folder.
TEST(CommandLine, ProgramPathSuppliesNoOption) {
    struct Row {
        std::vector<std::string> args;
        const char* outputFile;
        const char* traceBase;
    };
    const Row rows[] = {
        {{"/opt/x -f=victim.xml y/talvek-dl", "-f=mine.xml"}, "mine.xml", "talvek-dl/CDBLOG"},
        {{"/opt/x -f=victim.xml y/talvek-dl"}, "TalvekDownload.xml", "talvek-dl/CDBLOG"},
        {{"/opt/-report=/etc/x/-dump=/etc/y/dl", "-v=2"}, "TalvekDownload.xml", "dl/CDBLOG"},
        {{"/opt/-cdblog=/tmp/t/dl"}, "TalvekDownload.xml", "dl/CDBLOG"},
        {{"dl"}, "TalvekDownload.xml", "dl/CDBLOG"},
    };
    for (const Row& row : rows) {
        const std::string line = commandLineFromArgs(row.args);
        SCOPED_TRACE(line);
        TransferSettings settings(platform::PosixConventions);
        settings.load(line);
        EXPECT_EQ(settings.programPath, row.args[0]);
        EXPECT_EQ(settings.outputFile, row.outputFile);
        EXPECT_EQ(settings.traceBasePath, row.traceBase);
        EXPECT_FALSE(settings.reportRequested);
        EXPECT_FALSE(settings.extras.dumpFile);
    }
    // As a Windows caller writes it: the quoted path is token 0.
    CommandLine windows("\"C:\\Tools -f=x\\talvek-dl.exe\" -p=COM3");
    EXPECT_FALSE(windows.contains("f"));
    EXPECT_STREQ(windows.valueOf("p"), "COM3");
}

TEST(CommandLineFromArgs, QuotesArgumentsWithBlanksOrEmpty) {
    EXPECT_EQ(commandLineFromArgs({"/opt/my tools/dl", "-f=my out.xml", "/p:COM3", "", "plain arg",
                                   "-v=2", "-nc", "-f="}),
              "\"/opt/my tools/dl\" -f=\"my out.xml\" /p:COM3 \"\" \"plain arg\" -v=2 -nc -f=");
    // The program path is quoted whole even when it looks like an option.
    EXPECT_EQ(commandLineFromArgs({"/opt/a=b c/dl"}), "\"/opt/a=b c/dl\"");
    const char* argv[] = {"dl", "-p=/dev/ttyUSB0", "-cdblog=/tmp/a b/log"};
    EXPECT_EQ(commandLineFromArgs(3, argv), "dl -p=/dev/ttyUSB0 -cdblog=\"/tmp/a b/log\"");
    EXPECT_EQ(commandLineFromArgs(0, nullptr), "");
}

TEST(CommandLineFromArgs, RebuiltTextScansBackToTheArguments) {
    std::string line = commandLineFromArgs(
        {"/opt/my tools/talvek-dl", "-f=/tmp/my out.xml", "/port:COM3", "-v=2"});
    ArgumentTokens tokens(line);
    EXPECT_EQ(tokens[0], "/opt/my tools/talvek-dl");
    EXPECT_EQ(PathParts(tokens[0]).name(), "talvek-dl");
    CommandLine p(line);
    EXPECT_STREQ(p.valueOf("f"), "/tmp/my out.xml");
    EXPECT_STREQ(p.valueOf("port"), "COM3");
    EXPECT_STREQ(p.valueOf("v"), "2");
}

// The message of the refusal of `args`, or "" when they were carried.
std::string Refusal(const std::vector<std::string>& args) {
    try {
        commandLineFromArgs(args);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

// A value with a quote and a blank, or one that starts with a quote, cannot
// be written so that the scanner reads it back: such an argument stops the
// run, with a message that names it, instead of naming another file or
// swallowing the options after it.
TEST(CommandLineFromArgs, ArgumentsTheTextCannotCarryAreRefusedByName) {
    for (const std::string bad : {"-f=a\"b c.xml", "-f=\"abc", "-f=\"quoted\"", "/file:\"x y",
                                  "-p=\"", "word-f=\"open", "two words-f=\"",
                                  // a key cannot hold a blank; a word is no option
                                  "-nc x", "my-dives.xml"}) {
        SCOPED_TRACE(bad);
        const std::string message = Refusal({"dl", bad, "-p=/dev/ttyUSB0"});
        EXPECT_NE(message.find(bad), std::string::npos) << message;
    }
    // The program path cannot hold a quote; quoted for its blanks, it cannot
    // end in a separator that would open a quoted value either.
    EXPECT_NE(Refusal({"/opt/a\"b/dl", "-v=2"}).find("/opt/a\"b/dl"), std::string::npos);
    EXPECT_NE(Refusal({"/opt/my tools/x=", "-f=my file"}), "");
    // Found by fuzzing: an empty program path vanished from the text, and
    // the first argument took its place (and named the trace directory).
    EXPECT_NE(Refusal({"", "-f=/data/dives.xml"}), "");
    // ... and a quoted path ending in a backslash lost its closing quote.
    EXPECT_NE(Refusal({"C:\\my tools\\", "-v=2"}), "");
    EXPECT_EQ(Refusal({"C:\\tools\\", "-v=2"}), "");
    EXPECT_EQ(Refusal({"/opt/x=", "-f=my file"}), "");

    // A quote inside a value without blanks reads back as it is.
    EXPECT_EQ(Refusal({"dl", "-f=a\"b.xml", "-f=x", "-nc", "-p="}), "");
    CommandLine p(commandLineFromArgs({"dl", "-f=a\"b.xml", "-v=2"}));
    EXPECT_STREQ(p.valueOf("f"), "a\"b.xml");
    EXPECT_STREQ(p.valueOf("v"), "2");
}

// Any accepted set of arguments reads back through the scanner exactly:
// each option's value is its argument's bytes (non-UTF-8 included), the
// first occurrence of a key wins, and nothing spills into the next option.
TEST(CommandLineFromArgs, EveryCarriedOptionReadsBackAsItsArgument) {
    std::mt19937 rng(20260514);
    const std::string valueChars = "ab -/=:\"\\.\xff\xc3\x80";
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int carried = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> args{"/usr/bin/talvek-dl"};
        std::vector<std::pair<std::string, std::string>> options;  // key, value
        for (int n = 1 + pick(4); n > 0; --n) {
            if (pick(5) == 0) {
                args.push_back(std::string(1 + pick(3), "xyz"[pick(3)]));  // a plain word
                continue;
            }
            std::string key(1 + pick(2), "fpv"[pick(3)]);
            std::string value;
            for (int k = pick(7); k > 0; --k) value += valueChars[pick(valueChars.size())];
            args.push_back(std::string(1, "-/"[pick(2)]) + key + "=:"[pick(2)] + value);
            options.emplace_back(key, value);
        }
        std::string line;
        try {
            line = commandLineFromArgs(args);
        } catch (const std::exception&) {
            ++refused;
            continue;
        }
        ++carried;
        EXPECT_EQ(ArgumentTokens(line)[0], args[0]);
        CommandLine scanned(line);
        for (size_t i = 0; i < options.size(); ++i) {
            bool first = true;
            for (size_t j = 0; j < i; ++j) first = first && options[j].first != options[i].first;
            if (!first) continue;
            const char* value = scanned.valueOf(options[i].first);
            ASSERT_NE(value, nullptr) << line;
            ASSERT_EQ(std::string(value), options[i].second) << line;
        }
    }
    // Both outcomes were exercised.
    EXPECT_GT(carried, 1000);
    EXPECT_GT(refused, 100);
}

}  // namespace

}  // namespace talvek
