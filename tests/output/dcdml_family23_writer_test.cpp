#include "output/dcdml/dcdml_family23_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/schema_check.h"
#include "support/writer_inputs.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

const std::string Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const std::string Generator =
    "<generator name=\"Talvek Downloader\" version=\"\" vendor=\"Pelko Inv.\" />";

std::string root(const std::string& units) {
    return "<dcdml version=\"1.0\" tstamp=\"2009-03-14 T 10:22:05\" units=\"" + units +
           "\" xmlns:talvek=\"http://www.talvek.com/dcdml/1.0/dcdml-talvek\" >";
}

struct DcdmlFamily23 : ::testing::Test {
    uint8_t header[144] = {};
    DiveList dives;
    XmlDocument doc;

    // No version known: the generator block names the downloader.
    const DocumentStamp stamp = stampAt(2009, 3, 14, 10, 22, 5);

    void SetUp() override {
        doc.setFlags(XmlDocument::Utf8);
        // Evrin, firmware 1.2.3, serial 01 02 03 04, device shows metric.
        header[0x28] = 12;
        header[0x29] = 1;
        header[0x81] = 2;
        header[0x82] = 3;
        header[0x2A] = 1;
        header[0x2B] = 2;
        header[0x2C] = 3;
        header[0x2D] = 4;
        header[0x72] = 1;
        SetWord(0x22, 1234);
        SetWord(0x24, 125);
        SetWord(0x26, 0);
    }
    void SetWord(int offset, uint16_t v) {
        header[offset] = static_cast<uint8_t>(v);
        header[offset + 1] = static_cast<uint8_t>(v >> 8);
    }
    void SetInfo(const char* text) { std::memcpy(header + 0x30, text, std::strlen(text)); }
    std::string Output() const { return std::string(doc.outputBuffer(), doc.outputLength()); }
    // Every document a test made is one the schema accepts.
    void TearDown() override {
        if (doc.outputBuffer() && doc.outputLength() > 0) {
            EXPECT_EQ(dcdmlSchemaErrors(Output()), "");
        }
    }

    static DivePtr Dive(uint8_t number, const std::vector<uint8_t>& profile = {}) {
        DivePtr d(new DiveRecord);
        d->year = 9;
        d->month = 3;
        d->day = 14;
        d->hour = 10;
        d->minute = 22;
        d->second = 5;
        d->diveNumber = number;
        d->sampleInterval = 20;
        d->firstEventBlock = 0xFFFF;
        d->setProfile(profile.data(), static_cast<uint32_t>(profile.size()));
        return d;
    }
};

// The hand-written text of an air dive with no samples (empty profile, no
// event block) in metric units, as the fixture's Dive() makes it.
std::string EmptyAirDive(int id) {
    std::string s = std::to_string(id);
    return "<dive tstamp=\"2009-03-14 T 10:22:05\" surfaceinterval=\"00:00:00\" id=\"" + s +
           "\" ><settings computermode=\"air\" personalfactor=\"0\" altitudefactor=\"0\" "
           "talvek:rgbm=\"100\" /><statistics maxdepth=\"0\" divetime=\"00:00:00\" >"
           "<talvek:otu value=\"0\" /><tissuedata >"
           "<tissue name=\"tissue1\" start=\"0\" /><tissue name=\"tissue2\" start=\"0\" />"
           "<tissue name=\"tissue3\" start=\"0\" /><tissue name=\"tissue4\" start=\"0\" />"
           "<tissue name=\"tissue5\" start=\"0\" /><tissue name=\"tissue6\" start=\"0\" />"
           "<tissue name=\"tissue7\" start=\"0\" /><tissue name=\"tissue8\" start=\"0\" />"
           "<tissue name=\"tissue9\" start=\"0\" /></tissuedata ></statistics >"
           "<gasdefinitions ><gas name=\"Air\" o2=\"21\" /></gasdefinitions >"
           "<samples interval=\"20\" ><gasswitch gas=\"Air\" /><datum depth=\"0\" time=\"0\" />"
           "<datum depth=\"0\" time=\"20\" /></samples ></dive >";
}

const std::string MetricHead =
    "<device vendor=\"Talvek Oy\" model=\"Evrin\" serial=\"01020304\" version=\"1.2.3\" />"
    "<settings units=\"metric\" ><talvek:personalinfo value=\"\" /></settings >";

}  // namespace

