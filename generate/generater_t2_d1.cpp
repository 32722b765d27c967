#include "generate/generater_t2_d1.h"

#include <cmath>
#include <cstdio>

#include "dcdml/dcdml_document.h"
#include "device/errors.h"
#include "trace/trace.h"

namespace {

constexpr uint8_t RgbmBit = 0x10;
constexpr uint8_t InvertedRgbmModel = 11;  // this model stores the RGBM bit inverted
constexpr int PersonalInfoOffset = 0x30;
constexpr int PersonalInfoWidth = 28;

constexpr uint8_t FirstMarker = 121;
constexpr uint8_t GasSwitchMarker = 135;

// Profile marker to event "id"; null for markers that write nothing.
const char* MarkerEventId(uint8_t marker) {
    switch (marker) {
        case 122:
            return "slow";
        case 123:
            return "violation";
        case 124:
            return "user";
        case 125:
            return "surface";
        case 126:
            return "deco";
        case 127:
            return "ceiling";
        case 129:
            return "safetyceiling";
        default:
            return nullptr;
    }
}

}  // namespace

OutputGeneraterT2D1::OutputGeneraterT2D1(const uint8_t* header, DiveList* dives, int32_t familyCode,
                                         int32_t unitSystem)
    : OutputGeneraterT2Base(header, dives, familyCode, unitSystem) {}

OutputGeneraterT2D1::~OutputGeneraterT2D1() = default;

void OutputGeneraterT2D1::Make(DCDMLDocument& document) {
    Trace::Write(Trace::Info, "Generate::Device(1),Type(2): Begin ");
    BuildSkeleton(document);
    SetUnits();
    WriteDevice();
    WriteSettings();
    WriteHistory();
    WriteProfileData();
    Trace::Write(Trace::Info, "Generate::Make() Building Document");
    document.Build();
    // A second build replaces the first; kept because the drivers' traces
    // have always shown it twice.
    Trace::Write(Trace::Info, "Generate::Make() Building Document");
    document.Build();
}

std::string OutputGeneraterT2D1::RgbmText(uint8_t code) const {
    bool r = (code & RgbmBit) != 0;
    if (HeaderByte(0x28) == InvertedRgbmModel) r = !r;
    return r ? "100" : "50";
}

void OutputGeneraterT2D1::WriteDevice() {
    // One decimal number: leading zeros of the first group are not written.
    const uint32_t serial = HeaderByte(0x2A) * 1000000u + HeaderByte(0x2B) * 10000u +
                            HeaderByte(0x2C) * 100u + HeaderByte(0x2D);
    WriteDeviceBlock(device_, std::to_string(serial));
}

