#pragma once
// Root of every writer: one writer fills one document from one dive set.
#include <cstdint>

#include "dc/base/dive_set.h"

namespace talvek {

class XmlDocument;

class Writer {
  public:
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    explicit Writer(const DiveSet& set) : set_(set) {}
    virtual ~Writer() = default;
    virtual void make(XmlDocument& document) = 0;
    DataFamily family() const { return set_.family; }

  protected:
    uint8_t headerByte(int offset) const { return set_.header[offset]; }
    // A little-endian word of the header image.
    uint16_t headerWord(int offset) const {
        return static_cast<uint16_t>(set_.header[offset] | (set_.header[offset + 1] << 8));
    }

    // A copy of the set handed in; its dive records are shared and only read.
    const DiveSet set_;
};

}  // namespace talvek
