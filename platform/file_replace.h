#pragma once
// Writing a whole file so that its name never shows a partial result: the
// bytes go to a temporary file in the same directory, which is flushed to disk
// and then renamed over the name.  An older file of that name survives any
// failure, and no temporary file is left behind.
#include <cstddef>
#include <string>

namespace talvek {

namespace platform {

// Where a replaceFile call failed.
enum class ReplaceStage {
    None,    // it did not fail
    Create,  // the temporary file could not be created (missing directory, no rights)
    Write,   // writing, flushing or closing failed (a full disk)
    Rename,  // the finished file could not take the name (the name is a directory)
};

struct ReplaceResult {
    ReplaceStage stage = ReplaceStage::None;
    int error = 0;  // system error number of the failure
    bool ok() const { return stage == ReplaceStage::None; }
};

// Replaces the file `path` by one holding exactly `n` bytes from `data`.
ReplaceResult replaceFile(const std::string& path, const void* data, size_t n);

// Whether `path` names an existing file system entry.
bool pathExists(const std::string& path);

// Whether the two paths name the same existing file (also through links or
// other spellings of the path).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace platform

}  // namespace talvek
