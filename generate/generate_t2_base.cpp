#include "generate/generate_t2_base.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "dcdml/dcdml_document.h"
#include "device/errors.h"
#include "trace/trace.h"

#if __has_include("app/version_information.h")
#include "app/version_information.h"
#define TALVEK_HAVE_VERSION_INFORMATION 1
#endif

const char* const DCDMLNamespace = "http://www.talvek.com/dcdml/1.0/dcdml";

namespace {

std::mutex sourceMutex;
OutputGeneraterT2Base::VersionSource versionSource;
OutputGeneraterT2Base::TimeSource timeSource;

bool ReadOwnVersion(std::string& name, std::string& version) {
    {
        std::lock_guard<std::mutex> g(sourceMutex);
        if (versionSource) return versionSource(name, version);
    }
#ifdef TALVEK_HAVE_VERSION_INFORMATION
    VersionInformation info(platform::ownExecutablePath().c_str());
    if (info.Valid()) {
        name = info.ProductName();
        version = info.FileVersion();
        return true;
    }
#endif
    return false;
}

platform::LocalTime Now() {
    std::lock_guard<std::mutex> g(sourceMutex);
    return timeSource ? timeSource() : platform::localTime();
}

struct ModelRow {
    const char* name;
    uint8_t code;
};

// Row 0 is the default and never matched; the row with code 0xFF ends it.
const ModelRow ModelNames[] = {
    {"Unknown", 0},    {"Ardel", 3},    {"Brinto", 4},  {"K3", 5},      {"Corvel", 10},
    {"Dastra", 11},    {"Evrin", 12},   {"Folmar", 13}, {"K9", 14},     {"K6", 15},
    {"Corvel2", 16},   {"Evrin2", 17},  {"K4", 18},     {"Evrin3", 20}, {"Corvel3", 19},
    {"CorvelAir", 21}, {nullptr, 0xFF},
};

const char* const ComputerModes[] = {"air", "nitrox", "gauge"};

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[200];
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

}  // namespace

OutputGeneraterT2Base::OutputGeneraterT2Base(const uint8_t* header, DiveList* dives,
                                             int32_t familyCode, int32_t unitSystem)
    : OutputGenerater(familyCode), header_(header), dives_(dives), unitSystem_(unitSystem) {}

OutputGeneraterT2Base::~OutputGeneraterT2Base() = default;

void OutputGeneraterT2Base::SetVersionSource(VersionSource source) {
    std::lock_guard<std::mutex> g(sourceMutex);
    versionSource = std::move(source);
}

void OutputGeneraterT2Base::SetTimeSource(TimeSource source) {
    std::lock_guard<std::mutex> g(sourceMutex);
    timeSource = std::move(source);
}

void OutputGeneraterT2Base::BuildSkeleton(DCDMLDocument& document) {
    root_ = document.CreateRoot("dcdml");
    generator_ = root_->AddChild("generator");
    device_ = root_->AddChild("device");
    settings_ = root_->AddChild("settings");
    history_ = root_->AddChild("history");
    profiledata_ = root_->AddChild("profiledata");
}

void OutputGeneraterT2Base::SetUnits() {
    root_->Attribute("version") = "1.0";

    platform::LocalTime now = Now();
    std::tm tm{};
    tm.tm_year = now.year - 1900;
    tm.tm_mon = now.month - 1;
    tm.tm_mday = now.day;
    tm.tm_wday = now.dayOfWeek;
    tm.tm_hour = now.hour;
    tm.tm_min = now.minute;
    tm.tm_sec = now.second;
    char stamp[200];
    size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d T %T", &tm);
    root_->Attribute("tstamp") = std::string(stamp, n);

    switch (unitSystem_) {
        case Units::Imperial:
            root_->Attribute("units") = "imperial";
            converter_ = std::make_unique<ImperialUnits>(familyCode_);
            break;
        case Units::Metric:
            root_->Attribute("units") = "metric";
            converter_ = std::make_unique<MetricUnits>(familyCode_);
            break;
        case Units::Scientific:
            root_->Attribute("units") = "scientific";
            converter_ = std::make_unique<ScienceUnits>(familyCode_);
            break;
        default:
            Trace::Write(1, "GenerateT2::SetUnits() Unknown Conversion Units");
            throw sAPI::CriticalError(11);
    }
    Trace::Write(4, "GenerateT2::SetUnits( \"%s\" )", root_->Attribute("units").c_str());
    root_->Attribute("xmlns:talvek") = std::string(DCDMLNamespace) + "-talvek";
    WriteGeneratorBlock();
    Trace::Write(2, "GenerateT2::Generater Initialize - OK");
}

