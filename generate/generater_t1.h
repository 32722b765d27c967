#pragma once
// The legacy output layout: a flat "TalvekDownload" dump of the device header
// and of every dive with the device's raw numbers and the depth profile as a
// list of depth changes in feet.
#include <cstdint>
#include <functional>
#include <string>

#include "device/device.h"
#include "generate/output_generater.h"

class DCDML_Node_class;

// Shared pieces of the legacy layout.
class Generate {
  public:
    // Element names, addressed by index; profile markers 121..136 select
    // indexes 44..59 (marker - 77).
    static constexpr int NameCount = 60;
    static const char* const Names[NameCount];

    // Centimetres to whole feet, rounding half up.
    static int32_t WholeFeet(uint32_t centimetres);

    // The change in whole feet since the previous depth.  Each generator
    // keeps its own running depth; a depth of 0 resets it.
    int32_t fetchdepth(uint32_t depth);
    int32_t feet() const { return feet_; }

  private:
    int32_t feet_ = 0;
};

class OutputGeneraterT1 : public OutputGenerater {
  public:
    OutputGeneraterT1(const uint8_t* header, DiveList* dives, int32_t familyCode);
    ~OutputGeneraterT1() override = default;
    void Make(DCDMLDocument& document) override = 0;

  protected:
    virtual void WriteSettings() = 0;

    // The steps both legacy generators share; `device` is the number in
    // their trace lines.
    void MakeDocument(DCDMLDocument& document, int device,
                      const std::function<void(const DivePtr&)>& writeDive);

    // Adds a text element holding `value` in decimal.
    static DCDML_Node_class* AddValue(DCDML_Node_class* parent, int nameIndex, int64_t value);
    static DCDML_Node_class* AddText(DCDML_Node_class* parent, int nameIndex,
                                     const std::string& text);
    // Children of "DiveData" both families share, in their order.
    void WriteDiveIntro(const _DIVE_DATA& dive);

    uint32_t u8(int offset) const { return header_[offset]; }
    uint32_t u16(int offset) const {
        return static_cast<uint32_t>(header_[offset] | (header_[offset + 1] << 8));
    }
    // Text at `offset`, at most `width` characters, ending at the first NUL.
    std::string HeaderText(int offset, int width) const;

    DCDML_Node_class* root_ = nullptr;
    DCDML_Node_class* diveData_ = nullptr;
    DCDML_Node_class* settings_ = nullptr;
    const uint8_t* header_;
    DiveList* dives_;
};

// Family 1: the dive's profile is the device's own list of depth changes and
// markers.
class OutputGeneraterT1D1 : public OutputGeneraterT1 {
  public:
    OutputGeneraterT1D1(const uint8_t* header, DiveList* dives, int32_t familyCode);
    void Make(DCDMLDocument& document) override;

  protected:
    void WriteSettings() override;

  private:
    void WriteDive(const _DIVE_DATA& dive);
    double lastChange_ = 0;  // the last depth change written
};

// Families 2 and 3: the profile is decoded by TProfileControl and the
// centimetre depths turned into whole-feet changes.
class OutputGeneraterT1D2 : public OutputGeneraterT1 {
  public:
    OutputGeneraterT1D2(const uint8_t* header, DiveList* dives, int32_t familyCode);
    void Make(DCDMLDocument& document) override;

  protected:
    void WriteSettings() override;

  private:
    void WriteDive(const DivePtr& dive);
    std::string work_;
    Generate depth_;
};
