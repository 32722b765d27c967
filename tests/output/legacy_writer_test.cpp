#include "output/legacy/legacy_writer.h"

#include <gtest/gtest.h>

#include "support/legacy_fixtures.h"
#include "support/writer_inputs.h"

namespace talvek {

using namespace legacy_test;

namespace {

// A family 1 header: 10 ft deepest dive, 125 minutes, 3 dives, model 11,
// firmware 2, serial 01 02 03 04.
Header Family1Header() {
    Header h{};
    Put16(h, 0x22, 1280);
    Put16(h, 0x24, 125);
    Put16(h, 0x26, 3);
    h[0x28] = 11;
    h[0x29] = 2;
    h[0x2A] = 1;
    h[0x2B] = 2;
    h[0x2C] = 3;
    h[0x2D] = 4;
    PutText(h, 0x30, "A & B");
    h[0x62] = 20;
    h[0x63] = 0x15;  // personal 1, altitude 2, RGBM bit
    Put16(h, 0x6C, 2560);
    Put16(h, 0x6E, 90);
    h[0x71] = 1;
    h[0x72] = 0;
    h[0x73] = 1;
    h[0x74] = 0x85;
    h[0x75] = 3;
    Put16(h, 0x76, 45);
    Put16(h, 0x78, 3200);
    return h;
}

DivePtr Family1Dive(std::initializer_list<uint8_t> profile) {
    DivePtr d = MakeDive(profile);
    d->surfaceIntervalMinutes = 30;
    d->surfaceIntervalHours = 1;
    d->diveNumber = 2;
    d->sampleInterval = 20;
    d->personalAltitude = 4;
    d->startCylinderPressure = 100;
    d->oxygen1 = 32;
    d->oxygenFraction = 64;
    d->startTemperature = 254;  // -2 C as the device sends it
    d->year = 9;
    d->month = 3;
    d->day = 14;
    d->hour = 10;
    d->minute = 22;
    d->maxDepthTemperature = 12;
    d->endTemperature = 14;
    d->endCylinderPressure = 50;
    d->cnsOtu = 7;
    return d;
}

const char* const Family1Settings = R"(
    <ComputerSettings >
        <MaxDepth >10</MaxDepth >
        <TotalDiveTime >125</TotalDiveTime >
        <TotalDives >3</TotalDives >
        <ComputerModel >11</ComputerModel >
        <MaxFreeDiveDepth >2560</MaxFreeDiveDepth >
        <MaxFreeDiveTime >90</MaxFreeDiveTime >
        <Clock >1</Clock >
        <Units >0</Units >
        <FirmwareVersion.major >2</FirmwareVersion.major >
        <SerialNumber >1020304</SerialNumber >
        <PersonalInfo >A &amp; B</PersonalInfo >
        <SampleInterval >20</SampleInterval >
        <PersonalSetting >1</PersonalSetting >
        <AltitudeSetting >2</AltitudeSetting >
        <Mode >1</Mode >
        <Light >5</Light >
        <AlarmEnables >3</AlarmEnables >
        <AlarmTime >45</AlarmTime >
        <AlarmDepth >25</AlarmDepth >
    </ComputerSettings >)";

std::string MakeT1D1(const Header& h, DiveList dives) {
    XmlDocument doc;
    Configure(doc);
    LegacyFamily1Writer gen(diveSetOf(1, h.data(), dives));
    gen.make(doc);
    return Output(doc);
}

std::string MakeT1D2(const Header& h, DiveList dives, int32_t family = 2) {
    XmlDocument doc;
    Configure(doc);
    LegacyFamily23Writer gen(diveSetOf(family, h.data(), dives));
    gen.make(doc);
    return Output(doc);
}

}  // namespace

TEST(LegacyNames, TableMatchesTheMarkerMapping) {
    EXPECT_STREQ(LegacyElementNames[0], "MaxDepth");
    EXPECT_STREQ(LegacyElementNames[24], "RGBM");
    EXPECT_STREQ(LegacyElementNames[121 - 77], "N1");
    EXPECT_STREQ(LegacyElementNames[124 - 77], "User");
    EXPECT_STREQ(LegacyElementNames[128 - 77], "End");
    EXPECT_STREQ(LegacyElementNames[134 - 77], "N3");
    EXPECT_STREQ(LegacyElementNames[135 - 77], "GasSwitch");
    EXPECT_STREQ(LegacyElementNames[59], "Heading");
}

