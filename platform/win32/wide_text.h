#pragma once
// UTF-8 <-> UTF-16 at the edge of the system calls.  The program keeps UTF-8
// everywhere else; only platform/win32 sees wide text.
#include <string>

#include "platform/os.h"

namespace talvek {

namespace platform {

// UTF-8 to UTF-16 (surrogate pairs for characters outside the BMP); a byte
// that is not UTF-8 becomes U+FFFD.
std::wstring toWide(const std::string& text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const std::wstring& text);
std::string toUtf8(const wchar_t* text);

// Where UTF-16 holds an unpaired surrogate (which UTF-8 cannot carry), or
// npos when it holds none.
size_t unpairedSurrogate(const std::wstring& text);

// The command line `line` as the program reads it: the UTF-8 text, or, when
// a part of it cannot be carried, the blank-separated word that holds it.
CommandLineText commandLineText(const std::wstring& line);

}  // namespace platform

}  // namespace talvek
