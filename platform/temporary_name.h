#pragma once
// Names of the temporary files whole-file replacement writes: ".tlvk-", 8
// hex digits of a hash of the output's file name, "-", 6 random characters
// (21 bytes, whatever the name's length).  The hash lets a run find the
// temporaries a killed run left for the same name, and only those.
#include <cstddef>
#include <string>

namespace talvek {

namespace platform {

// How many random characters end a temporary's name.
constexpr size_t TemporaryRandomChars = 6;

// ".tlvk-<hash of fileName>-"; with `foldCase`, names that differ only in
// the case of ASCII letters (one name on Windows) share it.
std::string temporaryPrefix(const std::string& fileName, bool foldCase);
// Whether `entry` is `prefix` followed by random characters.
bool isTemporaryName(const std::string& entry, const std::string& prefix);
// The random characters from TemporaryRandomChars random bytes.
std::string temporaryRandomChars(const unsigned char* bytes);
// The random characters of a new temporary: from the system's random
// source, or from the standard library's when that fails.
std::string newTemporaryRandomChars();

// Fills `n` bytes from the system's random source (one per system, beside
// its file replacement); false when it cannot.
bool systemRandomBytes(unsigned char* bytes, size_t n);

}  // namespace platform

}  // namespace talvek