TEST_F(DcdmlFamily23, NoDivesIndentedWithEscapedPersonalInfo) {
    SetInfo("Caf\xE9 & <Diver>");
    doc.setFlags(XmlDocument::Indent);
    DcdmlFamily23Writer gen(diveSetOf(2, header, dives), UnitSystem::Metric, stamp);
    gen.make(doc);
    EXPECT_EQ(Output(),
              Decl + "\n" + root("metric") + "\n    " + Generator +
                  "\n    <device vendor=\"Talvek Oy\" model=\"Evrin\" serial=\"01020304\" "
                  "version=\"1.2.3\" />"
                  "\n    <settings units=\"metric\" >"
                  "\n        <talvek:personalinfo value=\"Caf\xC3\xA9 &amp; &lt;Diver&gt;\" />"
                  "\n    </settings >"
                  "\n    <history dives=\"0\" maxdepth=\"12.3\" divetime=\"02:05:00\" />"
                  "\n    <profiledata >"
                  "\n        <!--  No Dives  -->"
                  "\n    </profiledata >"
                  "\n</dcdml >");
}

TEST_F(DcdmlFamily23, DeviceSettingsAndHistoryFields) {
    // 40 characters without a NUL: the text stops at 40.
    SetInfo("0123456789012345678901234567890123456789XYZ");
    header[0x72] = 0;
    header[0x2A] = 99;
    header[0x2D] = 255;
    SetWord(0x22, 3048);
    SetWord(0x26, 65535);
    SetWord(0x6C, 500);
    SetWord(0x6E, 30);
    DcdmlFamily23Writer gen(diveSetOf(4, header, dives), UnitSystem::Imperial, stamp);
    gen.make(doc);
    EXPECT_EQ(Output(),
              Decl + root("imperial") + Generator +
                  "<device vendor=\"Talvek Oy\" model=\"Evrin\" serial=\"990203255\" "
                  "version=\"1.2.3\" /><settings units=\"imperial\" ><talvek:personalinfo "
                  "value=\"0123456789012345678901234567890123456789\" /></settings >"
                  "<history dives=\"65535\" maxdepth=\"100.0\" divetime=\"02:05:00\" "
                  "freedivemaxdepth=\"500\" freedivetime=\"30\" />"
                  "<profiledata ><!--  No Dives  --></profiledata ></dcdml >");
}

TEST_F(DcdmlFamily23, RepetitionGroups) {
    for (uint8_t n : {1, 2, 3, 1, 2}) dives.push_back(Dive(n));
    DcdmlFamily23Writer::resetDiveCounter();
    DcdmlFamily23Writer gen(diveSetOf(2, header, dives), UnitSystem::Metric, stamp);
    gen.make(doc);
    EXPECT_EQ(DcdmlFamily23Writer::diveCounter(), 5);
    EXPECT_EQ(Output(), Decl + root("metric") + Generator + MetricHead +
                            "<history dives=\"0\" maxdepth=\"12.3\" divetime=\"02:05:00\" />"
                            "<profiledata ><repetitiongroup >" +
                            EmptyAirDive(1) + EmptyAirDive(2) + EmptyAirDive(3) +
                            "</repetitiongroup ><repetitiongroup >" + EmptyAirDive(1) +
                            EmptyAirDive(2) + "</repetitiongroup ></profiledata ></dcdml >");
}

TEST_F(DcdmlFamily23, DivesBeforeTheFirstSeriesStartShareItsGroup) {
    for (uint8_t n : {2, 1, 2}) dives.push_back(Dive(n));
    DcdmlFamily23Writer gen(diveSetOf(2, header, dives), UnitSystem::Metric, stamp);
    gen.make(doc);
    EXPECT_EQ(Output(), Decl + root("metric") + Generator + MetricHead +
                            "<history dives=\"0\" maxdepth=\"12.3\" divetime=\"02:05:00\" />"
                            "<profiledata ><repetitiongroup >" +
                            EmptyAirDive(2) + EmptyAirDive(1) + EmptyAirDive(2) +
                            "</repetitiongroup ></profiledata ></dcdml >");

    XmlDocument one;
    one.setFlags(XmlDocument::Utf8);
    DiveList single{Dive(1)};
    DcdmlFamily23Writer gen3(diveSetOf(4, header, single), UnitSystem::Metric, stamp);
    gen3.make(one);
    std::string out(one.outputBuffer(), one.outputLength());
    EXPECT_NE(out.find("<profiledata ><repetitiongroup >" + EmptyAirDive(1) +
                       "</repetitiongroup ></profiledata >"),
              std::string::npos);
}

