#include "output/dcdml/dcdml_family23_writer.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "output/dive_facts.h"
#include "output/dive_texts.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

std::atomic<int32_t> divesWritten{0};

}  // namespace

int32_t DcdmlFamily23Writer::diveCounter() {
    return divesWritten.load();
}

void DcdmlFamily23Writer::resetDiveCounter() {
    divesWritten.store(0);
}

DcdmlFamily23Writer::DcdmlFamily23Writer(const DiveSet& set, UnitSystem unitSystem,
                                         const DocumentStamp& stamp)
    : DcdmlWriterBase(set, unitSystem, stamp) {}

void DcdmlFamily23Writer::make(XmlDocument& document) {
    // The trace lines name the interface type: family 4 is type 3.
    const int type = family() == DataFamily::Family3 ? 3 : 2;
    trace::write(2, "Generate::Device=%d Type=2: Begin ", type);
    buildSkeleton(document);
    setUnits();
    writeDeviceSection();
    writeSettingsSection();
    writeHistorySection();
    writeProfileData();
    trace::write(2, "Generate::Make() Building Document");
    document.build();
    trace::write(2, "Generate::Device=%d Type=2: End ", type);
}

void DcdmlFamily23Writer::writeDeviceSection() {
    writeDeviceBlock(device_, serialNumber(set_));
}

void DcdmlFamily23Writer::writeSettingsSection() {
    settings_->attribute("units") = headerByte(0x72) ? "metric" : "imperial";
    const char* info = reinterpret_cast<const char*>(set_.header.data() + 0x30);
    settings_->addChild("talvek:personalinfo")->attribute("value") =
        std::string(info, strnlen(info, 40));
}

void DcdmlFamily23Writer::writeHistorySection() {
    history_->attribute("dives") = intText(headerWord(0x26));
    history_->attribute("maxdepth") = summaryDepthText(headerWord(0x22));
    history_->attribute("divetime") = minutesText(headerWord(0x24));
    if (headerWord(0x6C)) history_->attribute("freedivemaxdepth") = intText(headerWord(0x6C));
    if (headerWord(0x6E)) history_->attribute("freedivetime") = intText(headerWord(0x6E));
}

void DcdmlFamily23Writer::writeProfileData() {
    if (set_.dives.empty()) {
        profiledata_->addComment("  No Dives  ");
        return;
    }
    for (const std::vector<ConstDivePtr>& dives : repetitionGroups(set_)) {
        XmlElement* group = profiledata_->addChild("repetitiongroup");
        for (const ConstDivePtr& d : dives) writeDive(group, d);
    }
}

void DcdmlFamily23Writer::writeDive(XmlElement* group, const ConstDivePtr& record) {
    const DiveRecord& d = *record;
    trace::write(2, "Generating Dive #%d", divesWritten.fetch_add(1));

    XmlElement* dive = group->addChild("dive");
    XmlElement* settings = dive->addChild("settings");
    XmlElement* statistics = dive->addChild("statistics");
    diveTimeStamp(dive, d);
    statistics->attribute("maxdepth") = sampleDepthText(converter_->depth(d.maxDepth));
    statistics->attribute("divetime") = minutesText(d.diveTime);
    dive->attribute("surfaceinterval") = surfaceIntervalText(d);
    dive->attribute("id") = intText(d.diveNumber);

    settings->attribute("computermode") = computerModeText(d);
    settings->attribute("personalfactor") = personalFactorText(d.personalAltitude);
    settings->attribute("altitudefactor") = altitudeFactorText(d.personalAltitude);
    settings->attribute("talvek:rgbm") = d.rgbm == 50 ? "50" : "100";

    if (d.cnsOtu >= 0x80)
        statistics->addChild("cns")->attribute("start") = byteText(d.cnsOtu - 0x80);
    else
        statistics->addChild("talvek:otu")->attribute("value") = byteText(d.cnsOtu);

    addStartMixes(d, d.startCylinderPressure, d.endCylinderPressure);

    XmlElement* gasDefinitions = dive->addChild("gasdefinitions");

    XmlElement* tissues = statistics->addChild("tissuedata");
    for (int i = 1; i <= 9; ++i) {
        XmlElement* t = tissues->addChild("tissue");
        t->attribute("name") = "tissue" + decimal(i);
        t->attribute("start") = intText(d.tissue[i - 1]);
    }

    // The first mix holds the pressures the samples give.
    const Pressures pressures = writeSamples(dive, record);
    mixes_.front()->startPressure = pressures.start;
    mixes_.front()->endPressure = pressures.end;
    for (const GasMixPtr& mix : mixes_) writeGasDefinition(*mix, gasDefinitions);
}

DcdmlFamily23Writer::Pressures DcdmlFamily23Writer::writeSamples(XmlElement* dive,
                                                                 const ConstDivePtr& record) {
    ProfileDecoder profile(record);
    XmlElement* samples = dive->addChild("samples");
    samples->attribute("interval") = intText(record->sampleInterval);
    writeGasSwitch(samples, mixes_.front()->name, 0, false);
    writeDatum(samples, 0, DatumTime, 0, 0, 0);
    while (profile.next()) {
        if (profile.eventsPending()) {
            writeEvents(samples, profile);
        } else {
            int flags = (profile.hasPressure() ? DatumPressure : 0) |
                        (profile.hasTemperature() ? DatumTemperature : 0);
            writeDatum(samples, profile.depth(), flags, profile.pressure(), profile.temperature(),
                       0);
        }
        if (profile.atEnd()) break;
    }
    writeDatum(samples, 0, DatumTime, 0, 0, profile.time(true));
    return Pressures{profile.startPressure(), profile.endPressure()};
}

void DcdmlFamily23Writer::writeEvents(XmlElement* samples, ProfileDecoder& profile) {
    while (const ProfileDecoder::Event* e = profile.nextEvent()) {
        switch (e->type) {
            case 2: {
                XmlElement* ev = samples->addChild("event");
                ev->attribute("id") = "surface";
                ev->attribute("time") = decimal(e->data4);
                break;
            }
            case 3:
            case 5:
                writeCodeEvent(samples, *e);
                break;
            case 4:
                writeHeadingUserEvent(samples, *e);
                break;
            default:
                trace::write(2, "Unknown Event Marker: Type = %d", int{e->type});
                break;
        }
    }
    profile.clearEvents();
}

void DcdmlFamily23Writer::writeCodeEvent(XmlElement* samples, const ProfileDecoder::Event& event) {
    int64_t time = int64_t{event.data4} + event.time;
    const GasSwitch to = gasSwitchOf(event);
    switch (to.kind) {
        case GasSwitch::ToSecondMix:
            if (mixes_.size() < 2) {
                trace::write(2, "Gas switch to missing mix ignored");
                return;
            }
            gasSwitchByO2(samples, (*std::next(mixes_.begin()))->o2, time);
            return;
        case GasSwitch::ToFirstMix:
            gasSwitchByO2(samples, mixes_.front()->o2, time);
            return;
        case GasSwitch::ToO2:
            gasSwitchByO2(samples, to.o2, time);
            return;
        case GasSwitch::None:
            break;
    }
    bool withValue;
    std::string id = codeEventId(event.data1, withValue);
    XmlElement* ev = samples->addChild("event");
    ev->attribute("id") = id;
    if (withValue) ev->attribute("talvek:value") = decimal(event.data1);
    ev->attribute("time") = decimal(time);
}

}  // namespace talvek