void OutputGeneraterT2Base::WriteGeneratorBlock() {
    std::string name, version;
    if (!ReadOwnVersion(name, version)) {
        name = "Talvek Downloader";
        version.clear();
    }
    generator_->Attribute("name") = name;
    generator_->Attribute("version") = version;
    generator_->Attribute("vendor") = "Pelko Inv.";
    Trace::Write(2, "GenerateT2::Generater Info OK");
}

void OutputGeneraterT2Base::WriteDeviceBlock(DCDML_Node_class* device, const std::string& serial) {
    device->Attribute("vendor") = "Talvek Oy";
    device->Attribute("model") = ModelName();
    device->Attribute("serial") = serial;
    device->Attribute("version") = FirmwareVersion();
}

std::string OutputGeneraterT2Base::ModelName() const {
    const char* name = ModelNames[0].name;
    uint8_t code = HeaderByte(0x28);
    for (const ModelRow* row = ModelNames + 1; row->code != 0xFF; ++row)
        if (row->code == code) name = row->name;
    return name;
}

std::string OutputGeneraterT2Base::FirmwareVersion() const {
    return Format("%i.%i.%i", int{HeaderByte(0x29)}, int{HeaderByte(0x81)}, int{HeaderByte(0x82)});
}

std::string OutputGeneraterT2Base::getdivemode() const {
    uint8_t m = HeaderByte(0x73);
    switch (m & 0x0F) {
        case 0:
            return "air";
        case 1:
            return "nitrox";
        case 2:
            return "gauge";
    }
    if (m & 0x80) return "free";
    Trace::Write(1, "Generater::getdivemode()  Unknown Dive Mode!!");
    return std::string();
}

std::string OutputGeneraterT2Base::IntText(uint32_t value) {
    return Format("%i", static_cast<int>(static_cast<uint16_t>(value)));
}

std::string OutputGeneraterT2Base::ByteText(uint32_t value) {
    return Format("%i", static_cast<int>(value & 0xFF));
}

std::string OutputGeneraterT2Base::Decimal(int64_t value) {
    return Format("%" PRId64, value);
}

std::string OutputGeneraterT2Base::SampleDepthText(long double depth) const {
    double d = static_cast<double>(depth);
    switch (converter_->system()) {
        case Units::Imperial:
            return Format("%.1f", d);
        case Units::Metric:
            return Format("%.0f", d);
        default:
            return Format("%.3f", d);
    }
}

std::string OutputGeneraterT2Base::PressureText(int32_t pressure) const {
    double p = pressure;
    switch (converter_->system()) {
        case Units::Imperial:
            return Format("%.0f", p);
        case Units::Metric:
            return Format("%.1f", p);
        default:
            return Format("%.2f", p);
    }
}

std::string OutputGeneraterT2Base::SummaryDepthText(int32_t rawDepth) const {
    return SummaryDepthTextOf(converter_->depth(rawDepth));
}

std::string OutputGeneraterT2Base::SummaryDepthTextOf(long double depth) const {
    switch (converter_->system()) {
        case Units::Imperial:
            return Format("%.1f", static_cast<double>(depth));
        case Units::Metric:
            return Format("%.1f", static_cast<double>(depth) * 0.01);
        default:
            return Format("%.3f", static_cast<double>(depth));
    }
}

std::string OutputGeneraterT2Base::MinutesText(uint32_t minutes) {
    return Format("%02u:%02u:00", minutes / 60, minutes % 60);
}

std::string OutputGeneraterT2Base::PersonalFactorText(uint8_t code) {
    return Format("%i", (code & 0x0F) / 3);
}

std::string OutputGeneraterT2Base::AltitudeFactorText(uint8_t code) {
    return Format("%i", (code & 0x0F) % 3);
}

void OutputGeneraterT2Base::DiveTimeStamp(DCDML_Node_class* dive, const _DIVE_DATA& r) {
    dive->Attribute("tstamp") =
        Format("%02u-%02u-%02u T %02u:%02u:%02u", 2000u + r.year, unsigned{r.month},
               unsigned{r.day}, unsigned{r.hour}, unsigned{r.minute}, unsigned{r.second});
}

