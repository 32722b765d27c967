// The UDDF writer's own decisions, on hand-made dive sets: what an empty
// download leaves out, cylinders, gauge dives, surface intervals, events at
// their own times, mean depths, dive numbers, damaged dates.
#include "output/uddf/uddf_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "output/dive_facts.h"
#include "support/profile_bytes.h"
#include "support/schema_check.h"
#include "support/serial_test_support.h"
#include "support/text_count.h"
#include "support/writer_inputs.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

using report_test::ProfileBytes;

std::string Write(const DiveSet& set) {
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    UddfWriter(set, stampAt(2026, 12, 8, 4, 5, 6)).make(doc);
    const std::string text = doc.outputBuffer();
    EXPECT_EQ(uddfSchemaErrors(text), "") << text;
    return text;
}

DivePtr Family1Dive(uint8_t mode, uint8_t seriesNumber, std::initializer_list<uint8_t> profile) {
    DivePtr d(new DiveRecord);
    d->year = 10;
    d->month = 2;
    d->day = 23;
    d->hour = 8;
    d->minute = 12;
    d->second = 24;
    d->diveMode = mode;
    d->oxygen1 = 32;
    d->diveNumber = seriesNumber;
    d->sampleInterval = 20;
    d->startTemperature = 28;
    d->maxDepthTemperature = 25;
    d->endTemperature = 26;
    const std::vector<uint8_t> bytes(profile);
    d->setProfile(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return d;
}

}  // namespace

TEST(UddfWriter, AnEmptyDownloadHasNoMixesAndNoProfiles) {
    DiveSet set;
    set.family = DataFamily::Family2;
    const std::string text = Write(set);
    EXPECT_EQ(occurrences(text, "<gasdefinitions"), 0);
    EXPECT_EQ(occurrences(text, "<profiledata"), 0);
    EXPECT_EQ(occurrences(text, "<divecomputer id=\"divecomputer\" >"), 1);
    // Without a version block the generator is named as in DCDML, with no version.
    EXPECT_NE(text.find("<generator ><name >Talvek Downloader</name ><type >converter</type >"
                        "<datetime >2026-12-08T04:05:06</datetime ></generator >"),
              std::string::npos)
        << text;
}

