#pragma once
// What the store's files share: where a file of the folder lies, how it is
// read (bounded, a plain file only) and how it is replaced.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talvek {

namespace store {

// `name` in `directory` (with or without a trailing separator).
std::string inFolder(const std::string& directory, const std::string& name);

enum class FileStatus { Read, Absent, Refused };
// Reads the plain file at `path` when it holds at most `maxBytes` bytes
// (never more are read), the largest valid `kind` ("dive store").
// Otherwise `why` says what the trace says: the file is absent, no plain
// file, too large or unreadable.
FileStatus readStoreFile(const std::string& path, size_t maxBytes, const char* kind,
                         std::vector<uint8_t>& bytes, std::string& why);

// Loads the file at `path` as a `Result` (a status of Loaded, Absent or
// Refused, and `why`): `decode(bytes, result)` fills it from the bytes read
// and says whether they keep the format; an absent file is Absent with
// `absentWhy`.
template <class Result, class Decode>
Result loadStoreFile(const std::string& path, size_t maxBytes, const char* kind,
                     const char* absentWhy, Decode decode) {
    Result result;
    std::vector<uint8_t> bytes;
    switch (readStoreFile(path, maxBytes, kind, bytes, result.why)) {
        case FileStatus::Read:
            result.status = decode(bytes, result) ? Result::Loaded : Result::Refused;
            break;
        case FileStatus::Absent:
            result.status = Result::Absent;
            result.why = absentWhy;
            break;
        case FileStatus::Refused:
            result.status = Result::Refused;
            break;
    }
    return result;
}

// Creates `directory` when it is missing and replaces its file `name` by
// `n` bytes from `data` atomically.  Returns the empty text, or what went
// wrong.
std::string replaceInFolder(const std::string& directory, const std::string& name, const void* data,
                            size_t n);

}  // namespace store

}  // namespace talvek