TEST_F(DcdmlFamily23, FullDiveMetric) {
    std::vector<uint8_t> profile = {0xF4, 0x01, 0x52, 0x4E, 22,    // 500 cm, 20050, 22 C
                                    0xE8, 0x03, 0x58, 0x4D,        // 1000 cm, 19800
                                    3,    3,    5,                 // deco, +5 s
                                    3,    14,   0,                 // rgbm with value
                                    3,    142,  1,                 // rgbm without value
                                    3,    200,  2,                 // unknown code
                                    3,    133,  0,                 // end of divetime
                                    3,    15,   3,                 // switch to the second mix
                                    3,    143,  0,                 // switch to the first mix
                                    5,    80,   4,                 // switch by O2 80: a new mix
                                    2,    1,    7,                 // surface at 7
                                    4,    0,    2,    0xB4, 0x00,  // heading 180 / 2
                                    4,    9,    0,    0x00, 0x80,  // user
                                    9,                             // unknown record type
                                    1,    0xFF, 0xFF, 0,    0,     // end of block, no further block
                                    0x3A, 0x07, 0x2C, 0x4C, 0xFF,  // 1850 cm, 19500, -1 C
                                    0x2C, 0x01, 0x38, 0x4A,        // 300 cm, 19000
                                    0,    0,    0};  // too short for a sample with temperature
    DivePtr d = Dive(1, profile);
    d->surfaceIntervalHours = 1;
    d->surfaceIntervalMinutes = 30;
    d->diveMode = 1;
    d->personalAltitude = 4;
    d->rgbm = 50;
    d->cnsOtu = 0x85;
    d->oxygen1 = 32;
    d->oxygen2 = 50;
    d->maxDepth = 1850;
    d->diveTime = 42;
    for (int i = 0; i < 9; ++i) d->tissue[i] = 100u * (i + 1);
    d->tissue[8] = 65535;
    d->temperatureInterval = 2;
    d->pressureSamples = 1;
    d->firstEventBlock = 2;
    dives.push_back(d);
    SetWord(0x26, 1);

    DcdmlFamily23Writer gen(diveSetOf(2, header, dives), UnitSystem::Metric, stamp);
    gen.make(doc);
    EXPECT_EQ(
        Output(),
        Decl + root("metric") + Generator + MetricHead +
            "<history dives=\"1\" maxdepth=\"12.3\" divetime=\"02:05:00\" />"
            "<profiledata ><repetitiongroup >"
            "<dive tstamp=\"2009-03-14 T 10:22:05\" surfaceinterval=\"01:30:00\" id=\"1\" >"
            "<settings computermode=\"nitrox\" personalfactor=\"1\" altitudefactor=\"1\" "
            "talvek:rgbm=\"50\" />"
            "<statistics maxdepth=\"1850\" divetime=\"00:42:00\" ><cns start=\"5\" />"
            "<tissuedata >"
            "<tissue name=\"tissue1\" start=\"100\" /><tissue name=\"tissue2\" start=\"200\" />"
            "<tissue name=\"tissue3\" start=\"300\" /><tissue name=\"tissue4\" start=\"400\" />"
            "<tissue name=\"tissue5\" start=\"500\" /><tissue name=\"tissue6\" start=\"600\" />"
            "<tissue name=\"tissue7\" start=\"700\" /><tissue name=\"tissue8\" start=\"800\" />"
            "<tissue name=\"tissue9\" start=\"65535\" /></tissuedata ></statistics >"
            "<gasdefinitions >"
            "<gas name=\"gas1\" o2=\"32\" startpressure=\"200.0\" endpressure=\"190.0\" />"
            "<gas name=\"gas2\" o2=\"50\" /><gas name=\"gas3\" o2=\"80\" />"
            "</gasdefinitions >"
            "<samples interval=\"20\" >"
            "<gasswitch gas=\"gas1\" />"
            "<datum depth=\"0\" time=\"0\" />"
            "<datum depth=\"500\" pressure=\"200.0\" temp=\"22\" />"
            "<datum depth=\"1000\" pressure=\"198.0\" />"
            "<event id=\"deco\" time=\"25\" />"
            "<event id=\"talvek:rgbm\" talvek:value=\"14\" time=\"20\" />"
            "<event id=\"talvek:rgbm\" time=\"21\" />"
            "<event id=\"talvek:unknown\" talvek:value=\"200\" time=\"22\" />"
            "<event id=\"talvek:end_divetime\" time=\"20\" />"
            "<gasswitch gas=\"gas2\" time=\"23\" />"
            "<gasswitch gas=\"gas1\" time=\"20\" />"
            "<gasswitch gas=\"gas3\" time=\"24\" />"
            "<event id=\"surface\" time=\"7\" />"
            "<event id=\"heading\" value=\"90\" time=\"22\" />"
            "<event id=\"user\" time=\"20\" />"
            "<datum depth=\"1850\" pressure=\"195.0\" temp=\"-1\" />"
            "<datum depth=\"300\" pressure=\"190.0\" />"
            "<datum depth=\"0\" time=\"100\" />"
            "</samples ></dive ></repetitiongroup ></profiledata ></dcdml >");
}

