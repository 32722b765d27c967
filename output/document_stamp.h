#pragma once
// What a DCDML document says of its own making: the program that wrote it,
// with its version, and the local time of writing.
#include <optional>
#include <string>

#include "platform/os.h"

namespace talvek {

struct ProgramVersion {
    std::string name;
    std::string version;
};

struct DocumentStamp {
    // Absent when the program's version could not be read: the document then
    // names "Talvek Downloader" with an empty version.
    std::optional<ProgramVersion> program;
    platform::LocalTime time;
};

}  // namespace talvek
