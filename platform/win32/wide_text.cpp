#include "platform/win32/wide_text.h"

#include <windows.h>

namespace talvek {

namespace platform {

// MultiByteToWideChar and WideCharToMultiByte work on UTF-16 units, not on
// wchar_t characters, so text outside the BMP survives the round trip (which a
// per-character conversion with a 16-bit wchar_t would not).

std::wstring toWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string toUtf8(const wchar_t* text) {
    return text ? toUtf8(std::wstring(text)) : std::string();
}

}  // namespace platform

}  // namespace talvek
