#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/console.h"
#include "platform/os.h"
#include "platform/win32/console_control.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

namespace {

HANDLE standardHandle(int fd) {
    switch (fd) {
        case 0:
            return GetStdHandle(STD_INPUT_HANDLE);
        case 1:
            return GetStdHandle(STD_OUTPUT_HANDLE);
        case 2:
            return GetStdHandle(STD_ERROR_HANDLE);
        default:
            return INVALID_HANDLE_VALUE;
    }
}

std::mutex stopMutex;
std::function<void(uint32_t)> stopFunction;
std::atomic<bool> runEnded{false};
std::atomic<int> endedWith{0};
HANDLE endedEvent = nullptr;  // set by consoleRunEnded

BOOL WINAPI systemRoutine(DWORD event) {
    return consoleStopRoutine(event) ? TRUE : FALSE;
}

}  // namespace

bool isTerminal(int fd) {
    DWORD mode = 0;
    const HANDLE h = standardHandle(fd);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

namespace {

// One of the standard streams: UTF-16 to a console, the bytes as they are
// to a file or pipe.
void writeStandard(DWORD which, const std::string& text) {
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        // The status line rewrites itself with an erase-to-end-of-line
        // sequence, which a console only obeys in this mode.
        if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING))
            SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        // A console shows UTF-16, whatever its code page.
        const std::wstring wide = toWide(text);
        DWORD written = 0;
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const char* p = text.data();
    size_t n = text.size();
    while (n > 0) {
        DWORD written = 0;
        if (!WriteFile(h, p, static_cast<DWORD>(n), &written, nullptr) || written == 0) return;
        p += written;
        n -= written;
    }
}

}  // namespace

void writeStandardError(const std::string& text) {
    writeStandard(STD_ERROR_HANDLE, text);
}

void writeStandardOutput(const std::string& text) {
    writeStandard(STD_OUTPUT_HANDLE, text);
}

// Signals are the POSIX way; Windows stops come through the console handler.
int terminationSignalFd() {
    return -1;
}
int drainTerminationSignals() {
    return 0;
}
void restoreTerminationSignals() {}

bool installConsoleStopHandler(std::function<void(uint32_t event)> onStop) {
    {
        std::lock_guard<std::mutex> g(stopMutex);
        stopFunction = std::move(onStop);
        if (!endedEvent) endedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    runEnded = false;
    if (endedEvent) ResetEvent(endedEvent);
    return SetConsoleCtrlHandler(systemRoutine, TRUE) != 0;
}

void removeConsoleStopHandler() {
    SetConsoleCtrlHandler(systemRoutine, FALSE);
    std::lock_guard<std::mutex> g(stopMutex);
    stopFunction = nullptr;
}

void consoleRunEnded(int exitCode) {
    endedWith = exitCode;
    runEnded = true;
    std::lock_guard<std::mutex> g(stopMutex);
    if (endedEvent) SetEvent(endedEvent);
}

bool consoleEventEndsProcess(uint32_t event) {
    return event == ConsoleClose || event == ConsoleLogoff || event == ConsoleShutdown;
}

int consoleStopRoutine(uint32_t event, uint32_t graceMs) {
    std::function<void(uint32_t)> onStop;
    HANDLE ended;
    {
        std::lock_guard<std::mutex> g(stopMutex);
        onStop = stopFunction;
        ended = endedEvent;
    }
    if (onStop) onStop(event);
    if (!consoleEventEndsProcess(event)) return 1;
    // The system ends the process when this returns: let the cancelled run
    // finish first (its last status, the result code, the trace), then end
    // with its code rather than the system's.
    if (ended && WaitForSingleObject(ended, graceMs) == WAIT_OBJECT_0 && runEnded.load())
        ExitProcess(static_cast<UINT>(endedWith.load()));
    return 1;
}

std::string missingDesktop() {
    HWINSTA station = GetProcessWindowStation();
    if (!station) return "no window station: " + errorText(static_cast<int>(GetLastError()));
    USEROBJECTFLAGS flags{};
    if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
        !(flags.dwFlags & WSF_VISIBLE))
        return "the window station is not visible (a service or a remote shell)";
    return std::string();
}

bool releaseOwnConsole() {
    DWORD ids[2];
    if (GetConsoleWindow() == nullptr) return false;
    if (GetConsoleProcessList(ids, 2) != 1) return false;
    return FreeConsole() != 0;
}

}  // namespace platform

}  // namespace talvek
