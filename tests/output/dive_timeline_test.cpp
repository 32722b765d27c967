// The time line the report draws is the dive the XML describes: for the
// memories of simulated computers of every type, and for a few dives made by
// hand, the samples, events, gas switches and mixes of each dive's time line
// are checked against the DCDML document written from the same dive set.
#include "output/dive_timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/units_converter.h"
#include "output/writer_table.h"
#include "sim/dive_builder.h"
#include "support/meant_dive_set.h"
#include "support/profile_bytes.h"
#include "support/writer_inputs.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

using report_test::ProfileBytes;

const XmlElement* child(const XmlElement* e, const std::string& name) {
    for (const auto& c : e->children())
        if (c->name() == name) return c.get();
    return nullptr;
}

const std::string* attribute(const XmlElement* e, const std::string& name) {
    for (const XmlAttribute& a : e->attributes())
        if (a.name == name) return &a.value;
    return nullptr;
}

std::vector<const XmlElement*> xmlDives(XmlDocument& document) {
    std::vector<const XmlElement*> dives;
    const XmlElement* data = child(document.root(), "profiledata");
    for (const auto& group : data->children())
        for (const auto& dive : group->children())
            if (dive->name() == "dive") dives.push_back(dive.get());
    return dives;
}

// Metric DCDML: depths in centimetres, temperatures in degrees Celsius.
void expectSameDive(DataFamily family, const DiveTimeline& line, const XmlElement* dive) {
    const XmlElement* samples = child(dive, "samples");
    ASSERT_NE(samples, nullptr);
    std::vector<const XmlElement*> datums;
    std::vector<const XmlElement*> others;  // events and gas switches, in order
    bool first = true;
    for (const auto& c : samples->children()) {
        if (c->name() == "datum") {
            datums.push_back(c.get());
        } else if (first && c->name() == "gasswitch") {
            first = false;  // the mix the dive starts on, before any sample
        } else {
            others.push_back(c.get());
        }
    }

    // A surface point, every sample, a surface point; the XML puts each
    // sample one interval after the point before it.
    ASSERT_EQ(datums.size(), line.samples.size() + 2);
    const uint32_t interval = static_cast<uint32_t>(std::stoul(*attribute(samples, "interval")));
    for (size_t i = 0; i < line.samples.size(); ++i) {
        SCOPED_TRACE("sample " + std::to_string(i));
        const TimelineSample& s = line.samples[i];
        const XmlElement* d = datums[i + 1];
        EXPECT_EQ(s.xmlTime, (i + 1) * interval);
        const double centimetres = family == DataFamily::Family1 ? s.depth * 30.48 : s.depth;
        EXPECT_NEAR(std::stod(*attribute(d, "depth")), centimetres, 0.5);
        const std::string* temp = attribute(d, "temp");
        ASSERT_EQ(temp != nullptr, s.temperature.has_value());
        if (temp) {
            EXPECT_EQ(std::stoi(*temp), *s.temperature);
        }
        EXPECT_EQ(attribute(d, "pressure") != nullptr, s.pressure.has_value());
    }
    if (family != DataFamily::Family1) {
        EXPECT_EQ(std::stoul(*attribute(datums.back(), "time")), line.end);
    } else {
        EXPECT_EQ(line.end, (line.samples.size() + 1) * interval);
    }

    ASSERT_EQ(others.size(), line.marks.size());
    for (size_t i = 0; i < others.size(); ++i) {
        SCOPED_TRACE("mark " + std::to_string(i));
        const XmlElement* e = others[i];
        const TimelineMark& m = line.marks[i];
        if (m.kind == TimelineMark::Kind::GasSwitch) {
            ASSERT_EQ(e->name(), "gasswitch");
            EXPECT_EQ(*attribute(e, "gas"), m.name);
        } else {
            ASSERT_EQ(e->name(), "event");
            EXPECT_EQ(*attribute(e, "id"), m.name);
            const std::string* value = attribute(e, "value");
            if (!value) value = attribute(e, "talvek:value");
            ASSERT_EQ(value != nullptr, m.value.has_value());
            if (value) {
                EXPECT_EQ(std::stoi(*value), *m.value);
            }
        }
        // Family 1 writes no times; the XML's surface event gives its offset
        // alone, while the time line places it after its sample.
        const std::string* time = attribute(e, "time");
        if (family != DataFamily::Family1 && m.name != "surface") {
            ASSERT_NE(time, nullptr);
            EXPECT_EQ(std::stoll(*time), m.time);
        }
    }

    const XmlElement* gases = child(dive, "gasdefinitions");
    ASSERT_EQ(gases->children().size(), line.mixes.size());
    size_t i = 0;
    for (const auto& gas : gases->children()) {
        EXPECT_EQ(*attribute(gas.get(), "name"), line.mixes[i].name);
        EXPECT_EQ(std::stoi(*attribute(gas.get(), "o2")), line.mixes[i].o2);
        ++i;
    }
    // The cylinder pressures are the first mix's.
    const XmlElement* firstGas = gases->children().front().get();
    const std::string* start = attribute(firstGas, "startpressure");
    ASSERT_EQ(start != nullptr, line.pressures.has_value());
    if (start) {
        const MetricUnits bar(family);
        EXPECT_EQ(std::stod(*start), bar.pressure(line.pressures->start));
        EXPECT_EQ(std::stod(*attribute(firstGas, "endpressure")),
                  bar.pressure(line.pressures->end));
    }
}

