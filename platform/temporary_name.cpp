#include "platform/temporary_name.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

namespace talvek {

namespace platform {

namespace {

constexpr char Lead[] = ".tlvk-";
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

std::string temporaryPrefix(const std::string& fileName, bool foldCase) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : fileName) {
        if (foldCase && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        hash = (hash ^ c) * 16777619u;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%08x-", static_cast<unsigned>(hash));
    return Lead + std::string(text);
}

bool isTemporaryName(const std::string& entry, const std::string& prefix) {
    if (entry.size() != prefix.size() + TemporaryRandomChars ||
        entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < entry.size(); ++i)
        if (entry[i] == '\0' || !std::strchr(Alphabet, entry[i])) return false;
    return true;
}

std::string temporaryRandomChars(const unsigned char* bytes) {
    std::string s;
    for (size_t i = 0; i < TemporaryRandomChars; ++i) s += Alphabet[bytes[i] % (sizeof Alphabet - 1)];
    return s;
}

std::string newTemporaryRandomChars() {
    unsigned char bytes[TemporaryRandomChars];
    if (!systemRandomBytes(bytes, sizeof bytes)) {
        std::random_device device;
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(device());
    }
    return temporaryRandomChars(bytes);
}

}  // namespace platform

}  // namespace talvek
