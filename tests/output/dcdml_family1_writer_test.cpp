#include "output/dcdml/dcdml_family1_writer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "dc/base/errors.h"
#include "support/legacy_fixtures.h"
#include "support/schema_check.h"
#include "support/writer_inputs.h"

namespace talvek {

using namespace legacy_test;

namespace {

// A family 1 header: model 11 ("Dastra"), firmware 2.5.7, serial 01 02 03 04,
// 10 ft deepest dive, 20 ft deepest free dive.
Header Family1Header() {
    Header h{};
    Put16(h, 0x22, 1280);
    Put16(h, 0x24, 125);
    Put16(h, 0x26, 3);
    h[0x28] = 11;
    h[0x29] = 2;
    h[0x81] = 5;
    h[0x82] = 7;
    h[0x2A] = 1;
    h[0x2B] = 2;
    h[0x2C] = 3;
    h[0x2D] = 4;
    PutText(h, 0x30, "A & B");
    h[0x62] = 20;
    h[0x63] = 0x15;  // personal 1, altitude 2, RGBM bit (inverted for model 11)
    Put16(h, 0x6C, 2560);
    Put16(h, 0x6E, 90);
    h[0x71] = 1;
    h[0x72] = 1;
    h[0x73] = 1;
    h[0x74] = 0x85;
    h[0x75] = 3;
    Put16(h, 0x76, 45);
    Put16(h, 0x78, 3200);  // 25 ft
    return h;
}

DivePtr Dive(std::initializer_list<uint8_t> profile, uint8_t number, uint8_t mode) {
    DivePtr d = MakeDive(profile);
    d->diveNumber = number;
    d->diveMode = mode;
    d->year = 9;
    d->month = 3;
    d->day = 14;
    d->sampleInterval = 20;
    return d;
}

// Three dives in two repetition groups: a nitrox dive with the worked
// profile and two gas switches, an air dive with an empty profile, and a
// gauge dive that starts a new group.
DiveList ThreeDives() {
    DivePtr a = Dive({5, 5, 0xFB, 124, 135, 32, 135, 50}, 1, 1);
    a->hour = 10;
    a->minute = 22;
    a->second = 5;
    a->surfaceIntervalHours = 1;
    a->surfaceIntervalMinutes = 30;
    a->personalAltitude = 4;
    a->startTemperature = 24;
    a->maxDepthTemperature = 12;
    a->endTemperature = 14;
    a->cnsOtu = 0x85;
    a->oxygen1 = 32;
    a->startCylinderPressure = 100;
    a->endCylinderPressure = 50;

    DivePtr b = Dive({}, 2, 0);
    b->hour = 11;
    b->minute = 40;
    b->surfaceIntervalMinutes = 45;
    b->startTemperature = b->maxDepthTemperature = b->endTemperature = 20;
    b->cnsOtu = 0x45;
    b->oxygen1 = 21;

    DivePtr c = Dive({121, 10, 129, 0xF6, 128}, 1, 2);
    c->day = 15;
    c->hour = 9;
    c->minute = 5;
    c->second = 30;
    c->surfaceIntervalHours = 12;
    c->sampleInterval = 30;
    c->personalAltitude = 0x18;
    c->cnsOtu = 0x80;
    c->startCylinderPressure = 90;
    c->endCylinderPressure = 40;
    return {a, b, c};
}

// Everything after the generator element, written by hand; {X} marks the
// values that depend on the unit system.
const char* const ThreeDivesBody = R"(
    <device vendor="Talvek Oy" model="Dastra" serial="1020304" version="2.5.7" />
    <settings units="metric" timeformat="24H" sampleinterval="20" divemode="nitrox" personalfactor="1" altitudefactor="2" talvek:rgbm="50" >
        <alarms >
            <talvek:timealarm enabled="true" value="45" />
            <talvek:depthalarm enabled="true" value="{ALARM}" />
        </alarms >
        <talvek:light value="5" />
        <talvek:personalinfo value="A &amp; B" />
    </settings >
    <history dives="3" maxdepth="{MAX}" divetime="02:05:00" freedivemaxdepth="{FREE}" freedivetime="90" />
    <profiledata >
        <repetitiongroup >
            <dive tstamp="2009-03-14 T 10:22:05" surfaceinterval="01:30:00" id="1" >
                <settings computermode="nitrox" personalfactor="1" altitudefactor="1" talvek:rgbm="100" />
                <statistics >
                    <talvek:temperature start="{T24}" atdepth="{T12}" end="{T14}" />
                    <cns start="5" />
                </statistics >
                <gasdefinitions >
                    <gas name="gas1" o2="32" startpressure="{P100}" endpressure="{P50}" />
                    <gas name="gas2" o2="50" />
                </gasdefinitions >
                <samples interval="20" >
                    <gasswitch gas="gas1" />
                    <datum depth="{D0}" />
                    <datum depth="{D5}" />
                    <datum depth="{D10}" />
                    <datum depth="{D5}" />
                    <event id="user" />
                    <gasswitch gas="gas1" />
                    <gasswitch gas="gas2" />
                    <datum depth="{D0}" />
                </samples >
            </dive >
            <dive tstamp="2009-03-14 T 11:40:00" surfaceinterval="00:45:00" id="2" >
                <settings computermode="air" personalfactor="0" altitudefactor="0" talvek:rgbm="100" />
                <statistics >
                    <talvek:temperature start="{T20}" atdepth="{T20}" end="{T20}" />
                    <talvek:otu value="69" />
                </statistics >
                <gasdefinitions >
                    <gas name="Air" o2="21" />
                </gasdefinitions >
                <samples interval="20" >
                    <gasswitch gas="Air" />
                    <datum depth="{D0}" />
                    <datum depth="{D0}" />
                </samples >
            </dive >
        </repetitiongroup >
        <repetitiongroup >
            <dive tstamp="2009-03-15 T 09:05:30" surfaceinterval="12:00:00" id="1" >
                <settings computermode="gauge" personalfactor="2" altitudefactor="2" talvek:rgbm="50" />
                <statistics >
                    <talvek:temperature start="{T0}" atdepth="{T0}" end="{T0}" />
                    <cns start="0" />
                </statistics >
                <gasdefinitions >
                    <gas name="Gauge" o2="0" startpressure="{P90}" endpressure="{P40}" />
                </gasdefinitions >
                <samples interval="30" >
                    <gasswitch gas="Gauge" />
                    <datum depth="{D0}" />
                    <datum depth="{D10}" />
                    <event id="safetyceiling" />
                    <datum depth="{D0}" />
                    <datum depth="{D0}" />
                </samples >
            </dive >
        </repetitiongroup >
    </profiledata >
</dcdml >)";

using values = std::map<std::string, std::string>;

// Per unit system, worked out by hand: family 1 depths are feet (x 30.48 for
// centimetres), temperatures degrees Celsius, pressures units of 2 bar.
const values Imperial = {
    {"ALARM", "25"}, {"MAX", "10.0"}, {"FREE", "20.0"}, {"T24", "75"},    {"T12", "53"},
    {"T14", "57"},   {"T20", "68"},   {"T0", "32"},     {"P100", "2900"}, {"P50", "1450"},
    {"P90", "2610"}, {"P40", "1160"}, {"D0", "0.0"},    {"D5", "5.0"},    {"D10", "10.0"},
};
const values Metric = {
    {"ALARM", "7.5"}, {"MAX", "3.0"},  {"FREE", "6.1"}, {"T24", "24"},     {"T12", "12"},
    {"T14", "14"},    {"T20", "20"},   {"T0", "0"},     {"P100", "200.0"}, {"P50", "100.0"},
    {"P90", "180.0"}, {"P40", "80.0"}, {"D0", "0"},     {"D5", "152"},     {"D10", "305"},
};
const values Scientific = {
    {"ALARM", "7.5"},  {"MAX", "3.048"}, {"FREE", "6.096"}, {"T24", "297"},     {"T12", "285"},
    {"T14", "287"},    {"T20", "293"},   {"T0", "273"},     {"P100", "200.00"}, {"P50", "100.00"},
    {"P90", "180.00"}, {"P40", "80.00"}, {"D0", "0.000"},   {"D5", "1.524"},    {"D10", "3.048"},
};

std::string Fill(std::string text, const values& values) {
    for (const auto& [key, value] : values) {
        const std::string mark = "{" + key + "}";
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.replace(at, mark.size(), value);
    }
    return text;
}

// A fixed time and the program's version, so whole documents can be
// compared.
DocumentStamp Stamp() {
    return stampAt(2026, 12, 8, 4, 5, 6, ProgramVersion{"Talvek XML Downloader", "1.0.0.0"});
}

std::string make(const Header& h, DiveList dives, UnitSystem units,
                 uint32_t flags = XmlDocument::Utf8 | XmlDocument::Indent) {
    XmlDocument doc;
    doc.setFlags(flags);
    DcdmlFamily1Writer gen(diveSetOf(1, h.data(), dives), units, Stamp());
    gen.make(doc);
    EXPECT_EQ(dcdmlSchemaErrors(doc.outputBuffer()), "");
    return doc.outputBuffer();
}

}  // namespace

