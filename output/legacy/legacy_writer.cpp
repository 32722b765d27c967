#include "output/legacy/legacy_writer.h"

#include <cmath>

#include "dc/profile/family1_profile.h"
#include "dc/profile/profile_decoder.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

// Where the personal information text lives and how long it may be.
constexpr int PersonalInfoOffset = 0x30;
constexpr int PersonalInfoWidthFamily1 = 28;
constexpr int PersonalInfoWidthFamily23 = 40;

// Name-table indexes the writers use.
enum : int {
    MaxDepth = 0,
    TotalDiveTime = 1,
    TotalDives = 2,
    ComputerModel = 3,
    FirmwareMajor = 4,
    SerialNumber = 5,
    PersonalInfo = 7,
    SampleInterval = 10,
    PersonalSetting = 11,
    AltitudeSetting = 12,
    MaxFreeDiveDepth = 13,
    MaxFreeDiveTime = 14,
    Clock = 16,
    UnitSystem = 17,
    Mode = 18,
    Light = 19,
    AlarmEnables = 20,
    AlarmTime = 21,
    AlarmDepth = 22,
    SurfaceIntervalMinutes = 25,
    SurfaceIntervalHours = 26,
    DiveNumber = 27,
    DiveSampleInterval = 28,
    DivePersonalSetting = 29,
    StartingPressure = 30,
    GasMix = 31,
    FO2 = 32,
    StartingAirTemp = 33,
    Year = 34,
    Month = 35,
    Day = 36,
    Hour = 37,
    Minute = 38,
    TempAtDepth = 39,
    EndingTemp = 40,
    EndingPressure = 41,
    CNSClock = 42,
    GasSwitch = 58,
};

// Profile markers 121..134 select the element names from index 44 on.
constexpr int MarkerToName = 77;

}  // namespace

const char* const LegacyElementNames[LegacyElementCount] = {
    "MaxDepth",
    "TotalDiveTime",
    "TotalDives",
    "ComputerModel",
    "FirmwareVersion.major",
    "SerialNumber",
    "UnknownData1",
    "PersonalInfo",
    "UnknownData2",
    "RingBufferPTR",
    "SampleInterval",
    "PersonalSetting",
    "AltitudeSetting",
    "MaxFreeDiveDepth",
    "MaxFreeDiveTime",
    "UnknownData4",
    "Clock",
    "Units",
    "Mode",
    "Light",
    "AlarmEnables",
    "AlarmTime",
    "AlarmDepth",
    "UnknownData5",
    "RGBM",
    "SurfaceIntervalMinutes",
    "SurfaceIntervalHours",
    "DiveNumber",
    "SampleInterval",
    "PersonalSetting",
    "StartingPressure",
    "GasMix",
    "FO2",
    "StartingAirTemp",
    "Year",
    "Month",
    "Day",
    "Hour",
    "Minute",
    "TempAtDepth",
    "EndingTemp",
    "EndingPressure",
    "CNSClock",
    "AltitudeSetting",
    "N1",
    "Slow",
    "Violation",
    "User",
    "Surface",
    "Deco",
    "Ceiling",
    "End",
    "Stop",
    "EOD",
    "Workload",
    "N2",
    "ColdWater",
    "N3",
    "GasSwitch",
    "Heading",
};

int32_t WholeFeetDepth::wholeFeet(uint32_t centimetres) {
    // Double on purpose: 381 cm is exactly 12.5 ft and must round up to 13.
    const double x = centimetres * 0.03280839895013123;
    return static_cast<int32_t>(std::trunc(x + 0.5));
}

int32_t WholeFeetDepth::changeTo(uint32_t centimetres) {
    if (centimetres == 0) {
        feet_ = 0;
        return 0;
    }
    const double x = centimetres * 0.03280839895013123;
    int32_t change;
    if (x < 1.0) {
        trace::write(trace::Debug,
                     "Generate::fetchdepth() Current depth less than 1 ft (%3.2f) resetting to 0 ",
                     x);
        change = -feet_;
        feet_ = 0;
    } else {
        const int32_t f = static_cast<int32_t>(std::trunc(x + 0.5));
        change = f - feet_;
        feet_ = f;
    }
    trace::write(trace::Detail, "Generate::fetchdepth() Feet = %d , Delta = %d", feet_, change);
    return change;
}

// ---------------------------------------------------------------------------

LegacyWriterBase::LegacyWriterBase(const DiveSet& set) : Writer(set) {}

XmlElement* LegacyWriterBase::addText(XmlElement* parent, int nameIndex, const std::string& text) {
    XmlElement* node = parent->addChild(LegacyElementNames[nameIndex]);
    node->setText(text);
    return node;
}

XmlElement* LegacyWriterBase::addValue(XmlElement* parent, int nameIndex, int64_t value) {
    return addText(parent, nameIndex, std::to_string(value));
}

