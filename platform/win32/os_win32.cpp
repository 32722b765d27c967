#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/bounded_read.h"
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

namespace {

// Opens what is at `name` for writing without creating, truncating or
// following anything: a new file is made only where nothing is (not even
// a dangling link), and an existing name is opened as itself, a reparse
// point included.
HANDLE openTraceName(const std::wstring& name) {
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               flags, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        const DWORD e = GetLastError();
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return h;
        h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags,
                        nullptr);
        // Gone in between: make it anew.
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) return h;
    }
    return INVALID_HANDLE_VALUE;
}

// Opens the folder part of `name` as itself, refusing a reparse point (a
// link or junction planted in the folder's place), and holds it without
// delete sharing while the file is made, so it cannot be swapped meanwhile.
// Null for a bare name; INVALID_HANDLE_VALUE when refused.
HANDLE holdTraceFolder(const std::string& name) {
    const std::string::size_type sep = name.find_last_of("\\/");
    if (sep == std::string::npos) return nullptr;
    const std::string dir = name.substr(0, sep + 1);
    HANDLE h = CreateFileW(toWide(dir).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

}  // namespace

int createTextFile(const char* name) {
    if (!name) return -1;
    const HANDLE folder = holdTraceFolder(name);
    if (folder == INVALID_HANDLE_VALUE) return -1;
    HANDLE h = openTraceName(toWide(name));
    if (folder) {
        const DWORD e = GetLastError();
        CloseHandle(folder);
        SetLastError(e);
    }
    if (h == INVALID_HANDLE_VALUE) return -1;
    // Only a plain file on a disk with this one name is ours to empty: not a
    // reparse point (a link planted at the name), a directory, a pipe or a
    // device ("COM1.txt" is the port), nor a second name of another file.
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain =
        GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        info.nNumberOfLinks == 1;
    if (!plain || !SetEndOfFile(h)) {
        const DWORD e = plain ? GetLastError() : ERROR_ACCESS_DENIED;
        CloseHandle(h);
        SetLastError(e);
        return -1;
    }
    return fromHandle(h);
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

std::optional<CommandLineText> systemCommandLine() {
    // The line as the caller wrote it; the program's own scanner splits it.
    return commandLineText(GetCommandLineW());
}

const SystemConventions& systemConventions() {
    return WindowsConventions;
}

static_assert(ERROR_FILE_NOT_FOUND == ENOENT, "a missing file reads the same on every system");

FileRead readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes) {
    bytes.clear();
    FileRead result;
    // Opening neither waits for a pipe (a busy one fails at once) nor takes
    // a folder (that needs backup semantics).
    HANDLE h = CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        // A missing folder on the way is as missing as the file.
        const bool missing = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
        result.outcome = missing ? ReadOutcome::Missing : ReadOutcome::Failed;
        result.error = static_cast<int>(missing ? ERROR_FILE_NOT_FOUND : e);
        return result;
    }
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK) {
        result.outcome = ReadOutcome::NotAFile;
    } else if (!GetFileSizeEx(h, &size)) {
        result.error = static_cast<int>(GetLastError());
    } else if (static_cast<uint64_t>(size.QuadPart) > maxBytes) {
        result.outcome = ReadOutcome::TooLarge;
    } else {
        bytes.reserve(static_cast<size_t>(size.QuadPart));
        result = readBounded(
            [h](uint8_t* buf, size_t n, int& error) -> long {
                DWORD got = 0;
                if (ReadFile(h, buf, static_cast<DWORD>(n), &got, nullptr)) return got;
                error = static_cast<int>(GetLastError());
                return -1;
            },
            bytes, maxBytes);
    }
    CloseHandle(h);
    return result;
}

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Length of the part of `path` that is no folder to make: "C:\", "\\server\share\",
// "\\?\C:\", or a lone leading separator.
size_t rootLength(const std::string& path) {
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        // \\?\ and \\.\ prefixes, then a drive; otherwise server and share.
        if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && isSeparator(path[3]))
            return path.size() >= 7 && path[5] == ':' ? 7 : 4;
        size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !isSeparator(path[at])) ++at;
            if (at < path.size()) ++at;
        }
        return at;
    }
    if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && isSeparator(path[2]) ? 3 : 2;
    return isSeparator(path[0]) ? 1 : 0;
}

}  // namespace

int makeDirectories(const std::string& path) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    // Each prefix that ends before a separator, then the whole path.  New
    // folders take the access rules of the folder they are made in (under
    // the local application data folder: the user's alone).
    for (size_t at = rootLength(path); at <= path.size(); ++at) {
        if (at < path.size() && !isSeparator(path[at])) continue;
        const std::string part = path.substr(0, at);
        if (part.empty() || isSeparator(part.back()) ||
            CreateDirectoryW(toWide(part).c_str(), nullptr))
            continue;
        const DWORD e = GetLastError();
        if (e != ERROR_ALREADY_EXISTS) return static_cast<int>(e);
    }
    const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return static_cast<int>(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_DIRECTORY;
}

}  // namespace platform

}  // namespace talvek
