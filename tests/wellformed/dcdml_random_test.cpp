// Random header images, dive records and profile bytes: generating must never
// crash or read outside the profile (run under the sanitizer tree) and must
// always give a document that an XML parser accepts and the layout's schema
// validates.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <random>
#include <string>
#include <vector>

#include "output/dcdml/dcdml_family23_writer.h"
#include "output/uddf/uddf_writer.h"
#include "support/schema_check.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

void Silent(void*, const char*, ...) {}

struct Quiet {
    // libxml2 prints every error it finds; the test reports them itself.
    Quiet() { xmlSetGenericErrorFunc(nullptr, Silent); }
};

bool Parses(const char* data, size_t length) {
    xmlDocPtr doc = xmlReadMemory(data, static_cast<int>(length), "fuzz.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
    if (!doc) return false;
    xmlFreeDoc(doc);
    return true;
}

DivePtr RandomDive(std::mt19937& rng) {
    auto byte = [&] { return static_cast<uint8_t>(rng()); };
    DivePtr d(new DiveRecord);
    for (uint32_t& t : d->tissue) t = rng();
    d->surfaceIntervalMinutes = byte();
    d->surfaceIntervalHours = byte();
    d->diveNumber = static_cast<uint8_t>(rng() % 4);  // many series starts
    d->sampleInterval = byte();
    d->personalAltitude = byte();
    d->startCylinderPressure = byte();
    d->oxygen1 = byte();
    d->year = byte();
    d->month = byte();
    d->day = byte();
    d->hour = byte();
    d->minute = byte();
    d->second = byte();
    d->endCylinderPressure = byte();
    d->cnsOtu = byte();
    d->oxygen2 = byte();
    d->oxygen3 = byte();
    d->surfaceIntervalSeconds = byte();
    d->temperatureInterval = static_cast<uint8_t>(rng() % 8);
    d->rgbm = byte();
    d->diveMode = static_cast<uint8_t>(rng() % 5);
    d->diveTime = static_cast<uint16_t>(rng());
    d->maxDepth = static_cast<uint16_t>(rng());
    d->firstEventBlock = static_cast<uint16_t>(rng() % 3 ? rng() % 40 : rng());
    d->pressureSamples = static_cast<uint16_t>(rng() % 2);

    // Raw noise, or event blocks made of well-formed records with random
    // contents so that every event path is reached.
    std::vector<uint8_t> profile;
    size_t length = rng() % 700;
    if (rng() % 2) {
        for (size_t i = 0; i < length; ++i) profile.push_back(byte());
    } else {
        while (profile.size() < length) {
            uint8_t type = static_cast<uint8_t>(rng() % 7);
            profile.push_back(type);
            int payload = type == 1 || type == 4 ? 4 : 2;
            for (int i = 0; i < payload; ++i) profile.push_back(byte());
        }
    }
    d->setProfile(profile.data(), static_cast<uint32_t>(profile.size()));
    return d;
}

}  // namespace

TEST(DCDMLFuzz, RandomInputGivesWellFormedDocuments) {
    static Quiet quiet;
    const DocumentStamp stamp{std::nullopt, platform::localTime()};
    std::mt19937 rng(20090314);
    const UnitSystem systems[] = {UnitSystem::Imperial, UnitSystem::Metric, UnitSystem::Scientific};
    for (int round = 0; round < 400; ++round) {
        DiveSet set;
        for (uint8_t& b : set.header) b = static_cast<uint8_t>(rng());
        int count = static_cast<int>(rng() % 6);
        for (int i = 0; i < count; ++i) set.dives.push_back(RandomDive(rng));

        XmlDocument doc;
        doc.setFlags(XmlDocument::Utf8);
        if (rng() % 2) doc.setFlags(XmlDocument::Indent);
        if (rng() % 2) doc.setFlags(XmlDocument::FullEndTags);
        UnitSystem units = systems[rng() % 3];
        set.family = rng() % 2 ? DataFamily::Family2 : DataFamily::Family3;
        DcdmlFamily23Writer gen(set, units, stamp);
        gen.make(doc);
        ASSERT_NE(doc.outputBuffer(), nullptr);
        ASSERT_TRUE(Parses(doc.outputBuffer(), doc.outputLength())) << "round " << round << "\n"
                                                                    << doc.outputBuffer();
        ASSERT_EQ(dcdmlSchemaErrors(doc.outputBuffer()), "") << "round " << round << "\n"
                                                             << doc.outputBuffer();
    }
}