class DcdmlFamily1 : public ::testing::Test {
  protected:
    static std::string Head(const char* units) {
        return std::string(Declaration) +
               "\n<dcdml version=\"1.0\" tstamp=\"2026-12-08 T 04:05:06\" units=\"" + units +
               "\" xmlns:talvek=\"" + DcdmlNamespace + "-talvek\" >" +
               "\n    <generator name=\"Talvek XML Downloader\" version=\"1.0.0.0\" vendor=\"Pelko "
               "Inv.\" />";
    }
};

class DcdmlFamily1Units
    : public DcdmlFamily1,
      public ::testing::WithParamInterface<std::pair<UnitSystem, const values*>> {};

TEST_P(DcdmlFamily1Units, WholeDocumentForThreeDivesInTwoGroups) {
    const auto [units, values] = GetParam();
    const char* name = units == UnitSystem::Imperial ? "imperial"
                       : units == UnitSystem::Metric ? "metric"
                                                     : "scientific";
    EXPECT_EQ(make(Family1Header(), ThreeDives(), units),
              Head(name) + Fill(ThreeDivesBody, *values));
}

INSTANTIATE_TEST_SUITE_P(AllSystems, DcdmlFamily1Units,
                         ::testing::Values(std::make_pair(UnitSystem::Imperial, &Imperial),
                                           std::make_pair(UnitSystem::Metric, &Metric),
                                           std::make_pair(UnitSystem::Scientific, &Scientific)),
                         [](const auto& info) {
                             return info.param.first == UnitSystem::Imperial ? "Imperial"
                                    : info.param.first == UnitSystem::Metric ? "Metric"
                                                                             : "Scientific";
                         });

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// One line, no indentation: easy to search.
std::string MakeFlat(const Header& h, DiveList dives, UnitSystem units) {
    return make(h, std::move(dives), units, XmlDocument::Utf8);
}

}  // namespace