TEST(UddfWriter, MixesCylindersSurfaceIntervalsAndAGaugeDive) {
    DiveSet set;
    set.family = DataFamily::Family1;
    // Nitrox 32 starting a series at 200 bar (raw units of 2 bar), switching
    // to 50 % (marker 135) after 10 ft; then a gauge dive 1 h 5 min later in
    // the same series, whose profile ends in a gas switch without its O2
    // byte.
    DivePtr nitrox = Family1Dive(1, 1, {10, 135, 50, 0xF6});
    nitrox->startCylinderPressure = 100;
    nitrox->endCylinderPressure = 40;
    set.dives.push_back(nitrox);
    DivePtr gauge = Family1Dive(2, 2, {20, 0xEC, 135});
    gauge->surfaceIntervalHours = 1;
    gauge->surfaceIntervalMinutes = 5;
    gauge->startCylinderPressure = 90;
    gauge->endCylinderPressure = 85;
    set.dives.push_back(gauge);
    const std::string text = Write(set);

    EXPECT_NE(text.find("<mix id=\"mix32\" ><name >EAN32</name ><o2 >0.32</o2 ><he >0.00</he >"
                        "</mix ><mix id=\"mix50\" >"),
              std::string::npos);
    EXPECT_EQ(occurrences(text, "<mix id="), 2);  // no mix for the gauge dive
    // The pressures are the first cylinder's; the second has none recorded.
    // The gauge dive's cylinder holds an unknown gas.
    EXPECT_NE(text.find("<tankdata ><link ref=\"mix32\" /><tankpressurebegin >20000000"
                        "</tankpressurebegin ><tankpressureend >8000000</tankpressureend >"
                        "</tankdata ><tankdata ><link ref=\"mix50\" /><tankpressurebegin >0"
                        "</tankpressurebegin ></tankdata ><samples >"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<tankdata ><tankpressurebegin >18000000</tankpressurebegin >"
                        "<tankpressureend >17000000</tankpressureend ></tankdata >"),
              std::string::npos);
    EXPECT_EQ(occurrences(text, "<switchmix "), 2);
    // The switch came after the sample at 20 s: it goes with that sample.
    // The dive's three temperatures go with its start, deepest point and end.
    EXPECT_NE(text.find("<samples ><waypoint ><depth >0.00</depth ><divetime >0</divetime >"
                        "<switchmix ref=\"mix32\" /><temperature >301.15</temperature ></waypoint >"
                        "<waypoint ><depth >3.05</depth ><divetime >20</divetime >"
                        "<switchmix ref=\"mix50\" /><temperature >298.15</temperature ></waypoint >"
                        "<waypoint ><depth >0.00</depth ><divetime >40</divetime ></waypoint >"
                        "<waypoint ><depth >0.00</depth ><divetime >60</divetime >"
                        "<temperature >299.15</temperature ></waypoint ></samples >"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<surfaceintervalbeforedive ><infinity /></surfaceintervalbeforedive >"),
              std::string::npos);
    EXPECT_NE(text.find("<passedtime >3900</passedtime >"), std::string::npos);
    EXPECT_EQ(occurrences(text, "<repetitiongroup "), 1);
    // 20 ft is the gauge dive's greatest depth; it lasts 3 intervals, and
    // its mean depth is 6.10 m x 20 s (down and up again) over 60 s.
    EXPECT_NE(text.find("<greatestdepth >6.10</greatestdepth ><diveduration >60</diveduration >"
                        "<lowesttemperature >298.15</lowesttemperature >"
                        "<averagedepth >2.03</averagedepth >"),
              std::string::npos)
        << text;
}

TEST(UddfWriter, EveryEventAndSwitchAtItsOwnTime) {
    // Samples at 10, 20 and 30 s.  After the first: switches to 50 % at 2 s
    // and back to the first mix at 5 s, a safety stop at 3 s (no UDDF
    // element), and at 10 s an ascent alarm and two headings.
    ProfileBytes p;
    p.word(1000).byte(20);
    p.raw({5, 50, 2}).raw({3, 143, 5}).raw({3, 1, 3}).raw({3, 4, 10});
    p.raw({4, 0, 10, 180, 0}).raw({4, 0, 10, 90, 0}).endBlock(0xFFFF);
    p.word(2000).word(1000).word(0);  // a sample read needs 4 bytes
    auto d = report_test::decodedDive(p, 10, 0, 1);
    d->diveMode = 1;
    d->oxygen1 = 32;
    d->maxDepth = 2000;
    d->diveTime = 1;
    DiveSet set;
    set.family = DataFamily::Family2;
    set.dives.push_back(d);
    const std::string text = Write(set);

    EXPECT_NE(text.find("<samples ><waypoint ><depth >0.00</depth ><divetime >0</divetime >"
                        "<switchmix ref=\"mix32\" /></waypoint >"
                        "<waypoint ><divetime >2</divetime ><switchmix ref=\"mix50\" /></waypoint >"
                        "<waypoint ><divetime >5</divetime ><switchmix ref=\"mix32\" /></waypoint >"
                        "<waypoint ><alarm >ascent</alarm ><depth >10.00</depth ><divetime >10"
                        "</divetime ><heading >90</heading ><temperature >293.15</temperature >"
                        "</waypoint ><waypoint ><divetime >10</divetime ><heading >45</heading >"
                        "</waypoint ><waypoint ><depth >20.00</depth ><divetime >20</divetime >"
                        "</waypoint ><waypoint ><depth >10.00</depth ><divetime >30</divetime >"
                        "</waypoint ><waypoint ><depth >0.00</depth ><divetime >40</divetime >"
                        "</waypoint ></samples >"),
              std::string::npos)
        << text;
    // Both mixes are breathed; neither cylinder's pressure was recorded.
    EXPECT_EQ(occurrences(text, "<tankdata ><link ref=\"mix"), 2);
    EXPECT_EQ(occurrences(text, "<tankpressurebegin >0</tankpressurebegin >"), 2);
    EXPECT_EQ(occurrences(text, "<tankpressureend "), 0);
    // 400 m s over 40 s.
    EXPECT_NE(text.find("<averagedepth >10.00</averagedepth >"), std::string::npos);
}

TEST(UddfWriter, DivesAreNumberedAsTheComputerCountsThem) {
    struct Case {
        uint16_t total;  // the header's count of dives
        size_t dives;
        std::vector<size_t> unreadable;
        std::vector<uint32_t> numbers;
    };
    const Case cases[] = {
        {10, 3, {}, {8, 9, 10}},  {3, 3, {}, {1, 2, 3}},
        {10, 3, {1}, {7, 9, 10}},                  // between the first and the second
        {10, 3, {0}, {8, 9, 10}},                  // older than all
        {10, 3, {3}, {7, 8, 9}},                   // the newest
        {10, 2, {1, 1}, {7, 10}}, {2, 3, {}, {}},  // no count of these dives
        {3, 3, {2}, {}},
    };
    for (const Case& c : cases) {
        DiveSet set;
        set.family = DataFamily::Family3;
        set.header[0x26] = static_cast<uint8_t>(c.total & 0xFF);
        set.header[0x27] = static_cast<uint8_t>(c.total >> 8);
        for (size_t i = 0; i < c.dives; ++i) set.dives.push_back(Family1Dive(0, 1, {}));
        set.unreadable = c.unreadable;
        EXPECT_EQ(logNumbers(set), c.numbers)
            << c.total << " dives counted, " << c.dives << " read";
    }

    // A document without a count has no dive numbers, and says why.
    serialtest::TraceCapture trace;
    DiveSet set;
    set.family = DataFamily::Family1;
    set.header[0x26] = 1;
    set.dives.push_back(Family1Dive(0, 1, {}));
    set.dives.push_back(Family1Dive(0, 2, {}));
    const std::string text = Write(set);
    EXPECT_EQ(occurrences(text, "<divenumber"), 0);
    EXPECT_EQ(trace
                  .matching("Generate::UDDF: The computer counts 1 dives, fewer than the 2 it "
                            "holds: no dive numbers")
                  .size(),
              1u);
    set.header[0x27] = 1;  // 257
    EXPECT_NE(Write(set).find("<divenumber >256</divenumber >"), std::string::npos);
}

TEST(UddfWriter, ADamagedDateIsBroughtIntoRangeAndTraced) {
    serialtest::TraceCapture trace;
    DiveSet set;
    set.family = DataFamily::Family1;
    DivePtr d = Family1Dive(0, 1, {});
    d->year = 11;  // 2011: February has 28 days
    d->month = 2;
    d->day = 30;
    d->hour = 24;
    set.dives.push_back(d);
    const std::string text = Write(set);
    EXPECT_NE(text.find("<datetime >2011-02-28T23:12:24</datetime >"), std::string::npos) << text;
    EXPECT_EQ(trace.matching("Generate::UDDF: Dive 1 has no valid date (11-2-30 24:12:24)").size(),
              1u);
}

}  // namespace talvek