std::string LegacyWriterBase::headerText(int offset, int width) const {
    std::string text;
    for (int i = 0; i < width && offset + i < HeaderImageSize; ++i) {
        const char c = static_cast<char>(headerByte(offset + i));
        if (c == '\0') break;
        text += c;
    }
    return text;
}

void LegacyWriterBase::makeDocument(XmlDocument& document, int device,
                                    const std::function<void(const ConstDivePtr&)>& writeDive) {
    root_ = document.createRoot("TalvekDownload");
    trace::write(trace::Info, "Generate::Device(%d),Type(1): Begin 'TalvekDownload'", device);
    writeSettings();
    if (set_.dives.empty()) {
        trace::write(trace::Info, "Generate::Device(%d),Type(1): No Dives", device);
        root_->addComment("   No Dives   ");
    } else {
        unsigned count = 0;
        for (const ConstDivePtr& dive : set_.dives) {
            ++count;
            trace::write(trace::Info, "Generate::Device(%d),Type(1): Dive %u", device, count);
            writeDive(dive);
        }
    }
    trace::write(trace::Info, "Generate::Make() Building Document");
    document.build();
}

void LegacyWriterBase::writeSharedSettings() {
    addValue(settings_, TotalDiveTime, headerWord(0x24));
    addValue(settings_, TotalDives, headerWord(0x26));
    addValue(settings_, ComputerModel, headerByte(0x28));
    addValue(settings_, MaxFreeDiveDepth, headerWord(0x6C));
    addValue(settings_, MaxFreeDiveTime, headerWord(0x6E));
    addValue(settings_, Clock, headerByte(0x71));
    addValue(settings_, UnitSystem, headerByte(0x72));
    addValue(settings_, FirmwareMajor, headerByte(0x29));
}

void LegacyWriterBase::writeDiveDate(const DiveRecord& dive) {
    addValue(diveData_, Year, dive.year);
    addValue(diveData_, Month, dive.month);
    addValue(diveData_, Day, dive.day);
    addValue(diveData_, Hour, dive.hour);
    addValue(diveData_, Minute, dive.minute);
}

void LegacyWriterBase::writeDiveIntro(const DiveRecord& dive) {
    diveData_ = root_->addChild("DiveData");
    addValue(diveData_, SurfaceIntervalMinutes, dive.surfaceIntervalMinutes);
    addValue(diveData_, SurfaceIntervalHours, dive.surfaceIntervalHours);
    addValue(diveData_, DiveNumber, dive.diveNumber);
    addValue(diveData_, DiveSampleInterval, dive.sampleInterval);
    addValue(diveData_, DivePersonalSetting, (dive.personalAltitude & 0x0F) / 3);
    addValue(diveData_, AltitudeSetting, (dive.personalAltitude & 0x0F) % 3);
}

// ---------------------------------------------------------------------------

LegacyFamily1Writer::LegacyFamily1Writer(const DiveSet& set) : LegacyWriterBase(set) {}

void LegacyFamily1Writer::make(XmlDocument& document) {
    makeDocument(document, 1, [this](const ConstDivePtr& dive) { writeDive(*dive); });
}

void LegacyFamily1Writer::writeSettings() {
    settings_ = root_->addChild("ComputerSettings");
    // Family 1 depths are in 1/128 foot.
    addValue(settings_, MaxDepth, headerWord(0x22) / 128);
    writeSharedSettings();
    addValue(settings_, SerialNumber,
             headerByte(0x2A) * 1000000 + headerByte(0x2B) * 10000 + headerByte(0x2C) * 100 +
                 headerByte(0x2D));
    addText(settings_, PersonalInfo, headerText(PersonalInfoOffset, PersonalInfoWidthFamily1));
    addValue(settings_, SampleInterval, headerByte(0x62));
    addValue(settings_, PersonalSetting, (headerByte(0x63) & 0x0F) / 3);
    addValue(settings_, AltitudeSetting, (headerByte(0x63) & 0x0F) % 3);
    addValue(settings_, Mode, headerByte(0x73));
    addValue(settings_, Light, headerByte(0x74) & 0x7F);
    addValue(settings_, AlarmEnables, headerByte(0x75));
    addValue(settings_, AlarmTime, headerWord(0x76));
    addValue(settings_, AlarmDepth, headerWord(0x78) / 128);
}