TEST(LegacyFamily1, WholeDocumentWithTheWorkedProfile) {
    DiveList dives{Family1Dive({10, 0xF6, 124, 135, 32})};
    const std::string expected =
        std::string(Declaration) + "\n<TalvekDownload >" + Family1Settings + R"(
    <DiveData >
        <SurfaceIntervalMinutes >30</SurfaceIntervalMinutes >
        <SurfaceIntervalHours >1</SurfaceIntervalHours >
        <DiveNumber >2</DiveNumber >
        <SampleInterval >20</SampleInterval >
        <PersonalSetting >1</PersonalSetting >
        <AltitudeSetting >1</AltitudeSetting >
        <StartingPressure >100</StartingPressure >
        <GasMix >32</GasMix >
        <FO2 >64</FO2 >
        <StartingAirTemp >254</StartingAirTemp >
        <Year >9</Year >
        <Month >3</Month >
        <Day >14</Day >
        <Hour >10</Hour >
        <Minute >22</Minute >
        <DiveProfile >
            <Datum >10</Datum >
            <Datum >-10</Datum >
            <Event >
                <User />
            </Event >
            <Event >
                <GasSwitch >32</GasSwitch >
            </Event >
            <TempAtDepth >12</TempAtDepth >
            <EndingTemp >14</EndingTemp >
            <EndingPressure >50</EndingPressure >
            <CNSClock >7</CNSClock >
        </DiveProfile >
    </DiveData >
</TalvekDownload >)";
    EXPECT_EQ(MakeT1D1(Family1Header(), dives), expected);
}

TEST(LegacyFamily1, NoDivesGivesTheCommentWithThreeBlanksEachSide) {
    DiveList none;
    TraceCapture trace("t1d1_nodives");
    const std::string expected =
        std::string(Declaration) + "\n<TalvekDownload >" + Family1Settings + R"(
    <!--   No Dives   -->
</TalvekDownload >)";
    EXPECT_EQ(MakeT1D1(Family1Header(), none), expected);
    const std::string log = trace.text();
    EXPECT_NE(log.find("Generate::Device(1),Type(1): Begin 'TalvekDownload'"), std::string::npos);
    EXPECT_NE(log.find("Generate::Device(1),Type(1): No Dives"), std::string::npos);
    EXPECT_NE(log.find("Generate::Make() Building Document"), std::string::npos);
}