void expectSameAsDcdml(const DiveSet& set) {
    XmlDocument document;
    writeDocument(set, OutputChoice{Layout::Dcdml, UnitSystem::Metric},
                  stampAt(2024, 1, 1, 0, 0, 0), document);
    const std::vector<const XmlElement*> dives = xmlDives(document);
    ASSERT_EQ(dives.size(), set.dives.size());
    for (size_t i = 0; i < dives.size(); ++i) {
        SCOPED_TRACE("dive " + std::to_string(i));
        expectSameDive(set.family, readTimeline(set.family, set.dives[i]), dives[i]);
    }
}

class TimelineOfSimulatedMemory : public ::testing::TestWithParam<replay::InterfaceType> {};

TEST_P(TimelineOfSimulatedMemory, MatchesTheXmlOfEveryDive) {
    // Enough dives for every event record and code the simulator stores.
    sim::BuildOptions o;
    o.type = GetParam();
    o.seed = 3;
    o.dives = 24;
    const DiveSet set = simtest::meantDiveSet(sim::buildComputer(o).meant);
    ASSERT_GE(set.dives.size(), 20u);
    expectSameAsDcdml(set);

    size_t marks = 0, samples = 0, pressures = 0;
    for (const ConstDivePtr& d : set.dives) {
        const DiveTimeline line = readTimeline(set.family, d);
        marks += line.marks.size();
        samples += line.samples.size();
        pressures += line.pressures.has_value();
    }
    EXPECT_GT(marks, 10u);
    EXPECT_GT(samples, 100u);
    EXPECT_GT(pressures, 5u);
}

INSTANTIATE_TEST_SUITE_P(EveryType, TimelineOfSimulatedMemory,
                         ::testing::Values(replay::InterfaceType::Type1,
                                           replay::InterfaceType::Type2,
                                           replay::InterfaceType::Type3),
                         [](const auto& info) {
                             return "Type" + std::to_string(static_cast<int>(info.param));
                         });

TEST(Timeline, SwitchesToTheFirstAndSecondMix) {
    // Code 15 switches to the second mix, 143 back to the first; an air dive
    // has no second mix, so its code 15 switches nowhere.
    ProfileBytes p;
    p.word(800).byte(20).raw({3, 15, 4, 3, 143, 9}).endBlock(0xFFFF).word(900).byte(19);
    p.word(0).word(0);
    DiveSet set;
    set.family = DataFamily::Family3;
    auto nitrox = report_test::decodedDive(p, 10, 1, 1);
    nitrox->diveMode = 1;
    nitrox->oxygen1 = 32;
    nitrox->oxygen2 = 50;
    set.dives.push_back(nitrox);
    set.dives.push_back(report_test::decodedDive(p, 10, 1, 1));
    expectSameAsDcdml(set);

    const DiveTimeline withTwo = readTimeline(DataFamily::Family3, set.dives[0]);
    ASSERT_EQ(withTwo.marks.size(), 2u);
    EXPECT_EQ(withTwo.marks[0].name, "gas2");
    EXPECT_EQ(withTwo.marks[0].o2, 50);
    EXPECT_EQ(withTwo.marks[0].time, 4);  // 4 s after the sample at 0 s
    EXPECT_EQ(withTwo.marks[1].name, "gas1");
    EXPECT_EQ(withTwo.marks[1].time, 9);
    // The read that finds the profile's end takes its time step too: the
    // XML's closing point is two intervals after the last sample.
    EXPECT_EQ(withTwo.end, 30u);
    const DiveTimeline air = readTimeline(DataFamily::Family3, set.dives[1]);
    ASSERT_EQ(air.marks.size(), 1u);
    EXPECT_EQ(air.marks[0].name, "Air");
}

TEST(Timeline, Family1MarkersThatNameNothingAndACutGasSwitch) {
    // 121 and 128 name no event; a switch marker as the last byte has no O2.
    DiveSet set;
    set.family = DataFamily::Family1;
    set.dives.push_back(report_test::family1Dive({20, 121, 128, 124, 0xEC}, 20));
    expectSameAsDcdml(set);
    const DiveTimeline line = readTimeline(
        DataFamily::Family1, report_test::family1Dive({20, 121, 128, 124, 0xEC, 135}, 20));
    ASSERT_EQ(line.samples.size(), 2u);
    EXPECT_EQ(line.samples[1].time, 40u);
    ASSERT_EQ(line.marks.size(), 1u);
    EXPECT_EQ(line.marks[0].name, "user");
    EXPECT_EQ(line.marks[0].time, 20);
    EXPECT_EQ(line.end, 60u);
}

}  // namespace

}  // namespace talvek
