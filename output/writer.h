#pragma once
// Root of every output generator: one generator writes one document.
#include <cstdint>

namespace talvek {

class XmlDocument;

class Writer {
  public:
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    explicit Writer(int32_t familyCode) : familyCode_(familyCode) {}
    virtual ~Writer() = default;
    virtual void make(XmlDocument& document) = 0;
    int32_t familyCode() const { return familyCode_; }

  protected:
    int32_t familyCode_;
};

}  // namespace talvek
