#include <windows.h>
#include <winver.h>

#include <cstdio>
#include <vector>

#include "platform/version_resource.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

bool hasVersionResources() {
    return true;
}

bool readVersionResource(const std::string& file, const char* const* keys, int count,
                         std::string* values) {
    const std::wstring name = toWide(file);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, block.data())) return false;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        translations == nullptr || length < sizeof(Translation))
        return false;

    // Only the first translation is read.
    wchar_t prefix[40];
    std::swprintf(prefix, sizeof prefix / sizeof prefix[0], L"\\StringFileInfo\\%04x%04x\\",
                  translations[0].language, translations[0].codePage);
    for (int k = 0; k < count; ++k) {
        const std::wstring query = prefix + toWide(keys[k]);
        wchar_t* value = nullptr;
        UINT chars = 0;
        if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) &&
            value) {
            // The count includes the terminator when there is one.
            std::wstring text(value, chars);
            while (!text.empty() && text.back() == L'\0') text.pop_back();
            values[k] = toUtf8(text);
        }
    }
    return true;
}

}  // namespace platform

}  // namespace talvek
