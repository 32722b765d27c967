// UDDF downloads of the stored images, one test per family: each document
// validates against the UDDF 3.2.3 schema, and its values agree with the
// metric DCDML document of the same download (pinned by the golden files):
// the same dives in the same groups, dates, dive numbers, every DCDML
// sample point at its time with its depth, temperature and tank pressure,
// the cylinders, every gas switch and the events UDDF can carry at their
// times, the greatest and mean depth, duration and lowest temperature.
// Then what a logbook makes of it: its UDDF importer is applied to the UDDF
// of a download of each interface type, and what arrives is checked
// against the same metric DCDML document.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/dive_builder.h"
#include "support/image_download.h"
#include "support/process.h"
#include "support/schema_check.h"
#include "support/scratch_dir.h"

namespace talvek {

namespace {

// A parsed document and the few DOM walks the comparison needs.
class Dom {
  public:
    explicit Dom(const std::string& text)
        : doc_(xmlReadMemory(text.data(), static_cast<int>(text.size()), "doc.xml", nullptr,
                             XML_PARSE_NONET)) {}
    ~Dom() { xmlFreeDoc(doc_); }
    Dom(const Dom&) = delete;
    Dom& operator=(const Dom&) = delete;
    xmlNodePtr root() const { return doc_ ? xmlDocGetRootElement(doc_) : nullptr; }

