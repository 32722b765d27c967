#pragma once
// UTF-8 <-> UTF-16 at the edge of the system calls.  The program keeps UTF-8
// everywhere else; only platform/win32 sees wide text.
#include <string>

namespace talvek {

namespace platform {

// UTF-8 to UTF-16 (surrogate pairs for characters outside the BMP); a byte
// that is not UTF-8 becomes U+FFFD.
std::wstring toWide(const std::string& text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const std::wstring& text);
std::string toUtf8(const wchar_t* text);

}  // namespace platform

}  // namespace talvek
