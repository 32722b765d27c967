#include "output/dcdml/dcdml_writer_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dc/base/errors.h"
#include "support/writer_inputs.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

// Opens the shared writers to the tests.
class WriterProbe : public DcdmlWriterBase {
  public:
    using DcdmlWriterBase::DcdmlWriterBase;
    void make(XmlDocument&) override {}
    using DcdmlWriterBase::addMix;
    using DcdmlWriterBase::addNamedMix;
    using DcdmlWriterBase::altitudeFactorText;
    using DcdmlWriterBase::buildSkeleton;
    using DcdmlWriterBase::byteText;
    using DcdmlWriterBase::computerModeText;
    using DcdmlWriterBase::diveModeText;
    using DcdmlWriterBase::diveTimeStamp;
    using DcdmlWriterBase::firmwareVersion;
    using DcdmlWriterBase::gasSwitchByO2;
    using DcdmlWriterBase::intText;
    using DcdmlWriterBase::minutesText;
    using DcdmlWriterBase::modelName;
    using DcdmlWriterBase::personalFactorText;
    using DcdmlWriterBase::pressureText;
    using DcdmlWriterBase::sampleDepthText;
    using DcdmlWriterBase::setUnits;
    using DcdmlWriterBase::summaryDepthText;
    using DcdmlWriterBase::summaryDepthTextOf;
    using DcdmlWriterBase::writeDatum;
    using DcdmlWriterBase::writeDeviceBlock;
    using DcdmlWriterBase::writeGasDefinition;
    using DcdmlWriterBase::writeGasSwitch;
    using DcdmlWriterBase::writeHeadingUserEvent;
    XmlElement* root() { return root_; }
    XmlElement* device() { return device_; }
};

std::string Xml(XmlElement* node) {
    std::string out;
    node->write(0, out);
    return out;
}

struct Fixture : ::testing::Test {
    uint8_t header[144] = {};
    DiveList dives;
    XmlDocument doc;
    DocumentStamp stamp = stampAt(2009, 3, 14, 10, 22, 5);  // no program until a test names one

    // A generator with the skeleton and converter in place.
    std::unique_ptr<WriterProbe> make(int32_t family, UnitSystem units) {
        auto p = std::make_unique<WriterProbe>(diveSetOf(family, header, dives), units, stamp);
        p->buildSkeleton(doc);
        p->setUnits();
        return p;
    }
};

using DcdmlWriterBaseTest = Fixture;

}  // namespace

TEST_F(DcdmlWriterBaseTest, SkeletonRootAttributesAndGeneratorBlock) {
    auto p = make(2, UnitSystem::Metric);
    doc.build();
    EXPECT_EQ(doc.text(),
              "<?xml version=\"1.0\"?><dcdml version=\"1.0\" tstamp=\"2009-03-14 T 10:22:05\" "
              "units=\"metric\" xmlns:talvek=\"http://www.talvek.com/dcdml/1.0/dcdml-talvek\" >"
              "<generator name=\"Talvek Downloader\" version=\"\" vendor=\"Pelko Inv.\" />"
              "<device /><settings /><history /><profiledata /></dcdml >");

    stamp.program = ProgramVersion{"Talvek XML Downloader", "1.0.0.0"};
    auto q = make(4, UnitSystem::Scientific);
    EXPECT_EQ(q->root()->attribute("units"), "scientific");
    EXPECT_EQ(q->converter()->conversionType(), 0x80004);
    std::string gen = Xml(q->root()->children().front().get());
    EXPECT_EQ(gen,
              "<generator name=\"Talvek XML Downloader\" version=\"1.0.0.0\" "
              "vendor=\"Pelko Inv.\" />");
    auto r = make(1, UnitSystem::Imperial);
    EXPECT_EQ(r->root()->attribute("units"), "imperial");
    EXPECT_EQ(r->converter()->conversionType(), 0x20001);
}

// Without a known version the generator block names the downloader, with
// an empty version.
TEST_F(DcdmlWriterBaseTest, GeneratorBlockWithoutAVersionNamesTheDownloader) {
    stamp.program.reset();
    auto p = make(2, UnitSystem::Metric);
    EXPECT_EQ(Xml(p->root()->children().front().get()),
              "<generator name=\"Talvek Downloader\" version=\"\" vendor=\"Pelko Inv.\" />");
}

