#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/os.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

namespace {

// File handles travel as int through os.h.  A kernel handle fits: 64-bit
// Windows keeps only the low 32 bits of a handle significant so that 32-bit
// and 64-bit processes can share them, and INVALID_HANDLE_VALUE is -1.
int fromHandle(HANDLE h) {
    return static_cast<int>(reinterpret_cast<intptr_t>(h));
}
HANDLE toHandle(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

}  // namespace

LocalTime localTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.dayOfWeek = st.wDayOfWeek;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return t;
}

uint32_t threadId() {
    return GetCurrentThreadId();
}
uint32_t processId() {
    return GetCurrentProcessId();
}

int lastError() {
    return static_cast<int>(GetLastError());
}

std::string errorText(int error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) text = toUtf8(std::wstring(buffer, n));
    LocalFree(buffer);
    // The system's texts end with a line break (and often a full stop),
    // which would break a trace line in two.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "Error " + std::to_string(error);
    return text;
}

int createTextFile(const char* name) {
    if (!name) return -1;
    HANDLE h = CreateFileW(toWide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : fromHandle(h);
}

long writeFile(int fd, const void* data, size_t n) {
    DWORD written = 0;
    if (!WriteFile(toHandle(fd), data, static_cast<DWORD>(n), &written, nullptr)) return -1;
    return static_cast<long>(written);
}

void closeFile(int fd) {
    if (fd != -1) CloseHandle(toHandle(fd));
}

std::string ownExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return toUtf8(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);  // cut: a long path
    }
}

std::optional<std::string> systemCommandLine() {
    // The line as the caller wrote it; the program's own scanner splits it.
    return toUtf8(GetCommandLineW());
}

const SystemConventions& systemConventions() {
    return WindowsConventions;
}

}  // namespace platform

}  // namespace talvek