std::string OutputGeneraterT2Base::ComputerModeText(const _DIVE_DATA& record) {
    return record.diveMode < 3 ? ComputerModes[record.diveMode] : "";
}

void OutputGeneraterT2Base::WriteDatum(DCDML_Node_class* parent, int32_t rawDepth, int flags,
                                       int32_t rawPressure, int32_t rawTemperature, uint32_t time) {
    DCDML_Node_class* datum = parent->AddChild("datum");
    datum->Attribute("depth") = SampleDepthText(converter_->depth(rawDepth));
    if (flags & DatumPressure)
        datum->Attribute("pressure") = PressureText(converter_->pressure(rawPressure));
    if (flags & DatumTemperature)
        datum->Attribute("temp") = Decimal(converter_->temperature(rawTemperature));
    if (flags & DatumTime) datum->Attribute("time") = IntText(time);
}

std::string OutputGeneraterT2Base::AddMix(int32_t o2, int32_t start, int32_t end) {
    return AddNamedMix("gas" + Decimal(static_cast<int64_t>(mixes_.size()) + 1), o2, start, end);
}

std::string OutputGeneraterT2Base::AddNamedMix(const std::string& name, int32_t o2, int32_t start,
                                               int32_t end) {
    MixPtr mix(new MixType);
    mix->name = name;
    mix->o2 = o2;
    mix->startPressure = start;
    mix->endPressure = end;
    mixes_.push_back(mix);
    return name;
}

void OutputGeneraterT2Base::WriteGasSwitch(DCDML_Node_class* parent, const std::string& name,
                                           int64_t time, bool timePresent) {
    DCDML_Node_class* sw = parent->AddChild("gasswitch");
    sw->Attribute("gas") = name;
    if (timePresent) sw->Attribute("time") = Decimal(time);
}

void OutputGeneraterT2Base::GasSwitchByO2(DCDML_Node_class* parent, int32_t o2, int64_t time) {
    Trace::Write(4, "Gas Switch to %d", o2);
    bool timePresent = time != -1;
    for (const MixPtr& mix : mixes_) {
        if (mix->o2 == o2) {
            Trace::Write(4, "Found %s(%d%%) in list", mix->name.c_str(), o2);
            WriteGasSwitch(parent, mix->name, time, timePresent);
            return;
        }
    }
    std::string name = AddMix(o2, -1, -1);
    Trace::Write(4, "Adding gas %s(%d%%) to MixList", name.c_str(), o2);
    WriteGasSwitch(parent, name, time, timePresent);
}

void OutputGeneraterT2Base::WriteGasDefinition(const MixType& mix,
                                               DCDML_Node_class* gasDefinitions) {
    if (gasDefinitions) gasDefinitions_ = gasDefinitions;
    if (!gasDefinitions_) return;  // no gasdefinitions element written yet
    DCDML_Node_class* gas = gasDefinitions_->AddChild("gas");
    gas->Attribute("name") = mix.name;
    gas->Attribute("o2") = Decimal(mix.o2);
    Trace::Write(3, "Adding GasMix: startpressure =%d  endpressure =%d", mix.startPressure,
                 mix.endPressure);
    if (mix.startPressure >= 1) {
        gas->Attribute("startpressure") = PressureText(converter_->pressure(mix.startPressure));
        gas->Attribute("endpressure") = PressureText(converter_->pressure(mix.endPressure));
    }
}

void OutputGeneraterT2Base::WriteHeadingUserEvent(DCDML_Node_class* parent,
                                                  const TProfileControl::TEvent& event) {
    DCDML_Node_class* e = parent->AddChild("event");
    int64_t time = int64_t{event.data4} + event.time;
    Trace::Write(3, "Have Event: time= %s\t heading=%s\t extra= %s\t", Decimal(time).c_str(),
                 Decimal(event.word).c_str(), Decimal(event.data2).c_str());
    if (event.word & 0x8000) {
        e->Attribute("id") = "user";
        e->Attribute("time") = Decimal(time);
    } else {
        e->Attribute("id") = "heading";
        e->Attribute("value") = Decimal(event.word >> 1);
        e->Attribute("time") = Decimal(time);
    }
}
