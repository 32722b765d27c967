#pragma once
// A new private directory under the system's temporary directory (mkdtemp is
// POSIX; this works wherever std::filesystem does).
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace talvek {

// Makes "<temp>/<prefix><random>" and returns its path with '/' separators;
// empty when no directory could be made.
inline std::string makeTempDir(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) return std::string();
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path p = base / (prefix + std::to_string(random() % 1000000000u));
        if (fs::create_directory(p, ec)) return p.generic_string();
    }
    return std::string();
}

}  // namespace talvek
