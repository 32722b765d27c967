#pragma once
// DCDML output for the interface type 2 (family 2) and type 3 (family 4)
// devices.  Both families share all of their code; the two classes differ
// only in their trace lines.
#include <cstdint>
#include <string>

#include "output/dcdml/dcdml_writer_base.h"

namespace talvek {

// Constructed like the base: (header image, dive list, family code, output
// unit system); the family code is 2 for DcdmlFamily2Writer and 4 for
// DcdmlFamily3Writer.
class DcdmlFamily23Writer : public DcdmlWriterBase {
  public:
    using DcdmlWriterBase::DcdmlWriterBase;
    void make(XmlDocument& document) override = 0;

    // The process-wide count of dives written (it numbers the
    // "Generating Dive #%d" trace lines); tests reset it.
    static int32_t diveCounter();
    static void resetDiveCounter();

  protected:
    // The whole document, between the family's begin and end trace lines.
    void makeDocument(XmlDocument& document, const char* beginLine, const char* endLine);

    void writeDeviceSection();
    void writeSettingsSection();
    void writeHistorySection();
    void writeProfileData();
    void writeDive(XmlElement* group, const DivePtr& dive);
    void writeSamples(XmlElement* dive, const DivePtr& record);
    void writeEvents(XmlElement* samples, ProfileDecoder& profile);
    void writeCodeEvent(XmlElement* samples, const ProfileDecoder::Event& event);
};

class DcdmlFamily2Writer : public DcdmlFamily23Writer {
  public:
    using DcdmlFamily23Writer::DcdmlFamily23Writer;
    void make(XmlDocument& document) override;
};

class DcdmlFamily3Writer : public DcdmlFamily23Writer {
  public:
    using DcdmlFamily23Writer::DcdmlFamily23Writer;
    void make(XmlDocument& document) override;
};

}  // namespace talvek
