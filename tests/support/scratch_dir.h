#pragma once
// A private temporary directory for one test, removed with its content.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace talvek {

class ScratchDir {
  public:
    ScratchDir() : path_(makeTempDir("talvek_test_")) {}
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    static bool exists(const std::string& name) { return std::filesystem::exists(name); }
    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void write(const std::string& name, const std::string& bytes) {
        std::ofstream out(name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // Names of the entries of the directory (or of its subdirectory `sub`),
    // sorted.
    std::vector<std::string> entries(const std::string& sub = "") const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(path_ + "/" + sub, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Number of entries in the directory.
    size_t count() const {
        size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(path_);
             it != std::filesystem::directory_iterator(); ++it)
            ++n;
        return n;
    }

  private:
    std::string path_;
};

}  // namespace talvek