  private:
    xmlDocPtr doc_;
};

bool Is(xmlNodePtr n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE &&
           std::string(reinterpret_cast<const char*>(n->name)) == name;
}

std::vector<xmlNodePtr> Children(xmlNodePtr parent, const char* name = nullptr) {
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr c = parent ? parent->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && (!name || Is(c, name))) out.push_back(c);
    return out;
}

void Collect(xmlNodePtr n, const char* name, std::vector<xmlNodePtr>& out) {
    for (xmlNodePtr c = n ? n->children : nullptr; c; c = c->next) {
        if (Is(c, name)) out.push_back(c);
        Collect(c, name, out);
    }
}

std::vector<xmlNodePtr> All(xmlNodePtr root, const char* name) {
    std::vector<xmlNodePtr> out;
    Collect(root, name, out);
    return out;
}

xmlNodePtr Child(xmlNodePtr parent, const char* name) {
    auto c = Children(parent, name);
    return c.empty() ? nullptr : c.front();
}

std::string Attr(xmlNodePtr n, const char* name) {
    xmlChar* v = n ? xmlGetProp(n, reinterpret_cast<const xmlChar*>(name)) : nullptr;
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

bool HasAttr(xmlNodePtr n, const char* name) {
    return n && xmlHasProp(n, reinterpret_cast<const xmlChar*>(name));
}

std::string Text(xmlNodePtr n) {
    xmlChar* v = n ? xmlNodeGetContent(n) : nullptr;
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return s;
}

double Number(const std::string& s) {
    return std::stod(s);
}

int Seconds(const std::string& hhmmss) {
    return std::stoi(hhmmss.substr(0, 2)) * 3600 + std::stoi(hhmmss.substr(3, 2)) * 60 +
           std::stoi(hhmmss.substr(6, 2));
}

// Things at times, in time order (what happened at the same time in the
// order the profile has it).
template <typename T>
using Timed = std::vector<std::pair<int, T>>;

template <typename T>
void SortByTime(Timed<T>& marks) {
    std::stable_sort(marks.begin(), marks.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

// What a DCDML dive says, in SI units, read from the metric document.
struct Expected {
    std::string dateTime;
    std::vector<int> times;                            // s, every datum
    std::vector<double> depths;                        // m, every datum
    std::map<size_t, double> temperatures, pressures;  // by datum index: K, Pa
    int interval = 0;
    Timed<int> switches;        // O2 percent of the mix switched to
    Timed<std::string> alarms;  // by their UDDF names
    Timed<int> headings;        // degrees
    Timed<std::string> marks;   // the diver's
    // O2 percent of each mix breathed, the first one first (0: a gas not
    // known); the first cylinder's start and end pressure (Pa).
    std::vector<int> cylinders;
    std::optional<std::pair<double, double>> firstCylinder;
    double greatestDepth = 0;
    double meanDepth = 0;
    double duration = 0;
    double lowestTemperature = 1e9;
};

// The metric document's depths are whole centimetres, and a mean is written
// to the centimetre: the two roundings add up.
constexpr double MeanDepthTolerance = 0.0101;

Expected FromDcdml(xmlNodePtr dive, int family) {
    Expected e;
    std::string stamp = Attr(dive, "tstamp");  // "2009-09-25 T 07:39:00"
    e.dateTime = stamp.substr(0, 10) + "T" + stamp.substr(13);
    std::map<std::string, int> o2;
    xmlNodePtr gases = Child(dive, "gasdefinitions");
    for (xmlNodePtr gas : Children(gases, "gas"))
        o2[Attr(gas, "name")] = std::stoi(Attr(gas, "o2"));
    if (xmlNodePtr first = Child(gases, "gas"); HasAttr(first, "startpressure"))
        e.firstCylinder = {Number(Attr(first, "startpressure")) * 1e5,
                           Number(Attr(first, "endpressure")) * 1e5};
    xmlNodePtr samples = Child(dive, "samples");
    e.interval = std::stoi(Attr(samples, "interval"));
    // The UDDF names of the DCDML event ids.
    const std::map<std::string, std::string> alarm = {
        {"slow", "ascent"}, {"deco", "deco"}, {"surface", "surface"}};
    std::vector<int> breathed;  // O2 of the first mix, then of each switch
    for (xmlNodePtr n : Children(samples)) {
        if (Is(n, "datum")) {
            // Only the first and the last datum of families 2 and 3 give a
            // time; the others are one interval after the datum before.
            const size_t i = e.depths.size();
            e.times.push_back(HasAttr(n, "time") ? std::stoi(Attr(n, "time"))
                                                 : static_cast<int>(i) * e.interval);
            e.depths.push_back(Number(Attr(n, "depth")) / 100);
            if (HasAttr(n, "temp")) e.temperatures[i] = Number(Attr(n, "temp")) + 273.15;
            if (HasAttr(n, "pressure")) e.pressures[i] = Number(Attr(n, "pressure")) * 1e5;
            continue;
        }
        // Family 1 gives events and switches no time: they share the time
        // of the datum before them.
        int time = e.times.empty() ? 0 : e.times.back();
        if (HasAttr(n, "time")) time = std::stoi(Attr(n, "time"));
        if (Is(n, "gasswitch")) {
            const int percent = o2[Attr(n, "gas")];
            breathed.push_back(percent);
            if (percent > 0) e.switches.push_back({time, percent});
        } else if (Is(n, "event")) {
            const std::string id = Attr(n, "id");
            // A family 2/3 surface event gives its offset from the sample
            // before it alone (no sample before it: from the start).
            if (id == "surface" && family != 1)
                time += std::max(static_cast<int>(e.times.size()) - 2, 0) * e.interval;
            if (auto found = alarm.find(id); found != alarm.end())
                e.alarms.push_back({time, found->second});
            else if (id == "heading")
                e.headings.push_back({time, std::stoi(Attr(n, "value"))});
            else if (id == "user")
                e.marks.push_back({time, "user"});
        }
    }
    SortByTime(e.switches);
    SortByTime(e.alarms);
    SortByTime(e.headings);
    SortByTime(e.marks);
    // A cylinder per mix breathed; a gauge dive's gas is not known.
    if (breathed.front() > 0 || e.firstCylinder) e.cylinders.push_back(breathed.front());
    for (int percent : breathed)
        if (percent > 0 &&
            std::find(e.cylinders.begin(), e.cylinders.end(), percent) == e.cylinders.end())
            e.cylinders.push_back(percent);

    for (const auto& [i, t] : e.temperatures)
        e.lowestTemperature = std::min(e.lowestTemperature, t);
    double area = 0;
    for (size_t i = 1; i < e.depths.size(); ++i)
        area += (e.times[i] - e.times[i - 1]) * (e.depths[i] + e.depths[i - 1]) / 2;
    e.meanDepth = area / e.times.back();
    xmlNodePtr statistics = Child(dive, "statistics");
    if (family == 1) {
        // The dive's three temperatures belong to the start, the deepest
        // point (the first of equals) and the end.
        const auto deepest = std::max_element(e.depths.begin(), e.depths.end());
        e.greatestDepth = *deepest;
        e.duration = e.times.back();
        xmlNodePtr t = Child(statistics, "temperature");
        e.temperatures[0] = Number(Attr(t, "start")) + 273.15;
        e.temperatures[e.depths.size() - 1] = Number(Attr(t, "end")) + 273.15;
        if (*deepest > 0)
            e.temperatures[static_cast<size_t>(deepest - e.depths.begin())] =
                Number(Attr(t, "atdepth")) + 273.15;
        for (const char* a : {"start", "atdepth", "end"})
            e.lowestTemperature = std::min(e.lowestTemperature, Number(Attr(t, a)) + 273.15);
    } else {
        e.greatestDepth = Number(Attr(statistics, "maxdepth")) / 100;
        e.duration = Seconds(Attr(statistics, "divetime"));
    }
    return e;
}

void CompareFamily(int type) {
    const std::string image =
        std::string(TALVEK_SOURCE_DIR) + "/tests/golden/type" + std::to_string(type) + ".img";
    const int family = type == 3 ? 4 : type;
    const std::string dcdml = DownloadDocument(image, "-v=2 -um");
    // -uddf wins over -v; the unit options do not matter to it.
    const std::string uddf = DownloadDocument(image, "-v=2 -uddf -ui");
    ASSERT_EQ(dcdmlSchemaErrors(dcdml), "");
    ASSERT_EQ(uddfSchemaErrors(uddf), "") << uddf;

    Dom d(dcdml), u(uddf);
    ASSERT_TRUE(d.root() && u.root());
    ASSERT_TRUE(Is(u.root(), "uddf"));
    // Mixes by id, as O2 percent.
    std::map<std::string, int> mixO2;
    for (xmlNodePtr mix : All(u.root(), "mix"))
        mixO2[Attr(mix, "id")] =
            static_cast<int>(std::lround(Number(Text(Child(mix, "o2"))) * 100));

    const auto dGroups = All(d.root(), "repetitiongroup");
    const auto uGroups = All(u.root(), "repetitiongroup");
    ASSERT_EQ(uGroups.size(), dGroups.size());
    for (size_t g = 0; g < dGroups.size(); ++g)
        EXPECT_EQ(Children(uGroups[g], "dive").size(), Children(dGroups[g], "dive").size());
    const auto dDives = All(d.root(), "dive");
    const auto uDives = All(u.root(), "dive");
    ASSERT_EQ(uDives.size(), dDives.size());
    ASSERT_GT(dDives.size(), 4u);
    // The newest dive is the one the computer's count of dives names.
    const int counted = std::stoi(Attr(All(d.root(), "history").front(), "dives"));

    int samplesSeen = 0, temperaturesSeen = 0, pressuresSeen = 0, switchesSeen = 0, alarmsSeen = 0;
    int headingsSeen = 0, marksSeen = 0, cylindersSeen = 0;
    for (size_t i = 0; i < dDives.size(); ++i) {
        SCOPED_TRACE("dive " + std::to_string(i + 1));
        const Expected e = FromDcdml(dDives[i], family);
        xmlNodePtr before = Child(uDives[i], "informationbeforedive");
        EXPECT_EQ(Text(Child(before, "datetime")), e.dateTime);
        EXPECT_EQ(Text(Child(before, "divenumber")),
                  std::to_string(counted - static_cast<int>(dDives.size() - 1 - i)));

        // Every DCDML datum is a waypoint with a depth, at its time; events
        // and switches are at theirs, with or without a depth.
        size_t datum = 0;
        Timed<int> switches, headings;
        Timed<std::string> alarms, marks;
        for (xmlNodePtr point : Children(Child(uDives[i], "samples"), "waypoint")) {
            const int time = std::stoi(Text(Child(point, "divetime")));
            if (xmlNodePtr s = Child(point, "switchmix"))
                switches.push_back({time, mixO2[Attr(s, "ref")]});
            for (xmlNodePtr a : Children(point, "alarm")) alarms.push_back({time, Text(a)});
            if (xmlNodePtr h = Child(point, "heading"))
                headings.push_back({time, std::stoi(Text(h))});
            if (xmlNodePtr m = Child(point, "setmarker")) marks.push_back({time, Text(m)});
            xmlNodePtr t = Child(point, "temperature");
            xmlNodePtr pressure = Child(point, "tankpressure");
            xmlNodePtr depth = Child(point, "depth");
            if (!depth) {
                EXPECT_TRUE(!t && !pressure) << time;
                continue;
            }
            ASSERT_LT(datum, e.depths.size());
            EXPECT_EQ(time, e.times[datum]) << datum;
            EXPECT_NEAR(Number(Text(depth)), e.depths[datum], 0.005) << datum;
            ASSERT_EQ(t != nullptr, e.temperatures.count(datum) == 1) << datum;
            if (t) {
                EXPECT_NEAR(Number(Text(t)), e.temperatures.at(datum), 0.005) << datum;
            }
            ASSERT_EQ(pressure != nullptr, e.pressures.count(datum) == 1) << datum;
            if (pressure) {
                EXPECT_NEAR(Number(Text(pressure)), e.pressures.at(datum), 0.5) << datum;
            }
            ++datum;
            samplesSeen += 1;
            temperaturesSeen += t != nullptr;
            pressuresSeen += pressure != nullptr;
        }
        EXPECT_EQ(datum, e.depths.size());
        EXPECT_EQ(switches, e.switches);
        EXPECT_EQ(alarms, e.alarms);
        EXPECT_EQ(headings, e.headings);
        EXPECT_EQ(marks, e.marks);
        switchesSeen += static_cast<int>(switches.size());
        alarmsSeen += static_cast<int>(alarms.size());
        headingsSeen += static_cast<int>(headings.size());
        marksSeen += static_cast<int>(marks.size());

        // A cylinder per mix breathed; the first holds the pressures, the
        // others start at 0 Pa (none recorded).
        const auto tanks = Children(uDives[i], "tankdata");
        std::vector<int> cylinders;
        for (xmlNodePtr tank : tanks) {
            xmlNodePtr link = Child(tank, "link");
            cylinders.push_back(link ? mixO2[Attr(link, "ref")] : 0);
            const bool first = tank == tanks.front();
            const double begin = Number(Text(Child(tank, "tankpressurebegin")));
            xmlNodePtr end = Child(tank, "tankpressureend");
            if (first && e.firstCylinder) {
                EXPECT_NEAR(begin, e.firstCylinder->first, 0.5);
                ASSERT_NE(end, nullptr);
                EXPECT_NEAR(Number(Text(end)), e.firstCylinder->second, 0.5);
                cylindersSeen += 1;
            } else {
                EXPECT_EQ(begin, 0);
                EXPECT_EQ(end, nullptr);
            }
        }
        EXPECT_EQ(cylinders, e.cylinders);

        xmlNodePtr after = Child(uDives[i], "informationafterdive");
        EXPECT_NEAR(Number(Text(Child(after, "greatestdepth"))), e.greatestDepth, 0.005);
        xmlNodePtr mean = Child(after, "averagedepth");
        ASSERT_EQ(mean != nullptr, e.depths.size() > 2);  // samples besides the surface
        if (mean) {
            EXPECT_NEAR(Number(Text(mean)), e.meanDepth, MeanDepthTolerance);
        }
        EXPECT_NEAR(Number(Text(Child(after, "diveduration"))), e.duration, 0.5);
        xmlNodePtr lowest = Child(after, "lowesttemperature");
        ASSERT_EQ(lowest != nullptr, e.lowestTemperature < 1e9);
        if (lowest) {
            EXPECT_NEAR(Number(Text(lowest)), e.lowestTemperature, 0.005);
        }
    }
    // The images hold all of these, so the comparison above has compared them.
    EXPECT_GT(samplesSeen, 100);
    EXPECT_GT(temperaturesSeen, 0);
    EXPECT_GT(switchesSeen, static_cast<int>(dDives.size()));
    EXPECT_GT(alarmsSeen, 0);
    EXPECT_GT(marksSeen, 0);
    EXPECT_GT(cylindersSeen, 0);
    if (family != 1) {
        EXPECT_GT(pressuresSeen, 0);
        EXPECT_GT(headingsSeen, 0);
    }

    // The computer, as the DCDML device element names it.
    xmlNodePtr device = All(d.root(), "device").front();
    xmlNodePtr computer = All(u.root(), "divecomputer").front();
    EXPECT_EQ(Text(Child(computer, "model")), Attr(device, "model"));
    EXPECT_EQ(Text(Child(computer, "serialnumber")), Attr(device, "serial"));
    EXPECT_EQ(Text(All(computer, "para").front()), "Firmware " + Attr(device, "version"));
    xmlNodePtr generator = Child(u.root(), "generator");
    xmlNodePtr dGenerator = All(d.root(), "generator").front();
    EXPECT_EQ(Text(Child(generator, "name")), Attr(dGenerator, "name"));
    EXPECT_EQ(Text(Child(generator, "version")), Attr(dGenerator, "version"));
    EXPECT_EQ(Text(Child(generator, "datetime")), "2024-05-17T10:20:30");
}

}  // namespace

TEST(UddfDownload, Family1AgreesWithTheMetricDocument) {
    CompareFamily(1);
}

TEST(UddfDownload, Family2AgreesWithTheMetricDocument) {
    CompareFamily(2);
}

TEST(UddfDownload, Family3AgreesWithTheMetricDocument) {
    CompareFamily(3);
}

namespace {

// "m:ss min", as the importer gives times.
std::string MinutesAndSeconds(int seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d min", seconds / 60, seconds % 60);
    return text;
}

// The seconds of "m:ss min".
int SecondsOf(const std::string& minutesAndSeconds) {
    const size_t colon = minutesAndSeconds.find(':');
    return std::stoi(minutesAndSeconds.substr(0, colon)) * 60 +
           std::stoi(minutesAndSeconds.substr(colon + 1, 2));
}

// "12.3 bar" and the like as a number of pascals.
double Pascals(const std::string& bar) {
    return Number(bar) * 1e5;
}

// The importer's document for `uddf`, through xsltproc.
std::string Imported(const std::string& uddf) {
    ScratchDir dir;
    ScratchDir::write(dir.file("dives.uddf"), uddf);
    e2e::Process xsltproc({TALVEK_XSLTPROC, TALVEK_LOGBOOK_XSLT, dir.file("dives.uddf")}, {});
    const int status = xsltproc.Wait(60000);
    EXPECT_EQ(status, 0) << xsltproc.StandardError();
    return xsltproc.StandardOutput();
}

struct ImportCase {
    const char* name;
    sim::BuildOptions options;
};

void PrintTo(const ImportCase& c, std::ostream* os) {
    *os << c.name << " seed " << c.options.seed;
}

ImportCase Case(const char* name, replay::InterfaceType type, uint32_t seed) {
    ImportCase c{name, {}};
    c.options.type = type;
    c.options.seed = seed;
    return c;
}

// Computers whose dive numbers are not the dives' places in the download:
// type 1 sends one dive that cannot be read, the rings of types 2 and 3
// have dropped their oldest dives.
std::vector<ImportCase> ImportCases() {
    ImportCase type1 = Case("Type1", replay::InterfaceType::Type1, 21);
    type1.options.dives = 12;
    type1.options.noDiveMarker = true;
    ImportCase type2 = Case("Type2", replay::InterfaceType::Type2, 22);
    type2.options.fill = true;
    ImportCase type3 = Case("Type3", replay::InterfaceType::Type3, 23);
    type3.options.fill = true;
    type3.options.wrap = true;
    return {type1, type2, type3};
}

class UddfImport : public ::testing::TestWithParam<ImportCase> {};

// The logbook's UDDF importer turns the UDDF of a whole download into the
// logbook's own dives: each arrives with its number in the computer's log,
// its date and duration, a cylinder per mix breathed (O2, and the pressures
// the computer recorded), every DCDML sample point at its time with its
// depth, temperature and pressure, the greatest and mean depth, a gas
// change at the time of every switch, and the alarms and headings at theirs.
TEST_P(UddfImport, TheLogbookGetsEveryDiveWhole) {
    if (!ScratchDir::exists(TALVEK_LOGBOOK_XSLT))
        GTEST_SKIP() << "the logbook's UDDF importer is not at " << TALVEK_LOGBOOK_XSLT
                     << " (CMake cache entry TALVEK_LOGBOOK_XSLT)";
    if (std::string(TALVEK_XSLTPROC).empty())
        GTEST_SKIP() << "xsltproc was not found when the tree was configured (scripts/setup.sh "
                        "installs it)";
    const sim::BuiltComputer built = sim::buildComputer(GetParam().options);
    const int family = built.meant.type == replay::InterfaceType::Type1   ? 1
                       : built.meant.type == replay::InterfaceType::Type2 ? 2
                                                                          : 4;
    const std::string dcdml = DownloadDocument(built.image, "-v=2 -um");
    const std::string uddf = DownloadDocument(built.image, "-uddf");
    ASSERT_EQ(uddfSchemaErrors(uddf), "");
    const std::string imported = Imported(uddf);
    Dom d(dcdml), l(imported);
    ASSERT_TRUE(d.root() && l.root()) << imported.substr(0, 500);

    // The computer's count: every dive it logged, those the ring dropped
    // and those that could not be read included.
    std::vector<std::string> numbers;
    uint32_t logged = built.meant.overwritten;
    for (const sim::MeantDive& dive : built.meant.dives) {
        ++logged;
        if (!dive.noDiveMarker) numbers.push_back(std::to_string(logged));
    }
    const auto dDives = All(d.root(), "dive");
    const auto lDives = Children(Child(l.root(), "dives"), "dive");
    ASSERT_EQ(lDives.size(), dDives.size());
    ASSERT_EQ(lDives.size(), numbers.size());
    EXPECT_NE(numbers.back(), std::to_string(numbers.size()));

    int samples = 0, pressures = 0, temperatures = 0, switches = 0, alarms = 0, headings = 0;
    int cylinders = 0, closeSwitches = 0;
    for (size_t i = 0; i < dDives.size(); ++i) {
        SCOPED_TRACE("dive " + std::to_string(i + 1));
        const Expected e = FromDcdml(dDives[i], family);
        xmlNodePtr dive = lDives[i];
        EXPECT_EQ(Attr(dive, "number"), numbers[i]);
        EXPECT_EQ(Attr(dive, "date") + "T" + Attr(dive, "time"), e.dateTime);
        EXPECT_EQ(Attr(dive, "duration"), MinutesAndSeconds(static_cast<int>(e.duration)));

        std::vector<int> o2;
        for (xmlNodePtr cylinder : Children(dive, "cylinder")) {
            const std::string fraction = Attr(cylinder, "o2");
            o2.push_back(fraction.empty() ? 0
                                          : static_cast<int>(std::lround(Number(fraction) * 100)));
        }
        EXPECT_EQ(o2, e.cylinders);
        if (e.firstCylinder) {
            xmlNodePtr first = Child(dive, "cylinder");
            EXPECT_NEAR(Pascals(Attr(first, "start")), e.firstCylinder->first, 0.5);
            EXPECT_NEAR(Pascals(Attr(first, "end")), e.firstCylinder->second, 0.5);
            cylinders += 1;
        }

        xmlNodePtr computer = Child(dive, "divecomputer");
        xmlNodePtr depth = Child(computer, "depth");
        EXPECT_NEAR(Number(Attr(depth, "max")), e.greatestDepth, 0.005);
        if (e.depths.size() > 2) {
            EXPECT_NEAR(Number(Attr(depth, "mean")), e.meanDepth, MeanDepthTolerance);
        }

        // The importer drops the temperatures of a dive whose every one
        // reads 0 degrees Celsius.
        const bool anyTemperature =
            std::any_of(e.temperatures.begin(), e.temperatures.end(),
                        [](const auto& t) { return std::abs(t.second - 273.15) > 0.001; });
        const auto points = Children(computer, "sample");
        ASSERT_EQ(points.size(), e.depths.size());
        for (size_t k = 0; k < points.size(); ++k) {
            EXPECT_EQ(Attr(points[k], "time"), MinutesAndSeconds(e.times[k])) << k;
            EXPECT_NEAR(Number(Attr(points[k], "depth")), e.depths[k], 0.005) << k;
            const bool temperature = anyTemperature && e.temperatures.count(k);
            ASSERT_EQ(HasAttr(points[k], "temp"), temperature) << k;
            if (temperature) {
                EXPECT_NEAR(Number(Attr(points[k], "temp")) + 273.15, e.temperatures.at(k), 0.05);
            }
            ASSERT_EQ(HasAttr(points[k], "pressure"), e.pressures.count(k) == 1) << k;
            if (e.pressures.count(k)) {
                EXPECT_NEAR(Pascals(Attr(points[k], "pressure")), e.pressures.at(k), 0.5) << k;
            }
            temperatures += temperature;
            pressures += static_cast<int>(e.pressures.count(k));
        }
        samples += static_cast<int>(points.size());

        // The importer reads a switch's mix only from an un-namespaced path:
        // a gas change arrives at its time, its O2 with the cylinders.
        std::vector<int> changes, wanted;
        Timed<std::string> named;
        Timed<int> turned;
        for (xmlNodePtr event : Children(computer, "event")) {
            const int time = SecondsOf(Attr(event, "time"));
            const std::string name = Attr(event, "name");
            if (name == "gaschange")
                changes.push_back(time);
            else if (name == "heading")
                turned.push_back({time, std::stoi(Attr(event, "value"))});
            else
                named.push_back({time, name});
        }
        for (const auto& change : e.switches) wanted.push_back(change.first);
        EXPECT_EQ(changes, wanted);
        EXPECT_EQ(named, e.alarms);
        EXPECT_EQ(turned, e.headings);
        switches += static_cast<int>(changes.size());
        alarms += static_cast<int>(named.size());
        headings += static_cast<int>(turned.size());
        for (size_t k = 1; k < e.switches.size(); ++k)
            closeSwitches += e.switches[k].first - e.switches[k - 1].first < e.interval;
    }
    // The downloads hold all of these, so the comparison above has compared them.
    EXPECT_GT(samples, 500);
    EXPECT_GT(temperatures, 0);
    EXPECT_GT(switches, static_cast<int>(dDives.size()));
    EXPECT_GT(alarms, 0);
    EXPECT_GT(cylinders, 0);
    if (family != 1) {
        EXPECT_GT(pressures, 0);
        EXPECT_GT(headings, 0);
        EXPECT_GT(closeSwitches, 0);  // two switches within one sample interval
    }
}

INSTANTIATE_TEST_SUITE_P(EveryType, UddfImport, ::testing::ValuesIn(ImportCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

}  // namespace talvek
