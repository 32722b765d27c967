#include "generate/generater_t2_d23.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "dcdml/dcdml_document.h"
#include "trace/trace.h"

namespace {

std::atomic<int32_t> diveCounter{0};

// Joined to the event names below: prefix + name or prefix + infix + name.
const std::string Prefix = "talvek:";
const std::string EndInfix = "end_";

// The "id" of a code event, or empty for the gas switch codes and unknown
// codes.  `withValue` is set when the code is also written as "talvek:value".
std::string CodeEventId(int code, bool& withValue) {
    withValue = false;
    switch (code) {
        case 1:
            return Prefix + "safety";
        case 3:
            return "deco";
        case 4:
            return "slow";
        case 5:
            return "ceiling";
        case 6:
            return Prefix + "safetyceiling";
        case 7:
            return Prefix + "ascend";
        case 8:
            return Prefix + "divetime";
        case 9:
            return Prefix + "depthalarm";
        case 13:
            return Prefix + "gastime";
        case 14:
            withValue = true;
            return Prefix + "rgbm";
        case 129:
            return Prefix + EndInfix + "safety";
        case 131:
            return Prefix + EndInfix + "deco";
        case 132:
            return Prefix + EndInfix + "slow";
        case 133:
            return Prefix + EndInfix + "divetime";
        case 134:
            return Prefix + EndInfix + "safetyceiling";
        case 135:
            return Prefix + EndInfix + "ascend";
        case 136:
            return Prefix + EndInfix + "ceiling";
        case 137:
            return Prefix + EndInfix + "depthalarm";
        case 141:
            return Prefix + EndInfix + "gastime";
        case 142:
            return Prefix + "rgbm";
        default:
            withValue = true;
            return Prefix + "unknown";
    }
}

}  // namespace

int32_t OutputGeneraterT2_D23Root::DiveCounter() {
    return diveCounter.load();
}

void OutputGeneraterT2_D23Root::ResetDiveCounter() {
    diveCounter.store(0);
}

void OutputGeneraterT2D2::Make(DCDMLDocument& document) {
    MakeDocument(document, "Generate::Device=2 Type=2: Begin ", "Generate::Device=2 Type=2: End ");
}

void OutputGeneraterT2D3::Make(DCDMLDocument& document) {
    MakeDocument(document, "Generate::Device=3 Type=2: Begin ", "Generate::Device=3 Type=2: End ");
}

void OutputGeneraterT2_D23Root::MakeDocument(DCDMLDocument& document, const char* beginLine,
                                             const char* endLine) {
    Trace::Write(2, "%s", beginLine);
    BuildSkeleton(document);
    SetUnits();
    WriteDeviceSection();
    WriteSettingsSection();
    WriteHistorySection();
    WriteProfileData();
    Trace::Write(2, "Generate::Make() Building Document");
    document.Build();
    Trace::Write(2, "%s", endLine);
}

void OutputGeneraterT2_D23Root::WriteDeviceSection() {
    char serial[40];
    std::snprintf(serial, sizeof serial, "%02u%02u%02u%02u", unsigned{HeaderByte(0x2A)},
                  unsigned{HeaderByte(0x2B)}, unsigned{HeaderByte(0x2C)},
                  unsigned{HeaderByte(0x2D)});
    WriteDeviceBlock(device_, serial);
}

void OutputGeneraterT2_D23Root::WriteSettingsSection() {
    settings_->Attribute("units") = HeaderByte(0x72) ? "metric" : "imperial";
    const char* info = reinterpret_cast<const char*>(header_ + 0x30);
    settings_->AddChild("talvek:personalinfo")->Attribute("value") =
        std::string(info, strnlen(info, 40));
}

void OutputGeneraterT2_D23Root::WriteHistorySection() {
    history_->Attribute("dives") = IntText(HeaderWord(0x26));
    history_->Attribute("maxdepth") = SummaryDepthText(HeaderWord(0x22));
    history_->Attribute("divetime") = MinutesText(HeaderWord(0x24));
    if (HeaderWord(0x6C)) history_->Attribute("freedivemaxdepth") = IntText(HeaderWord(0x6C));
    if (HeaderWord(0x6E)) history_->Attribute("freedivetime") = IntText(HeaderWord(0x6E));
}

void OutputGeneraterT2_D23Root::WriteProfileData() {
    if (!dives_ || dives_->empty()) {
        profiledata_->AddComment("  No Dives  ");
        return;
    }
    // A dive numbered 1 starts a repetition group; dives before the first
    // such dive join its group.
    DiveList pending;
    bool groupOpen = false;
    auto flush = [&] {
        DCDML_Node_class* group = profiledata_->AddChild("repetitiongroup");
        for (const DivePtr& d : pending) WriteDive(group, d);
        pending.clear();
    };
    for (const DivePtr& dive : *dives_) {
        if (dive->diveNumber == 1) {
            if (groupOpen) flush();
            groupOpen = true;
        }
        pending.push_back(dive);
    }
    if (!pending.empty()) flush();
}