TEST_F(DcdmlFamily23, EveryEventCode) {
    // One block holding one code event per code 0..255 at offset 0.
    std::vector<uint8_t> profile;
    for (int code = 0; code < 256; ++code) {
        profile.push_back(3);
        profile.push_back(static_cast<uint8_t>(code));
        profile.push_back(0);
    }
    profile.insert(profile.end(), {1, 0xFF, 0xFF, 0, 0});
    DivePtr d = Dive(1, profile);
    d->firstEventBlock = 0;
    d->diveMode = 2;  // gauge: mixes from the O2 bytes
    d->oxygen1 = 21;
    d->oxygen2 = 40;
    dives.push_back(d);
    DcdmlFamily23Writer gen(diveSetOf(2, header, dives), UnitSystem::Metric, stamp);
    gen.make(doc);

    std::string expected =
        "<samples interval=\"20\" ><gasswitch gas=\"gas1\" />"
        "<datum depth=\"0\" time=\"0\" />";
    for (int code = 0; code < 256; ++code) {
        std::string id;
        bool value = false;
        switch (code) {
            case 1:
                id = "talvek:safety";
                break;
            case 3:
                id = "deco";
                break;
            case 4:
                id = "slow";
                break;
            case 5:
                id = "ceiling";
                break;
            case 6:
                id = "talvek:safetyceiling";
                break;
            case 7:
                id = "talvek:ascend";
                break;
            case 8:
                id = "talvek:divetime";
                break;
            case 9:
                id = "talvek:depthalarm";
                break;
            case 13:
                id = "talvek:gastime";
                break;
            case 14:
                id = "talvek:rgbm";
                value = true;
                break;
            case 129:
                id = "talvek:end_safety";
                break;
            case 131:
                id = "talvek:end_deco";
                break;
            case 132:
                id = "talvek:end_slow";
                break;
            case 133:
                id = "talvek:end_divetime";
                break;
            case 134:
                id = "talvek:end_safetyceiling";
                break;
            case 135:
                id = "talvek:end_ascend";
                break;
            case 136:
                id = "talvek:end_ceiling";
                break;
            case 137:
                id = "talvek:end_depthalarm";
                break;
            case 141:
                id = "talvek:end_gastime";
                break;
            case 142:
                id = "talvek:rgbm";
                break;
            case 15:
                expected += "<gasswitch gas=\"gas2\" time=\"0\" />";
                continue;
            case 143:
                expected += "<gasswitch gas=\"gas1\" time=\"0\" />";
                continue;
            // Code 255 switches by the O2 byte, which a type 3 record leaves 0.
            case 255:
                expected += "<gasswitch gas=\"gas3\" time=\"0\" />";
                continue;
            default:
                id = "talvek:unknown";
                value = true;
                break;
        }
        expected += "<event id=\"" + id + "\"";
        if (value) expected += " talvek:value=\"" + std::to_string(code) + "\"";
        expected += " time=\"0\" />";
    }
    expected += "<datum depth=\"0\" time=\"20\" /></samples >";
    // No further block: the first sample read fails and ends the dive.
    EXPECT_NE(Output().find(expected), std::string::npos) << Output();
    EXPECT_NE(Output().find("<gasdefinitions ><gas name=\"gas1\" o2=\"21\" />"
                            "<gas name=\"gas2\" o2=\"40\" /><gas name=\"gas3\" o2=\"0\" />"
                            "</gasdefinitions >"),
              std::string::npos);
}

