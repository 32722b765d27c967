#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cmdline.h"

namespace {

std::vector<std::string> Tokens(const std::string& line) {
    ParamString p(line);
    std::vector<std::string> out;
    for (size_t i = 0; i < p.Count(); ++i) out.push_back(p[i]);
    return out;
}

using V = std::vector<std::string>;

TEST(ParamString, SplitsOnBlanksAndQuotes) {
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

    ParamString empty("");
    EXPECT_EQ(empty.Count(), 0u);
    EXPECT_EQ(empty[0], "");
    ParamString one("prog");
    EXPECT_EQ(one[1], "");
    EXPECT_EQ(one[1000], "");
}

TEST(CPath, SplitsDriveDirectoryNameAndExtension) {
    CPath win("C:/Tools/fetch.exe");
    EXPECT_EQ(win.FullPath(), "C:/Tools/fetch.exe");
    EXPECT_EQ(win.Drive(), "C:");
    EXPECT_EQ(win.Directory(), "/Tools");
    EXPECT_EQ(win.Name(), "fetch");
    EXPECT_EQ(win.Extension(), ".exe");

    CPath dotted("D:\\my.tools\\fetch.tar.gz");
    EXPECT_EQ(dotted.Directory(), "\\my.tools");
    EXPECT_EQ(dotted.Name(), "fetch.tar");
    EXPECT_EQ(dotted.Extension(), ".gz");

    // No drive letter: the split goes on.
    CPath linux("/opt/x/talvek-dl");
    EXPECT_EQ(linux.Drive(), "");
    EXPECT_EQ(linux.Directory(), "/opt/x");
    EXPECT_EQ(linux.Name(), "talvek-dl");
    EXPECT_EQ(linux.Extension(), "");

    CPath bare("talvek-dl");
    EXPECT_EQ(bare.Directory(), "");
    EXPECT_EQ(bare.Name(), "talvek-dl");

    CPath relative("./build/app/dl");
    EXPECT_EQ(relative.Directory(), "./build/app");
    EXPECT_EQ(relative.Name(), "dl");

    CPath driveOnly("C:");
    EXPECT_EQ(driveOnly.Drive(), "C:");
    EXPECT_EQ(driveOnly.Name(), "");

    CPath none("");
    EXPECT_EQ(none.FullPath(), "");
    EXPECT_EQ(none.Drive() + none.Directory() + none.Name() + none.Extension(), "");
}

TEST(CCmdLineParser, PrefixesSeparatorsAndCase) {
    CCmdLineParser p("prog -F=Out.xml /p:COM3 -nc -Codec=UTF16");
    EXPECT_STREQ(p.ValueOf("f"), "Out.xml");  // values keep their case
    EXPECT_STREQ(p.ValueOf("F"), "Out.xml");  // lookups are lower-cased too
    EXPECT_STREQ(p.ValueOf("p"), "COM3");
    EXPECT_STREQ(p.ValueOf("codec"), "UTF16");
    ASSERT_NE(p.ValueOf("nc"), nullptr);
    EXPECT_STREQ(p.ValueOf("nc"), "");
    EXPECT_TRUE(p.Contains("NC"));
    EXPECT_FALSE(p.Contains("x"));
    EXPECT_EQ(p.ValueOf("x"), nullptr);
    EXPECT_EQ(p.Values().size(), 4u);

    CCmdLineParser sensitive("prog -F=x", true);
    EXPECT_TRUE(sensitive.Contains("F"));
    EXPECT_FALSE(sensitive.Contains("f"));
}

TEST(CCmdLineParser, FirstOccurrenceWins) {
    CCmdLineParser p("prog -f=a.xml -F=b.xml /f:c.xml -file=d.xml");
    EXPECT_STREQ(p.ValueOf("f"), "a.xml");
    EXPECT_STREQ(p.ValueOf("file"), "d.xml");
}

TEST(CCmdLineParser, ValuesQuotedBlankSeparatedAndAtTheEnd) {
    CCmdLineParser quoted("prog -f=\"C:\\My Files\\out.xml\" -v=2");
    EXPECT_STREQ(quoted.ValueOf("f"), "C:\\My Files\\out.xml");
    EXPECT_STREQ(quoted.ValueOf("v"), "2");

    // A value after a blank is not taken; the word is scanned for options.
    CCmdLineParser blank("prog -f out.xml -v=2");
    EXPECT_STREQ(blank.ValueOf("f"), "");
    EXPECT_STREQ(blank.ValueOf("v"), "2");
    EXPECT_EQ(blank.Values().size(), 2u);
    CCmdLineParser blankPath("prog -f /tmp/out.xml");
    EXPECT_STREQ(blankPath.ValueOf("f"), "");
    EXPECT_TRUE(blankPath.Contains("tmp/out.xml"));

    CCmdLineParser tail("prog -v=2 -g");
    EXPECT_STREQ(tail.ValueOf("g"), "");
    CCmdLineParser sepLast("prog -f=");
    EXPECT_STREQ(sepLast.ValueOf("f"), "");
    CCmdLineParser valueLast("prog -f=abc");
    EXPECT_STREQ(valueLast.ValueOf("f"), "abc");
    CCmdLineParser unclosed("prog -f=\"my out.xml -v=2");
    EXPECT_STREQ(unclosed.ValueOf("f"), "my out.xml -v=2");
    EXPECT_FALSE(unclosed.Contains("v"));
    CCmdLineParser emptyQuoted("prog -f=\"\" -v=1");
    EXPECT_STREQ(emptyQuoted.ValueOf("f"), "");
    EXPECT_STREQ(emptyQuoted.ValueOf("v"), "1");
    CCmdLineParser colons("prog -p:a:b=c");
    EXPECT_STREQ(colons.ValueOf("p"), "a:b=c");
}

TEST(CCmdLineParser, StrayPrefixesAndEmptyKeys) {
    // A doubled prefix keeps one dash in the key.
    CCmdLineParser doubled("prog --f=x");
    EXPECT_FALSE(doubled.Contains("f"));
    EXPECT_STREQ(doubled.ValueOf("-f"), "x");
    // Dashes in the program path give junk keys, nothing more.
    CCmdLineParser path("C:\\my-tools\\fetch.exe -v=2");
    EXPECT_TRUE(path.Contains("tools\\fetch.exe"));
    EXPECT_STREQ(path.ValueOf("v"), "2");
    // Empty keys are not stored; their values are still consumed.
    CCmdLineParser empty("prog -:x -=y - -v=2 -");
    EXPECT_EQ(empty.Values().size(), 1u);
    EXPECT_STREQ(empty.ValueOf("v"), "2");
    CCmdLineParser none("");
    EXPECT_TRUE(none.Values().empty());
}

TEST(CommandLineFromArgs, QuotesArgumentsWithBlanksOrEmpty) {
    EXPECT_EQ(CommandLineFromArgs({"/opt/my tools/dl", "-f=my out.xml", "/p:COM3", "",
                                   "plain arg", "-v=2", "-nc x", "-f="}),
              "\"/opt/my tools/dl\" -f=\"my out.xml\" /p:COM3 \"\" \"plain arg\" -v=2 "
              "\"-nc x\" -f=");
    // The program path is quoted whole even when it looks like an option.
    EXPECT_EQ(CommandLineFromArgs({"/opt/a=b c/dl"}), "\"/opt/a=b c/dl\"");
    const char* argv[] = {"dl", "-p=/dev/ttyUSB0", "-cdblog=/tmp/a b/log"};
    EXPECT_EQ(CommandLineFromArgs(3, argv), "dl -p=/dev/ttyUSB0 -cdblog=\"/tmp/a b/log\"");
    EXPECT_EQ(CommandLineFromArgs(0, nullptr), "");
}

TEST(CommandLineFromArgs, RebuiltTextScansBackToTheArguments) {
    std::string line = CommandLineFromArgs({"/opt/my tools/talvek-dl", "-f=/tmp/my out.xml",
                                            "/port:COM3", "-v=2"});
    ParamString tokens(line);
    EXPECT_EQ(tokens[0], "/opt/my tools/talvek-dl");
    EXPECT_EQ(CPath(tokens[0]).Name(), "talvek-dl");
    CCmdLineParser p(line);
    EXPECT_STREQ(p.ValueOf("f"), "/tmp/my out.xml");
    EXPECT_STREQ(p.ValueOf("port"), "COM3");
    EXPECT_STREQ(p.ValueOf("v"), "2");
}

}  // namespace
