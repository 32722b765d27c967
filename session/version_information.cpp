#include "session/version_information.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "platform/os.h"
#include "platform/version_resource.h"

namespace talvek {

const char* const VersionInformation::Keys[KeyCount] = {
    "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};

namespace {

// A block larger than this is not a version block.
constexpr size_t MaxBlock = 64 * 1024;
constexpr size_t Chunk = 64 * 1024;

struct StringGroup {
    std::string name;  // eight hex digits of (language, code page)
    std::vector<std::pair<std::string, std::string>> values;
};

struct ParsedBlock {
    std::vector<std::pair<uint16_t, uint16_t>> translations;
    std::vector<StringGroup> groups;
    size_t size = 0;  // bytes from the marker to the end item's terminator
};

bool isHex8(const std::string& s) {
    if (s.size() != 8) return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Reads the NUL-terminated item at `pos`; false when it runs past `n`.
bool nextItem(const char* data, size_t n, size_t& pos, std::string& item) {
    if (pos >= n) return false;
    const void* nul = std::memchr(data + pos, '\0', n - pos);
    if (!nul) return false;
    size_t end = static_cast<size_t>(static_cast<const char*>(nul) - data);
    item.assign(data + pos, end - pos);
    pos = end + 1;
    return true;
}

// Validates the whole block starting at data[0] (which holds the marker).
bool parse(const char* data, size_t n, const std::string& marker, ParsedBlock& out) {
    size_t pos = 0;
    std::string item;
    if (!nextItem(data, n, pos, item) || item != marker) return false;
    if (!nextItem(data, n, pos, item) || item.compare(0, 2, "T=") != 0) return false;
    // Comma-separated (language, code page) pairs, at least one.
    for (size_t start = 2;;) {
        size_t comma = item.find(',', start);
        std::string pair =
            item.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!isHex8(pair)) return false;
        unsigned long v = std::stoul(pair, nullptr, 16);
        out.translations.emplace_back(static_cast<uint16_t>(v >> 16),
                                      static_cast<uint16_t>(v & 0xFFFF));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (!nextItem(data, n, pos, item)) return false;
    for (;;) {
        if (item == "E") {
            out.size = pos;
            return true;
        }
        if (item.compare(0, 2, "S=") != 0 || !isHex8(item.substr(2))) return false;
        StringGroup group;
        group.name = item.substr(2);
        for (;;) {
            if (!nextItem(data, n, pos, item)) return false;
            if (item == "E" || item.compare(0, 2, "S=") == 0) break;
            if (item.empty()) return false;
            std::string value;
            if (!nextItem(data, n, pos, value)) return false;
            group.values.emplace_back(std::move(item), std::move(value));
        }
        out.groups.push_back(std::move(group));
    }
}

bool sameHex(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Scans the file for the first place where the marker starts a valid block.
bool findBlock(const char* fileName, const std::string& marker, std::vector<char>& block,
               ParsedBlock& parsed) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    std::string window;  // the part of the file still to scan
    size_t from = 0;     // scan position within the window
    bool eof = false;
    auto topUp = [&](size_t want) {
        while (!eof && window.size() < want) {
            size_t old = window.size();
            window.resize(old + Chunk);
            in.read(&window[old], static_cast<std::streamsize>(Chunk));
            std::streamsize got = in.gcount();
            window.resize(old + static_cast<size_t>(got > 0 ? got : 0));
            if (got <= 0 || !in) eof = true;
        }
    };
    for (;;) {
        topUp(from + MaxBlock + Chunk);
        size_t p = window.find(marker, from);
        if (p == std::string::npos) {
            if (eof) return false;
            // Keep the tail that may hold the start of a marker.
            size_t keep = marker.size() - 1;
            if (window.size() > keep) window.erase(0, window.size() - keep);
            from = 0;
            continue;
        }
        if (!eof && window.size() < p + MaxBlock) {
            window.erase(0, p);
            from = 0;
            continue;
        }
        size_t avail = std::min(window.size() - p, MaxBlock);
        ParsedBlock candidate;
        if (parse(window.data() + p, avail, marker, candidate)) {
            block.assign(window.data() + p, window.data() + p + candidate.size);
            parsed = std::move(candidate);
            return true;
        }
        from = p + 1;
    }
}

}  // namespace

std::string VersionInformation::marker() {
    static const char reversed[] = "KCOLBNOISREVKVT";
    return std::string(std::rbegin(reversed) + 1, std::rend(reversed));
}

VersionInformation::VersionInformation(const char* fileName) {
    if (fileName) read(fileName);
}

bool VersionInformation::read(const char* fileName) {
    valid_ = false;
    if (!fileName) return false;
    fileName_ = fileName;
    block_.clear();
    // Where executables carry the system's version resource, that is the
    // program's version information.
    if (platform::hasVersionResources())
        return valid_ = platform::readVersionResource(fileName_, Keys, KeyCount, values_);
    ParsedBlock parsed;
    try {
        if (!findBlock(fileName, marker(), block_, parsed)) return false;
    } catch (...) {
        // An unreadable file is the same as one without a block.
        return false;
    }
    if (parsed.translations.empty()) return false;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04x%04x", parsed.translations[0].first,
                  parsed.translations[0].second);
    // Only the first translation is read; other groups are ignored.
    for (const StringGroup& group : parsed.groups) {
        if (!sameHex(group.name, prefix)) continue;
        for (int k = 0; k < KeyCount; ++k) {
            for (const auto& kv : group.values) {
                if (kv.first == Keys[k]) {
                    values_[k] = kv.second;
                    break;
                }
            }
        }
        break;
    }
    valid_ = true;
    return true;
}

const std::string& VersionInformation::value(const char* key) const {
    static const std::string empty;
    if (!key) return empty;
    for (int k = 0; k < KeyCount; ++k)
        if (std::strcmp(key, Keys[k]) == 0) return values_[k];
    return empty;
}

std::optional<ProgramVersion> programVersionOf(const VersionInformation& info) {
    if (!info.valid()) return std::nullopt;
    return ProgramVersion{info.productName(), info.fileVersion()};
}

std::optional<ProgramVersion> ownProgramVersion() {
    return programVersionOf(VersionInformation(platform::ownExecutablePath().c_str()));
}

}  // namespace talvek