TEST(LegacyFamily1, MarkersAndOddBytes) {
    // 136 is just above the marker range: a change of -120, not an event;
    // 120 just below it.  121 and 128 are events too in this layout; a
    // trailing 135 has no O2 byte and is dropped without failing the download.
    DiveList dives{Family1Dive({136, 121, 128, 120, 0x89, 135})};
    XmlDocument doc;  // no indentation: one line, easy to search
    doc.setFlags(XmlDocument::Utf8);
    const Header header = Family1Header();
    LegacyFamily1Writer gen(diveSetOf(1, header.data(), dives));
    ASSERT_NO_THROW(gen.make(doc));
    const std::string out = doc.outputBuffer();
    EXPECT_NE(out.find("<DiveProfile ><Datum >-120</Datum ><Event ><N1 /></Event >"
                       "<Event ><End /></Event ><Datum >120</Datum ><Datum >-119</Datum >"
                       "<TempAtDepth >"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("GasSwitch"), std::string::npos);
}

TEST(LegacyFamily1, DivesFollowInListOrderWithTheirCount) {
    DiveList dives{Family1Dive({1}), Family1Dive({2}), Family1Dive({})};
    dives.back()->diveNumber = 7;
    TraceCapture trace("t1d1_count");
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    const Header header = Family1Header();
    LegacyFamily1Writer gen(diveSetOf(1, header.data(), dives));
    gen.make(doc);
    const std::string out = doc.outputBuffer();
    const size_t first = out.find("<Datum >1</Datum >");
    const size_t second = out.find("<Datum >2</Datum >");
    const size_t third = out.find("<DiveNumber >7</DiveNumber >");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    // An empty profile still gets its closing values.
    EXPECT_NE(out.find("<DiveProfile ><TempAtDepth >12</TempAtDepth >"), std::string::npos);
    const std::string log = trace.text();
    EXPECT_NE(log.find("Generate::Device(1),Type(1): Dive 3"), std::string::npos);
    EXPECT_EQ(log.find("Generate::Device(1),Type(1): Dive 4"), std::string::npos);
}

TEST(LegacyFamily1, PersonalInfoStopsAtTwentyEightCharacters) {
    Header h = Family1Header();
    std::memset(h.data() + 0x30, 'x', 40);  // no NUL inside the field
    const std::string out = MakeT1D1(h, {});
    EXPECT_NE(out.find("<PersonalInfo >" + std::string(28, 'x') + "</PersonalInfo >"),
              std::string::npos);
}

// ---------------------------------------------------------------------------

TEST(WholeFeetDepth, WorkedSequenceAndItsTraceLines) {
    TraceCapture trace("fetchdepth");
    WholeFeetDepth g;
    EXPECT_EQ(g.changeTo(0), 0);
    EXPECT_EQ(g.changeTo(100), 3);
    EXPECT_EQ(g.changeTo(200), 4);
    EXPECT_EQ(g.feet(), 7);
    EXPECT_EQ(g.changeTo(20), -7);
    EXPECT_EQ(g.feet(), 0);
    const std::string log = trace.text();
    EXPECT_NE(
        log.find("Generate::fetchdepth() Current depth less than 1 ft (0.66) resetting to 0 "),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("Generate::fetchdepth() Feet = 3 , Delta = 3"), std::string::npos);
    EXPECT_NE(log.find("Generate::fetchdepth() Feet = 7 , Delta = 4"), std::string::npos);
    EXPECT_NE(log.find("Generate::fetchdepth() Feet = 0 , Delta = -7"), std::string::npos);
}

TEST(WholeFeetDepth, HalfFootRoundsUpAndEachGeneratorKeepsItsOwnDepth) {
    EXPECT_EQ(WholeFeetDepth::wholeFeet(381), 13);  // exactly 12.5 ft
    EXPECT_EQ(WholeFeetDepth::wholeFeet(1000), 33);
    EXPECT_EQ(WholeFeetDepth::wholeFeet(65535), 2150);
    WholeFeetDepth a, b;
    EXPECT_EQ(a.changeTo(1000), 33);
    EXPECT_EQ(b.changeTo(381), 13);
    EXPECT_EQ(a.changeTo(1000), 0);
    // 0 resets without a change of its own.
    EXPECT_EQ(a.changeTo(0), 0);
    EXPECT_EQ(a.changeTo(1000), 33);
}

// ---------------------------------------------------------------------------

namespace {

Header Family2Header() {
    Header h{};
    Put16(h, 0x22, 1000);  // centimetres
    Put16(h, 0x24, 61);
    Put16(h, 0x26, 2);
    h[0x28] = 20;
    h[0x29] = 3;
    h[0x2A] = 1;
    h[0x2B] = 2;
    h[0x2C] = 3;
    h[0x2D] = 45;
    PutText(h, 0x30, "<Diver>");
    Put16(h, 0x6C, 7);
    Put16(h, 0x6E, 8);
    h[0x71] = 0;
    h[0x72] = 1;
    // Settings that this layout writes as 0 for families 2 and 3.
    h[0x62] = 20;
    h[0x63] = 5;
    h[0x73] = 1;
    h[0x74] = 3;
    h[0x75] = 3;
    Put16(h, 0x76, 45);
    Put16(h, 0x78, 3000);
    return h;
}

const char* const Family2Settings = R"(
    <ComputerSettings >
        <MaxDepth >33</MaxDepth >
        <TotalDiveTime >61</TotalDiveTime >
        <TotalDives >2</TotalDives >
        <ComputerModel >20</ComputerModel >
        <MaxFreeDiveDepth >7</MaxFreeDiveDepth >
        <MaxFreeDiveTime >8</MaxFreeDiveTime >
        <Clock >0</Clock >
        <Units >1</Units >
        <FirmwareVersion.major >3</FirmwareVersion.major >
        <SerialNumber >12345</SerialNumber >
        <PersonalInfo >&lt;Diver&gt;</PersonalInfo >
        <SampleInterval >0</SampleInterval >
        <PersonalSetting >0</PersonalSetting >
        <AltitudeSetting >0</AltitudeSetting >
        <Mode >0</Mode >
        <Light >0</Light >
        <AlarmEnables >0</AlarmEnables >
        <AlarmTime >0</AlarmTime >
        <AlarmDepth >0</AlarmDepth >
    </ComputerSettings >)";

DivePtr Family2Dive(std::initializer_list<uint8_t> profile) {
    DivePtr d = MakeDive(profile);
    d->surfaceIntervalMinutes = 5;
    d->surfaceIntervalHours = 2;
    d->diveNumber = 1;
    d->sampleInterval = 30;
    d->personalAltitude = 7;
    d->startCylinderPressure = 99;  // not written by this layout for families 2 and 3
    d->oxygen1 = 21;
    d->oxygenFraction = 127;
    d->year = 26;
    d->month = 12;
    d->day = 8;
    d->hour = 4;
    d->minute = 35;
    d->cnsOtu = 0x85;
    d->firstEventBlock = 0xFFFF;
    return d;
}

}  // namespace

