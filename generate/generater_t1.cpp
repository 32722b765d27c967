#include "generate/generater_t1.h"

#include <cmath>

#include "dcdml/dcdml_document.h"
#include "download/profile_control.h"
#include "trace/trace.h"

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
    Units = 17,
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

constexpr uint8_t FirstMarker = 121;
constexpr uint8_t LastEventMarker = 134;
constexpr uint8_t GasSwitchMarker = 135;
constexpr int MarkerToName = 77;

}  // namespace

const char* const Generate::Names[Generate::NameCount] = {
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

int32_t Generate::WholeFeet(uint32_t centimetres) {
    // Double on purpose: 381 cm is exactly 12.5 ft and must round up to 13.
    const double x = centimetres * 0.03280839895013123;
    return static_cast<int32_t>(std::trunc(x + 0.5));
}

int32_t Generate::fetchdepth(uint32_t depth) {
    if (depth == 0) {
        feet_ = 0;
        return 0;
    }
    const double x = depth * 0.03280839895013123;
    int32_t change;
    if (x < 1.0) {
        Trace::Write(Trace::Debug,
                     "Generate::fetchdepth() Current depth less than 1 ft (%3.2f) resetting to 0 ",
                     x);
        change = -feet_;
        feet_ = 0;
    } else {
        const int32_t f = static_cast<int32_t>(std::trunc(x + 0.5));
        change = f - feet_;
        feet_ = f;
    }
    Trace::Write(Trace::Detail, "Generate::fetchdepth() Feet = %d , Delta = %d", feet_, change);
    return change;
}

// ---------------------------------------------------------------------------

OutputGeneraterT1::OutputGeneraterT1(const uint8_t* header, DiveList* dives, int32_t familyCode)
    : OutputGenerater(familyCode), header_(header), dives_(dives) {}

DCDML_Node_class* OutputGeneraterT1::AddText(DCDML_Node_class* parent, int nameIndex,
                                             const std::string& text) {
    DCDML_Node_class* node = parent->AddChild(Generate::Names[nameIndex]);
    node->SetText(text);
    return node;
}

DCDML_Node_class* OutputGeneraterT1::AddValue(DCDML_Node_class* parent, int nameIndex,
                                              int64_t value) {
    return AddText(parent, nameIndex, std::to_string(value));
}

std::string OutputGeneraterT1::HeaderText(int offset, int width) const {
    std::string text;
    for (int i = 0; i < width && offset + i < sAPI::HeaderImageSize; ++i) {
        const char c = static_cast<char>(header_[offset + i]);
        if (c == '\0') break;
        text += c;
    }
    return text;
}

void OutputGeneraterT1::MakeDocument(DCDMLDocument& document, int device,
                                     const std::function<void(const DivePtr&)>& writeDive) {
    root_ = document.CreateRoot("TalvekDownload");
    Trace::Write(Trace::Info, "Generate::Device(%d),Type(1): Begin 'TalvekDownload'", device);
    WriteSettings();
    if (!dives_ || dives_->empty()) {
        Trace::Write(Trace::Info, "Generate::Device(%d),Type(1): No Dives", device);
        root_->AddComment("   No Dives   ");
    } else {
        unsigned count = 0;
        for (const DivePtr& dive : *dives_) {
            ++count;
            Trace::Write(Trace::Info, "Generate::Device(%d),Type(1): Dive %u", device, count);
            writeDive(dive);
        }
    }
    Trace::Write(Trace::Info, "Generate::Make() Building Document");
    document.Build();
}

void OutputGeneraterT1::WriteDiveIntro(const _DIVE_DATA& dive) {
    diveData_ = root_->AddChild("DiveData");
    AddValue(diveData_, SurfaceIntervalMinutes, dive.surfaceIntervalMinutes);
    AddValue(diveData_, SurfaceIntervalHours, dive.surfaceIntervalHours);
    AddValue(diveData_, DiveNumber, dive.diveNumber);
    AddValue(diveData_, DiveSampleInterval, dive.sampleInterval);
    AddValue(diveData_, DivePersonalSetting, (dive.personalAltitude & 0x0F) / 3);
    AddValue(diveData_, AltitudeSetting, (dive.personalAltitude & 0x0F) % 3);
}

// ---------------------------------------------------------------------------

OutputGeneraterT1D1::OutputGeneraterT1D1(const uint8_t* header, DiveList* dives, int32_t familyCode)
    : OutputGeneraterT1(header, dives, familyCode) {}

void OutputGeneraterT1D1::Make(DCDMLDocument& document) {
    MakeDocument(document, 1, [this](const DivePtr& dive) { WriteDive(*dive); });
}

void OutputGeneraterT1D1::WriteSettings() {
    settings_ = root_->AddChild("ComputerSettings");
    // Family 1 depths are in 1/128 foot.
    AddValue(settings_, MaxDepth, u16(0x22) / 128);
    AddValue(settings_, TotalDiveTime, u16(0x24));
    AddValue(settings_, TotalDives, u16(0x26));
    AddValue(settings_, ComputerModel, u8(0x28));
    AddValue(settings_, MaxFreeDiveDepth, u16(0x6C));
    AddValue(settings_, MaxFreeDiveTime, u16(0x6E));
    AddValue(settings_, Clock, u8(0x71));
    AddValue(settings_, Units, u8(0x72));
    AddValue(settings_, FirmwareMajor, u8(0x29));
    AddValue(settings_, SerialNumber,
             u8(0x2A) * 1000000 + u8(0x2B) * 10000 + u8(0x2C) * 100 + u8(0x2D));
    AddText(settings_, PersonalInfo, HeaderText(PersonalInfoOffset, PersonalInfoWidthFamily1));
    AddValue(settings_, SampleInterval, u8(0x62));
    AddValue(settings_, PersonalSetting, (u8(0x63) & 0x0F) / 3);
    AddValue(settings_, AltitudeSetting, (u8(0x63) & 0x0F) % 3);
    AddValue(settings_, Mode, u8(0x73));
    AddValue(settings_, Light, u8(0x74) & 0x7F);
    AddValue(settings_, AlarmEnables, u8(0x75));
    AddValue(settings_, AlarmTime, u16(0x76));
    AddValue(settings_, AlarmDepth, u16(0x78) / 128);
}

void OutputGeneraterT1D1::WriteDive(const _DIVE_DATA& dive) {
    WriteDiveIntro(dive);
    AddValue(diveData_, StartingPressure, dive.gasPressure1);
    AddValue(diveData_, GasMix, dive.oxygen1);
    AddValue(diveData_, FO2, dive.fixedByte);
    AddValue(diveData_, StartingAirTemp, dive.type1Byte);
    AddValue(diveData_, Year, dive.year);
    AddValue(diveData_, Month, dive.month);
    AddValue(diveData_, Day, dive.day);
    AddValue(diveData_, Hour, dive.hour);
    AddValue(diveData_, Minute, dive.minute);

    DCDML_Node_class* profile = diveData_->AddChild("DiveProfile");
    const uint8_t* bytes = dive.profile.get();
    const uint32_t length = bytes ? dive.profileLength : 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = bytes[i];
        if (c < FirstMarker || c > GasSwitchMarker) {
            // A signed depth change in feet since the previous sample.
            const int change = static_cast<int8_t>(c);
            lastChange_ = change;
            profile->AddChild("Datum")->SetText(std::to_string(change));
        } else if (c <= LastEventMarker) {
            profile->AddChild("Event")->AddChild(Generate::Names[c - MarkerToName]);
        } else if (i + 1 < length) {
            // Gas switch: the next byte is the new O2 percentage.
            AddValue(profile->AddChild("Event"), GasSwitch, bytes[++i]);
        }
        // A gas switch without its O2 byte at the very end is dropped.
    }
    AddValue(profile, TempAtDepth, dive.type1Bytes[0]);
    AddValue(profile, EndingTemp, dive.type1Bytes[1]);
    AddValue(profile, EndingPressure, dive.gasPressure2);
    AddValue(profile, CNSClock, dive.cnsOtu);
}

