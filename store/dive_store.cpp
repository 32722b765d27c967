#include "store/dive_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "replay/computer_image.h"
#include "store/store_file.h"

namespace talvek {

namespace store {

namespace {

constexpr char Magic[8] = {'T', 'L', 'V', 'K', 'S', 'T', 'O', 'R'};
constexpr uint8_t FormatVersion = 1;
constexpr uint32_t HeaderLength = 84;  // RingWalker::HeaderFetchSize
constexpr uint32_t MaxDataLength = 0x8000;
constexpr uint32_t MaxDives = 4096;
// The dives come from the computer's memory, so together they hold no more
// than it: 8 KB for family 1, 32 KB for the others.
constexpr uint32_t Family1DataTotal = 0x2000;
constexpr uint32_t MaxDataTotal = 0x8000;
// The largest valid file: everything before the dives, the most dives with
// the longest headers, all the data there can be, the CRC.
constexpr size_t MaxFileSize = 8 + 1 + 1 + 4 + HeaderImageSize + 4 +
                               size_t{MaxDives} * (4 + 1 + HeaderLength + 4) + MaxDataTotal + 4;

// Header image offsets of the identity and serial number (all families).
constexpr int ImageModel = 0x28;
constexpr int ImageFirmware1 = 0x29;
constexpr int ImageSerial = 0x2A;
constexpr int ImageFirmware2 = 0x81;
constexpr int ImageFirmware3 = 0x82;

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Reads the content between the magic and the CRC; every getter fails
// softly so that the first problem is the one reported.
class Reader {
  public:
    Reader(const std::vector<uint8_t>& b, size_t end) : b_(b), end_(end) {}
    bool bytes(size_t n, const uint8_t*& at) {
        if (end_ - pos_ < n) return false;
        at = b_.data() + pos_;
        pos_ += n;
        return true;
    }
    bool u8(uint8_t& v) {
        const uint8_t* at;
        if (!bytes(1, at)) return false;
        v = *at;
        return true;
    }
    bool u32(uint32_t& v) {
        const uint8_t* at;
        if (!bytes(4, at)) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
        return true;
    }
    size_t pos() const { return pos_; }

