#pragma once
// DCDML output for the interface type 2 (family 2) and type 3 (family 4)
// devices.  The two families write the same document; only the begin and
// end trace lines name the type.
#include <cstdint>
#include <string>

#include "output/dcdml/dcdml_writer_base.h"

namespace talvek {

class DcdmlFamily23Writer : public DcdmlWriterBase {
  public:
    // The family code of `set` is 2 or 4.
    DcdmlFamily23Writer(const DiveSet& set, UnitSystem unitSystem, const DocumentStamp& stamp);
    void make(XmlDocument& document) override;

    // The process-wide count of dives written (it numbers the
    // "Generating Dive #%d" trace lines); tests reset it.
    static int32_t diveCounter();
    static void resetDiveCounter();

  private:
    // The first and last pressure samples of a dive.
    struct Pressures {
        uint16_t start;
        uint16_t end;
    };

    void writeDeviceSection();
    void writeSettingsSection();
    void writeHistorySection();
    void writeProfileData();
    void writeDive(XmlElement* group, const ConstDivePtr& dive);
    Pressures writeSamples(XmlElement* dive, const ConstDivePtr& record);
    void writeEvents(XmlElement* samples, ProfileDecoder& profile);
    void writeCodeEvent(XmlElement* samples, const ProfileDecoder::Event& event);
};

}  // namespace talvek
