#pragma once
// The system's own numbers (and texts) for failures the tests provoke:
// errno values on POSIX, GetLastError() values on Windows.
#include <cerrno>

namespace talvek {

namespace syserr {

#ifdef _WIN32
constexpr int MissingPath = 3;        // ERROR_PATH_NOT_FOUND: a folder on the way is missing
constexpr const char* MissingPathText = "";  // the system's language decides; not compared
constexpr int AccessDenied = 5;              // ERROR_ACCESS_DENIED
constexpr int FolderAsFile = 5;              // a folder where a file is to go: access denied
#else
constexpr int MissingPath = ENOENT;
constexpr const char* MissingPathText = "No such file or directory";
constexpr int AccessDenied = EACCES;
constexpr int FolderAsFile = EISDIR;
#endif

}  // namespace syserr

}  // namespace talvek