TEST_F(DcdmlFamily1, NoDivesGivesTheCommentWithTwoBlanksEachSide) {
    TraceCapture trace("t2d1_nodives");
    const std::string out = MakeFlat(Family1Header(), {}, UnitSystem::Metric);
    EXPECT_NE(out.find("<profiledata ><!--  No Dives  --></profiledata ></dcdml >"),
              std::string::npos)
        << out;
    const std::string log = trace.text();
    const size_t begin = log.find("Generate::Device(1),Type(2): Begin ");
    ASSERT_NE(begin, std::string::npos) << log;
    // The line ends in a blank.
    EXPECT_TRUE(std::isspace(static_cast<unsigned char>(log[begin + 35])));
    // Built twice: two trace lines.
    const size_t first = log.find("Generate::Make() Building Document");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Generate::Make() Building Document", first + 1), std::string::npos);
}

TEST_F(DcdmlFamily1, ProfileEndingInAGasSwitchFailsWithCode9) {
    DiveList dives{Dive({5, 135}, 1, 1)};
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    const Header header = Family1Header();
    DcdmlFamily1Writer gen(diveSetOf(1, header.data(), dives), UnitSystem::Metric, Stamp());
    try {
        gen.make(doc);
        FAIL() << "a gas switch without its O2 byte must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), 9);
        EXPECT_STREQ(e.what(), "GeneraterT2D1::dosamples() Missing Gas Switch Data");
    }
    // The document was never built.
    EXPECT_EQ(doc.outputBuffer(), nullptr);
}

TEST_F(DcdmlFamily1, SettingsOffAndOtherModelKeepTheRgbmBit) {
    Header h = Family1Header();
    h[0x28] = 12;  // not the inverting model: bit set gives 100
    h[0x71] = 0;
    h[0x72] = 0;
    h[0x75] = 0;
    h[0x73] = 0x83;
    Put16(h, 0x6C, 0);
    Put16(h, 0x6E, 0);
    const std::string out = MakeFlat(h, {}, UnitSystem::Imperial);
    EXPECT_NE(out.find("<device vendor=\"Talvek Oy\" model=\"Evrin\" serial=\"1020304\""),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("<settings units=\"imperial\" timeformat=\"12H\" sampleinterval=\"20\" "
                       "divemode=\"free\" personalfactor=\"1\" altitudefactor=\"2\" "
                       "talvek:rgbm=\"100\" >"),
              std::string::npos);
    EXPECT_NE(out.find("<talvek:timealarm enabled=\"false\" value=\"45\" />"
                       "<talvek:depthalarm enabled=\"false\" value=\"25\" />"),
              std::string::npos);
    // No free-dive values: only the three history attributes.
    EXPECT_NE(out.find("<history dives=\"3\" maxdepth=\"10.0\" divetime=\"02:05:00\" />"),
              std::string::npos);
}