// The same for UDDF, every family: a damaged record still gives a document
// a logbook accepts.
TEST(UDDFFuzz, RandomInputGivesValidDocuments) {
    static Quiet quiet;
    const DocumentStamp stamp{ProgramVersion{"Talvek XML Downloader", "1.0"}, platform::localTime()};
    std::mt19937 rng(20100223);
    const DataFamily families[] = {DataFamily::Family1, DataFamily::Family2, DataFamily::Family3};
    for (int round = 0; round < 300; ++round) {
        DiveSet set;
        for (uint8_t& b : set.header) b = static_cast<uint8_t>(rng());
        int count = static_cast<int>(rng() % 5);
        for (int i = 0; i < count; ++i) set.dives.push_back(RandomDive(rng));
        set.family = families[rng() % 3];

        XmlDocument doc;
        doc.setFlags(XmlDocument::Utf8);
        if (rng() % 2) doc.setFlags(XmlDocument::Indent);
        UddfWriter(set, stamp).make(doc);
        ASSERT_EQ(uddfSchemaErrors(doc.outputBuffer()), "") << "round " << round << "\n"
                                                            << doc.outputBuffer();
    }
}

// The parser check itself must reject what is not well-formed.
TEST(DCDMLFuzz, ParserRejectsBrokenDocuments) {
    static Quiet quiet;
    std::string ok = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a x=\"1\" ><b /></a >";
    EXPECT_TRUE(Parses(ok.data(), ok.size()));
    std::string bad = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a x=\"\x01\" />";
    EXPECT_FALSE(Parses(bad.data(), bad.size()));
}

// The schema checks themselves reject what the schemas do not allow: an
// element out of its order, a value of the wrong type, the wrong units.
TEST(SchemaCheck, RejectsDocumentsTheSchemasDoNotAllow) {
    static Quiet quiet;
    DiveSet set;
    set.family = DataFamily::Family2;
    const DocumentStamp stamp{ProgramVersion{"Talvek XML Downloader", "1.0"}, platform::localTime()};
    XmlDocument uddf;
    uddf.setFlags(XmlDocument::Utf8);
    UddfWriter(set, stamp).make(uddf);
    const std::string good = uddf.outputBuffer();
    ASSERT_EQ(uddfSchemaErrors(good), "");
    std::string swapped = good;
    swapped.replace(swapped.find("<generator"), 10, "<generatorX");
    EXPECT_NE(uddfSchemaErrors(swapped), "");
    std::string noName = good;
    noName.erase(noName.find("<name >"), noName.find("</name >") + 8 - noName.find("<name >"));
    EXPECT_NE(uddfSchemaErrors(noName), "");

    XmlDocument dcdml;
    dcdml.setFlags(XmlDocument::Utf8);
    DcdmlFamily23Writer(set, UnitSystem::Metric, stamp).make(dcdml);
    const std::string metric = dcdml.outputBuffer();
    ASSERT_EQ(dcdmlSchemaErrors(metric), "");
    // A metric history depth is metres with one decimal; "x" is no number.
    std::string wrong = metric;
    const size_t depth = wrong.find("maxdepth=\"") + 10;
    wrong.replace(depth, wrong.find('"', depth) - depth, "x");
    EXPECT_NE(dcdmlSchemaErrors(wrong), "");
    // The units named on the root choose the unit schema.
    std::string bogus = metric;
    bogus.replace(bogus.find("units=\"metric\""), 14, "units=\"bogus\"");
    EXPECT_NE(dcdmlSchemaErrors(bogus), "");
}

}  // namespace talvek
