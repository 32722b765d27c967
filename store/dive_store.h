#pragma once
// The dive store: per computer, the raw data of its last download (header
// image, identity, and each dive as the computer holds it), so that a later
// download can fetch only the newer dives (-new).  One file per computer,
// named after its interface family, model and serial number, in the
// project's own format (README.md, "The dive store's file format"):
//
//   offset  size  contents (numbers little-endian)
//   0       8     magic "TLVKSTOR"
//   8       1     format version, 1
//   9       1     family code: 1, 2 or 4 (interface type 1, 2 or 3)
//   10      4     identity: model code and three firmware numbers
//   14      144   header image
//   158     4     number of dives D, oldest first; then D times:
//                   4  ring address of the dive header (0 for family 1)
//                   1  header length H: 84 (families 2, 4) or 0 (family 1)
//                   H  the header bytes read at that address
//                   4  data length L (at most 32768)
//                   L  the profile bytes (families 2, 4) or the dive as
//                      streamed (family 1)
//   end-4   4     CRC-32 (IEEE) of every byte before it
//
// Nothing may follow the CRC; a file that breaks any rule is refused as a
// whole and never trusted.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dc/base/dive_set.h"
#include "dc/base/raw_reads.h"

namespace talvek {

namespace store {

struct StoredComputer {
    DataFamily family{};
    std::array<uint8_t, 4> identity{};
    HeaderImage header{};
    std::vector<RawDive> dives;  // oldest first
    bool operator==(const StoredComputer&) const = default;
};

// Model code and firmware numbers as the header image of `family` holds them.
std::array<uint8_t, 4> identityOf(DataFamily family, const HeaderImage& header);
// Same family, model, firmware and serial number.
bool sameComputer(const StoredComputer& stored, DataFamily family, const HeaderImage& header);
// The file that keeps a computer: "t<family>-m<model>-<serial in hex>.dives".
std::string fileName(DataFamily family, const HeaderImage& header);
// That file in `directory` (with or without a trailing separator).
std::string pathIn(const std::string& directory, DataFamily family, const HeaderImage& header);

std::vector<uint8_t> encode(const StoredComputer& computer);
// False, with the reason in `why`, for bytes that break the format.
bool decode(const std::vector<uint8_t>& bytes, StoredComputer& computer, std::string& why);

struct LoadResult {
    enum Status { Loaded, Absent, Refused } status = Absent;
    StoredComputer computer;
    std::string why;  // Absent, Refused: what the trace says
};
LoadResult load(const std::string& path);

// Creates `directory` when it is missing and replaces the computer's file
// atomically.  Returns the empty text, or what went wrong.
std::string save(const std::string& directory, const StoredComputer& computer);

}  // namespace store

}  // namespace talvek
