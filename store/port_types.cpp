#include "store/port_types.h"

#include <algorithm>
#include <cstdint>

#include "store/store_file.h"

namespace talvek {

namespace store {

namespace {

constexpr const char* FirstLine = "TLVKPORTS 1";
// Interface numbers are small; three digits leave room for many more types.
constexpr size_t MaxNumberDigits = 3;
// The largest valid file: the first line, then the most ports with the
// longest numbers and names, each line with a CR before its LF.
constexpr size_t MaxFileSize = 11 + 2 + MaxPorts * (MaxNumberDigits + 1 + MaxPortName + 2);

}  // namespace

bool portNameKeepable(const std::string& port) {
    return !port.empty() && port.size() <= MaxPortName &&
           port.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::optional<int> PortTypes::on(const std::string& port) const {
    for (const auto& [name, number] : entries_)
        if (name == port) return number;
    return std::nullopt;
}

bool PortTypes::found(const std::string& port, int number) {
    if (!portNameKeepable(port) || number < 1 || number > 999) return false;
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const auto& e) { return e.first == port; }),
                   entries_.end());
    entries_.insert(entries_.begin(), {port, number});
    if (entries_.size() > MaxPorts) entries_.resize(MaxPorts);
    return true;
}

std::string encodePortTypes(const PortTypes& types) {
    std::string text = std::string(FirstLine) + "\n";
    for (const auto& [port, number] : types.entries())
        text += std::to_string(number) + " " + port + "\n";
    return text;
}

bool decodePortTypes(const std::string& text, PortTypes& types, std::string& why) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            why = "the last line has no end";
            return false;
        }
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        at = end + 1;
    }
    if (lines.empty() || lines[0] != FirstLine) {
        why = "not a list of ports";
        return false;
    }
    if (lines.size() - 1 > MaxPorts) {
        why = "too many ports";
        return false;
    }
    PortTypes out;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t blank = line.find(' ');
        const std::string digits = line.substr(0, blank);
        const bool number =
            !digits.empty() && digits.size() <= MaxNumberDigits && digits[0] != '0' &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        const std::string port =
            blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (!number || !portNameKeepable(port)) {
            why = "line " + std::to_string(i + 1) + " is damaged";
            return false;
        }
        // The first line of a port is its latest.
        if (!out.on(port)) out.entries_.emplace_back(port, std::stoi(digits));
    }
    types = std::move(out);
    return true;
}

std::string portTypesPath(const std::string& directory) {
    return inFolder(directory, PortTypesFileName);
}

PortTypesLoad loadPortTypes(const std::string& path) {
    return loadStoreFile<PortTypesLoad>(
        path, MaxFileSize, "list of ports", "no port found yet",
        [](const std::vector<uint8_t>& bytes, PortTypesLoad& r) {
            return decodePortTypes(std::string(bytes.begin(), bytes.end()), r.types, r.why);
        });
}

std::string savePortTypes(const std::string& directory, const PortTypes& types) {
    const std::string text = encodePortTypes(types);
    return replaceInFolder(directory, PortTypesFileName, text.data(), text.size());
}

}  // namespace store

}  // namespace talvek
