#pragma once
// DCDML output for the first device family: the header image of an interface
// type 1 computer and its dives, whose profiles are the device's own list of
// depth changes (feet) and marker bytes.
#include <cstdint>
#include <string>

#include "device/stack.h"
#include "generate/generate_t2_base.h"

class OutputGeneraterT2D1 : public OutputGeneraterT2Base {
  public:
    OutputGeneraterT2D1(const uint8_t* header, DiveList* dives, int32_t familyCode,
                        int32_t unitSystem);
    ~OutputGeneraterT2D1() override;
    void Make(DCDMLDocument& document) override;

  private:
    void WriteDevice();
    void WriteSettings();
    void WriteHistory();
    void WriteProfileData();
    // Writes the dives of one repetition group.
    void WriteDives(DCDML_Node_class* group, const std::list<DivePtr>& pending);
    void dosamples(DCDML_Node_class* dive, const _DIVE_DATA& record);

    // "100" or "50" from bit 4 of a personal/altitude code byte.
    std::string RgbmText(uint8_t code) const;
    std::string DepthAlarmText() const;

    // Markers wait here until written; one push is always drained at once.
    sAPI::Stack markers_{200};
};
