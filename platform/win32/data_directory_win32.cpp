// The shell's folder for a user's local application data
// (C:\Users\<name>\AppData\Local), the place for data that belongs to this
// machine; %LOCALAPPDATA% names the same folder when the shell cannot.
#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "platform/os.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

namespace {

std::wstring localApplicationData() {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &path) == S_OK &&
        path)
        folder = path;
    CoTaskMemFree(path);
    if (!folder.empty()) return folder;
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (n == 0) return std::wstring();
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), n);
    value.resize(got < n ? got : 0);
    return value;
}

}  // namespace

std::string dataDirectory() {
    std::wstring folder = localApplicationData();
    if (folder.empty()) return std::string();
    if (folder.back() != L'\\') folder += L'\\';
    return toUtf8(folder + L"Talvek\\XML Downloader\\");
}

}  // namespace platform

}  // namespace talvek
