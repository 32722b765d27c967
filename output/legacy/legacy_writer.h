#pragma once
// The legacy output layout: a flat "TalvekDownload" dump of the device header
// and of every dive with the device's raw numbers and the depth profile as a
// list of depth changes in feet.
#include <cstdint>
#include <functional>
#include <string>

#include "dc/base/dive_set.h"
#include "output/writer.h"

namespace talvek {

class XmlElement;

// Shared pieces of the legacy layout.
class LegacyElements {
  public:
    // Element names, addressed by index; profile markers 121..136 select
    // indexes 44..59 (marker - 77).
    static constexpr int NameCount = 60;
    static const char* const Names[NameCount];

    // Centimetres to whole feet, rounding half up.
    static int32_t wholeFeet(uint32_t centimetres);

    // The change in whole feet since the previous depth.  Each generator
    // keeps its own running depth; a depth of 0 resets it.
    int32_t fetchDepth(uint32_t depth);
    int32_t feet() const { return feet_; }

  private:
    int32_t feet_ = 0;
};

class LegacyWriterBase : public Writer {
  public:
    LegacyWriterBase(const uint8_t* header, DiveList* dives, int32_t familyCode);
    ~LegacyWriterBase() override = default;
    void make(XmlDocument& document) override = 0;

  protected:
    virtual void writeSettings() = 0;

    // The steps both legacy generators share; `device` is the number in
    // their trace lines.
    void makeDocument(XmlDocument& document, int device,
                      const std::function<void(const DivePtr&)>& writeDive);

    // Adds a text element holding `value` in decimal.
    static XmlElement* addValue(XmlElement* parent, int nameIndex, int64_t value);
    static XmlElement* addText(XmlElement* parent, int nameIndex, const std::string& text);
    // Children of "DiveData" both families share, in their order.
    void writeDiveIntro(const DiveRecord& dive);

    uint32_t u8(int offset) const { return header_[offset]; }
    uint32_t u16(int offset) const {
        return static_cast<uint32_t>(header_[offset] | (header_[offset + 1] << 8));
    }
    // Text at `offset`, at most `width` characters, ending at the first NUL.
    std::string headerText(int offset, int width) const;

    XmlElement* root_ = nullptr;
    XmlElement* diveData_ = nullptr;
    XmlElement* settings_ = nullptr;
    const uint8_t* header_;
    DiveList* dives_;
};

// Family 1: the dive's profile is the device's own list of depth changes and
// markers.
class LegacyFamily1Writer : public LegacyWriterBase {
  public:
    LegacyFamily1Writer(const uint8_t* header, DiveList* dives, int32_t familyCode);
    void make(XmlDocument& document) override;

  protected:
    void writeSettings() override;

  private:
    void writeDive(const DiveRecord& dive);
    double lastChange_ = 0;  // the last depth change written
};

// Families 2 and 3: the profile is decoded by ProfileDecoder and the
// centimetre depths turned into whole-feet changes.
class LegacyFamily23Writer : public LegacyWriterBase {
  public:
    LegacyFamily23Writer(const uint8_t* header, DiveList* dives, int32_t familyCode);
    void make(XmlDocument& document) override;

  protected:
    void writeSettings() override;

  private:
    void writeDive(const DivePtr& dive);
    std::string work_;
    LegacyElements depth_;
};

}  // namespace talvek
