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

size_t unpairedSurrogate(const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                ++i;  // a pair
                continue;
            }
            return i;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) return i;
    }
    return std::wstring::npos;
}

CommandLineText commandLineText(const std::wstring& line) {
    CommandLineText result;
    const size_t bad = unpairedSurrogate(line);
    if (bad == std::wstring::npos) {
        result.text = toUtf8(line);
        return result;
    }
    // The word around it, as a message can show it.
    const size_t before = line.find_last_of(L" \t", bad);
    const size_t start = before == std::wstring::npos ? 0 : before + 1;
    const size_t end = line.find_first_of(L" \t", bad);
    result.uncarried = toUtf8(line.substr(start, end == std::wstring::npos ? end : end - start));
    return result;
}

}  // namespace platform

}  // namespace talvek
