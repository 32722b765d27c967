// The Windows platform layer under Wine: wide text, the serial settings
// block, error numbers, file replacement, the trace file's sharing, the
// console's stop requests and the version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/file_replace.h"
#include "platform/os.h"
#include "platform/serial_port.h"
#include "platform/serial_ports.h"
#include "platform/version_resource.h"
#include "platform/win32/console_control.h"
#include "platform/win32/serial_port_win32.h"
#include "platform/win32/wide_text.h"
#include "session/version_information.h"
#include "support/worker_test_support.h"

namespace talvek {

namespace {

using worker_test::readFile;
using worker_test::ScratchDir;

TEST(WideText, RoundTripsOutsideTheBasicPlane) {
    // "ä" (2 bytes), "€" (3 bytes), U+1F600 (4 bytes: a surrogate pair in UTF-16).
    const std::string text = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80z";
    const std::wstring wide = platform::toWide(text);
    ASSERT_EQ(wide.size(), 6u);
    EXPECT_EQ(wide[1], 0x00E4);
    EXPECT_EQ(wide[2], 0x20AC);
    EXPECT_EQ(wide[3], 0xD83D);
    EXPECT_EQ(wide[4], 0xDE00);
    EXPECT_EQ(platform::toUtf8(wide), text);
    EXPECT_EQ(platform::toWide(""), L"");
    // A byte that is no UTF-8 becomes the replacement character.
    EXPECT_EQ(platform::toWide("a\xFF"), std::wstring(L"a\xFFFD"));
}

// UTF-16 with an unpaired surrogate has no UTF-8 form: the command line is
// then not used, and the word that holds it is named (U+FFFD in its place).
TEST(WideText, ACommandLineUtf8CannotCarryNamesTheWord) {
    const std::string replacement = "\xEF\xBF\xBD";
    platform::CommandLineText t = platform::commandLineText(
        L"talvek-dl.exe -p=COM3 -f=C:\\a\xD800"
        L"b.xml -v=2");
    EXPECT_EQ(t.text, "");
    EXPECT_EQ(t.uncarried, "-f=C:\\a" + replacement + "b.xml");
    // A low half alone, at the very start; a high half alone at the end,
    // after a tab.
    t = platform::commandLineText(std::wstring(L"\xDC00x.exe -um"));
    EXPECT_EQ(t.uncarried, replacement + "x.exe");
    t = platform::commandLineText(std::wstring(L"x.exe\t-f=") + wchar_t(0xD83D));
    EXPECT_EQ(t.uncarried, "-f=" + replacement);
    // Two halves in the wrong order are two unpaired ones.
    t = platform::commandLineText(std::wstring(L"x.exe -f=") + wchar_t(0xDE00) + wchar_t(0xD83D));
    EXPECT_EQ(t.uncarried, "-f=" + replacement + replacement);

    // A pair is a character outside the BMP, carried exactly.
    t = platform::commandLineText(std::wstring(L"x.exe -f=") + wchar_t(0xD83D) + wchar_t(0xDE00) +
                                  L".xml");
    EXPECT_EQ(t.uncarried, "");
    EXPECT_EQ(t.text, "x.exe -f=\xF0\x9F\x98\x80.xml");
    EXPECT_EQ(platform::unpairedSurrogate(L"plain"), std::wstring::npos);
}

// The settings of the three interface types, as the devices need them.
platform::SerialSettings typeSettings(int type) {
    platform::SerialSettings s;
    s.baud = type == 1 ? 2400 : 9600;
    s.oddParity = type == 1;
    s.dtrEnable = type != 2;
    s.abortOnError = type == 2;
    return s;
}

TEST(Win32SerialPort, SettingsBlockOfEachInterfaceType) {
    for (int type : {1, 2, 3}) {
        SCOPED_TRACE(type);
        DCB dcb;
        std::memset(&dcb, 0xFF, sizeof dcb);  // whatever the port had
        platform::fillDeviceControlBlock(dcb, typeSettings(type));
        EXPECT_EQ(dcb.DCBlength, 28u);
        EXPECT_EQ(dcb.BaudRate, type == 1 ? 2400u : 9600u);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.StopBits, 0);                  // one stop bit
        EXPECT_EQ(dcb.Parity, type == 1 ? 1 : 0);    // odd for type 1
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.fParity, 0u);                  // never checked
        EXPECT_EQ(dcb.fDtrControl, type == 2 ? 0u : 1u);
        EXPECT_EQ(dcb.fAbortOnError, type == 2 ? 1u : 0u);
        EXPECT_EQ(dcb.fRtsControl, 0u);
        EXPECT_EQ(dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fDsrSensitivity |
                      dcb.fTXContinueOnXoff | dcb.fOutX | dcb.fInX | dcb.fErrorChar | dcb.fNull,
                  0u);
        EXPECT_EQ(dcb.XonLim, 2048);
        EXPECT_EQ(dcb.XoffLim, 512);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.ErrorChar | dcb.EofChar | dcb.EvtChar, 0);
    }
    COMMTIMEOUTS t;
    std::memset(&t, 0xFF, sizeof t);
    platform::fillTimeouts(t, 4400, 1000);
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 4400u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