TEST(LegacyFamily23, WholeDocumentWithTwoDives) {
    // Dive 1: depths 0, 100, 200, 20 cm, a temperature on every sample and two
    // trailing bytes too short for another sample.
    DivePtr one =
        Family2Dive({0x00, 0x00, 20, 0x64, 0x00, 18, 0xC8, 0x00, 16, 0x14, 0x00, 17, 0x00, 0x00});
    one->temperatureInterval = 1;
    // Dive 2: pressure words, a temperature every second sample, an event
    // block (a type 2 record, then the type 1 end) after two samples.
    DivePtr two = Family2Dive({0x96, 0x00, 0xD0, 0x07, 22,      // 150 cm, 2000, 22 C
                               0x2C, 0x01, 0xC6, 0x07,          // 300 cm, 1990
                               0x02, 0x05, 0x0A,                // event
                               0x01, 0xFF, 0xFF, 0x00, 0x00,    // block end
                               0x7D, 0x01, 0xDC, 0x05, 0xFE});  // 381 cm, 1500, -2 C
    two->diveNumber = 2;
    two->temperatureInterval = 2;
    two->pressureSamples = 1;
    two->firstEventBlock = 2;
    two->oxygen1 = 32;
    two->cnsOtu = 12;
    DiveList dives{one, two};

    const std::string expected =
        std::string(Declaration) + "\n<TalvekDownload >" + Family2Settings + R"(
    <DiveData >
        <SurfaceIntervalMinutes >5</SurfaceIntervalMinutes >
        <SurfaceIntervalHours >2</SurfaceIntervalHours >
        <DiveNumber >1</DiveNumber >
        <SampleInterval >30</SampleInterval >
        <PersonalSetting >2</PersonalSetting >
        <AltitudeSetting >1</AltitudeSetting >
        <StartingPressure >0</StartingPressure >
        <GasMix >21</GasMix >
        <FO2 >0</FO2 >
        <StartingAirTemp >20</StartingAirTemp >
        <Year >26</Year >
        <Month >12</Month >
        <Day >8</Day >
        <Hour >4</Hour >
        <Minute >35</Minute >
        <TempAtDepth >16</TempAtDepth >
        <EndingTemp >17</EndingTemp >
        <EndingPressure >0</EndingPressure >
        <CNSClock >133</CNSClock >
        <DiveProfile >
            <Datum >0</Datum >
            <Datum >3</Datum >
            <Datum >4</Datum >
            <Datum >-7</Datum >
        </DiveProfile >
    </DiveData >
    <DiveData >
        <SurfaceIntervalMinutes >5</SurfaceIntervalMinutes >
        <SurfaceIntervalHours >2</SurfaceIntervalHours >
        <DiveNumber >2</DiveNumber >
        <SampleInterval >30</SampleInterval >
        <PersonalSetting >2</PersonalSetting >
        <AltitudeSetting >1</AltitudeSetting >
        <StartingPressure >10</StartingPressure >
        <GasMix >32</GasMix >
        <FO2 >0</FO2 >
        <StartingAirTemp >22</StartingAirTemp >
        <Year >26</Year >
        <Month >12</Month >
        <Day >8</Day >
        <Hour >4</Hour >
        <Minute >35</Minute >
        <TempAtDepth >254</TempAtDepth >
        <EndingTemp >254</EndingTemp >
        <EndingPressure >7</EndingPressure >
        <CNSClock >12</CNSClock >
        <DiveProfile >
            <Datum >5</Datum >
            <Datum >5</Datum >
            <Datum >3</Datum >
        </DiveProfile >
    </DiveData >
</TalvekDownload >)";
    TraceCapture trace("t1d2_whole");
    EXPECT_EQ(MakeT1D2(Family2Header(), dives), expected);
    // The pressures and temperatures come from the profile each time: the
    // records are only read, and a second document is the same.
    EXPECT_EQ(two->startTemperature, 0);
    EXPECT_EQ(MakeT1D2(Family2Header(), dives), expected);
    const std::string log = trace.text();
    EXPECT_NE(log.find("Generate::Device(2),Type(1): Begin 'TalvekDownload'"), std::string::npos);
    EXPECT_NE(log.find("Generate::Device(2),Type(1): Dive 2"), std::string::npos);
    EXPECT_NE(log.find("resetting to 0 "), std::string::npos);
}

