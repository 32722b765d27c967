#include "output/dcdml/dcdml_family1_writer.h"

#include <cmath>
#include <cstdio>

#include "dc/base/errors.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

constexpr uint8_t RgbmBit = 0x10;
constexpr uint8_t InvertedRgbmModel = 11;  // this model stores the RGBM bit inverted
constexpr int PersonalInfoOffset = 0x30;
constexpr int PersonalInfoWidth = 28;

constexpr uint8_t FirstMarker = 121;
constexpr uint8_t GasSwitchMarker = 135;

// Profile marker to event "id"; null for markers that write nothing.
const char* markerEventId(uint8_t marker) {
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

DcdmlFamily1Writer::DcdmlFamily1Writer(const DiveSet& set, int32_t unitSystem,
                                       const DocumentStamp& stamp)
    : DcdmlWriterBase(set, unitSystem, stamp) {}

DcdmlFamily1Writer::~DcdmlFamily1Writer() = default;

void DcdmlFamily1Writer::make(XmlDocument& document) {
    trace::write(trace::Info, "Generate::Device(1),Type(2): Begin ");
    buildSkeleton(document);
    setUnits();
    writeDevice();
    writeSettings();
    writeHistory();
    writeProfileData();
    trace::write(trace::Info, "Generate::Make() Building Document");
    document.build();
    // A second build replaces the first; kept because the drivers' traces
    // have always shown it twice.
    trace::write(trace::Info, "Generate::Make() Building Document");
    document.build();
}

std::string DcdmlFamily1Writer::rgbmText(uint8_t code) const {
    bool r = (code & RgbmBit) != 0;
    if (headerByte(0x28) == InvertedRgbmModel) r = !r;
    return r ? "100" : "50";
}

void DcdmlFamily1Writer::writeDevice() {
    // One decimal number: leading zeros of the first group are not written.
    const uint32_t serial = headerByte(0x2A) * 1000000u + headerByte(0x2B) * 10000u +
                            headerByte(0x2C) * 100u + headerByte(0x2D);
    writeDeviceBlock(device_, std::to_string(serial));
}

std::string DcdmlFamily1Writer::depthAlarmText() const {
    const int32_t feet = headerWord(0x78) / 128;
    if (unitSystem_ == UnitSystem::Imperial) {
        const long double d = converter_->depth(feet);
        return intText(static_cast<uint32_t>(static_cast<int32_t>(std::trunc(d))));
    }
    // Metric and scientific alike: centimetres rounded to half metres.
    const MetricUnits metric(familyCode());
    const long double d = metric.depth(feet);
    const int64_t w = static_cast<int64_t>(std::trunc(d + 25));
    const int64_t q = w / 100;
    const int64_t r = w % 100;
    const double value = r > 50 ? q + 0.5 : static_cast<double>(q);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

void DcdmlFamily1Writer::writeSettings() {
    settings_->attribute("units") = headerByte(0x72) ? "metric" : "imperial";
    settings_->attribute("timeformat") = headerByte(0x71) ? "24H" : "12H";
    settings_->attribute("sampleinterval") = byteText(headerByte(0x62));
    settings_->attribute("divemode") = diveModeText();
    settings_->attribute("personalfactor") = personalFactorText(headerByte(0x63));
    settings_->attribute("altitudefactor") = altitudeFactorText(headerByte(0x63));
    settings_->attribute("talvek:rgbm") = rgbmText(headerByte(0x63));

    XmlElement* alarms = settings_->addChild("alarms");
    XmlElement* timeAlarm = alarms->addChild("talvek:timealarm");
    timeAlarm->attribute("enabled") = (headerByte(0x75) & 0x01) ? "true" : "false";
    timeAlarm->attribute("value") = intText(headerWord(0x76));
    XmlElement* depthAlarm = alarms->addChild("talvek:depthalarm");
    depthAlarm->attribute("enabled") = (headerByte(0x75) & 0x02) ? "true" : "false";
    depthAlarm->attribute("value") = depthAlarmText();

    settings_->addChild("talvek:light")->attribute("value") = byteText(headerByte(0x74) & 0x7F);

    std::string info;
    for (int i = 0; i < PersonalInfoWidth; ++i) {
        const char c = static_cast<char>(headerByte(PersonalInfoOffset + i));
        if (c == '\0') break;
        info += c;
    }
    settings_->addChild("talvek:personalinfo")->attribute("value") = info;
}

void DcdmlFamily1Writer::writeHistory() {
    history_->attribute("dives") = intText(headerWord(0x26));
    history_->attribute("maxdepth") = summaryDepthText(headerWord(0x22) / 128);
    history_->attribute("divetime") = minutesText(headerWord(0x24));
    if (headerWord(0x6C) != 0)
        history_->attribute("freedivemaxdepth") = summaryDepthText(headerWord(0x6C) / 128);
    if (headerWord(0x6E) != 0) history_->attribute("freedivetime") = intText(headerWord(0x6E));
}

void DcdmlFamily1Writer::writeProfileData() {
    if (set_.dives.empty()) {
        profiledata_->addComment("  No Dives  ");
        return;
    }
    // A dive numbered 1 in its series starts a new repetition group; dives
    // before the first such dive join the first group.
    std::vector<ConstDivePtr> pending;
    bool groupOpen = false;
    for (const ConstDivePtr& dive : set_.dives) {
        if (dive->diveNumber == 1 && groupOpen) {
            writeDives(profiledata_->addChild("repetitiongroup"), pending);
            pending.clear();
            groupOpen = false;
        }
        if (dive->diveNumber == 1) groupOpen = true;
        pending.push_back(dive);
    }
    if (!pending.empty()) writeDives(profiledata_->addChild("repetitiongroup"), pending);
}

void DcdmlFamily1Writer::writeDives(XmlElement* group, const std::vector<ConstDivePtr>& pending) {
    int count = 0;
    for (const ConstDivePtr& ptr : pending) {
        const DiveRecord& record = *ptr;
        ++count;
        trace::write(trace::Info, "Generate():: Dive %d", count);
        XmlElement* dive = group->addChild("dive");
        XmlElement* settings = dive->addChild("settings");
        XmlElement* statistics = dive->addChild("statistics");

        diveTimeStamp(dive, record);
        dive->attribute("surfaceinterval") = surfaceIntervalText(record);
        dive->attribute("id") = intText(record.diveNumber);

        settings->attribute("computermode") = computerModeText(record);
        settings->attribute("personalfactor") = personalFactorText(record.personalAltitude);
        settings->attribute("altitudefactor") = altitudeFactorText(record.personalAltitude);
        settings->attribute("talvek:rgbm") = rgbmText(record.personalAltitude);

        // The device sends unsigned bytes; they are converted as they are.
        XmlElement* temperature = statistics->addChild("talvek:temperature");
        temperature->attribute("start") = decimal(converter_->temperature(record.startTemperature));
        temperature->attribute("atdepth") =
            decimal(converter_->temperature(record.maxDepthTemperature));
        temperature->attribute("end") = decimal(converter_->temperature(record.endTemperature));

        if (record.cnsOtu < 0x80)
            statistics->addChild("talvek:otu")->attribute("value") = byteText(record.cnsOtu);
        else
            statistics->addChild("cns")->attribute("start") = byteText(record.cnsOtu - 0x80);

        clearMixes();
        switch (record.diveMode) {
            case 1:
                addMix(record.oxygen1, record.startCylinderPressure, record.endCylinderPressure);
                break;
            case 2:
                addNamedMix("Gauge", 0, record.startCylinderPressure, record.endCylinderPressure);
                break;
            default:
                addNamedMix("Air", 21, record.startCylinderPressure, record.endCylinderPressure);
                break;
        }
        XmlElement* gasDefinitions = dive->addChild("gasdefinitions");
        writeSamples(dive, record);
        for (const GasMixPtr& mix : mixes_) writeGasDefinition(*mix, gasDefinitions);
    }
}

void DcdmlFamily1Writer::writeSamples(XmlElement* dive, const DiveRecord& record) {
    XmlElement* samples = dive->addChild("samples");
    samples->attribute("interval") = decimal(record.sampleInterval);
    writeGasSwitch(samples, mixes_.front()->name, 0, false);
    writeDatum(samples, 0, 0, 0, 0, 0);

    const uint8_t* bytes = record.profile.get();
    const uint32_t length = bytes ? record.profileLength : 0;
    double depth = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = bytes[i];
        if (c < FirstMarker || c > GasSwitchMarker) {
            // A signed change in feet since the previous sample.
            depth += static_cast<int8_t>(c);
            writeDatum(samples, static_cast<int32_t>(std::trunc(depth)), 0, 0, 0, 0);
        } else if (markerEventId(c)) {
            markers_.push(c);
            XmlElement* event = samples->addChild("event");
            while (!markers_.empty()) event->attribute("id") = markerEventId(markers_.pop());
        } else if (c == GasSwitchMarker) {
            if (i + 1 >= length)
                throw Error("GeneraterT2D1::dosamples() Missing Gas Switch Data", 9);
            gasSwitchByO2(samples, bytes[++i], -1);
        }
        // 121, 128 and 130..134 carry nothing for this layout.
    }
    writeDatum(samples, 0, 0, 0, 0, 0);
}

}  // namespace talvek
