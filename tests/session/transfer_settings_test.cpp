#include "session/transfer_settings.h"

#include "platform/os.h"

#include <gtest/gtest.h>

#include <string>

namespace talvek {

namespace {

// The POSIX defaults; the Windows ones have a test of their own.
TransferSettings load(const std::string& options) {
    TransferSettings s(platform::PosixConventions);
    s.load("/opt/x/talvek-dl" + (options.empty() ? "" : " " + options));
    return s;
}

std::string ConversionMessage(const std::string& options) {
    try {
        load(options);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "no error";
}

TEST(TransferSettings, DefaultsWithoutOptions) {
    TransferSettings s = load("");
    EXPECT_EQ(s.outputFile, "TalvekDownload.xml");
    // The device path of COM1: backslash, backslash, dot, backslash, COM1.
    EXPECT_EQ(s.portName, std::string("\\") + "\\" + "." + "\\" + "COM1");
    EXPECT_EQ(s.windowTop, -1);
    EXPECT_EQ(s.windowLeft, -1);
    EXPECT_EQ(s.delay, 6);
    EXPECT_TRUE(s.showGradient);
    EXPECT_FALSE(s.hideCancel);
    EXPECT_EQ(s.traceBasePath, "talvek-dl/CDBLOG");
    EXPECT_EQ(s.programPath, "/opt/x/talvek-dl");
    EXPECT_EQ(s.commandLine, "/opt/x/talvek-dl");
    s.normalisePort();  // already a device path
    EXPECT_EQ(s.portName, "\\\\.\\COM1");
    EXPECT_EQ(s.composeOptions(), 0x2600Fu);
    EXPECT_EQ(s.composeOptions(), 0x2600Fu);  // composing twice changes nothing

    // A program path with neither drive nor separator: the name is the file name.
    TransferSettings bare(platform::PosixConventions);
    bare.load("talvek-dl.bin -v=2");
    EXPECT_EQ(bare.traceBasePath, "talvek-dl/CDBLOG");
    TransferSettings quoted(platform::PosixConventions);
    quoted.load("\"/opt/my tools/dl\" -v=2");
    EXPECT_EQ(quoted.traceBasePath, "dl/CDBLOG");
    EXPECT_EQ(quoted.versionBits, 0x200u);
}

TEST(TransferSettings, TheTypicalRunComposesItsWord) {
    TransferSettings s = load("-p=COM3 -f=/tmp/out.xml -v=2 -um");
    EXPECT_EQ(s.outputFile, "/tmp/out.xml");
    s.normalisePort();
    EXPECT_EQ(s.portName, "\\\\.\\COM3");
    EXPECT_EQ(s.composeOptions(), 0x4620Fu);
}

TEST(TransferSettings, OutputFileKeys) {
    EXPECT_EQ(load("-F=out.xml").outputFile, "out.xml");
    EXPECT_EQ(load("/file:out.xml").outputFile, "out.xml");
    EXPECT_EQ(load("-f=first.xml -f=second.xml").outputFile, "first.xml");
    EXPECT_EQ(load("-file=b.xml -f=a.xml").outputFile, "b.xml");  // file is visited later
    EXPECT_EQ(load("-f=\"/tmp/my dir/out.xml\"").outputFile, "/tmp/my dir/out.xml");
    EXPECT_EQ(load("-f out.xml").outputFile, "");
    EXPECT_EQ(load("-f=").outputFile, "");
    EXPECT_EQ(load("-f=/tmp/\xC3\xA4.xml").outputFile, "/tmp/\u00e4.xml");
    // Bytes of a name pass through unchanged, valid UTF-8 or not.
    EXPECT_EQ(load("-f=/tmp/\xFF.xml").outputFile, "/tmp/\xFF.xml");
}

TEST(TransferSettings, PortNormalisation) {
    auto port = [](const std::string& options) {
        TransferSettings s = load(options);
        s.normalisePort();
        return s.portName;
    };
    EXPECT_EQ(port("-p=COM12"), "\\\\.\\COM12");
    EXPECT_EQ(port("-port=COM"), "\\\\.\\COM");
    EXPECT_EQ(port("-p=com3"), "com3");
    EXPECT_EQ(port("-p=CO"), "CO");
    EXPECT_EQ(port("-p=/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(port("-p=\\\\.\\COM5"), "\\\\.\\COM5");
    EXPECT_EQ(port("-p=COM1 -port=COM2"), "\\\\.\\COM2");
    EXPECT_EQ(port("-p="), "");
}

TEST(TransferSettings, WindowPositionIsLenient) {
    TransferSettings top = load("-top=10");
    EXPECT_EQ(top.windowTop, 10);
    EXPECT_EQ(top.windowLeft, -1);
    TransferSettings both = load("-t=5 -l=7");
    EXPECT_EQ(both.windowTop, 5);
    EXPECT_EQ(both.windowLeft, 7);
    // The long key wins even when its value is bad; bad values give -1.
    TransferSettings bad = load("-t=5 -top=abc -l=7 -left=");
    EXPECT_EQ(bad.windowTop, -1);
    EXPECT_EQ(bad.windowLeft, -1);
    EXPECT_EQ(load("-l=-20").windowLeft, -20);
}

TEST(TransferSettings, StrictIntegerKeys) {
    EXPECT_EQ(ConversionMessage("-g=abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-g"), "'' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-gradient=1x"), "'1x' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-dv="), "'' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-device=two"), "'two' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-v=2.0"), "'2.0' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-version"), "'' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-d=99999999999"), "'99999999999' is not a valid integer value");
    EXPECT_EQ(ConversionMessage("-delay=\"6 \""), "'6 ' is not a valid integer value");
    // The first bad key in table order is reported.
    EXPECT_EQ(ConversionMessage("-d=x -g=y"), "'y' is not a valid integer value");
    // "m" and "model" are not converted; unknown keys are ignored.
    EXPECT_EQ(ConversionMessage("-m=abc -model=x -zzz=q"), "no error");

    EXPECT_FALSE(load("-g=0").showGradient);
    EXPECT_TRUE(load("-g=0 -gradient=-3").showGradient);
    EXPECT_EQ(load("-d=12").delay, 12);
    EXPECT_EQ(load("-delay=3 -d=12").delay, 3);
}

