// UDDF downloads of the stored images, one test per family: each document
// validates against the UDDF 3.2.3 schema, and its values agree with the
// metric DCDML document of the same download (pinned by the golden files):
// the same dives in the same groups, dates, every sample's depth,
// temperature and tank pressure, the gas switches and the alarms UDDF names,
// the greatest depth, duration and lowest temperature of each dive.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "support/image_download.h"
#include "support/schema_check.h"

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
    return n && n->type == XML_ELEMENT_NODE && std::string(reinterpret_cast<const char*>(n->name)) == name;
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

// What a DCDML dive says, in SI units, read from the metric document.
struct Expected {
    std::string dateTime;
    std::vector<double> depths;  // m, every datum
    std::map<size_t, double> temperatures, pressures;  // by datum index: K, Pa
    int finalTime = -1;                                // s, the last datum's "time"
    int interval = 0;
    std::vector<int> switchO2;  // percent, in order
    std::vector<std::string> alarms;
    double greatestDepth = 0;
    double duration = 0;
    double lowestTemperature = 1e9;
};

Expected FromDcdml(xmlNodePtr dive, int family) {
    Expected e;
    std::string stamp = Attr(dive, "tstamp");  // "2009-09-25 T 07:39:00"
    e.dateTime = stamp.substr(0, 10) + "T" + stamp.substr(13);
    std::map<std::string, int> o2;
    for (xmlNodePtr gas : Children(Child(dive, "gasdefinitions"), "gas"))
        o2[Attr(gas, "name")] = std::stoi(Attr(gas, "o2"));
    xmlNodePtr samples = Child(dive, "samples");
    e.interval = std::stoi(Attr(samples, "interval"));
    // The UDDF names of the DCDML event ids.
    const std::map<std::string, std::string> alarm = {
        {"slow", "ascent"}, {"deco", "deco"}, {"surface", "surface"}};
    for (xmlNodePtr n : Children(samples)) {
        if (Is(n, "datum")) {
            const size_t i = e.depths.size();
            e.depths.push_back(Number(Attr(n, "depth")) / 100);
            if (HasAttr(n, "temp")) e.temperatures[i] = Number(Attr(n, "temp")) + 273.15;
            if (HasAttr(n, "pressure")) e.pressures[i] = Number(Attr(n, "pressure")) * 1e5;
            if (HasAttr(n, "time")) e.finalTime = std::stoi(Attr(n, "time"));
        } else if (Is(n, "gasswitch")) {
            const int percent = o2[Attr(n, "gas")];
            if (percent > 0) e.switchO2.push_back(percent);
        } else if (Is(n, "event")) {
            auto found = alarm.find(Attr(n, "id"));
            if (found != alarm.end()) e.alarms.push_back(found->second);
        }
    }
    for (const auto& [i, t] : e.temperatures) e.lowestTemperature = std::min(e.lowestTemperature, t);
    xmlNodePtr statistics = Child(dive, "statistics");
    if (family == 1) {
        // The dive's three temperatures belong to the start, the deepest
        // point (the first of equals) and the end.
        const auto deepest = std::max_element(e.depths.begin(), e.depths.end());
        e.greatestDepth = *deepest;
        e.duration = (e.depths.size() - 1.0) * e.interval;
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
    const std::string image = std::string(TALVEK_SOURCE_DIR) + "/tests/golden/type" +
                              std::to_string(type) + ".img";
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
        mixO2[Attr(mix, "id")] = static_cast<int>(std::lround(Number(Text(Child(mix, "o2"))) * 100));

    const auto dGroups = All(d.root(), "repetitiongroup");
    const auto uGroups = All(u.root(), "repetitiongroup");
    ASSERT_EQ(uGroups.size(), dGroups.size());
    for (size_t g = 0; g < dGroups.size(); ++g)
        EXPECT_EQ(Children(uGroups[g], "dive").size(), Children(dGroups[g], "dive").size());
    const auto dDives = All(d.root(), "dive");
    const auto uDives = All(u.root(), "dive");
    ASSERT_EQ(uDives.size(), dDives.size());
    ASSERT_GT(dDives.size(), 4u);

    int samplesSeen = 0, temperaturesSeen = 0, pressuresSeen = 0, switchesSeen = 0, alarmsSeen = 0;
    for (size_t i = 0; i < dDives.size(); ++i) {
        SCOPED_TRACE("dive " + std::to_string(i + 1));
        const Expected e = FromDcdml(dDives[i], family);
        xmlNodePtr before = Child(uDives[i], "informationbeforedive");
        EXPECT_EQ(Text(Child(before, "datetime")), e.dateTime);
        EXPECT_EQ(Text(Child(before, "divenumber")), std::to_string(i + 1));

        const auto points = Children(Child(uDives[i], "samples"), "waypoint");
        // Family 1's points are the DCDML datums one for one; families 2
        // and 3 have no separate start point (the first sample is at 0 s).
        const size_t skip = family == 1 ? 0 : 1;
        ASSERT_EQ(points.size() + skip, e.depths.size());
        std::vector<int> switchO2;
        std::vector<std::string> alarms;
        for (size_t p = 0; p < points.size(); ++p) {
            const size_t datum = p + skip;
            EXPECT_NEAR(Number(Text(Child(points[p], "depth"))), e.depths[datum], 0.005) << p;
            const int time = std::stoi(Text(Child(points[p], "divetime")));
            if (p + 1 == points.size() && e.finalTime >= 0)
                EXPECT_EQ(time, e.finalTime);
            else
                EXPECT_EQ(time, static_cast<int>(p) * e.interval) << p;
            xmlNodePtr t = Child(points[p], "temperature");
            ASSERT_EQ(t != nullptr, e.temperatures.count(datum) == 1) << p;
            if (t) {
                EXPECT_NEAR(Number(Text(t)), e.temperatures.at(datum), 0.005) << p;
            }
            xmlNodePtr pressure = Child(points[p], "tankpressure");
            ASSERT_EQ(pressure != nullptr, e.pressures.count(datum) == 1) << p;
            if (pressure) {
                EXPECT_NEAR(Number(Text(pressure)), e.pressures.at(datum), 0.5) << p;
            }
            if (xmlNodePtr s = Child(points[p], "switchmix")) switchO2.push_back(mixO2[Attr(s, "ref")]);
            for (xmlNodePtr a : Children(points[p], "alarm")) alarms.push_back(Text(a));
            samplesSeen += 1;
            temperaturesSeen += t != nullptr;
            pressuresSeen += pressure != nullptr;
        }
        EXPECT_EQ(switchO2, e.switchO2);
        EXPECT_EQ(alarms, e.alarms);
        switchesSeen += static_cast<int>(switchO2.size());
        alarmsSeen += static_cast<int>(alarms.size());

        xmlNodePtr after = Child(uDives[i], "informationafterdive");
        EXPECT_NEAR(Number(Text(Child(after, "greatestdepth"))), e.greatestDepth, 0.005);
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
    if (family != 1) {
        EXPECT_GT(pressuresSeen, 0);
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

}  // namespace talvek
