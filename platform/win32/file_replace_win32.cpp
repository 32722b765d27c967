#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/file_replace.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

namespace {

std::atomic<unsigned> counter{0};

// Windows takes both separators.
std::string::size_type lastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

std::string directoryOf(const std::string& path) {
    const std::string::size_type sep = lastSeparator(path);
    if (sep != std::string::npos) return path.substr(0, sep + 1);
    // "C:name" is relative to drive C's current directory.
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    return std::string();
}

std::string fileNameOf(const std::string& path) {
    const std::string dir = directoryOf(path);
    return path.substr(dir.size());
}

bool endsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// Creates a new temporary file beside `path`, never an existing one.
HANDLE createTemporary(const std::string& path, std::wstring& tempName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%lu.%u.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()), counter.fetch_add(1));
        tempName = toWide(directoryOf(path) + "." + fileNameOf(path) + suffix);
        HANDLE h = CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE h, const char* p, size_t n) {
    while (n > 0) {
        const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        p += written;
        n -= written;
    }
    return true;
}

}  // namespace

ReplaceResult replaceFile(const std::string& path, const void* data, size_t n) {
    ReplaceResult result;
    if (path.empty() || endsWithSeparator(path)) {
        result.stage = ReplaceStage::Create;
        result.error = path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_DIRECTORY;
        return result;
    }
    std::wstring tempName;
    HANDLE h = createTemporary(path, tempName);
    if (h == INVALID_HANDLE_VALUE) {
        result.stage = ReplaceStage::Create;
        result.error = static_cast<int>(GetLastError());
        return result;
    }
    bool written = writeAll(h, static_cast<const char*>(data), n) && FlushFileBuffers(h);
    DWORD error = GetLastError();
    if (!CloseHandle(h) && written) {
        written = false;
        error = GetLastError();
    }
    if (!written) {
        DeleteFileW(tempName.c_str());
        result.stage = ReplaceStage::Write;
        result.error = static_cast<int>(error);
        return result;
    }
    // rename() of the C runtime refuses an existing target here; this
    // replaces it in one step and returns only once the move is on disk.
    if (!MoveFileExW(tempName.c_str(), toWide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        result.stage = ReplaceStage::Rename;
        result.error = static_cast<int>(GetLastError());
        DeleteFileW(tempName.c_str());
        return result;
    }
    return result;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(toWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// The volume and file index of an existing file: the same for every name and
// spelling (case, separators, links) of it.
bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileW(toWide(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!fileIdentity(a, ia) || !fileIdentity(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace platform

}  // namespace talvek