TEST(TransferSettings, DeviceMaskAndLayout) {
    EXPECT_EQ(load("-dv=1").deviceMask, 1u);
    EXPECT_EQ(load("-dv=2").deviceMask, 2u);
    EXPECT_EQ(load("-dv=3").deviceMask, 4u);
    EXPECT_EQ(load("-dv=4").deviceMask, 8u);
    EXPECT_EQ(load("-dv=7").deviceMask, 15u);
    EXPECT_EQ(load("-dv=0").deviceMask, 15u);
    EXPECT_EQ(load("-dv=2 -device=3").deviceMask, 4u);
    EXPECT_EQ(load("-dv=4").composeOptions() & 0x0F, 8u);

    EXPECT_EQ(load("").versionBits, 0u);
    EXPECT_EQ(load("-v=2").versionBits, 0x200u);
    EXPECT_EQ(load("-v=1").versionBits, 0x100u);
    EXPECT_EQ(load("-v=9").versionBits, 0x100u);
    EXPECT_EQ(load("-v=+2").versionBits, 0x200u);
    EXPECT_EQ(load("-v=2 -version=1").versionBits, 0x100u);
}

TEST(TransferSettings, FlagsUnitsAndCodec) {
    TransferSettings flags = load("-nc -tags -nfmt");
    EXPECT_TRUE(flags.hideCancel);
    EXPECT_EQ(flags.composeOptions(), 0x1000u | 0x4000u | 0x20000u | 0x0Fu);
    EXPECT_FALSE(load("-fmt -nfmt").fmtOn);
    EXPECT_FALSE(load("-ntags -tags").tagsOn);

    EXPECT_EQ(load("-um").unitsBits, 0x40000u);
    EXPECT_EQ(load("-us").unitsBits, 0x80000u);
    EXPECT_EQ(load("-ui -um").unitsBits, 0x20000u);  // ui comes later in the table
    EXPECT_EQ(load("-us -um -ui").unitsBits, 0x80000u);

    EXPECT_EQ(load("-codec=UTF16").codecBits, 0x8000u);
    EXPECT_EQ(load("-codec=Utf8").codecBits, 0x4000u);
    EXPECT_EQ(load("-codec=latin1").codecBits, 0u);
    EXPECT_EQ(load("-codec=").codecBits, 0u);
    EXPECT_EQ(load("-codec=utf16").composeOptions(), 0x2000u | 0x8000u | 0x20000u | 0x0Fu);
    EXPECT_EQ(load("-codec=none").composeOptions(), 0x2000u | 0x20000u | 0x0Fu);
}

