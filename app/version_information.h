#pragma once
// Reads the version block that the build links into each executable and keeps
// its ten standard string values.  The block layout is described in
// platform/version_block.cpp.in.
#include <string>
#include <vector>

class VersionInformation {
public:
    // The ten standard keys, in the order of the values.
    static constexpr int KeyCount = 10;
    static const char* const Keys[KeyCount];

    // With a file name, reads at once; with null, stays empty and invalid.
    explicit VersionInformation(const char* fileName = nullptr);

    // Stores the name and reads its block; a null name only clears valid.
    // Returns valid.  Values not found keep their previous content.
    bool Read(const char* fileName);

    bool Valid() const { return valid_; }
    const std::string& FileName() const { return fileName_; }

    const std::string& CompanyName() const { return values_[0]; }
    const std::string& FileDescription() const { return values_[1]; }
    const std::string& FileVersion() const { return values_[2]; }
    const std::string& InternalName() const { return values_[3]; }
    const std::string& LegalCopyright() const { return values_[4]; }
    const std::string& LegalTrademarks() const { return values_[5]; }
    const std::string& OriginalFilename() const { return values_[6]; }
    const std::string& ProductName() const { return values_[7]; }
    const std::string& ProductVersion() const { return values_[8]; }
    const std::string& Comments() const { return values_[9]; }
    // Value by key name (one of Keys); empty for any other name.
    const std::string& Value(const char* key) const;

    // The marker that starts a block.  Built at run time so that this
    // program's own file does not contain it outside the real block.
    static std::string Marker();

private:
    std::vector<char> block_;  // the raw block of the last read
    std::string fileName_;
    bool valid_ = false;
    std::string values_[KeyCount];
};
