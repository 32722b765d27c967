#include "output/dcdml/dcdml_family1_writer.h"

#include <cmath>
#include <cstdio>

#include "dc/base/errors.h"
#include "dc/profile/family1_profile.h"
#include "output/dive_facts.h"
#include "output/dive_texts.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

constexpr uint8_t RgbmBit = 0x10;
constexpr uint8_t InvertedRgbmModel = 11;  // this model stores the RGBM bit inverted
constexpr int PersonalInfoOffset = 0x30;
constexpr int PersonalInfoWidth = 28;

}  // namespace

DcdmlFamily1Writer::DcdmlFamily1Writer(const DiveSet& set, UnitSystem unitSystem,
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
    writeDeviceBlock(device_, serialNumber(set_));
}

std::string DcdmlFamily1Writer::depthAlarmText() const {
    const int32_t feet = headerWord(0x78) / 128;
    if (unitSystem_ == UnitSystem::Imperial) {
        const long double d = converter_->depth(feet);
        return intText(static_cast<uint32_t>(static_cast<int32_t>(std::trunc(d))));
    }
    // Metric and scientific alike: centimetres rounded to half metres.
    const MetricUnits metric(family());
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
    for (const std::vector<ConstDivePtr>& group : repetitionGroups(set_))
        writeDives(profiledata_->addChild("repetitiongroup"), group);
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

        addStartMixes(record, record.startCylinderPressure, record.endCylinderPressure);
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

    Family1Profile profile(record);
    Family1Profile::Item item;
    double depth = 0;
    while (profile.next(item)) {
        switch (item.kind) {
            case Family1Profile::Kind::DepthChange:
                depth += item.value;
                writeDatum(samples, static_cast<int32_t>(std::trunc(depth)), 0, 0, 0, 0);
                break;
            case Family1Profile::Kind::Marker:
                // 121, 128 and 130..134 carry nothing for this layout.
                if (family1MarkerEventId(static_cast<uint8_t>(item.value))) {
                    markers_.push(static_cast<uint8_t>(item.value));
                    XmlElement* event = samples->addChild("event");
                    while (!markers_.empty()) event->attribute("id") = family1MarkerEventId(markers_.pop());
                }
                break;
            case Family1Profile::Kind::GasSwitch:
                gasSwitchByO2(samples, item.value, -1);
                break;
            case Family1Profile::Kind::TruncatedGasSwitch:
                throw Error("GeneraterT2D1::dosamples() Missing Gas Switch Data", 9);
        }
    }
    writeDatum(samples, 0, 0, 0, 0, 0);
}

}  // namespace talvek
