#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/transfer_settings.h"
#include "platform/os.h"
#include "scratch_dir.h"
#include "trace/trace.h"

namespace {

TransferSettings Load(const std::string& options) {
    TransferSettings s;
    s.Load("/opt/x/talvek-dl" + (options.empty() ? "" : " " + options));
    return s;
}

std::string ConversionMessage(const std::string& options) {
    try {
        Load(options);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "no error";
}

TEST(TransferSettings, DefaultsWithoutOptions) {
    TransferSettings s = Load("");
    EXPECT_EQ(s.OutputFile, L"TalvekDownload.xml");
    // The device path of COM1: backslash, backslash, dot, backslash, COM1.
    EXPECT_EQ(s.PortName, std::wstring(L"\\") + L"\\" + L"." + L"\\" + L"COM1");
    EXPECT_EQ(s.WindowTop, -1);
    EXPECT_EQ(s.WindowLeft, -1);
    EXPECT_EQ(s.Delay, 6);
    EXPECT_TRUE(s.ShowGradient);
    EXPECT_FALSE(s.HideCancel);
    EXPECT_EQ(s.TraceBasePath, "talvek-dl/CDBLOG");
    EXPECT_EQ(s.ProgramPath, "/opt/x/talvek-dl");
    EXPECT_EQ(s.CommandLine, "/opt/x/talvek-dl");
    s.NormalisePort();  // already a device path
    EXPECT_EQ(s.PortName, L"\\\\.\\COM1");
    EXPECT_EQ(s.ComposeOptions(), 0x2600Fu);
    EXPECT_EQ(s.ComposeOptions(), 0x2600Fu);  // composing twice changes nothing

    // A program path with neither drive nor separator: the name is the file name.
    TransferSettings bare;
    bare.Load("talvek-dl.bin -v=2");
    EXPECT_EQ(bare.TraceBasePath, "talvek-dl/CDBLOG");
    TransferSettings quoted;
    quoted.Load("\"/opt/my tools/dl\" -v=2");
    EXPECT_EQ(quoted.TraceBasePath, "dl/CDBLOG");
    EXPECT_EQ(quoted.VersionBits, 0x200u);
}

TEST(TransferSettings, TheTypicalRunComposesItsWord) {
    TransferSettings s = Load("-p=COM3 -f=/tmp/out.xml -v=2 -um");
    EXPECT_EQ(s.OutputFile, L"/tmp/out.xml");
    s.NormalisePort();
    EXPECT_EQ(s.PortName, L"\\\\.\\COM3");
    EXPECT_EQ(s.ComposeOptions(), 0x4620Fu);
}

TEST(TransferSettings, OutputFileKeys) {
    EXPECT_EQ(Load("-F=out.xml").OutputFile, L"out.xml");
    EXPECT_EQ(Load("/file:out.xml").OutputFile, L"out.xml");
    EXPECT_EQ(Load("-f=first.xml -f=second.xml").OutputFile, L"first.xml");
    EXPECT_EQ(Load("-file=b.xml -f=a.xml").OutputFile, L"b.xml");  // file is visited later
    EXPECT_EQ(Load("-f=\"/tmp/my dir/out.xml\"").OutputFile, L"/tmp/my dir/out.xml");
    EXPECT_EQ(Load("-f out.xml").OutputFile, L"");
    EXPECT_EQ(Load("-f=").OutputFile, L"");
    EXPECT_EQ(Load("-f=/tmp/\xC3\xA4.xml").OutputFile, L"/tmp/\u00e4.xml");
    EXPECT_EQ(Load("-f=/tmp/\xFF.xml").OutputFile, L"/tmp/\uFFFD.xml");
}

TEST(TransferSettings, PortNormalisation) {
    auto port = [](const std::string& options) {
        TransferSettings s = Load(options);
        s.NormalisePort();
        return s.PortName;
    };
    EXPECT_EQ(port("-p=COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(port("-port=COM"), L"\\\\.\\COM");
    EXPECT_EQ(port("-p=com3"), L"com3");
    EXPECT_EQ(port("-p=CO"), L"CO");
    EXPECT_EQ(port("-p=/dev/ttyUSB0"), L"/dev/ttyUSB0");
    EXPECT_EQ(port("-p=\\\\.\\COM5"), L"\\\\.\\COM5");
    EXPECT_EQ(port("-p=COM1 -port=COM2"), L"\\\\.\\COM2");
    EXPECT_EQ(port("-p="), L"");
}

TEST(TransferSettings, WindowPositionIsLenient) {
    TransferSettings top = Load("-top=10");
    EXPECT_EQ(top.WindowTop, 10);
    EXPECT_EQ(top.WindowLeft, -1);
    TransferSettings both = Load("-t=5 -l=7");
    EXPECT_EQ(both.WindowTop, 5);
    EXPECT_EQ(both.WindowLeft, 7);
    // The long key wins even when its value is bad; bad values give -1.
    TransferSettings bad = Load("-t=5 -top=abc -l=7 -left=");
    EXPECT_EQ(bad.WindowTop, -1);
    EXPECT_EQ(bad.WindowLeft, -1);
    EXPECT_EQ(Load("-l=-20").WindowLeft, -20);
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

    EXPECT_FALSE(Load("-g=0").ShowGradient);
    EXPECT_TRUE(Load("-g=0 -gradient=-3").ShowGradient);
    EXPECT_EQ(Load("-d=12").Delay, 12);
    EXPECT_EQ(Load("-delay=3 -d=12").Delay, 3);
}

TEST(TransferSettings, DeviceMaskAndLayout) {
    EXPECT_EQ(Load("-dv=1").DeviceMask, 1u);
    EXPECT_EQ(Load("-dv=2").DeviceMask, 2u);
    EXPECT_EQ(Load("-dv=3").DeviceMask, 4u);
    EXPECT_EQ(Load("-dv=4").DeviceMask, 8u);
    EXPECT_EQ(Load("-dv=7").DeviceMask, 15u);
    EXPECT_EQ(Load("-dv=0").DeviceMask, 15u);
    EXPECT_EQ(Load("-dv=2 -device=3").DeviceMask, 4u);
    EXPECT_EQ(Load("-dv=4").ComposeOptions() & 0x0F, 8u);

    EXPECT_EQ(Load("").VersionBits, 0u);
    EXPECT_EQ(Load("-v=2").VersionBits, 0x200u);
    EXPECT_EQ(Load("-v=1").VersionBits, 0x100u);
    EXPECT_EQ(Load("-v=9").VersionBits, 0x100u);
    EXPECT_EQ(Load("-v=+2").VersionBits, 0x200u);
    EXPECT_EQ(Load("-v=2 -version=1").VersionBits, 0x100u);
}

TEST(TransferSettings, FlagsUnitsAndCodec) {
    TransferSettings flags = Load("-nc -tags -nfmt");
    EXPECT_TRUE(flags.HideCancel);
    EXPECT_EQ(flags.ComposeOptions(), 0x1000u | 0x4000u | 0x20000u | 0x0Fu);
    EXPECT_FALSE(Load("-fmt -nfmt").FmtOn);
    EXPECT_FALSE(Load("-ntags -tags").TagsOn);

    EXPECT_EQ(Load("-um").UnitsBits, 0x40000u);
    EXPECT_EQ(Load("-us").UnitsBits, 0x80000u);
    EXPECT_EQ(Load("-ui -um").UnitsBits, 0x20000u);  // ui comes later in the table
    EXPECT_EQ(Load("-us -um -ui").UnitsBits, 0x80000u);

    EXPECT_EQ(Load("-codec=UTF16").CodecBits, 0x8000u);
    EXPECT_EQ(Load("-codec=Utf8").CodecBits, 0x4000u);
    EXPECT_EQ(Load("-codec=latin1").CodecBits, 0u);
    EXPECT_EQ(Load("-codec=").CodecBits, 0u);
    EXPECT_EQ(Load("-codec=utf16").ComposeOptions(), 0x2000u | 0x8000u | 0x20000u | 0x0Fu);
    EXPECT_EQ(Load("-codec=none").ComposeOptions(), 0x2000u | 0x20000u | 0x0Fu);
}

TEST(TransferSettings, DebugAndUseFileReplaceThePort) {
    TransferSettings file = Load("-p=COM3 -usefile=/tmp/dump.bin");
    EXPECT_EQ(file.PortName, L"/tmp/dump.bin");
    file.NormalisePort();
    EXPECT_EQ(file.PortName, L"/tmp/dump.bin");
    EXPECT_EQ(file.ComposeOptions(), 0x2600Fu | 0x80u);

    TransferSettings debug = Load("-db=COM4");
    EXPECT_EQ(debug.PortName, L"COM4");
    EXPECT_EQ(debug.OptionBits, 0x40u);

    TransferSettings both = Load("-debug=A -dbf=B");
    EXPECT_EQ(both.PortName, L"B");
    EXPECT_EQ(both.OptionBits, 0xC0u);
}

TEST(TransferSettings, TraceBasePathAndJunkKeysFromThePath) {
    EXPECT_EQ(Load("-cdblog=/tmp/x/log").TraceBasePath, "/tmp/x/log");
    TransferSettings win;
    win.Load("C:\\my-tools\\fetch.exe -v=2");
    EXPECT_EQ(win.TraceBasePath, "fetch/CDBLOG");
    EXPECT_EQ(win.ProgramPath, "C:\\my-tools\\fetch.exe");
    EXPECT_EQ(win.VersionBits, 0x200u);
}

TEST(ToInt, AcceptsOnlyWholeDecimalIntegers) {
    int32_t v = 0;
    EXPECT_TRUE(TransferSettings::ToInt("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(TransferSettings::ToInt("-0", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(TransferSettings::ToInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TransferSettings::ToInt("-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", " 5", "5 ", "0x10", "1e3"})
        EXPECT_FALSE(TransferSettings::ToInt(bad, v)) << bad;
}

TEST(TransferSettings, ConfiguresTheTraceAndWritesTheFirstLines) {
    ScratchDir dir;
    TransferSettings s = Load("-cdblog=" + dir.file("log") + " -v=2");
    s.ConfigureTrace();
    s.TraceStart("1.0.0.0");
    s.TraceStart("");
    Trace::Shutdown();
    char tid[16];
    std::snprintf(tid, sizeof tid, "%X", platform::threadId());
    std::string text = ScratchDir::read(dir.file("log.txt"));
    const std::string line = "/opt/x/talvek-dl -cdblog=" + dir.file("log") + " -v=2";
    EXPECT_NE(text.find(std::string("_") + tid + ":   Info:: Version = 1.0.0.0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find(":  Debug:: CommandLine = " + line + " \r\n"), std::string::npos);
    EXPECT_NE(text.find(":   Info:: Version = \r\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

}  // namespace
