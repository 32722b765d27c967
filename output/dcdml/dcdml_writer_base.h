#pragma once
// Base of the DCDML generators: the document skeleton and root attributes,
// the unit converter, number and time formatting, the generator and device
// blocks, the gas-mix list and the writers for sample points, gas switches,
// gas definitions and heading/user events that every device family shares.
//
// A family generator derives from DcdmlWriterBase and runs, in Make:
//   BuildSkeleton(doc); SetUnits();
//   ... device, settings, history, profiledata sections ...
//   trace "Generate::Make() Building Document"; doc.Build();
// The protected writers below are meant to be called from those sections.
// Every text helper returns the formatted text by value.
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "dc/base/dive_set.h"
#include "dc/profile/profile_decoder.h"
#include "output/document_stamp.h"
#include "output/units_converter.h"
#include "output/writer.h"

namespace talvek {

class XmlDocument;
class XmlElement;

// One gas mix of the dive being written.  Pressures are raw device units;
// a start pressure below 1 means the pressure is missing.
struct GasMix {
    std::string name;
    int32_t o2 = 0;
    int32_t startPressure = 0;
    int32_t endPressure = 0;
};

using GasMixPtr = std::shared_ptr<GasMix>;
using GasMixList = std::list<GasMixPtr>;

// The DCDML namespace URI; the root's "xmlns:talvek" is this plus "-talvek".
extern const char* const DcdmlNamespace;

class DcdmlWriterBase : public Writer {
  public:
    // `unitSystem` is one of UnitSystem::*; `stamp` gives the generator
    // block and the root "tstamp".
    DcdmlWriterBase(const DiveSet& set, UnitSystem unitSystem, const DocumentStamp& stamp);
    ~DcdmlWriterBase() override;

    // Datum writer flags.
    static constexpr int DatumPressure = 1;
    static constexpr int DatumTemperature = 2;
    static constexpr int DatumTime = 4;

    const GasMixList& mixes() const { return mixes_; }
    const UnitsConverter* converter() const { return converter_.get(); }
    UnitSystem unitSystem() const { return unitSystem_; }

  protected:
    // Root "dcdml" and its children generator, device, settings, history,
    // profiledata, in that order.
    void buildSkeleton(XmlDocument& document);
    // Root attributes version, tstamp, units, xmlns:talvek; the converter;
    // the generator block.  An unknown unit system throws
    // CriticalError (row 11, code 2).
    void setUnits();
    // "name", "version", "vendor" on the generator element.
    void writeGeneratorBlock();
    // "vendor", "model", "serial", "version" on the device element.
    void writeDeviceBlock(XmlElement* device, const std::string& serial);

    std::string modelName() const;
    // "%i.%i.%i" of header bytes 0x29, 0x81, 0x82.
    std::string firmwareVersion() const;
    // From header byte 0x73: "air", "nitrox", "gauge", "free" or "".
    std::string diveModeText() const;

    // "%i" of the value read as unsigned 16-bit.
    static std::string intText(uint32_t value);
    // "%i" of the low 8 bits.
    static std::string byteText(uint32_t value);
    // Signed decimal.
    static std::string decimal(int64_t value);
    // Converter depth of a sample or dive maximum: "%.1f" imperial, "%.0f"
    // metric (centimetres), "%.3f" scientific (metres).
    std::string sampleDepthText(long double depth) const;
    // Converter pressure (already truncated): "%.0f", "%.1f", "%.2f".
    std::string pressureText(int32_t pressure) const;
    // History maximum depth from a raw depth: imperial "%.1f" feet; metric
    // centimetres x 0.01 "%.1f" metres; scientific "%.3f" metres (the
    // scientific converter already gives metres).
    std::string summaryDepthText(int32_t rawDepth) const;
    // The same for a depth already converted (for raw values that are not
    // whole device units).
    std::string summaryDepthTextOf(long double depth) const;
    // "%02u:%02u:00" of hours and minutes.
    static std::string minutesText(uint32_t minutes);
    static std::string personalFactorText(uint8_t code);
    static std::string altitudeFactorText(uint8_t code);
    // "tstamp" on the dive element from the record's date and time.
    static void diveTimeStamp(XmlElement* dive, const DiveRecord& record);
    // "hh:mm:ss" of the surface interval before the dive.
    static std::string surfaceIntervalText(const DiveRecord& record);
    // "air", "nitrox", "gauge"; "" for any other code.
    static std::string computerModeText(const DiveRecord& record);

    // One "datum": "depth" always, then "pressure" (flag 1), "temp" (flag 2),
    // "time" (flag 4).  Depth, pressure and temperature are raw.
    void writeDatum(XmlElement* parent, int32_t rawDepth, int flags, int32_t rawPressure,
                    int32_t rawTemperature, uint32_t time);

    // Starts the dive's mix list with the mixes it begins with; the first
    // holds the cylinder pressures, the others none.
    void addStartMixes(const DiveRecord& dive, int32_t start, int32_t end);
    // Appends a mix named "gas" + (count + 1); returns the name.
    std::string addMix(int32_t o2, int32_t start, int32_t end);
    std::string addNamedMix(const std::string& name, int32_t o2, int32_t start, int32_t end);

    // One "gasswitch" with "gas" and, when `timePresent`, "time".
    void writeGasSwitch(XmlElement* parent, const std::string& name, int64_t time,
                        bool timePresent);
    // Switch to the first mix with this O2, adding one when none has it.
    // A time of -1 writes no "time".
    void gasSwitchByO2(XmlElement* parent, int32_t o2, int64_t time);
    // One "gas" under `gasDefinitions`, or under the previous one when null.
    void writeGasDefinition(const GasMix& mix, XmlElement* gasDefinitions);
    // One "event": "user" when bit 15 of the word is set, else "heading"
    // with the word / 2 as "value"; "time" = data4 + event time.
    void writeHeadingUserEvent(XmlElement* parent, const ProfileDecoder::Event& event);

    UnitSystem unitSystem_;
    const DocumentStamp stamp_;
    std::unique_ptr<UnitsConverter> converter_;
    GasMixList mixes_;
    XmlElement* root_ = nullptr;
    XmlElement* generator_ = nullptr;
    XmlElement* device_ = nullptr;
    XmlElement* settings_ = nullptr;
    XmlElement* history_ = nullptr;
    XmlElement* profiledata_ = nullptr;
    XmlElement* gasDefinitions_ = nullptr;  // current gasdefinitions element
};

}  // namespace talvek
