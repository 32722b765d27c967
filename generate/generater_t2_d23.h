#pragma once
// DCDML output for the interface type 2 (family 2) and type 3 (family 4)
// devices.  Both families share all of their code; the two classes differ
// only in their trace lines.
#include <cstdint>
#include <string>

#include "generate/generate_t2_base.h"

// Constructed like the base: (header image, dive list, family code, output
// unit system); the family code is 2 for OutputGeneraterT2D2 and 4 for
// OutputGeneraterT2D3.
class OutputGeneraterT2_D23Root : public OutputGeneraterT2Base {
  public:
    using OutputGeneraterT2Base::OutputGeneraterT2Base;
    void Make(DCDMLDocument& document) override = 0;

    // The process-wide count of dives written (it numbers the
    // "Generating Dive #%d" trace lines); tests reset it.
    static int32_t DiveCounter();
    static void ResetDiveCounter();

  protected:
    // The whole document, between the family's begin and end trace lines.
    void MakeDocument(DCDMLDocument& document, const char* beginLine, const char* endLine);

    void WriteDeviceSection();
    void WriteSettingsSection();
    void WriteHistorySection();
    void WriteProfileData();
    void WriteDive(DCDML_Node_class* group, const DivePtr& dive);
    void WriteSamples(DCDML_Node_class* dive, const DivePtr& record);
    void WriteEvents(DCDML_Node_class* samples, TProfileControl& profile);
    void WriteCodeEvent(DCDML_Node_class* samples, const TProfileControl::TEvent& event);
};

class OutputGeneraterT2D2 : public OutputGeneraterT2_D23Root {
  public:
    using OutputGeneraterT2_D23Root::OutputGeneraterT2_D23Root;
    void Make(DCDMLDocument& document) override;
};

class OutputGeneraterT2D3 : public OutputGeneraterT2_D23Root {
  public:
    using OutputGeneraterT2_D23Root::OutputGeneraterT2_D23Root;
    void Make(DCDMLDocument& document) override;
};
