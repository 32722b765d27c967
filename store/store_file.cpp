#include "store/store_file.h"

#include "platform/file_replace.h"
#include "platform/os.h"

namespace talvek {

namespace store {

std::string inFolder(const std::string& directory, const std::string& name) {
    std::string path = directory;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path + name;
}

FileStatus readStoreFile(const std::string& path, size_t maxBytes, const char* kind,
                         std::vector<uint8_t>& bytes, std::string& why) {
    const platform::FileRead read = platform::readWholeFile(path, bytes, maxBytes);
    switch (read.outcome) {
        case platform::ReadOutcome::Read:
            return FileStatus::Read;
        case platform::ReadOutcome::Missing:
            why = "no such file";
            return FileStatus::Absent;
        case platform::ReadOutcome::NotAFile:
            why = "not a plain file";
            break;
        case platform::ReadOutcome::TooLarge:
            why = std::string("larger than any ") + kind;
            break;
        case platform::ReadOutcome::Failed:
            why = "unreadable: " + platform::errorText(read.error);
            break;
    }
    return FileStatus::Refused;
}

std::string replaceInFolder(const std::string& directory, const std::string& name, const void* data,
                            size_t n) {
    if (directory.empty()) return "no folder for the store";
    const int error = platform::makeDirectories(directory);
    if (error != 0) return "cannot make the folder: " + platform::errorText(error);
    const std::string path = inFolder(directory, name);
    const platform::ReplaceResult r = platform::replaceFile(path, data, n);
    if (!r.ok()) return "cannot write " + path + ": " + platform::errorText(r.error);
    return std::string();
}

}  // namespace store

}  // namespace talvek