TEST(TransferSettings, DebugAndUseFileReplaceThePort) {
    TransferSettings file = load("-p=COM3 -usefile=/tmp/dump.bin");
    EXPECT_EQ(file.portName, "/tmp/dump.bin");
    file.normalisePort();
    EXPECT_EQ(file.portName, "/tmp/dump.bin");
    EXPECT_EQ(file.composeOptions(), 0x2600Fu | 0x80u);

    TransferSettings debug = load("-db=COM4");
    EXPECT_EQ(debug.portName, "COM4");
    EXPECT_EQ(debug.optionBits, 0x40u);

    TransferSettings both = load("-debug=A -dbf=B");
    EXPECT_EQ(both.portName, "B");
    EXPECT_EQ(both.optionBits, 0xC0u);
}

TEST(TransferSettings, TraceBasePathAndJunkKeysFromThePath) {
    EXPECT_EQ(load("-cdblog=/tmp/x/log").traceBasePath, "/tmp/x/log");
    TransferSettings win(platform::PosixConventions);
    win.load("C:\\my-tools\\fetch.exe -v=2");
    EXPECT_EQ(win.traceBasePath, "fetch/CDBLOG");
    EXPECT_EQ(win.programPath, "C:\\my-tools\\fetch.exe");
    EXPECT_EQ(win.versionBits, 0x200u);
}

TEST(TransferSettings, WindowsDefaultsAndTracePath) {
    TransferSettings s(platform::WindowsConventions);
    s.load("\"C:\\Program Files\\Talvek\\talvek-dl.exe\" -p=COM3 -v=2");
    EXPECT_EQ(s.outputFile, "C:\\TalvekDownload.xml");
    EXPECT_EQ(s.programPath, "C:\\Program Files\\Talvek\\talvek-dl.exe");
    // "<program name>\CDBLOG.txt" in the current directory.
    EXPECT_EQ(s.traceBasePath, "talvek-dl\\CDBLOG");
    s.normalisePort();
    EXPECT_EQ(s.portName, "\\\\.\\COM3");
    EXPECT_EQ(s.composeOptions(), 0x2620Fu);

    // Started from a console by its bare name: still the program-named folder.
    TransferSettings bare(platform::WindowsConventions);
    bare.load("talvek-dl -f=C:\\dives.xml -um");
    EXPECT_EQ(bare.traceBasePath, "talvek-dl\\CDBLOG");
    EXPECT_EQ(bare.outputFile, "C:\\dives.xml");
}

TEST(TransferSettings, StoreDumpAndImageKeys) {
    TransferSettings none = load("-d=3 -m -debug=X");
    EXPECT_FALSE(none.extras.any());

    TransferSettings s = load("-NEW /store:\"/home/me/dive store\" -Dump=/tmp/d.img -image=in.img");
    EXPECT_TRUE(s.extras.newDivesOnly);
    EXPECT_TRUE(s.extras.useStore);
    EXPECT_EQ(s.extras.storeDirectory, "/home/me/dive store");
    EXPECT_EQ(s.extras.dumpFile, "/tmp/d.img");
    EXPECT_EQ(s.extras.imageFile, "in.img");
    // -store alone: the default folder.
    TransferSettings bare = load("-store");
    EXPECT_TRUE(bare.extras.useStore);
    EXPECT_FALSE(bare.extras.newDivesOnly);
    EXPECT_EQ(bare.extras.storeDirectory, "");

    // The older keys that share a first letter keep their meaning, and the
    // Options word is the one of the same run without the new keys.
    TransferSettings with = load("-d=9 -dv=2 -debug=P -m -nc -new -dump=x -image=y -store=z");
    TransferSettings without = load("-d=9 -dv=2 -debug=P -m -nc");
    EXPECT_EQ(with.delay, 9);
    EXPECT_EQ(with.deviceMask, 2u);
    EXPECT_EQ(with.portName, "P");
    EXPECT_TRUE(with.hideCancel);
    EXPECT_EQ(with.composeOptions(), without.composeOptions());
}

TEST(ToInt, AcceptsOnlyWholeDecimalIntegers) {
    int32_t v = 0;
    EXPECT_TRUE(TransferSettings::toInt("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(TransferSettings::toInt("-0", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(TransferSettings::toInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TransferSettings::toInt("-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", " 5", "5 ", "0x10", "1e3"})
        EXPECT_FALSE(TransferSettings::toInt(bad, v)) << bad;
}

}  // namespace

}  // namespace talvek
