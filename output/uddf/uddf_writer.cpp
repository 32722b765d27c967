#include "output/uddf/uddf_writer.h"

#include <algorithm>
#include <cstdio>

#include "output/dive_facts.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

const char* const UddfNamespace = "http://www.streit.cc/uddf/3.2/";

namespace {

const char* const UddfVersion = "3.2.3";
const char* const ComputerId = "divecomputer";

// The alarm UDDF names for an event, by its DCDML name; null for the
// others (README lists what UDDF has no element for).
const char* alarmOf(const std::string& name) {
    if (name == "slow") return "ascent";
    if (name == "surface") return "surface";
    if (name == "deco") return "deco";
    return nullptr;
}

const char* const UserMarker = "user";

// Whether UDDF can carry `mark`; `mix` is the id of a switch's mix.
bool carried(const TimelineMark& mark, const std::string& mix) {
    if (mark.kind == TimelineMark::Kind::GasSwitch) return !mix.empty();
    return alarmOf(mark.name) || (mark.name == "heading" && mark.value) || mark.name == "user";
}

std::string number(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

XmlElement* addText(XmlElement* parent, const char* name, const std::string& text) {
    XmlElement* e = parent->addChild(name);
    e->setText(text);
    return e;
}

int clamp(int value, int low, int high) {
    return std::min(std::max(value, low), high);
}

// An xs:dateTime.  A damaged record's fields are brought into range (month
// 13 becomes 12, February 30 becomes the 28th or 29th): the schema
// requires a date and a logbook refuses the whole file over one that is
// not; `repaired` says whether that happened.
std::string dateTime(int year, int month, int day, int hour, int minute, int second,
                     bool* repaired = nullptr) {
    static const int DaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int m = clamp(month, 1, 12);
    const int d = clamp(day, 1, m == 2 && !leap ? 28 : DaysIn[m - 1]);
    const int h = clamp(hour, 0, 23), min = clamp(minute, 0, 59), s = clamp(second, 0, 59);
    if (repaired) *repaired = m != month || d != day || h != hour || min != minute || s != second;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, m, d, h, min, s);
    return text;
}

std::string mixName(int32_t o2) {
    return o2 == 21 ? "Air" : "EAN" + std::to_string(o2);
}

}  // namespace

UddfWriter::UddfWriter(const DiveSet& set, const DocumentStamp& stamp)
    : Writer(set), stamp_(stamp), si_(set.family) {}

std::string UddfWriter::mixId(int32_t o2) {
    if (o2 < 1 || o2 > 100) return std::string();
    auto found = mixIds_.find(o2);
    if (found != mixIds_.end()) return found->second;
    return mixIds_[o2] = "mix" + std::to_string(o2);
}

void UddfWriter::make(XmlDocument& document) {
    trace::write(trace::Info, "Generate::UDDF: Begin %d dives",
                 static_cast<int>(set_.dives.size()));
    const std::vector<uint32_t> numbers = logNumbers(set_);
    if (numbers.empty() && !set_.dives.empty())
        trace::write(trace::Error,
                     "Generate::UDDF: The computer counts %u dives, fewer than the %u it holds: "
                     "no dive numbers",
                     unsigned{headerWord(0x26)},
                     static_cast<unsigned>(set_.dives.size() + set_.unreadable.size()));
    // Every profile is read before anything is written: the mix list comes
    // before the dives that name its mixes.
    std::vector<std::vector<Dive>> groups;
    int place = 0;
    for (const std::vector<ConstDivePtr>& records : repetitionGroups(set_)) {
        groups.emplace_back();
        for (const ConstDivePtr& record : records) {
            Dive dive = readDive(record, ++place);
            if (!numbers.empty()) dive.number = numbers[static_cast<size_t>(place - 1)];
            groups.back().push_back(std::move(dive));
        }
    }

    XmlElement* root = document.createRoot("uddf");
    root->attribute("xmlns") = UddfNamespace;
    root->attribute("version") = UddfVersion;
    writeGenerator(root);
    writeOwner(root);
    // Each list needs at least one child: a download without mixes or dives
    // leaves it out.
    if (!mixIds_.empty()) writeGasDefinitions(root->addChild("gasdefinitions"));
    if (!groups.empty()) {
        XmlElement* profileData = root->addChild("profiledata");
        int groupNumber = 0;
        for (const std::vector<Dive>& dives : groups) {
            XmlElement* group = profileData->addChild("repetitiongroup");
            group->attribute("id") = "group" + std::to_string(++groupNumber);
            for (const Dive& dive : dives) writeDive(group, dive);
        }
    }
    trace::write(trace::Info, "Generate::Make() Building Document");
    document.build();
}

void UddfWriter::writeGenerator(XmlElement* root) {
    XmlElement* generator = root->addChild("generator");
    addText(generator, "name", stamp_.program ? stamp_.program->name : "Talvek Downloader");
    addText(generator, "type", "converter");
    if (stamp_.program) addText(generator, "version", stamp_.program->version);
    const platform::LocalTime& t = stamp_.time;
    addText(generator, "datetime", dateTime(t.year, t.month, t.day, t.hour, t.minute, t.second));
}

