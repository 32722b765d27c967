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

// The element names of the legacy layout, by index; profile markers 121..136
// select indexes 44..59 (marker - 77).
constexpr int LegacyElementCount = 60;
extern const char* const LegacyElementNames[LegacyElementCount];

// The legacy profile of a family 2/3 dive is a list of depth changes in whole
// feet; this keeps the running depth they are measured from.
class WholeFeetDepth {
  public:
    // Centimetres to whole feet, rounding half up.
    static int32_t wholeFeet(uint32_t centimetres);

    // The change in whole feet from the previous depth to `centimetres`.
    // A depth of 0 starts over without a change of its own.
    int32_t changeTo(uint32_t centimetres);
    int32_t feet() const { return feet_; }

  private:
    int32_t feet_ = 0;
};

class LegacyWriterBase : public Writer {
  public:
    explicit LegacyWriterBase(const DiveSet& set);
    ~LegacyWriterBase() override = default;
    void make(XmlDocument& document) override = 0;

  protected:
    virtual void writeSettings() = 0;

    // The steps both legacy generators share; `device` is the number in
    // their trace lines.
    void makeDocument(XmlDocument& document, int device,
                      const std::function<void(const ConstDivePtr&)>& writeDive);

    // Adds a text element holding `value` in decimal.
    static XmlElement* addValue(XmlElement* parent, int nameIndex, int64_t value);
    static XmlElement* addText(XmlElement* parent, int nameIndex, const std::string& text);
    // The "ComputerSettings" children both families write alike, from
    // "TotalDiveTime" to "FirmwareVersion.major".
    void writeSharedSettings();
    // Children of "DiveData" both families share, in their order.
    void writeDiveIntro(const DiveRecord& dive);
    // "Year" to "Minute" of the dive.
    void writeDiveDate(const DiveRecord& dive);

    // Text at `offset`, at most `width` characters, ending at the first NUL.
    std::string headerText(int offset, int width) const;

    XmlElement* root_ = nullptr;
    XmlElement* diveData_ = nullptr;
    XmlElement* settings_ = nullptr;
};

// Family 1: the dive's profile is the device's own list of depth changes and
// markers.
class LegacyFamily1Writer : public LegacyWriterBase {
  public:
    explicit LegacyFamily1Writer(const DiveSet& set);
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
    explicit LegacyFamily23Writer(const DiveSet& set);
    void make(XmlDocument& document) override;

  protected:
    void writeSettings() override;

  private:
    void writeDive(const ConstDivePtr& dive);
    WholeFeetDepth depth_;
};

}  // namespace talvek