  private:
    const std::vector<uint8_t>& b_;
    size_t end_;
    size_t pos_ = 0;
};

}  // namespace

std::array<uint8_t, 4> identityOf(DataFamily family, const HeaderImage& h) {
    if (family == DataFamily::Family1) return {h[ImageModel], h[ImageFirmware1], 0, 0};
    return {h[ImageModel], h[ImageFirmware1], h[ImageFirmware2], h[ImageFirmware3]};
}

bool sameComputer(const StoredComputer& stored, DataFamily family, const HeaderImage& header) {
    return stored.family == family && stored.identity == identityOf(family, header) &&
           std::memcmp(stored.header.data() + ImageSerial, header.data() + ImageSerial, 4) == 0;
}

std::string fileName(DataFamily family, const HeaderImage& h) {
    char name[64];
    std::snprintf(name, sizeof name, "t%d-m%u-%02X%02X%02X%02X.dives", static_cast<int>(family),
                  unsigned{h[ImageModel]}, unsigned{h[ImageSerial]}, unsigned{h[ImageSerial + 1]},
                  unsigned{h[ImageSerial + 2]}, unsigned{h[ImageSerial + 3]});
    return name;
}

std::string pathIn(const std::string& directory, DataFamily family, const HeaderImage& header) {
    return inFolder(directory, fileName(family, header));
}

std::vector<uint8_t> encode(const StoredComputer& c) {
    std::vector<uint8_t> out(std::begin(Magic), std::end(Magic));
    out.push_back(FormatVersion);
    out.push_back(static_cast<uint8_t>(familyCode(c.family)));
    out.insert(out.end(), c.identity.begin(), c.identity.end());
    out.insert(out.end(), c.header.begin(), c.header.end());
    putU32(out, static_cast<uint32_t>(c.dives.size()));
    for (const RawDive& d : c.dives) {
        putU32(out, d.address);
        out.push_back(static_cast<uint8_t>(d.header.size()));
        out.insert(out.end(), d.header.begin(), d.header.end());
        putU32(out, static_cast<uint32_t>(d.data.size()));
        out.insert(out.end(), d.data.begin(), d.data.end());
    }
    putU32(out, replay::crc32(out.data(), out.size()));
    return out;
}

bool decode(const std::vector<uint8_t>& bytes, StoredComputer& c, std::string& why) {
    if (bytes.size() < sizeof Magic + 4 || std::memcmp(bytes.data(), Magic, sizeof Magic) != 0) {
        why = "not a dive store";
        return false;
    }
    const size_t body = bytes.size() - 4;
    uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(bytes[body + i]) << (8 * i);
    if (replay::crc32(bytes.data(), body) != stored) {
        why = "checksum mismatch (damaged file)";
        return false;
    }
    Reader r(bytes, body);
    const uint8_t* at = nullptr;
    uint8_t version = 0, family = 0;
    r.bytes(sizeof Magic, at);
    if (!r.u8(version) || version != FormatVersion) {
        why = "unknown format version " + std::to_string(version);
        return false;
    }
    StoredComputer out;
    uint32_t count = 0;
    if (!r.u8(family) || !r.bytes(4, at)) {
        why = "truncated";
        return false;
    }
    std::memcpy(out.identity.data(), at, 4);
    if (const std::optional<DataFamily> known = familyOfCode(family)) {
        out.family = *known;
    } else {
        why = "bad family code " + std::to_string(family);
        return false;
    }
    if (!r.bytes(HeaderImageSize, at) || !r.u32(count)) {
        why = "truncated";
        return false;
    }
    std::memcpy(out.header.data(), at, HeaderImageSize);
    if (out.identity != identityOf(out.family, out.header)) {
        why = "identity and header image disagree";
        return false;
    }
    if (count > MaxDives) {
        why = "too many dives";
        return false;
    }
    const bool family1 = out.family == DataFamily::Family1;
    const uint32_t wantHeader = family1 ? 0 : HeaderLength;
    const uint32_t dataTotal = family1 ? Family1DataTotal : MaxDataTotal;
    uint32_t data = 0;
    for (uint32_t i = 0; i < count; ++i) {
        RawDive d;
        uint8_t headerLength = 0;
        uint32_t dataLength = 0;
        if (!r.u32(d.address) || !r.u8(headerLength)) {
            why = "truncated";
            return false;
        }
        if (headerLength != wantHeader || (family1 && d.address != 0) || d.address > 0xFFFF) {
            why = "dive " + std::to_string(i) + " does not fit the family";
            return false;
        }
        if (!r.bytes(headerLength, at)) {
            why = "truncated";
            return false;
        }
        d.header.assign(at, at + headerLength);
        if (!r.u32(dataLength) || dataLength > MaxDataLength || !r.bytes(dataLength, at)) {
            why = "truncated";
            return false;
        }
        data += dataLength;
        if (data > dataTotal) {
            why = "dives hold more than the computer's memory";
            return false;
        }
        d.data.assign(at, at + dataLength);
        out.dives.push_back(std::move(d));
    }
    if (r.pos() != body) {
        why = "trailing bytes";
        return false;
    }
    c = std::move(out);
    return true;
}

LoadResult load(const std::string& path) {
    return loadStoreFile<LoadResult>(path, MaxFileSize, "dive store", "no store for this computer",
                                     [](const std::vector<uint8_t>& bytes, LoadResult& r) {
                                         return decode(bytes, r.computer, r.why);
                                     });
}

std::string save(const std::string& directory, const StoredComputer& computer) {
    const std::vector<uint8_t> bytes = encode(computer);
    return replaceInFolder(directory, fileName(computer.family, computer.header), bytes.data(),
                           bytes.size());
}

}  // namespace store

}  // namespace talvek