void UddfWriter::writeOwner(XmlElement* root) {
    XmlElement* owner = root->addChild("diver")->addChild("owner");
    owner->attribute("id") = "owner";
    // The computer knows no name of its owner; the elements are required.
    XmlElement* personal = owner->addChild("personal");
    personal->addChild("firstname");
    personal->addChild("lastname");
    XmlElement* computer = owner->addChild("equipment")->addChild("divecomputer");
    computer->attribute("id") = ComputerId;
    const std::string model = modelName(set_.header);
    addText(computer, "name", model);
    XmlElement* maker = computer->addChild("manufacturer");
    maker->attribute("id") = "manufacturer";
    addText(maker, "name", "Talvek Oy");
    addText(computer, "model", model);
    addText(computer, "serialnumber", serialNumber(set_));
    // UDDF has no element for the firmware.
    addText(computer->addChild("notes"), "para", "Firmware " + firmwareVersion(set_.header));
}

void UddfWriter::writeGasDefinitions(XmlElement* gasDefinitions) {
    for (const auto& [o2, id] : mixIds_) {
        XmlElement* mix = gasDefinitions->addChild("mix");
        mix->attribute("id") = id;
        addText(mix, "name", mixName(o2));
        addText(mix, "o2", number("%.2f", o2 / 100.0));
        addText(mix, "he", "0.00");  // these computers know no helium
    }
}

bool UddfWriter::Waypoint::take(const TimelineMark& mark, const std::string& mix) {
    if (mark.kind == TimelineMark::Kind::GasSwitch) {
        if (!switchMix.empty()) return false;
        switchMix = mix;
    } else if (const char* alarm = alarmOf(mark.name)) {
        alarms.push_back(alarm);
    } else if (mark.name == "heading") {
        if (heading) return false;
        heading = mark.value;
    } else {
        if (marker) return false;
        marker = UserMarker;
    }
    return true;
}

UddfWriter::Dive UddfWriter::readDive(const ConstDivePtr& record, int place) {
    const DiveRecord& d = *record;
    const DiveTimeline line = readTimeline(family(), record);
    Dive dive;
    dive.record = record;
    dive.place = place;
    dive.tanks = tanks(line);
    dive.points = waypoints(d, line);
    // The mean depth weighs each depth by the time it lasted, from the
    // surface at the start to the surface at the end.
    double area = 0;
    const Waypoint* last = nullptr;
    for (const Waypoint& point : dive.points) {
        if (!point.depth) continue;
        dive.greatestDepth = std::max(dive.greatestDepth, *point.depth);
        if (point.temperature)
            dive.lowestTemperature =
                std::min(dive.lowestTemperature.value_or(*point.temperature), *point.temperature);
        if (last)
            area +=
                static_cast<double>(point.time - last->time) * (*point.depth + *last->depth) / 2;
        last = &point;
    }
    if (!line.samples.empty() && last->time > 0)
        dive.meanDepth = area / static_cast<double>(last->time);
    // Families 2 and 3 keep the greatest depth and the duration in the
    // dive's header; family 1 has only its profile.
    dive.duration = line.end;
    if (family() != DataFamily::Family1) {
        dive.greatestDepth = si_.metres(d.maxDepth);
        dive.duration = d.diveTime * 60.0;
    }
    return dive;
}

std::vector<UddfWriter::Tank> UddfWriter::tanks(const DiveTimeline& line) {
    std::vector<Tank> tanks;
    if (!line.mixes.empty()) {
        Tank first;
        first.mix = mixId(line.mixes.front().o2);
        if (line.pressures) {
            first.begin = si_.pascals(line.pressures->start);
            first.end = si_.pascals(line.pressures->end);
        }
        // A gauge dive's cylinder has no known gas, but may have pressures.
        if (!first.mix.empty() || first.begin) tanks.push_back(first);
    }
    for (const TimelineMark& mark : line.marks) {
        if (mark.kind != TimelineMark::Kind::GasSwitch) continue;
        const std::string mix = mixId(mark.o2);
        const bool known = std::any_of(tanks.begin(), tanks.end(),
                                       [&](const Tank& tank) { return tank.mix == mix; });
        if (!mix.empty() && !known) tanks.push_back({mix, std::nullopt, std::nullopt});
    }
    return tanks;
}