TEST_F(DcdmlFamily23, GasSwitchToAMissingSecondMixIsIgnored) {
    DivePtr d = Dive(1, {3, 15, 9, 1, 0xFF, 0xFF, 0, 0});
    d->firstEventBlock = 0;
    d->diveMode = 7;  // no computer mode text; an air mix
    dives.push_back(d);
    DcdmlFamily23Writer gen(diveSetOf(2, header, dives), UnitSystem::Metric, stamp);
    gen.make(doc);
    EXPECT_NE(Output().find("<settings computermode=\"\" "), std::string::npos);
    EXPECT_NE(Output().find("<samples interval=\"20\" ><gasswitch gas=\"Air\" />"
                            "<datum depth=\"0\" time=\"0\" /><datum depth=\"0\" time=\"20\" />"
                            "</samples >"),
              std::string::npos)
        << Output();
}

TEST_F(DcdmlFamily23, ImperialAndScientificSamples) {
    // Temperature-only samples (no pressure words) and a pressure dive.
    std::vector<uint8_t> profile = {0xD2, 0x04, 0xFE, 0xD2, 0x04, 0xFE, 0, 0};
    DivePtr d = Dive(1, profile);
    d->temperatureInterval = 1;
    d->maxDepth = 1234;
    d->cnsOtu = 0x45;
    d->diveMode = 0;
    d->startCylinderPressure = 200;  // replaced by the samples' pressures
    DivePtr p = Dive(2, {0xD2, 0x04, 0x52, 0x4E, 20, 0, 0, 0, 0});
    p->temperatureInterval = 5;
    p->pressureSamples = 1;
    dives.push_back(d);
    dives.push_back(p);

    DcdmlFamily23Writer imperial(diveSetOf(4, header, dives), UnitSystem::Imperial, stamp);
    imperial.make(doc);
    std::string out = Output();
    EXPECT_NE(out.find("<history dives=\"0\" maxdepth=\"40.5\" divetime=\"02:05:00\" />"),
              std::string::npos);
    EXPECT_NE(out.find("<statistics maxdepth=\"40.5\" divetime=\"00:00:00\" >"
                       "<talvek:otu value=\"69\" />"),
              std::string::npos);
    EXPECT_NE(out.find("<samples interval=\"20\" ><gasswitch gas=\"Air\" />"
                       "<datum depth=\"0.0\" time=\"0\" /><datum depth=\"40.5\" temp=\"28\" />"
                       "<datum depth=\"40.5\" temp=\"28\" /><datum depth=\"0.0\" time=\"60\" />"
                       "</samples >"),
              std::string::npos)
        << out;
    // The air mix of the first dive had raw pressures 200/0; with no pressure
    // samples they become 0 and no pressures are written.
    EXPECT_NE(out.find("<gasdefinitions ><gas name=\"Air\" o2=\"21\" /></gasdefinitions >"),
              std::string::npos);
    // The second dive's last sample has pressure 0.
    EXPECT_NE(out.find("<gas name=\"Air\" o2=\"21\" startpressure=\"2908\" "
                       "endpressure=\"0\" />"),
              std::string::npos);
    EXPECT_NE(out.find("<datum depth=\"40.5\" pressure=\"2908\" temp=\"68\" />"
                       "<datum depth=\"0.0\" pressure=\"0\" />"),
              std::string::npos)
        << out;

    XmlDocument sci;
    sci.setFlags(XmlDocument::Utf8);
    DcdmlFamily23Writer scientific(diveSetOf(2, header, dives), UnitSystem::Scientific, stamp);
    scientific.make(sci);
    std::string s(sci.outputBuffer(), sci.outputLength());
    EXPECT_NE(s.find("<history dives=\"0\" maxdepth=\"12.340\" divetime=\"02:05:00\" />"),
              std::string::npos);
    EXPECT_NE(s.find("<datum depth=\"0.000\" time=\"0\" /><datum depth=\"12.340\" temp=\"271\" />"),
              std::string::npos);
    EXPECT_NE(s.find("<datum depth=\"12.340\" pressure=\"200.00\" temp=\"293\" />"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("startpressure=\"200.00\" endpressure=\"0.00\""), std::string::npos);
}

}  // namespace talvek