// ---------------------------------------------------------------------------

OutputGeneraterT1D2::OutputGeneraterT1D2(const uint8_t* header, DiveList* dives, int32_t familyCode)
    : OutputGeneraterT1(header, dives, familyCode) {}

void OutputGeneraterT1D2::Make(DCDMLDocument& document) {
    MakeDocument(document, 2, [this](const DivePtr& dive) { WriteDive(dive); });
}

void OutputGeneraterT1D2::WriteSettings() {
    settings_ = root_->AddChild("ComputerSettings");
    AddValue(settings_, MaxDepth, Generate::WholeFeet(u16(0x22)));
    AddValue(settings_, TotalDiveTime, u16(0x24));
    AddValue(settings_, TotalDives, u16(0x26));
    AddValue(settings_, ComputerModel, u8(0x28));
    AddValue(settings_, MaxFreeDiveDepth, u16(0x6C));
    AddValue(settings_, MaxFreeDiveTime, u16(0x6E));
    AddValue(settings_, Clock, u8(0x71));
    AddValue(settings_, Units, u8(0x72));
    AddValue(settings_, FirmwareMajor, u8(0x29));
    work_.clear();
    for (int offset = 0x2A; offset <= 0x2D; ++offset) work_ += std::to_string(u8(offset));
    AddText(settings_, SerialNumber, work_);
    AddText(settings_, PersonalInfo, HeaderText(PersonalInfoOffset, PersonalInfoWidthFamily23));
    for (int index : {SampleInterval, PersonalSetting, AltitudeSetting, Mode, Light, AlarmEnables,
                      AlarmTime, AlarmDepth})
        AddText(settings_, index, "0");
}