TEST(LegacyFamily23, NoDivesAndFamily3UseTheSameLayout) {
    const std::string expected =
        std::string(Declaration) + "\n<TalvekDownload >" + Family2Settings + R"(
    <!--   No Dives   -->
</TalvekDownload >)";
    TraceCapture trace("t1d2_nodives");
    EXPECT_EQ(MakeT1D2(Family2Header(), {}, 4), expected);
    EXPECT_NE(trace.text().find("Generate::Device(2),Type(1): No Dives"), std::string::npos);
}

TEST(LegacyFamily23, EventBlockAsTheLastStepLeavesAnEmptyDatum) {
    // One sample at 300 cm, then a block at sample 1 whose end record points
    // at sample 2, then too few bytes for a sample.
    DivePtr d =
        Family2Dive({0x2C, 0x01, 0x00, 0x00, 0x02, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00});
    d->temperatureInterval = 0;
    d->firstEventBlock = 1;
    DiveList dives{d};
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    const Header header = Family2Header();
    LegacyFamily23Writer gen(diveSetOf(2, header.data(), dives));
    gen.make(doc);
    const std::string out = doc.outputBuffer();
    EXPECT_NE(out.find("<DiveProfile ><Datum >10</Datum ><Datum /></DiveProfile >"),
              std::string::npos)
        << out;
}

TEST(LegacyFamily23, BlocksBackToBackCostNoSample) {
    // A block at sample 1 whose end points back at sample 1, so a second
    // block follows at once; then the sample at 200 cm must still be written.
    DivePtr d = Family2Dive({0x64, 0x00, 0x00, 0x00,        // 100 cm
                             0x01, 0x01, 0x00, 0x00, 0x00,  // end: next block at 1
                             0x03, 0x04, 0x00,              // code event
                             0x01, 0xFF, 0xFF, 0x00, 0x00,  // end: no more blocks
                             0xC8, 0x00, 0x00, 0x00});      // 200 cm
    d->temperatureInterval = 0;
    d->firstEventBlock = 1;
    DiveList dives{d};
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    const Header header = Family2Header();
    LegacyFamily23Writer gen(diveSetOf(2, header.data(), dives));
    gen.make(doc);
    const std::string out = doc.outputBuffer();
    EXPECT_NE(out.find("<DiveProfile ><Datum >3</Datum ><Datum >4</Datum ></DiveProfile >"),
              std::string::npos)
        << out;
}

TEST(LegacyFamily23, NoTemperatureSampleLeavesAllTemperaturesZero) {
    // Sample 0 is due a temperature and needs 5 bytes; 4 are there, so no
    // sample is read at all.
    DivePtr none = Family2Dive({0x64, 0x00, 0x00, 0x00});
    none->temperatureInterval = 1;
    none->startTemperature = 99;  // type 1 fields: not what this layout writes
    none->maxDepthTemperature = 98;
    none->endTemperature = 97;
    DiveList dives{none};
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    const Header header = Family2Header();
    LegacyFamily23Writer gen(diveSetOf(2, header.data(), dives));
    gen.make(doc);
    const std::string out = doc.outputBuffer();
    EXPECT_NE(out.find("<StartingAirTemp >0</StartingAirTemp >"), std::string::npos) << out;
    EXPECT_NE(out.find("<TempAtDepth >0</TempAtDepth ><EndingTemp >0</EndingTemp >"),
              std::string::npos);
    EXPECT_NE(out.find("<DiveProfile /></DiveData >"), std::string::npos);
    // The writer only reads the record.
    EXPECT_EQ(none->startTemperature, 99);
    EXPECT_EQ(none->maxDepthTemperature, 98);
    EXPECT_EQ(none->endTemperature, 97);
}

}  // namespace talvek
