#pragma once
// Version resources: the system's own version information inside an
// executable file.  Windows has them; elsewhere the program carries a block
// of its own instead (version_block.cpp.in), which the session reads itself.
#include <string>

namespace talvek {

namespace platform {

// Whether executables of this system carry version resources.
bool hasVersionResources();

// Reads the version resource of `file`: the first translation's string table,
// one value per key of `keys` (`count` of them).  A key the table lacks keeps
// its value in `values`.  False when the file has no resource, it cannot be
// read or it has no translation table (values are then untouched).
bool readVersionResource(const std::string& file, const char* const* keys, int count,
                         std::string* values);

}  // namespace platform

}  // namespace talvek