// What the links have always asked of a Windows port before the first
// frame: drain() ends on "output empty", the queues hold 32640 and 1280 bytes.
TEST(Win32SerialPort, TransmitWaitAndQueueSizes) {
    EXPECT_EQ(platform::TransmitWaitEvents, static_cast<DWORD>(EV_TXEMPTY));
    EXPECT_EQ(platform::InQueueBytes, 32640u);
    EXPECT_EQ(platform::OutQueueBytes, 1280u);
}

TEST(Win32SerialPort, ErrorNumbersAndTheirTexts) {
    EXPECT_EQ(platform::systemPortError(ERROR_FILE_NOT_FOUND).fault, platform::PortFault::NotFound);
    EXPECT_EQ(platform::systemPortError(ERROR_ACCESS_DENIED).fault, platform::PortFault::Busy);
    EXPECT_EQ(platform::systemPortError(ERROR_NOT_SUPPORTED).fault,
              platform::PortFault::Unsupported);
    EXPECT_EQ(platform::systemPortError(ERROR_NOT_READY).fault, platform::PortFault::Gone);
    EXPECT_EQ(platform::systemPortError(0).fault, platform::PortFault::None);
    const platform::PortError e = platform::systemPortError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(e.number, 2);
    // One line of text for the trace: no line break, no final full stop.
    ASSERT_FALSE(e.text.empty());
    EXPECT_EQ(e.text.find_first_of("\r\n"), std::string::npos) << e.text;
    EXPECT_NE(e.text.back(), '.');
}

// What calls on an open port get once its device has gone (Wine on a
// hung-up line, USB serial drivers after an unplug) is a port no longer
// open; what a present device can answer is not.
TEST(Win32SerialPort, ErrorsOfAGoneDeviceAreAPortNoLongerOpen) {
    for (DWORD e : {ERROR_NOT_READY, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_OPERATION_ABORTED,
                    ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED, ERROR_FILE_NOT_FOUND,
                    ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE}) {
        SCOPED_TRACE(e);
        const platform::PortError error = platform::systemPortErrorInUse(static_cast<int>(e));
        EXPECT_EQ(error.fault, platform::PortFault::Gone);
        EXPECT_EQ(error.number, static_cast<int>(e));
        EXPECT_FALSE(error.text.empty());
    }
    EXPECT_EQ(platform::systemPortErrorInUse(ERROR_NOT_SUPPORTED).fault,
              platform::PortFault::Unsupported);
    EXPECT_EQ(platform::systemPortErrorInUse(ERROR_SEM_TIMEOUT).fault, platform::PortFault::Other);
    EXPECT_EQ(platform::systemPortErrorInUse(0).fault, platform::PortFault::None);
    // Opening is another matter: a name that is not there is no port at all.
    EXPECT_EQ(platform::systemPortError(ERROR_FILE_NOT_FOUND).fault, platform::PortFault::NotFound);
    EXPECT_EQ(platform::systemPortError(ERROR_ACCESS_DENIED).fault, platform::PortFault::Busy);
}