void OutputGeneraterT1D2::WriteDive(const DivePtr& dive) {
    WriteDiveIntro(*dive);
    DCDML_Node_class* startPressure = diveData_->AddChild(Generate::Names[StartingPressure]);
    AddValue(diveData_, GasMix, dive->oxygen1);
    AddText(diveData_, FO2, "0");
    DCDML_Node_class* startTemp = diveData_->AddChild(Generate::Names[StartingAirTemp]);
    AddValue(diveData_, Year, dive->year);
    AddValue(diveData_, Month, dive->month);
    AddValue(diveData_, Day, dive->day);
    AddValue(diveData_, Hour, dive->hour);
    AddValue(diveData_, Minute, dive->minute);
    DCDML_Node_class* depthTemp = diveData_->AddChild(Generate::Names[TempAtDepth]);
    DCDML_Node_class* endTemp = diveData_->AddChild(Generate::Names[EndingTemp]);
    DCDML_Node_class* endPressure = diveData_->AddChild(Generate::Names[EndingPressure]);
    AddValue(diveData_, CNSClock, dive->cnsOtu);

    DCDML_Node_class* profile = diveData_->AddChild("DiveProfile");
    TProfileControl samples(dive);
    uint32_t maxDepth = 0;
    // No temperature sample at all leaves every temperature 0.
    bool haveTemperature = false;
    uint8_t firstTemp = 0, lastTemp = 0, tempAtDepth = 0;
    depth_.fetchdepth(0);

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
        return depth_.fetchdepth(samples.depth());
    };

    while (samples.next()) {
        if (samples.eventsPending()) {
            // An event block takes a datum of its own, which receives the
            // change of the sample after it.
            DCDML_Node_class* datum = profile->AddChild("Datum");
            bool more;
            do {
                // Blocks back to back: skip them all so no sample is lost.
                while (samples.nextEvent()) {
                }
                samples.clearEvents();
                more = samples.next();
            } while (more && samples.eventsPending());
            if (!more) break;
            datum->SetText(std::to_string(takeSample()));
        } else {
            const int32_t change = takeSample();
            profile->AddChild("Datum")->SetText(std::to_string(change));
        }
        if (samples.atEnd()) break;
    }

    // 0.1-bar units to the 2-bar units of the legacy layout.
    dive->startPressure = static_cast<uint16_t>((samples.startPressure() + 5) / 20);
    dive->endPressure = static_cast<uint16_t>((samples.endPressure() + 5) / 20);
    dive->type1Byte = firstTemp;
    dive->type1Bytes[0] = tempAtDepth;
    dive->type1Bytes[1] = lastTemp;

    startPressure->SetText(std::to_string(dive->startPressure));
    endPressure->SetText(std::to_string(dive->endPressure));
    startTemp->SetText(std::to_string(dive->type1Byte));
    endTemp->SetText(std::to_string(dive->type1Bytes[1]));
    depthTemp->SetText(std::to_string(dive->type1Bytes[0]));
}