void LegacyFamily1Writer::writeDive(const DiveRecord& dive) {
    writeDiveIntro(dive);
    addValue(diveData_, StartingPressure, dive.startCylinderPressure);
    addValue(diveData_, GasMix, dive.oxygen1);
    addValue(diveData_, FO2, dive.oxygenFraction);
    addValue(diveData_, StartingAirTemp, dive.startTemperature);
    writeDiveDate(dive);

    XmlElement* profile = diveData_->addChild("DiveProfile");
    Family1Profile walk(dive);
    Family1Profile::Item item;
    while (walk.next(item)) {
        switch (item.kind) {
            case Family1Profile::Kind::DepthChange:
                lastChange_ = item.value;
                profile->addChild("Datum")->setText(std::to_string(item.value));
                break;
            case Family1Profile::Kind::Marker:
                profile->addChild("Event")->addChild(LegacyElementNames[item.value - MarkerToName]);
                break;
            case Family1Profile::Kind::GasSwitch:
                addValue(profile->addChild("Event"), GasSwitch, item.value);
                break;
            case Family1Profile::Kind::TruncatedGasSwitch:
                break;  // a gas switch without its O2 byte is dropped
        }
    }
    addValue(profile, TempAtDepth, dive.maxDepthTemperature);
    addValue(profile, EndingTemp, dive.endTemperature);
    addValue(profile, EndingPressure, dive.endCylinderPressure);
    addValue(profile, CNSClock, dive.cnsOtu);
}

// ---------------------------------------------------------------------------

LegacyFamily23Writer::LegacyFamily23Writer(const DiveSet& set) : LegacyWriterBase(set) {}

void LegacyFamily23Writer::make(XmlDocument& document) {
    makeDocument(document, 2, [this](const ConstDivePtr& dive) { writeDive(dive); });
}

void LegacyFamily23Writer::writeSettings() {
    settings_ = root_->addChild("ComputerSettings");
    addValue(settings_, MaxDepth, WholeFeetDepth::wholeFeet(headerWord(0x22)));
    writeSharedSettings();
    std::string serial;
    for (int offset = 0x2A; offset <= 0x2D; ++offset) serial += std::to_string(headerByte(offset));
    addText(settings_, SerialNumber, serial);
    addText(settings_, PersonalInfo, headerText(PersonalInfoOffset, PersonalInfoWidthFamily23));
    for (int index : {SampleInterval, PersonalSetting, AltitudeSetting, Mode, Light, AlarmEnables,
                      AlarmTime, AlarmDepth})
        addText(settings_, index, "0");
}

void LegacyFamily23Writer::writeDive(const ConstDivePtr& dive) {
    writeDiveIntro(*dive);
    XmlElement* startPressure = diveData_->addChild(LegacyElementNames[StartingPressure]);
    addValue(diveData_, GasMix, dive->oxygen1);
    addText(diveData_, FO2, "0");
    XmlElement* startTemp = diveData_->addChild(LegacyElementNames[StartingAirTemp]);
    writeDiveDate(*dive);
    XmlElement* depthTemp = diveData_->addChild(LegacyElementNames[TempAtDepth]);
    XmlElement* endTemp = diveData_->addChild(LegacyElementNames[EndingTemp]);
    XmlElement* endPressure = diveData_->addChild(LegacyElementNames[EndingPressure]);
    addValue(diveData_, CNSClock, dive->cnsOtu);

    XmlElement* profile = diveData_->addChild("DiveProfile");
    ProfileDecoder samples(dive);
    uint32_t maxDepth = 0;
    // No temperature sample at all leaves every temperature 0.
    bool haveTemperature = false;
    uint8_t firstTemp = 0, lastTemp = 0, tempAtDepth = 0;
    depth_.changeTo(0);

    auto takeSample = [&]() -> int32_t {
        if (samples.hasTemperature()) {
            const uint8_t t = static_cast<uint8_t>(samples.temperature());
            if (!haveTemperature) firstTemp = t;
            haveTemperature = true;
            lastTemp = t;
        }
        if (samples.depth() > maxDepth) {
            maxDepth = samples.depth();
            tempAtDepth = lastTemp;
        }
        return depth_.changeTo(samples.depth());
    };

    while (samples.next()) {
        if (samples.eventsPending()) {
            // An event block takes a datum of its own, which receives the
            // change of the sample after it.
            XmlElement* datum = profile->addChild("Datum");
            bool more;
            do {
                // Blocks back to back: skip them all so no sample is lost.
                while (samples.nextEvent()) {
                }
                samples.clearEvents();
                more = samples.next();
            } while (more && samples.eventsPending());
            if (!more) break;
            datum->setText(std::to_string(takeSample()));
        } else {
            const int32_t change = takeSample();
            profile->addChild("Datum")->setText(std::to_string(change));
        }
        if (samples.atEnd()) break;
    }

    // 0.1-bar units to the 2-bar units of the legacy layout.
    const uint16_t start = static_cast<uint16_t>((samples.startPressure() + 5) / 20);
    const uint16_t end = static_cast<uint16_t>((samples.endPressure() + 5) / 20);
    startPressure->setText(std::to_string(start));
    endPressure->setText(std::to_string(end));
    startTemp->setText(std::to_string(firstTemp));
    endTemp->setText(std::to_string(lastTemp));
    depthTemp->setText(std::to_string(tempAtDepth));
}

}  // namespace talvek