void UddfWriter::writeDive(XmlElement* group, const Dive& source) {
    const DiveRecord& d = *source.record;
    XmlElement* dive = group->addChild("dive");
    dive->attribute("id") = "dive" + std::to_string(source.place);

    XmlElement* before = dive->addChild("informationbeforedive");
    if (source.number) addText(before, "divenumber", std::to_string(*source.number));
    bool repaired = false;
    addText(before, "datetime",
            dateTime(2000 + d.year, d.month, d.day, d.hour, d.minute, d.second, &repaired));
    if (repaired)
        trace::write(trace::Error, "Generate::UDDF: Dive %d has no valid date (%u-%u-%u %u:%u:%u)",
                     source.place, unsigned{d.year}, unsigned{d.month}, unsigned{d.day},
                     unsigned{d.hour}, unsigned{d.minute}, unsigned{d.second});
    XmlElement* interval = before->addChild("surfaceintervalbeforedive");
    const int passed =
        d.surfaceIntervalHours * 3600 + d.surfaceIntervalMinutes * 60 + d.surfaceIntervalSeconds;
    // The first dive of a series follows no dive the computer still counts.
    if (d.diveNumber == 1 && passed == 0)
        interval->addChild("infinity");
    else
        addText(interval, "passedtime", std::to_string(passed));

    for (const Tank& tank : source.tanks) {
        XmlElement* data = dive->addChild("tankdata");
        if (!tank.mix.empty()) data->addChild("link")->attribute("ref") = tank.mix;
        // The schema requires a start pressure: 0 Pa stands for none recorded.
        addText(data, "tankpressurebegin", number("%.0f", tank.begin.value_or(0)));
        if (tank.end) addText(data, "tankpressureend", number("%.0f", *tank.end));
    }

    XmlElement* samples = dive->addChild("samples");
    for (const Waypoint& point : source.points) writeWaypoint(samples, point);

    XmlElement* after = dive->addChild("informationafterdive");
    addText(after, "greatestdepth", number("%.2f", source.greatestDepth));
    addText(after, "diveduration", number("%.0f", source.duration));
    if (source.lowestTemperature)
        addText(after, "lowesttemperature", number("%.2f", *source.lowestTemperature));
    if (source.meanDepth) addText(after, "averagedepth", number("%.2f", *source.meanDepth));
}

std::vector<UddfWriter::Waypoint> UddfWriter::waypoints(const DiveRecord& d,
                                                        const DiveTimeline& line) {
    // The profile opens and closes at the surface, as the DCDML profile
    // does; family 1 took the dive's first and last temperature there.
    const bool family1 = family() == DataFamily::Family1;
    std::vector<Waypoint> points;
    Waypoint start;
    start.depth = 0;
    if (family1) start.temperature = si_.kelvin(d.startTemperature);
    points.push_back(start);
    for (const TimelineSample& sample : line.samples) {
        Waypoint point;
        point.depth = si_.metres(sample.depth);
        point.time = sample.xmlTime;
        if (sample.pressure) point.tankPressure = si_.pascals(*sample.pressure);
        if (sample.temperature) point.temperature = si_.kelvin(*sample.temperature);
        points.push_back(point);
    }
    Waypoint end;
    end.depth = 0;
    end.time = line.end;
    if (family1) end.temperature = si_.kelvin(d.endTemperature);
    points.push_back(end);
    if (family1) {
        // The temperature at depth belongs to the deepest point.
        auto deepest = std::max_element(
            points.begin(), points.end(),
            [](const auto& a, const auto& b) { return a.depth.value_or(0) < b.depth.value_or(0); });
        if (deepest->depth.value_or(0) > 0)
            deepest->temperature = si_.kelvin(d.maxDepthTemperature);
    }

    // The first mix is breathed from the start.  Every switch and event goes
    // at its own time: onto the sample taken then when that has room for
    // it, else onto a waypoint of its own without a depth.
    if (!line.mixes.empty()) points.front().switchMix = mixId(line.mixes.front().o2);
    const size_t sampled = points.size();
    for (const TimelineMark& mark : line.marks) {
        const std::string mix =
            mark.kind == TimelineMark::Kind::GasSwitch ? mixId(mark.o2) : std::string();
        if (!carried(mark, mix)) continue;
        const auto samples = points.begin() + static_cast<std::ptrdiff_t>(sampled);
        auto at = std::lower_bound(points.begin(), samples, mark.time,
                                   [](const Waypoint& p, int64_t t) { return p.time < t; });
        bool placed = false;
        for (; !placed && at != samples && at->time == mark.time; ++at)
            placed = at->take(mark, mix);
        if (!placed) {
            Waypoint own;
            own.time = mark.time;
            own.take(mark, mix);
            points.push_back(own);
        }
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const Waypoint& a, const Waypoint& b) { return a.time < b.time; });
    return points;
}

void UddfWriter::writeWaypoint(XmlElement* samples, const Waypoint& point) {
    XmlElement* waypoint = samples->addChild("waypoint");
    for (const char* alarm : point.alarms) addText(waypoint, "alarm", alarm);
    if (point.depth) addText(waypoint, "depth", number("%.2f", *point.depth));
    addText(waypoint, "divetime", std::to_string(point.time));
    if (point.heading) addText(waypoint, "heading", std::to_string(*point.heading));
    if (point.marker) addText(waypoint, "setmarker", point.marker);
    if (!point.switchMix.empty())
        waypoint->addChild("switchmix")->attribute("ref") = point.switchMix;
    if (point.tankPressure) addText(waypoint, "tankpressure", number("%.0f", *point.tankPressure));
    if (point.temperature) addText(waypoint, "temperature", number("%.2f", *point.temperature));
}

}  // namespace talvek