TEST(Win32SerialPort, AMissingPortIsNotFound) {
    platform::PortError error;
    EXPECT_EQ(platform::openSerialPort("\\\\.\\COM199", error), nullptr);
    EXPECT_NE(error.fault, platform::PortFault::None);
    EXPECT_NE(error.number, 0);
}

TEST(Win32SerialPorts, TheRegistrysPortsInNumberOrderWithDescriptions) {
    const std::vector<platform::SerialPortInfo> ports = platform::listSerialPorts();
    long previous = -1;
    for (const platform::SerialPortInfo& port : ports) {
        SCOPED_TRACE(port.name);
        ASSERT_EQ(port.name.compare(0, 3, "COM"), 0);
        const long number = std::strtol(port.name.c_str() + 3, nullptr, 10);
        EXPECT_GT(number, previous);  // COM2 before COM10
        previous = number;
        EXPECT_FALSE(port.description.empty());
    }
    // Advice: a taken port is another program's; a missing one lists these.
    platform::PortError busy = platform::systemPortError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(platform::portOpenAdvice("\\\\.\\COM3", busy),
              "Another program is using \\\\.\\COM3: close it, then try again.");
    platform::PortError missing = platform::systemPortError(ERROR_FILE_NOT_FOUND);
    const std::string advice = platform::portOpenAdvice("\\\\.\\COM99", missing);
    EXPECT_EQ(advice.rfind("There is no \\\\.\\COM99", 0), 0u) << advice;
    for (const platform::SerialPortInfo& port : ports)
        EXPECT_NE(advice.find(port.name), std::string::npos) << advice;
    EXPECT_EQ(platform::portOpenAdvice("COM3", platform::systemPortError(ERROR_NOT_READY)), "");
}

TEST(Win32FileReplace, ReplacesAnExistingFileWithBackslashPaths) {
    ScratchDir dir;
    std::string name = dir.path() + "\\out.xml";
    for (char& c : name)
        if (c == '/') c = '\\';
    ASSERT_TRUE(platform::replaceFile(name, "first", 5).ok());
    // The C runtime's rename() cannot do this step on Windows.
    ASSERT_TRUE(platform::replaceFile(name, "second", 6).ok());
    EXPECT_EQ(readFile(name), "second");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.xml"}));
}

TEST(Win32FileReplace, FailuresNameTheirStageAndLeaveNoTemporary) {
    ScratchDir dir;
    platform::ReplaceResult r = platform::replaceFile(dir.file("no\\such\\dir.xml"), "x", 1);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Create);
    EXPECT_EQ(r.error, ERROR_PATH_NOT_FOUND);

    ASSERT_TRUE(CreateDirectoryW(platform::toWide(dir.file("taken")).c_str(), nullptr));
    r = platform::replaceFile(dir.file("taken"), "x", 1);
    EXPECT_EQ(r.stage, platform::ReplaceStage::Rename);
    EXPECT_NE(r.error, 0);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"taken"}));

    EXPECT_EQ(platform::replaceFile(dir.path() + "\\", "x", 1).stage,
              platform::ReplaceStage::Create);
    EXPECT_EQ(platform::replaceFile("", "x", 1).stage, platform::ReplaceStage::Create);
}

TEST(Win32FileReplace, SameFileThroughOtherSpellingsAndLinks) {
    ScratchDir dir;
    const std::string name = dir.file("out.xml");
    ASSERT_TRUE(platform::replaceFile(name, "x", 1).ok());
    std::string backslashed = name;
    for (char& c : backslashed)
        if (c == '/') c = '\\';
    EXPECT_TRUE(platform::sameFile(name, backslashed));
    EXPECT_TRUE(platform::sameFile(name, dir.path() + "\\.\\OUT.XML"));  // case does not count
    const std::string hard = dir.file("hard.xml");
    ASSERT_TRUE(CreateHardLinkW(platform::toWide(hard).c_str(), platform::toWide(name).c_str(),
                                nullptr));
    EXPECT_TRUE(platform::sameFile(name, hard));
    ASSERT_TRUE(platform::replaceFile(dir.file("other.xml"), "x", 1).ok());
    EXPECT_FALSE(platform::sameFile(name, dir.file("other.xml")));
    EXPECT_FALSE(platform::sameFile(name, dir.file("missing.xml")));
}

