#include "session/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    // Dashes in the program path give junk keys, nothing more.
    CommandLine path("C:\\my-tools\\fetch.exe -v=2");
    EXPECT_TRUE(path.contains("tools\\fetch.exe"));
    EXPECT_STREQ(path.valueOf("v"), "2");
    // Empty keys are not stored; their values are still consumed.
    CommandLine empty("prog -:x -=y - -v=2 -");
    EXPECT_EQ(empty.values().size(), 1u);
    EXPECT_STREQ(empty.valueOf("v"), "2");
    CommandLine none("");
    EXPECT_TRUE(none.values().empty());
}

TEST(commandLineFromArgs, QuotesArgumentsWithBlanksOrEmpty) {
    EXPECT_EQ(commandLineFromArgs({"/opt/my tools/dl", "-f=my out.xml", "/p:COM3", "", "plain arg",
                                   "-v=2", "-nc x", "-f="}),
              "\"/opt/my tools/dl\" -f=\"my out.xml\" /p:COM3 \"\" \"plain arg\" -v=2 "
              "\"-nc x\" -f=");
    // The program path is quoted whole even when it looks like an option.
    EXPECT_EQ(commandLineFromArgs({"/opt/a=b c/dl"}), "\"/opt/a=b c/dl\"");
    const char* argv[] = {"dl", "-p=/dev/ttyUSB0", "-cdblog=/tmp/a b/log"};
    EXPECT_EQ(commandLineFromArgs(3, argv), "dl -p=/dev/ttyUSB0 -cdblog=\"/tmp/a b/log\"");
    EXPECT_EQ(commandLineFromArgs(0, nullptr), "");
}

TEST(commandLineFromArgs, RebuiltTextScansBackToTheArguments) {
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

}  // namespace

}  // namespace talvek
