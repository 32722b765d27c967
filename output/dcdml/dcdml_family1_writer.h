#pragma once
// DCDML output for the first device family: the header image of an interface
// type 1 computer and its dives, whose profiles are the device's own list of
// depth changes (feet) and marker bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "dc/base/byte_stack.h"
#include "output/dcdml/dcdml_writer_base.h"

namespace talvek {

class DcdmlFamily1Writer : public DcdmlWriterBase {
  public:
    DcdmlFamily1Writer(const DiveSet& set, UnitSystem unitSystem, const DocumentStamp& stamp);
    ~DcdmlFamily1Writer() override;
    void make(XmlDocument& document) override;

  private:
    void writeDevice();
    void writeSettings();
    void writeHistory();
    void writeProfileData();
    // Writes the dives of one repetition group.
    void writeDives(XmlElement* group, const std::vector<ConstDivePtr>& pending);
    void writeSamples(XmlElement* dive, const DiveRecord& record);

    // "100" or "50" from bit 4 of a personal/altitude code byte.
    std::string rgbmText(uint8_t code) const;
    std::string depthAlarmText() const;

    // Markers wait here until written; one push is always drained at once.
    ByteStack markers_{200};
};

}  // namespace talvek