TEST(Win32Files, TheTraceFileCanBeReadWhileItIsOpen) {
    ScratchDir dir;
    const std::string name = dir.file("trace.txt");
    const int fd = platform::createTextFile(name.c_str());
    ASSERT_NE(fd, -1);
    EXPECT_EQ(platform::writeFile(fd, "line\r\n", 6), 6);
    EXPECT_EQ(readFile(name), "line\r\n");
    // A second writer is refused: only reading is shared.
    HANDLE other = CreateFileW(platform::toWide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    platform::closeFile(fd);
    EXPECT_EQ(platform::createTextFile(dir.file("no\\such\\trace.txt").c_str()), -1);
}

TEST(Win32Process, OwnPathAndCommandLine) {
    const std::string path = platform::ownExecutablePath();
    EXPECT_NE(path.find("talvek_tests.exe"), std::string::npos) << path;
    const std::optional<platform::CommandLineText> line = platform::systemCommandLine();
    ASSERT_TRUE(line.has_value());
    EXPECT_NE(line->text.find("talvek_tests"), std::string::npos) << line->text;
    EXPECT_EQ(line->uncarried, "");
    EXPECT_EQ(platform::threadId(), GetCurrentThreadId());
    EXPECT_TRUE(platform::systemConventions().fullExitCodes);
}

TEST(Win32Console, EveryStopEventActsAsCancel) {
    std::vector<uint32_t> seen;
    ASSERT_TRUE(platform::installConsoleStopHandler([&](uint32_t e) { seen.push_back(e); }));
    // As the system calls it.  Ctrl-C and Ctrl-Break return at once; closing
    // waits for the run's end, which does not come here, so it returns
    // after its grace time instead of ending this process.
    EXPECT_EQ(platform::consoleStopRoutine(platform::ConsoleCtrlC), 1);
    EXPECT_EQ(platform::consoleStopRoutine(platform::ConsoleBreak), 1);
    EXPECT_EQ(platform::consoleStopRoutine(platform::ConsoleClose, 20), 1);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_FALSE(platform::consoleEventEndsProcess(platform::ConsoleBreak));
    EXPECT_TRUE(platform::consoleEventEndsProcess(platform::ConsoleClose));
    EXPECT_TRUE(platform::consoleEventEndsProcess(platform::ConsoleShutdown));
    platform::removeConsoleStopHandler();
    EXPECT_EQ(platform::consoleStopRoutine(platform::ConsoleBreak), 1);
    EXPECT_EQ(seen.size(), 3u);
    // No console-less descriptor to wait on here: signals are POSIX.
    EXPECT_EQ(platform::terminationSignalFd(), -1);
}

TEST(Win32VersionResource, ReadsTheResourceOfThisExecutable) {
    ASSERT_TRUE(platform::hasVersionResources());
    VersionInformation v(platform::ownExecutablePath().c_str());
    ASSERT_TRUE(v.valid());
    EXPECT_EQ(v.productName(), TALVEK_PRODUCT_NAME);
    EXPECT_EQ(v.fileVersion(), TALVEK_VERSION);
    EXPECT_EQ(v.fileDescription(), TALVEK_PRODUCT_NAME);
    EXPECT_EQ(v.internalName(), "talvek-dl");
    // Not in the resource: keeps what it had.
    EXPECT_EQ(v.comments(), "");
    EXPECT_EQ(v.legalTrademarks(), "");
}

TEST(Win32VersionResource, AFileWithoutOneLeavesTheValues) {
    ScratchDir dir;
    const std::string name = dir.file("plain.txt");
    std::ofstream(name, std::ios::binary) << std::string(5000, 'x');
    std::string values[2] = {"kept", "also"};
    const char* keys[2] = {"FileVersion", "ProductName"};
    EXPECT_FALSE(platform::readVersionResource(name, keys, 2, values));
    EXPECT_EQ(values[0], "kept");
    EXPECT_EQ(values[1], "also");
    VersionInformation v(name.c_str());
    EXPECT_FALSE(v.valid());
    EXPECT_FALSE(platform::readVersionResource(dir.file("missing.exe"), keys, 2, values));
}

}  // namespace

}  // namespace talvek