void OutputGeneraterT2_D23Root::WriteDive(DCDML_Node_class* group, const DivePtr& record) {
    _DIVE_DATA& d = *record;
    Trace::Write(2, "Generating Dive #%d", diveCounter.fetch_add(1));
    ClearMixes();

    DCDML_Node_class* dive = group->AddChild("dive");
    DCDML_Node_class* settings = dive->AddChild("settings");
    DCDML_Node_class* statistics = dive->AddChild("statistics");
    DiveTimeStamp(dive, d);
    statistics->Attribute("maxdepth") = SampleDepthText(converter_->depth(d.maxDepth));
    statistics->Attribute("divetime") = MinutesText(d.diveTime);
    char interval[40];
    std::snprintf(interval, sizeof interval, "%02u:%02u:%02u", unsigned{d.surfaceIntervalHours},
                  unsigned{d.surfaceIntervalMinutes}, unsigned{d.surfaceIntervalSeconds});
    dive->Attribute("surfaceinterval") = interval;
    dive->Attribute("id") = IntText(d.diveNumber);

    settings->Attribute("computermode") = ComputerModeText(d);
    settings->Attribute("personalfactor") = PersonalFactorText(d.personalAltitude);
    settings->Attribute("altitudefactor") = AltitudeFactorText(d.personalAltitude);
    settings->Attribute("talvek:rgbm") = d.rgbm == 50 ? "50" : "100";

    if (d.cnsOtu >= 0x80)
        statistics->AddChild("cns")->Attribute("start") = ByteText(d.cnsOtu - 0x80);
    else
        statistics->AddChild("talvek:otu")->Attribute("value") = ByteText(d.cnsOtu);

    if (d.diveMode == 1 || d.diveMode == 2) {
        AddMix(d.oxygen1, d.gasPressure1, d.gasPressure2);
        if (d.oxygen2 > 0) AddMix(d.oxygen2, 0, 0);
        if (d.oxygen3 > 0) AddMix(d.oxygen3, 0, 0);
    } else {
        AddNamedMix("Air", 21, d.gasPressure1, d.gasPressure2);
    }

    DCDML_Node_class* gasDefinitions = dive->AddChild("gasdefinitions");

    DCDML_Node_class* tissues = statistics->AddChild("tissuedata");
    for (int i = 1; i <= 9; ++i) {
        DCDML_Node_class* t = tissues->AddChild("tissue");
        t->Attribute("name") = "tissue" + Decimal(i);
        t->Attribute("start") = IntText(d.tissue[i - 1]);
    }

    WriteSamples(dive, record);

    mixes_.front()->startPressure = d.startPressure;
    mixes_.front()->endPressure = d.endPressure;
    for (const MixPtr& mix : mixes_) WriteGasDefinition(*mix, gasDefinitions);
}

void OutputGeneraterT2_D23Root::WriteSamples(DCDML_Node_class* dive, const DivePtr& record) {
    TProfileControl profile(record);
    DCDML_Node_class* samples = dive->AddChild("samples");
    samples->Attribute("interval") = IntText(record->sampleInterval);
    WriteGasSwitch(samples, mixes_.front()->name, 0, false);
    WriteDatum(samples, 0, DatumTime, 0, 0, 0);
    while (profile.next()) {
        if (profile.eventsPending()) {
            WriteEvents(samples, profile);
        } else {
            int flags = (profile.hasPressure() ? DatumPressure : 0) |
                        (profile.hasTemperature() ? DatumTemperature : 0);
            WriteDatum(samples, profile.depth(), flags, profile.pressure(), profile.temperature(),
                       0);
        }
        if (profile.atEnd()) break;
    }
    WriteDatum(samples, 0, DatumTime, 0, 0, profile.time(true));
    record->startPressure = profile.startPressure();
    record->endPressure = profile.endPressure();
}

void OutputGeneraterT2_D23Root::WriteEvents(DCDML_Node_class* samples, TProfileControl& profile) {
    while (const TProfileControl::TEvent* e = profile.nextEvent()) {
        switch (e->type) {
            case 2: {
                DCDML_Node_class* ev = samples->AddChild("event");
                ev->Attribute("id") = "surface";
                ev->Attribute("time") = Decimal(e->data4);
                break;
            }
            case 3:
                WriteCodeEvent(samples, *e);
                break;
            case 4:
                WriteHeadingUserEvent(samples, *e);
                break;
            case 5: {
                TProfileControl::TEvent gas = *e;
                gas.data1 = 255;
                WriteCodeEvent(samples, gas);
                break;
            }
            default:
                Trace::Write(2, "Unknown Event Marker: Type = %d", int{e->type});
                break;
        }
    }
    profile.clearEvents();
}

void OutputGeneraterT2_D23Root::WriteCodeEvent(DCDML_Node_class* samples,
                                               const TProfileControl::TEvent& event) {
    int64_t time = int64_t{event.data4} + event.time;
    switch (event.data1) {
        case 15:
            if (mixes_.size() < 2) {
                Trace::Write(2, "Gas switch to missing mix ignored");
                return;
            }
            GasSwitchByO2(samples, (*std::next(mixes_.begin()))->o2, time);
            return;
        case 143:
            GasSwitchByO2(samples, mixes_.front()->o2, time);
            return;
        case 255:
            GasSwitchByO2(samples, event.data3, time);
            return;
    }
    bool withValue;
    std::string id = CodeEventId(event.data1, withValue);
    DCDML_Node_class* ev = samples->AddChild("event");
    ev->Attribute("id") = id;
    if (withValue) ev->Attribute("talvek:value") = Decimal(event.data1);
    ev->Attribute("time") = Decimal(time);
}