TEST_F(DcdmlWriterBaseTest, UnknownUnitsAndFamilies) {
    WriterProbe p(diveSetOf(2, header, dives), static_cast<UnitSystem>(0x10000), stamp);
    p.buildSkeleton(doc);
    try {
        p.setUnits();
        ADD_FAILURE();
    } catch (const CriticalError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "Expected Metric, Imperial or Scientific");
    }
    WriterProbe q(diveSetOf(3, header, dives), UnitSystem::Metric, stamp);
    q.buildSkeleton(doc);
    try {
        q.setUnits();
        ADD_FAILURE();
    } catch (const CriticalError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "UnitsConverter: Unknown Conversion Type ");
    }
}

TEST(UnitsConverter, ConversionTable) {
    ImperialUnits i1(DataFamily::Family1), i2(DataFamily::Family2);
    MetricUnits m1(DataFamily::Family1), m4(DataFamily::Family3);
    ScientificUnits s1(DataFamily::Family1), s2(DataFamily::Family2);
    EXPECT_EQ(i1.depth(33), 33.0L);
    EXPECT_EQ(i2.depth(3048), 3048 * 0.03280839895013123L);
    EXPECT_EQ(m4.depth(1234), 1234.0L);
    EXPECT_EQ(i1.temperature(-2), 28);  // trunc(28.4)
    EXPECT_EQ(i2.temperature(-20), -4);
    EXPECT_EQ(i2.temperature(-18), 0);  // trunc(-0.4) toward zero
    EXPECT_EQ(m1.temperature(-2), -2);
    EXPECT_EQ(s1.temperature(-2), 271);
    EXPECT_EQ(i1.pressure(100), 2900);  // 200 x 14.50377377 = 2900.75
    EXPECT_EQ(i2.pressure(1001), 1451);
    EXPECT_EQ(i2.pressure(-1001), -1451);
    EXPECT_EQ(m1.pressure(100), 200);
    EXPECT_EQ(m4.pressure(2005), 200);
    EXPECT_EQ(m4.pressure(-15), -1);  // division toward zero
    EXPECT_EQ(s2.pressure(2005), 200);
    EXPECT_EQ(s1.pressure(7), 14);
    EXPECT_EQ(s2.system(), UnitSystem::Scientific);
    EXPECT_EQ(m1.system(), UnitSystem::Metric);
    EXPECT_EQ(i1.system(), UnitSystem::Imperial);
}

TEST_F(DcdmlWriterBaseTest, DepthFormats) {
    auto i1 = make(1, UnitSystem::Imperial);
    auto m1 = make(1, UnitSystem::Metric);
    auto s1 = make(1, UnitSystem::Scientific);
    EXPECT_EQ(i1->sampleDepthText(i1->converter()->depth(33)), "33.0");
    EXPECT_EQ(m1->sampleDepthText(m1->converter()->depth(33)), "1006");
    EXPECT_EQ(s1->sampleDepthText(s1->converter()->depth(33)), "10.058");

    auto i2 = make(2, UnitSystem::Imperial);
    auto m2 = make(2, UnitSystem::Metric);
    auto s3 = make(4, UnitSystem::Scientific);
    EXPECT_EQ(m2->sampleDepthText(m2->converter()->depth(1234)), "1234");
    EXPECT_EQ(m2->summaryDepthText(1234), "12.3");
    EXPECT_EQ(m2->summaryDepthText(1235), "12.3");  // 12.35 in double is just below
    EXPECT_EQ(m2->summaryDepthText(1236), "12.4");
    EXPECT_EQ(i2->sampleDepthText(i2->converter()->depth(1234)), "40.5");
    EXPECT_EQ(i2->summaryDepthText(1234), "40.5");
    EXPECT_EQ(s3->sampleDepthText(s3->converter()->depth(1234)), "12.340");
    EXPECT_EQ(s3->summaryDepthText(1234), "12.340");
    EXPECT_EQ(m2->summaryDepthTextOf(1234.0L), "12.3");
    EXPECT_EQ(i2->summaryDepthTextOf(10.0L), "10.0");
    EXPECT_EQ(m2->sampleDepthText(m2->converter()->depth(0)), "0");
    EXPECT_EQ(i2->sampleDepthText(i2->converter()->depth(0)), "0.0");
    EXPECT_EQ(s3->sampleDepthText(s3->converter()->depth(0)), "0.000");
    // 4572 cm = 150 ft exactly; 4573 cm = 150.03 ft.
    EXPECT_EQ(i2->sampleDepthText(i2->converter()->depth(4572)), "150.0");
    EXPECT_EQ(i2->sampleDepthText(i2->converter()->depth(4573)), "150.0");
    EXPECT_EQ(i2->sampleDepthText(i2->converter()->depth(65535)), "2150.1");
}

