#pragma once
// Reads the version information that the build links into each executable and
// keeps its ten standard string values: on Windows the VERSIONINFO resource
// (platform/version_resource.rc.in), elsewhere a block of text whose layout
// is described in platform/version_block.cpp.in.
#include <optional>
#include <string>
#include <vector>

#include "output/document_stamp.h"

namespace talvek {

class VersionInformation {
  public:
    // The ten standard keys, in the order of the values.
    static constexpr int KeyCount = 10;
    static const char* const Keys[KeyCount];

    // With a file name, reads at once; with null, stays empty and invalid.
    explicit VersionInformation(const char* fileName = nullptr);

    // Stores the name and reads its block; a null name only clears valid.
    // Returns valid.  Values not found keep their previous content.
    bool read(const char* fileName);

    bool valid() const { return valid_; }
    const std::string& fileName() const { return fileName_; }

    const std::string& companyName() const { return values_[0]; }
    const std::string& fileDescription() const { return values_[1]; }
    const std::string& fileVersion() const { return values_[2]; }
    const std::string& internalName() const { return values_[3]; }
    const std::string& legalCopyright() const { return values_[4]; }
    const std::string& legalTrademarks() const { return values_[5]; }
    const std::string& originalFilename() const { return values_[6]; }
    const std::string& productName() const { return values_[7]; }
    const std::string& productVersion() const { return values_[8]; }
    const std::string& comments() const { return values_[9]; }
    // Value by key name (one of Keys); empty for any other name.
    const std::string& value(const char* key) const;

    // The marker that starts a block.  Built at run time so that this
    // program's own file does not contain it outside the real block.
    static std::string marker();

  private:
    std::vector<char> block_;  // the raw block of the last read
    std::string fileName_;
    bool valid_ = false;
    std::string values_[KeyCount];
};

// The program and version a document names, as read into `info`: its
// product name and file version; nothing when `info` is not valid.
std::optional<ProgramVersion> programVersionOf(const VersionInformation& info);
// The same for the running program's own version block.
std::optional<ProgramVersion> ownProgramVersion();

}  // namespace talvek
