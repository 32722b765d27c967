// The UDDF writer's own decisions, on hand-made dive sets: what an empty
// download leaves out, gauge dives, surface intervals, damaged dates.
#include <gtest/gtest.h>

#include <string>

#include "output/uddf/uddf_writer.h"
#include "support/schema_check.h"
#include "support/serial_test_support.h"
#include "support/text_count.h"
#include "support/writer_inputs.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

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

TEST(UddfWriter, MixesSurfaceIntervalsAndAGaugeDive) {
    DiveSet set;
    set.family = DataFamily::Family1;
    // Nitrox 32 starting a series, switching to 50 % (marker 135) after 10 ft;
    // then a gauge dive 1 h 5 min later in the same series, whose profile
    // ends in a gas switch without its O2 byte.
    set.dives.push_back(Family1Dive(1, 1, {10, 135, 50, 0xF6}));
    DivePtr gauge = Family1Dive(2, 2, {20, 0xEC, 135});
    gauge->surfaceIntervalHours = 1;
    gauge->surfaceIntervalMinutes = 5;
    set.dives.push_back(gauge);
    const std::string text = Write(set);

    EXPECT_NE(text.find("<mix id=\"mix32\" ><name >EAN32</name ><o2 >0.32</o2 ><he >0.00</he >"
                        "</mix ><mix id=\"mix50\" >"),
              std::string::npos);
    EXPECT_EQ(occurrences(text, "<mix id="), 2);  // no mix for the gauge dive
    EXPECT_EQ(occurrences(text, "<switchmix "), 2);
    // The switch came between two samples: it goes with the next one.  The
    // dive's three temperatures go with its start, deepest point and end.
    EXPECT_NE(text.find("<samples ><waypoint ><depth >0.00</depth ><divetime >0</divetime >"
                        "<switchmix ref=\"mix32\" /><temperature >301.15</temperature ></waypoint >"
                        "<waypoint ><depth >3.05</depth ><divetime >20</divetime >"
                        "<temperature >298.15</temperature ></waypoint ><waypoint >"
                        "<depth >0.00</depth ><divetime >40</divetime ><switchmix ref=\"mix50\" />"
                        "</waypoint ><waypoint ><depth >0.00</depth ><divetime >60</divetime >"
                        "<temperature >299.15</temperature ></waypoint ></samples >"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<surfaceintervalbeforedive ><infinity /></surfaceintervalbeforedive >"),
              std::string::npos);
    EXPECT_NE(text.find("<passedtime >3900</passedtime >"), std::string::npos);
    EXPECT_EQ(occurrences(text, "<repetitiongroup "), 1);
    // 20 ft is the gauge dive's greatest depth; it lasts 3 intervals.
    EXPECT_NE(text.find("<greatestdepth >6.10</greatestdepth ><diveduration >60</diveduration >"
                        "<lowesttemperature >298.15</lowesttemperature >"),
              std::string::npos)
        << text;
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
    EXPECT_EQ(trace.matching("Generate::UDDF: Dive 1 has no valid date (11-2-30 24:12:24)").size(), 1u);
}

}  // namespace talvek