TEST_F(DcdmlFamily1, DepthAlarmRoundsToHalfMetres) {
    // 40 ft = 1219.2 cm, 41 ft = 1249.68 cm, 42 ft = 1280.16 cm.
    const struct {
        uint16_t feet;
        const char* metric;
    } cases[] = {{40, "12.0"}, {41, "12.5"}, {42, "13.0"}, {0, "0.0"}};
    for (const auto& c : cases) {
        Header h = Family1Header();
        Put16(h, 0x78, static_cast<uint16_t>(c.feet * 128 + 127));  // fraction dropped
        const std::string want = std::string("<talvek:depthalarm enabled=\"true\" value=\"");
        EXPECT_NE(MakeFlat(h, {}, UnitSystem::Metric).find(want + c.metric + "\""),
                  std::string::npos)
            << c.feet;
        EXPECT_NE(MakeFlat(h, {}, UnitSystem::Scientific).find(want + c.metric + "\""),
                  std::string::npos)
            << c.feet;
        EXPECT_NE(MakeFlat(h, {}, UnitSystem::Imperial).find(want + std::to_string(c.feet) + "\""),
                  std::string::npos)
            << c.feet;
    }
}

TEST_F(DcdmlFamily1, DiveNumbersRestartInEachGroupAndEarlyDivesJoinTheFirst) {
    // Series 2, 1, 2, then 1: groups (2, 1, 2) and (1).
    DiveList dives{Dive({}, 2, 0), Dive({}, 1, 0), Dive({}, 2, 0), Dive({}, 1, 0)};
    TraceCapture trace("t2d1_groups");
    const std::string out = MakeFlat(Family1Header(), dives, UnitSystem::Metric);
    EXPECT_EQ(count(out, "<repetitiongroup >"), 2u);
    const size_t secondGroup = out.find("</repetitiongroup ><repetitiongroup >");
    ASSERT_NE(secondGroup, std::string::npos);
    EXPECT_EQ(count(out.substr(0, secondGroup), "<dive "), 3u);
    EXPECT_EQ(count(out.substr(secondGroup), "<dive "), 1u);
    const std::string log = trace.text();
    EXPECT_NE(log.find("Generate():: Dive 3"), std::string::npos);
    EXPECT_EQ(log.find("Generate():: Dive 4"), std::string::npos);
}

TEST_F(DcdmlFamily1, MarkersAreWrittenOneByOneAndNeverFillTheStack) {
    // Far more markers than the 200-entry stack holds, each drained at once.
    std::vector<uint8_t> profile;
    for (int i = 0; i < 300; ++i) profile.push_back(static_cast<uint8_t>(122 + i % 6));
    DivePtr d = Dive({}, 1, 0);
    d->setProfile(profile.data(), static_cast<uint32_t>(profile.size()));
    const std::string out = MakeFlat(Family1Header(), {d}, UnitSystem::Imperial);
    EXPECT_EQ(count(out, "<event id="), 300u);
    EXPECT_NE(out.find("<event id=\"slow\" /><event id=\"violation\" /><event id=\"user\" />"
                       "<event id=\"surface\" /><event id=\"deco\" /><event id=\"ceiling\" />"),
              std::string::npos);
}

TEST_F(DcdmlFamily1, DepthAccumulatesSignedChangesAndIgnoredMarkersWriteNothing) {
    // 127 is a marker (ceiling), 120 is +120 ft, 0x88 is -120 ft; 130..134
    // and 121/128 write nothing.
    DiveList dives{Dive({120, 130, 131, 132, 133, 134, 0x88, 0x88}, 1, 0)};
    const std::string out = MakeFlat(Family1Header(), dives, UnitSystem::Imperial);
    EXPECT_NE(out.find("<samples interval=\"20\" ><gasswitch gas=\"Air\" /><datum depth=\"0.0\" />"
                       "<datum depth=\"120.0\" /><datum depth=\"0.0\" /><datum depth=\"-120.0\" />"
                       "<datum depth=\"0.0\" /></samples >"),
              std::string::npos)
        << out;
}

}  // namespace talvek