std::string OutputGeneraterT2D1::DepthAlarmText() const {
    const int32_t feet = HeaderWord(0x78) / 128;
    if (unitSystem_ == Units::Imperial) {
        const long double d = converter_->depth(feet);
        return IntText(static_cast<uint32_t>(static_cast<int32_t>(std::trunc(d))));
    }
    // Metric and scientific alike: centimetres rounded to half metres.
    const MetricUnits metric(familyCode_);
    const long double d = metric.depth(feet);
    const int64_t w = static_cast<int64_t>(std::trunc(d + 25));
    const int64_t q = w / 100;
    const int64_t r = w % 100;
    const double value = r > 50 ? q + 0.5 : static_cast<double>(q);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

void OutputGeneraterT2D1::WriteSettings() {
    settings_->Attribute("units") = HeaderByte(0x72) ? "metric" : "imperial";
    settings_->Attribute("timeformat") = HeaderByte(0x71) ? "24H" : "12H";
    settings_->Attribute("sampleinterval") = ByteText(HeaderByte(0x62));
    settings_->Attribute("divemode") = getdivemode();
    settings_->Attribute("personalfactor") = PersonalFactorText(HeaderByte(0x63));
    settings_->Attribute("altitudefactor") = AltitudeFactorText(HeaderByte(0x63));
    settings_->Attribute("talvek:rgbm") = RgbmText(HeaderByte(0x63));

    DCDML_Node_class* alarms = settings_->AddChild("alarms");
    DCDML_Node_class* timeAlarm = alarms->AddChild("talvek:timealarm");
    timeAlarm->Attribute("enabled") = (HeaderByte(0x75) & 0x01) ? "true" : "false";
    timeAlarm->Attribute("value") = IntText(HeaderWord(0x76));
    DCDML_Node_class* depthAlarm = alarms->AddChild("talvek:depthalarm");
    depthAlarm->Attribute("enabled") = (HeaderByte(0x75) & 0x02) ? "true" : "false";
    depthAlarm->Attribute("value") = DepthAlarmText();

    settings_->AddChild("talvek:light")->Attribute("value") = ByteText(HeaderByte(0x74) & 0x7F);

    std::string info;
    for (int i = 0; i < PersonalInfoWidth; ++i) {
        const char c = static_cast<char>(HeaderByte(PersonalInfoOffset + i));
        if (c == '\0') break;
        info += c;
    }
    settings_->AddChild("talvek:personalinfo")->Attribute("value") = info;
}

void OutputGeneraterT2D1::WriteHistory() {
    history_->Attribute("dives") = IntText(HeaderWord(0x26));
    history_->Attribute("maxdepth") = SummaryDepthText(HeaderWord(0x22) / 128);
    history_->Attribute("divetime") = MinutesText(HeaderWord(0x24));
    if (HeaderWord(0x6C) != 0)
        history_->Attribute("freedivemaxdepth") = SummaryDepthText(HeaderWord(0x6C) / 128);
    if (HeaderWord(0x6E) != 0) history_->Attribute("freedivetime") = IntText(HeaderWord(0x6E));
}

void OutputGeneraterT2D1::WriteProfileData() {
    if (!dives_ || dives_->empty()) {
        profiledata_->AddComment("  No Dives  ");
        return;
    }
    // A dive numbered 1 in its series starts a new repetition group; dives
    // before the first such dive join the first group.
    std::list<DivePtr> pending;
    bool groupOpen = false;
    for (const DivePtr& dive : *dives_) {
        if (dive->diveNumber == 1 && groupOpen) {
            WriteDives(profiledata_->AddChild("repetitiongroup"), pending);
            pending.clear();
            groupOpen = false;
        }
        if (dive->diveNumber == 1) groupOpen = true;
        pending.push_back(dive);
    }
    if (!pending.empty()) WriteDives(profiledata_->AddChild("repetitiongroup"), pending);
}

void OutputGeneraterT2D1::WriteDives(DCDML_Node_class* group, const std::list<DivePtr>& pending) {
    int count = 0;
    for (const DivePtr& ptr : pending) {
        const _DIVE_DATA& record = *ptr;
        ++count;
        Trace::Write(Trace::Info, "Generate():: Dive %d", count);
        DCDML_Node_class* dive = group->AddChild("dive");
        DCDML_Node_class* settings = dive->AddChild("settings");
        DCDML_Node_class* statistics = dive->AddChild("statistics");

        DiveTimeStamp(dive, record);
        char interval[32];
        std::snprintf(interval, sizeof interval, "%02u:%02u:%02u",
                      static_cast<unsigned>(record.surfaceIntervalHours),
                      static_cast<unsigned>(record.surfaceIntervalMinutes),
                      static_cast<unsigned>(record.surfaceIntervalSeconds));
        dive->Attribute("surfaceinterval") = interval;
        dive->Attribute("id") = IntText(record.diveNumber);

        settings->Attribute("computermode") = ComputerModeText(record);
        settings->Attribute("personalfactor") = PersonalFactorText(record.personalAltitude);
        settings->Attribute("altitudefactor") = AltitudeFactorText(record.personalAltitude);
        settings->Attribute("talvek:rgbm") = RgbmText(record.personalAltitude);

        // The device sends unsigned bytes; they are converted as they are.
        DCDML_Node_class* temperature = statistics->AddChild("talvek:temperature");
        temperature->Attribute("start") = Decimal(converter_->temperature(record.type1Byte));
        temperature->Attribute("atdepth") = Decimal(converter_->temperature(record.type1Bytes[0]));
        temperature->Attribute("end") = Decimal(converter_->temperature(record.type1Bytes[1]));

        if (record.cnsOtu < 0x80)
            statistics->AddChild("talvek:otu")->Attribute("value") = ByteText(record.cnsOtu);
        else
            statistics->AddChild("cns")->Attribute("start") = ByteText(record.cnsOtu - 0x80);

        ClearMixes();
        switch (record.diveMode) {
            case 1:
                AddMix(record.oxygen1, record.gasPressure1, record.gasPressure2);
                break;
            case 2:
                AddNamedMix("Gauge", 0, record.gasPressure1, record.gasPressure2);
                break;
            default:
                AddNamedMix("Air", 21, record.gasPressure1, record.gasPressure2);
                break;
        }
        DCDML_Node_class* gasDefinitions = dive->AddChild("gasdefinitions");
        dosamples(dive, record);
        for (const MixPtr& mix : mixes_) WriteGasDefinition(*mix, gasDefinitions);
    }
}

void OutputGeneraterT2D1::dosamples(DCDML_Node_class* dive, const _DIVE_DATA& record) {
    DCDML_Node_class* samples = dive->AddChild("samples");
    samples->Attribute("interval") = Decimal(record.sampleInterval);
    WriteGasSwitch(samples, mixes_.front()->name, 0, false);
    WriteDatum(samples, 0, 0, 0, 0, 0);

    const uint8_t* bytes = record.profile.get();
    const uint32_t length = bytes ? record.profileLength : 0;
    double depth = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = bytes[i];
        if (c < FirstMarker || c > GasSwitchMarker) {
            // A signed change in feet since the previous sample.
            depth += static_cast<int8_t>(c);
            WriteDatum(samples, static_cast<int32_t>(std::trunc(depth)), 0, 0, 0, 0);
        } else if (MarkerEventId(c)) {
            markers_.Push(c);
            DCDML_Node_class* event = samples->AddChild("event");
            while (!markers_.Empty()) event->Attribute("id") = MarkerEventId(markers_.Pop());
        } else if (c == GasSwitchMarker) {
            if (i + 1 >= length)
                throw sAPI::Error(L"GeneraterT2D1::dosamples() Missing Gas Switch Data", 9);
            GasSwitchByO2(samples, bytes[++i], -1);
        }
        // 121, 128 and 130..134 carry nothing for this layout.
    }
    WriteDatum(samples, 0, 0, 0, 0, 0);
}
