#pragma once
// What a run does besides the download itself: keep the raw dives in the
// dive store and fetch only the new ones (-new, -store), write what was read
// as a computer image (-dump), or download from an image instead of a port
// (-image).  None of them changes the document a download writes.
#include <optional>
#include <string>

namespace talvek {

struct DownloadExtras {
    // -new: fetch only the dives the store lacks (types 2 and 3).
    bool newDivesOnly = false;
    // -store[=DIR]: keep this download in the store (-new does too).
    bool useStore = false;
    // The store's folder; empty for the platform's data directory.
    std::string storeDirectory;
    // -dump=FILE: the memory read, as a computer image.
    std::optional<std::string> dumpFile;
    // -image=FILE: download the computer kept in this image.
    std::optional<std::string> imageFile;

    bool storing() const { return newDivesOnly || useStore; }
    bool any() const { return storing() || dumpFile || imageFile; }
};

}  // namespace talvek