TEST_F(DcdmlWriterBaseTest, PressureAndTextFormats) {
    auto i2 = make(2, UnitSystem::Imperial);
    auto m2 = make(2, UnitSystem::Metric);
    auto s2 = make(2, UnitSystem::Scientific);
    EXPECT_EQ(m2->pressureText(m2->converter()->pressure(2005)), "200.0");
    EXPECT_EQ(i2->pressureText(i2->converter()->pressure(2005)), "2908");
    EXPECT_EQ(s2->pressureText(s2->converter()->pressure(2005)), "200.00");
    EXPECT_EQ(i2->pressureText(i2->converter()->pressure(1001)), "1451");

    EXPECT_EQ(WriterProbe::minutesText(125), "02:05:00");
    EXPECT_EQ(WriterProbe::minutesText(0), "00:00:00");
    EXPECT_EQ(WriterProbe::minutesText(65535), "1092:15:00");
    EXPECT_EQ(WriterProbe::intText(70000), "4464");
    EXPECT_EQ(WriterProbe::intText(65535), "65535");
    EXPECT_EQ(WriterProbe::byteText(0x1FF), "255");
    EXPECT_EQ(WriterProbe::personalFactorText(0xF7), "2");  // 7 / 3
    EXPECT_EQ(WriterProbe::altitudeFactorText(0xF7), "1");  // 7 % 3
    EXPECT_EQ(WriterProbe::personalFactorText(0x0F), "5");
    EXPECT_EQ(WriterProbe::altitudeFactorText(0x0F), "0");
}

TEST_F(DcdmlWriterBaseTest, HeaderLookups) {
    // A writer reads the header image it was given.
    auto p = [&] { return WriterProbe(diveSetOf(2, header, dives), UnitSystem::Metric, stamp); };
    header[0x28] = 20;
    EXPECT_EQ(p().modelName(), "Evrin3");
    header[0x28] = 19;
    EXPECT_EQ(p().modelName(), "Corvel3");
    header[0x28] = 21;
    EXPECT_EQ(p().modelName(), "CorvelAir");
    header[0x28] = 3;
    EXPECT_EQ(p().modelName(), "Ardel");
    for (int code : {0, 1, 2, 6, 7, 8, 9, 22, 100, 254, 255}) {
        header[0x28] = static_cast<uint8_t>(code);
        EXPECT_EQ(p().modelName(), "Unknown") << code;
    }
    header[0x73] = 0x80;
    EXPECT_EQ(p().diveModeText(), "air");
    header[0x73] = 0x81;
    EXPECT_EQ(p().diveModeText(), "nitrox");
    header[0x73] = 0x02;
    EXPECT_EQ(p().diveModeText(), "gauge");
    header[0x73] = 0x83;
    EXPECT_EQ(p().diveModeText(), "free");
    header[0x73] = 0x03;
    EXPECT_EQ(p().diveModeText(), "");

    header[0x28] = 12;
    header[0x29] = 1;
    header[0x81] = 22;
    header[0x82] = 255;
    EXPECT_EQ(p().firmwareVersion(), "1.22.255");
    XmlElement dev("device", 1, false, false);
    p().writeDeviceBlock(&dev, "01020304");
    EXPECT_EQ(Xml(&dev),
              "<device vendor=\"Talvek Oy\" model=\"Evrin\" serial=\"01020304\" "
              "version=\"1.22.255\" />");
}

TEST_F(DcdmlWriterBaseTest, DiveStampAndComputerMode) {
    DiveRecord d;
    d.year = 9;
    d.month = 3;
    d.day = 14;
    d.hour = 10;
    d.minute = 22;
    d.second = 5;
    XmlElement dive("dive", 0, false, false);
    WriterProbe::diveTimeStamp(&dive, d);
    EXPECT_EQ(dive.attribute("tstamp"), "2009-03-14 T 10:22:05");
    d.year = 255;
    d.month = 123;
    WriterProbe::diveTimeStamp(&dive, d);
    EXPECT_EQ(dive.attribute("tstamp"), "2255-123-14 T 10:22:05");

    const char* modes[] = {"air", "nitrox", "gauge", "", ""};
    for (int m = 0; m < 5; ++m) {
        d.diveMode = static_cast<uint8_t>(m == 4 ? 200 : m);
        EXPECT_EQ(WriterProbe::computerModeText(d), modes[m]);
    }
}

