#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstdint>
#include <cstdio>

#include "platform/file_replace.h"
#include "platform/temporary_name.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

bool systemRandomBytes(unsigned char* bytes, size_t n) {
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(n),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

namespace {

// The attributes a replaced file passes on; read-only is not among them: a
// read-only file is not replaced at all.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string directoryOf(const std::string& path) {
    const std::string::size_type sep = path.find_last_of("\\/");
    if (sep != std::string::npos) return path.substr(0, sep + 1);
    // "C:name" is relative to drive C's current directory.
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    return std::string();
}

std::string fileNameOf(const std::string& path) {
    return path.substr(directoryOf(path).size());
}

// Names that differ in case only are one name here.
std::string prefixFor(const std::string& path) {
    return temporaryPrefix(fileNameOf(path), true);
}

// Removes the temporaries of `path` that a killed run left.  A run that is
// still writing holds its file open, so the exclusive open below fails and
// the file stays; folders, reparse points and read-only files are never
// taken, and neither is what the user may not delete.
void removeLeftTemporaries(const std::string& path) {
    const std::string dir = directoryOf(path);
    const std::string prefix = prefixFor(path);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(toWide(dir + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string entry = toUtf8(found.cFileName);
        if (!isTemporaryName(entry, prefix) ||
            (found.dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)))
            continue;
        HANDLE h = CreateFileW(toWide(dir + entry).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Creates a new temporary file beside `path` (its name in `name`), never an
// existing one.  It is held open with sharing for deletion only: the rename
// works with it open, and another run's clean-up (an exclusive open) cannot
// take it meanwhile.
HANDLE createTemporary(const std::string& path, std::wstring& name) {
    const std::string lead = directoryOf(path) + prefixFor(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = toWide(lead + newTemporaryRandomChars());
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Marks the open temporary for deletion; it goes when the handle closes.
void discard(HANDLE h) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(h);
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

ReplaceResult failed(ReplaceStage stage, DWORD error) {
    ReplaceResult result;
    result.stage = stage;
    result.error = static_cast<int>(error);
    return result;
}

bool equalsNoCase(const std::string& a, const char* b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b, -1) == CSTR_EQUAL;
}

// The device a name stands for, by Windows' own rules: "\\.\" names the
// device namespace, and a last part whose stem (before any extension and
// trailing blanks) is a reserved name is that device in any folder.
// Deciding by the name alone opens nothing: opening a port to ask would
// take it.
TargetKind deviceKind(const std::string& path) {
    std::string stem = fileNameOf(path);
    const bool deviceSpace = path.size() > 4 && path.compare(0, 4, "\\\\.\\") == 0;
    if (deviceSpace && path.find_first_of("\\/", 4) != std::string::npos)
        return TargetKind::Special;  // \\.\pipe\..., \\.\PhysicalDrive0\...
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == ':')) stem.pop_back();
    if (equalsNoCase(stem, "NUL")) return TargetKind::NullDevice;
    static const char* const Reserved[] = {"CON", "PRN", "AUX", "CONIN$", "CONOUT$"};
    for (const char* name : Reserved)
        if (equalsNoCase(stem, name)) return TargetKind::Special;
    if (stem.size() == 4 &&
        (equalsNoCase(stem.substr(0, 3), "COM") || equalsNoCase(stem.substr(0, 3), "LPT")) &&
        stem[3] >= '0' && stem[3] <= '9')
        return TargetKind::Special;
    return deviceSpace ? TargetKind::Special : TargetKind::Replaceable;
}

// The bytes written into the null device, opened as an existing device
// only.
ReplaceResult writeIntoNullDevice(const std::string& path, const char* data, size_t n) {
    HANDLE h = CreateFileW(toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed(ReplaceStage::Create, GetLastError());
    if (GetFileType(h) != FILE_TYPE_CHAR) {
        CloseHandle(h);
        return failed(ReplaceStage::Special, ERROR_ACCESS_DENIED);
    }
    const bool written = writeAll(h, data, n);
    const DWORD error = GetLastError();
    CloseHandle(h);
    return written ? ReplaceResult{} : failed(ReplaceStage::Write, error);
}

// The checks that need no temporary file: a name at all, no folder, and
// not an existing file the user marked read-only.
bool plainTarget(const std::string& path, DWORD& attributes, ReplaceResult& result) {
    if (path.empty() || isSeparator(path.back())) {
        result =
            failed(ReplaceStage::Create, path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_DIRECTORY);
        return false;
    }
    attributes = GetFileAttributesW(toWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    // MoveFileExW refuses both; found here, before anything is written.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        result = failed(ReplaceStage::Rename, ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

}  // namespace

TargetKind targetKind(const std::string& path) {
    return deviceKind(path);
}

namespace {

// What replaceFile and checkReplaceable do first: the checks, the clean-up
// and a new temporary file (null, with `result` set, when one fails).
HANDLE startReplacing(const std::string& path, DWORD& oldAttributes, std::wstring& temporary,
                      ReplaceResult& result) {
    if (!plainTarget(path, oldAttributes, result)) return nullptr;
    removeLeftTemporaries(path);
    HANDLE h = createTemporary(path, temporary);
    if (h != INVALID_HANDLE_VALUE) return h;
    result = failed(ReplaceStage::Create, GetLastError());
    return nullptr;
}

}  // namespace

ReplaceResult replaceFile(const std::string& path, const void* data, size_t n,
                          const std::atomic<bool>* cancel) {
    ReplaceResult result;
    if (!path.empty()) {
        switch (targetKind(path)) {
            case TargetKind::Special:
                return failed(ReplaceStage::Special, ERROR_ACCESS_DENIED);
            case TargetKind::NullDevice:
                if (cancel && cancel->load())
                    return failed(ReplaceStage::Cancelled, ERROR_CANCELLED);
                return writeIntoNullDevice(path, static_cast<const char*>(data), n);
            case TargetKind::Replaceable:
                break;
        }
    }
    DWORD oldAttributes;
    std::wstring temporary;
    HANDLE h = startReplacing(path, oldAttributes, temporary, result);
    if (!h) return result;
    if (!writeAll(h, static_cast<const char*>(data), n) || !FlushFileBuffers(h)) {
        const DWORD error = GetLastError();
        discard(h);
        return failed(ReplaceStage::Write, error);
    }
    // The new file looks as the old one did (hidden stays hidden).
    if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & KeptAttributes)) {
        FILE_BASIC_INFO basic{};  // times of 0: left as they are
        basic.FileAttributes = oldAttributes & KeptAttributes;
        SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
    }
    if (cancel && cancel->load()) {
        discard(h);
        return failed(ReplaceStage::Cancelled, ERROR_CANCELLED);
    }
    // rename() of the C runtime refuses an existing target here; this
    // replaces it in one step and returns only once the move is on disk.
    // The handle stays open until then, so no clean-up takes the file.
    if (!MoveFileExW(temporary.c_str(), toWide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        discard(h);
        return failed(ReplaceStage::Rename, error);
    }
    CloseHandle(h);
    return result;
}

ReplaceResult checkReplaceable(const std::string& path) {
    ReplaceResult result;
    if (!path.empty()) {
        switch (targetKind(path)) {
            case TargetKind::Special:
                return failed(ReplaceStage::Special, ERROR_ACCESS_DENIED);
            case TargetKind::NullDevice:
                return result;
            case TargetKind::Replaceable:
                break;
        }
    }
    DWORD attributes;
    std::wstring temporary;
    if (HANDLE h = startReplacing(path, attributes, temporary, result)) discard(h);
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
