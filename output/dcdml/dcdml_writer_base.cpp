#include "output/dcdml/dcdml_writer_base.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "dc/base/errors.h"
#include "output/dive_facts.h"
#include "output/dive_texts.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

const char* const DcdmlNamespace = "http://www.talvek.com/dcdml/1.0/dcdml";

namespace {

template <typename... Args>
std::string format(const char* format, Args... args) {
    char buffer[200];
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

}  // namespace

DcdmlWriterBase::DcdmlWriterBase(const DiveSet& set, UnitSystem unitSystem,
                                 const DocumentStamp& stamp)
    : Writer(set), unitSystem_(unitSystem), stamp_(stamp) {}

DcdmlWriterBase::~DcdmlWriterBase() = default;

void DcdmlWriterBase::buildSkeleton(XmlDocument& document) {
    root_ = document.createRoot("dcdml");
    generator_ = root_->addChild("generator");
    device_ = root_->addChild("device");
    settings_ = root_->addChild("settings");
    history_ = root_->addChild("history");
    profiledata_ = root_->addChild("profiledata");
}

void DcdmlWriterBase::setUnits() {
    root_->attribute("version") = "1.0";

    const platform::LocalTime& now = stamp_.time;
    std::tm tm{};
    tm.tm_year = now.year - 1900;
    tm.tm_mon = now.month - 1;
    tm.tm_mday = now.day;
    tm.tm_wday = now.dayOfWeek;
    tm.tm_hour = now.hour;
    tm.tm_min = now.minute;
    tm.tm_sec = now.second;
    char stamp[200];
    // "%T" is C99; the Windows C runtime writes nothing for it.
    size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d T %H:%M:%S", &tm);
    root_->attribute("tstamp") = std::string(stamp, n);

    switch (unitSystem_) {
        case UnitSystem::Imperial:
            root_->attribute("units") = "imperial";
            converter_ = std::make_unique<ImperialUnits>(family());
            break;
        case UnitSystem::Metric:
            root_->attribute("units") = "metric";
            converter_ = std::make_unique<MetricUnits>(family());
            break;
        case UnitSystem::Scientific:
            root_->attribute("units") = "scientific";
            converter_ = std::make_unique<ScientificUnits>(family());
            break;
        default:
            trace::write(1, "GenerateT2::SetUnits() Unknown Conversion Units");
            throw CriticalError(ErrorCode::BadUnitSystem);
    }
    trace::write(4, "GenerateT2::SetUnits( \"%s\" )", root_->attribute("units").c_str());
    root_->attribute("xmlns:talvek") = std::string(DcdmlNamespace) + "-talvek";
    writeGeneratorBlock();
    trace::write(2, "GenerateT2::Generater Initialize - OK");
}

void DcdmlWriterBase::writeGeneratorBlock() {
    if (stamp_.program) {
        generator_->attribute("name") = stamp_.program->name;
        generator_->attribute("version") = stamp_.program->version;
    } else {
        generator_->attribute("name") = "Talvek Downloader";
        generator_->attribute("version") = "";
    }
    generator_->attribute("vendor") = "Pelko Inv.";
    trace::write(2, "GenerateT2::Generater Info OK");
}

void DcdmlWriterBase::writeDeviceBlock(XmlElement* device, const std::string& serial) {
    device->attribute("vendor") = "Talvek Oy";
    device->attribute("model") = modelName();
    device->attribute("serial") = serial;
    device->attribute("version") = firmwareVersion();
}

std::string DcdmlWriterBase::modelName() const {
    return talvek::modelName(set_.header);
}

std::string DcdmlWriterBase::firmwareVersion() const {
    return talvek::firmwareVersion(set_.header);
}

std::string DcdmlWriterBase::diveModeText() const {
    uint8_t m = headerByte(0x73);
    switch (m & 0x0F) {
        case 0:
            return "air";
        case 1:
            return "nitrox";
        case 2:
            return "gauge";
    }
    if (m & 0x80) return "free";
    trace::write(1, "Generater::getdivemode()  Unknown Dive Mode!!");
    return std::string();
}

std::string DcdmlWriterBase::intText(uint32_t value) {
    return format("%i", static_cast<int>(static_cast<uint16_t>(value)));
}

std::string DcdmlWriterBase::byteText(uint32_t value) {
    return format("%i", static_cast<int>(value & 0xFF));
}

std::string DcdmlWriterBase::decimal(int64_t value) {
    return format("%" PRId64, value);
}

std::string DcdmlWriterBase::sampleDepthText(long double depth) const {
    double d = static_cast<double>(depth);
    switch (converter_->system()) {
        case UnitSystem::Imperial:
            return format("%.1f", d);
        case UnitSystem::Metric:
            return format("%.0f", d);
        default:
            return format("%.3f", d);
    }
}

std::string DcdmlWriterBase::pressureText(int32_t pressure) const {
    double p = pressure;
    switch (converter_->system()) {
        case UnitSystem::Imperial:
            return format("%.0f", p);
        case UnitSystem::Metric:
            return format("%.1f", p);
        default:
            return format("%.2f", p);
    }
}

std::string DcdmlWriterBase::summaryDepthText(int32_t rawDepth) const {
    return summaryDepthTextOf(converter_->depth(rawDepth));
}

std::string DcdmlWriterBase::summaryDepthTextOf(long double depth) const {
    switch (converter_->system()) {
        case UnitSystem::Imperial:
            return format("%.1f", static_cast<double>(depth));
        case UnitSystem::Metric:
            return format("%.1f", static_cast<double>(depth) * 0.01);
        default:
            return format("%.3f", static_cast<double>(depth));
    }
}

std::string DcdmlWriterBase::minutesText(uint32_t minutes) {
    return format("%02u:%02u:00", minutes / 60, minutes % 60);
}

std::string DcdmlWriterBase::personalFactorText(uint8_t code) {
    return format("%i", (code & 0x0F) / 3);
}

std::string DcdmlWriterBase::altitudeFactorText(uint8_t code) {
    return format("%i", (code & 0x0F) % 3);
}

void DcdmlWriterBase::diveTimeStamp(XmlElement* dive, const DiveRecord& r) {
    dive->attribute("tstamp") =
        format("%02u-%02u-%02u T %02u:%02u:%02u", 2000u + r.year, unsigned{r.month},
               unsigned{r.day}, unsigned{r.hour}, unsigned{r.minute}, unsigned{r.second});
}

std::string DcdmlWriterBase::surfaceIntervalText(const DiveRecord& r) {
    return format("%02u:%02u:%02u", unsigned{r.surfaceIntervalHours},
                  unsigned{r.surfaceIntervalMinutes}, unsigned{r.surfaceIntervalSeconds});
}

std::string DcdmlWriterBase::computerModeText(const DiveRecord& record) {
    return talvek::computerModeText(record.diveMode);
}

void DcdmlWriterBase::writeDatum(XmlElement* parent, int32_t rawDepth, int flags,
                                 int32_t rawPressure, int32_t rawTemperature, uint32_t time) {
    XmlElement* datum = parent->addChild("datum");
    datum->attribute("depth") = sampleDepthText(converter_->depth(rawDepth));
    if (flags & DatumPressure)
        datum->attribute("pressure") = pressureText(converter_->pressure(rawPressure));
    if (flags & DatumTemperature)
        datum->attribute("temp") = decimal(converter_->temperature(rawTemperature));
    if (flags & DatumTime) datum->attribute("time") = intText(time);
}

void DcdmlWriterBase::addStartMixes(const DiveRecord& dive, int32_t start, int32_t end) {
    mixes_.clear();
    for (const StartMix& mix : startMixes(family(), dive)) {
        if (mix.name)
            addNamedMix(mix.name, mix.o2, start, end);
        else
            addMix(mix.o2, start, end);
        start = end = 0;
    }
}

std::string DcdmlWriterBase::addMix(int32_t o2, int32_t start, int32_t end) {
    return addNamedMix("gas" + decimal(static_cast<int64_t>(mixes_.size()) + 1), o2, start, end);
}

std::string DcdmlWriterBase::addNamedMix(const std::string& name, int32_t o2, int32_t start,
                                         int32_t end) {
    GasMixPtr mix(new GasMix);
    mix->name = name;
    mix->o2 = o2;
    mix->startPressure = start;
    mix->endPressure = end;
    mixes_.push_back(mix);
    return name;
}

void DcdmlWriterBase::writeGasSwitch(XmlElement* parent, const std::string& name, int64_t time,
                                     bool timePresent) {
    XmlElement* sw = parent->addChild("gasswitch");
    sw->attribute("gas") = name;
    if (timePresent) sw->attribute("time") = decimal(time);
}

void DcdmlWriterBase::gasSwitchByO2(XmlElement* parent, int32_t o2, int64_t time) {
    trace::write(4, "Gas Switch to %d", o2);
    bool timePresent = time != -1;
    for (const GasMixPtr& mix : mixes_) {
        if (mix->o2 == o2) {
            trace::write(4, "Found %s(%d%%) in list", mix->name.c_str(), o2);
            writeGasSwitch(parent, mix->name, time, timePresent);
            return;
        }
    }
    std::string name = addMix(o2, -1, -1);
    trace::write(4, "Adding gas %s(%d%%) to MixList", name.c_str(), o2);
    writeGasSwitch(parent, name, time, timePresent);
}

void DcdmlWriterBase::writeGasDefinition(const GasMix& mix, XmlElement* gasDefinitions) {
    if (gasDefinitions) gasDefinitions_ = gasDefinitions;
    if (!gasDefinitions_) return;  // no gasdefinitions element written yet
    XmlElement* gas = gasDefinitions_->addChild("gas");
    gas->attribute("name") = mix.name;
    gas->attribute("o2") = decimal(mix.o2);
    trace::write(3, "Adding GasMix: startpressure =%d  endpressure =%d", mix.startPressure,
                 mix.endPressure);
    if (mix.startPressure >= 1) {
        gas->attribute("startpressure") = pressureText(converter_->pressure(mix.startPressure));
        gas->attribute("endpressure") = pressureText(converter_->pressure(mix.endPressure));
    }
}

void DcdmlWriterBase::writeHeadingUserEvent(XmlElement* parent,
                                            const ProfileDecoder::Event& event) {
    XmlElement* e = parent->addChild("event");
    int64_t time = int64_t{event.data4} + event.time;
    trace::write(3, "Have Event: time= %s\t heading=%s\t extra= %s\t", decimal(time).c_str(),
                 decimal(event.word).c_str(), decimal(event.data2).c_str());
    if (event.word & 0x8000) {
        e->attribute("id") = "user";
        e->attribute("time") = decimal(time);
    } else {
        e->attribute("id") = "heading";
        e->attribute("value") = decimal(event.word >> 1);
        e->attribute("time") = decimal(time);
    }
}

}  // namespace talvek