TEST_F(DcdmlWriterBaseTest, DatumWriterPerUnitSystem) {
    XmlElement parent("samples", 0, false, false);
    auto m = make(2, UnitSystem::Metric);
    m->writeDatum(&parent, 1234, 7, 2005, -2, 60);
    m->writeDatum(&parent, 0, 0, 0, 0, 0);
    m->writeDatum(&parent, 5, 2, 0, 25, 0);
    auto i = make(2, UnitSystem::Imperial);
    i->writeDatum(&parent, 1234, 3, 2005, -2, 0);
    auto s = make(4, UnitSystem::Scientific);
    s->writeDatum(&parent, 1234, 5, 2005, -2, 70000);
    EXPECT_EQ(Xml(&parent),
              "<samples >"
              "<datum depth=\"1234\" pressure=\"200.0\" temp=\"-2\" time=\"60\" />"
              "<datum depth=\"0\" />"
              "<datum depth=\"5\" temp=\"25\" />"
              "<datum depth=\"40.5\" pressure=\"2908\" temp=\"28\" />"
              "<datum depth=\"12.340\" pressure=\"200.00\" time=\"4464\" />"
              "</samples >");
}

TEST_F(DcdmlWriterBaseTest, MixesGasSwitchesAndDefinitions) {
    auto p = make(2, UnitSystem::Metric);
    XmlElement samples("samples", 0, false, false);
    XmlElement defs("gasdefinitions", 0, false, false);
    EXPECT_EQ(p->addMix(32, 2005, 1000), "gas1");
    EXPECT_EQ(p->addNamedMix("Air", 21, 0, 0), "Air");
    EXPECT_EQ(p->addMix(50, -1, -1), "gas3");
    p->writeGasSwitch(&samples, "gas1", 0, false);
    p->gasSwitchByO2(&samples, 21, 120);  // existing mix
    p->gasSwitchByO2(&samples, 80, -1);   // new mix, no time
    p->gasSwitchByO2(&samples, 80, 0);    // now found
    EXPECT_EQ(Xml(&samples),
              "<samples >"
              "<gasswitch gas=\"gas1\" />"
              "<gasswitch gas=\"Air\" time=\"120\" />"
              "<gasswitch gas=\"gas4\" />"
              "<gasswitch gas=\"gas4\" time=\"0\" />"
              "</samples >");
    ASSERT_EQ(p->mixes().size(), 4u);
    EXPECT_EQ(p->mixes().back()->startPressure, -1);

    auto it = p->mixes().begin();
    p->writeGasDefinition(**it++, &defs);
    p->writeGasDefinition(**it++, nullptr);  // same element again
    p->writeGasDefinition(**it++, nullptr);
    EXPECT_EQ(Xml(&defs),
              "<gasdefinitions >"
              "<gas name=\"gas1\" o2=\"32\" startpressure=\"200.0\" endpressure=\"100.0\" />"
              "<gas name=\"Air\" o2=\"21\" />"
              "<gas name=\"gas3\" o2=\"50\" />"
              "</gasdefinitions >");

    GasMix one{"x", 21, 1, 5};
    auto i = make(2, UnitSystem::Imperial);
    XmlElement defs2("gasdefinitions", 0, false, false);
    i->writeGasDefinition(one, &defs2);
    EXPECT_EQ(Xml(&defs2),
              "<gasdefinitions ><gas name=\"x\" o2=\"21\" startpressure=\"1\" "
              "endpressure=\"7\" /></gasdefinitions >");
}

TEST_F(DcdmlWriterBaseTest, HeadingAndUserEvents) {
    auto p = make(2, UnitSystem::Metric);
    XmlElement samples("samples", 0, false, false);
    ProfileDecoder::Event e;
    e.type = 4;
    e.data2 = 9;
    e.data4 = 5;
    e.word = 0x0168;  // 360 -> heading 180
    e.time = 100;
    p->writeHeadingUserEvent(&samples, e);
    e.word = 0x8123;
    e.data4 = 0;
    p->writeHeadingUserEvent(&samples, e);
    e.word = 0x7FFF;
    e.data4 = 255;
    e.time = 70000;
    p->writeHeadingUserEvent(&samples, e);
    EXPECT_EQ(Xml(&samples),
              "<samples >"
              "<event id=\"heading\" value=\"180\" time=\"105\" />"
              "<event id=\"user\" time=\"100\" />"
              "<event id=\"heading\" value=\"16383\" time=\"70255\" />"
              "</samples >");
}

}  // namespace talvek
