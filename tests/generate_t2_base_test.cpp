#include "generate/generate_t2_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dcdml/dcdml_document.h"
#include "device/errors.h"

namespace {

// Opens the shared writers to the tests.
class Probe : public OutputGeneraterT2Base {
  public:
    using OutputGeneraterT2Base::OutputGeneraterT2Base;
    void Make(DCDMLDocument&) override {}
    using OutputGeneraterT2Base::AddMix;
    using OutputGeneraterT2Base::AddNamedMix;
    using OutputGeneraterT2Base::AltitudeFactorText;
    using OutputGeneraterT2Base::BuildSkeleton;
    using OutputGeneraterT2Base::ByteText;
    using OutputGeneraterT2Base::ComputerModeText;
    using OutputGeneraterT2Base::DiveTimeStamp;
    using OutputGeneraterT2Base::FirmwareVersion;
    using OutputGeneraterT2Base::GasSwitchByO2;
    using OutputGeneraterT2Base::getdivemode;
    using OutputGeneraterT2Base::IntText;
    using OutputGeneraterT2Base::MinutesText;
    using OutputGeneraterT2Base::ModelName;
    using OutputGeneraterT2Base::PersonalFactorText;
    using OutputGeneraterT2Base::PressureText;
    using OutputGeneraterT2Base::SampleDepthText;
    using OutputGeneraterT2Base::SetUnits;
    using OutputGeneraterT2Base::SummaryDepthText;
    using OutputGeneraterT2Base::SummaryDepthTextOf;
    using OutputGeneraterT2Base::WriteDatum;
    using OutputGeneraterT2Base::WriteDeviceBlock;
    using OutputGeneraterT2Base::WriteGasDefinition;
    using OutputGeneraterT2Base::WriteGasSwitch;
    using OutputGeneraterT2Base::WriteHeadingUserEvent;
    DCDML_Node_class* root() { return root_; }
    DCDML_Node_class* device() { return device_; }
};

std::string Xml(DCDML_Node_class* node) {
    std::string out;
    node->Write(0, out);
    return out;
}

struct Fixture : ::testing::Test {
    uint8_t header[144] = {};
    DiveList dives;
    DCDMLDocument doc;

    void SetUp() override {
        OutputGeneraterT2Base::SetVersionSource([](std::string&, std::string&) { return false; });
        OutputGeneraterT2Base::SetTimeSource([] {
            platform::LocalTime t;
            t.year = 2009;
            t.month = 3;
            t.day = 14;
            t.hour = 10;
            t.minute = 22;
            t.second = 5;
            return t;
        });
    }
    void TearDown() override {
        OutputGeneraterT2Base::SetVersionSource(nullptr);
        OutputGeneraterT2Base::SetTimeSource(nullptr);
    }

    // A generator with the skeleton and converter in place.
    std::unique_ptr<Probe> Make(int32_t family, int32_t units) {
        auto p = std::make_unique<Probe>(header, &dives, family, units);
        p->BuildSkeleton(doc);
        p->SetUnits();
        return p;
    }
};

using GeneratorBase = Fixture;

}  // namespace

TEST_F(GeneratorBase, SkeletonRootAttributesAndGeneratorBlock) {
    auto p = Make(2, Units::Metric);
    doc.Build();
    EXPECT_EQ(doc.Text(),
              "<?xml version=\"1.0\"?><dcdml version=\"1.0\" tstamp=\"2009-03-14 T 10:22:05\" "
              "units=\"metric\" xmlns:talvek=\"http://www.talvek.com/dcdml/1.0/dcdml-talvek\" >"
              "<generator name=\"Talvek Downloader\" version=\"\" vendor=\"Pelko Inv.\" />"
              "<device /><settings /><history /><profiledata /></dcdml >");

    OutputGeneraterT2Base::SetVersionSource([](std::string& n, std::string& v) {
        n = "Talvek XML Downloader";
        v = "1.0.0.0";
        return true;
    });
    auto q = Make(4, Units::Scientific);
    EXPECT_EQ(q->root()->Attribute("units"), "scientific");
    EXPECT_EQ(q->converter()->conversionType(), 0x80004);
    std::string gen = Xml(q->root()->children().front().get());
    EXPECT_EQ(gen,
              "<generator name=\"Talvek XML Downloader\" version=\"1.0.0.0\" "
              "vendor=\"Pelko Inv.\" />");
    auto r = Make(1, Units::Imperial);
    EXPECT_EQ(r->root()->Attribute("units"), "imperial");
    EXPECT_EQ(r->converter()->conversionType(), 0x20001);
}

// Without an installed source the generator reads the running program's own
// version block (linked into the test binary).
TEST_F(GeneratorBase, GeneratorBlockFromTheProgramsVersionBlock) {
    OutputGeneraterT2Base::SetVersionSource(nullptr);
    auto p = Make(2, Units::Metric);
    EXPECT_EQ(Xml(p->root()->children().front().get()),
              "<generator name=\"Talvek XML Downloader\" version=\"1.0.0.0\" "
              "vendor=\"Pelko Inv.\" />");
}

TEST_F(GeneratorBase, UnknownUnitsAndFamilies) {
    Probe p(header, &dives, 2, 0x10000);
    p.BuildSkeleton(doc);
    try {
        p.SetUnits();
        ADD_FAILURE();
    } catch (const sAPI::CriticalError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), L"Expected Metric, Imperial or Scientific");
    }
    Probe q(header, &dives, 3, Units::Metric);
    q.BuildSkeleton(doc);
    try {
        q.SetUnits();
        ADD_FAILURE();
    } catch (const sAPI::CriticalError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), L"UnitsConverter: Unknown Conversion Type ");
    }
}

TEST(UnitsConverter, ConversionTable) {
    ImperialUnits i1(1), i2(2);
    MetricUnits m1(1), m4(4);
    ScienceUnits s1(1), s2(2);
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
    EXPECT_EQ(s2.system(), Units::Scientific);
    EXPECT_EQ(m1.system(), Units::Metric);
    EXPECT_EQ(i1.system(), Units::Imperial);
}

TEST_F(GeneratorBase, DepthFormats) {
    auto i1 = Make(1, Units::Imperial);
    auto m1 = Make(1, Units::Metric);
    auto s1 = Make(1, Units::Scientific);
    EXPECT_EQ(i1->SampleDepthText(i1->converter()->depth(33)), "33.0");
    EXPECT_EQ(m1->SampleDepthText(m1->converter()->depth(33)), "1006");
    EXPECT_EQ(s1->SampleDepthText(s1->converter()->depth(33)), "10.058");

    auto i2 = Make(2, Units::Imperial);
    auto m2 = Make(2, Units::Metric);
    auto s3 = Make(4, Units::Scientific);
    EXPECT_EQ(m2->SampleDepthText(m2->converter()->depth(1234)), "1234");
    EXPECT_EQ(m2->SummaryDepthText(1234), "12.3");
    EXPECT_EQ(m2->SummaryDepthText(1235), "12.3");  // 12.35 in double is just below
    EXPECT_EQ(m2->SummaryDepthText(1236), "12.4");
    EXPECT_EQ(i2->SampleDepthText(i2->converter()->depth(1234)), "40.5");
    EXPECT_EQ(i2->SummaryDepthText(1234), "40.5");
    EXPECT_EQ(s3->SampleDepthText(s3->converter()->depth(1234)), "12.340");
    EXPECT_EQ(s3->SummaryDepthText(1234), "12.340");
    EXPECT_EQ(m2->SummaryDepthTextOf(1234.0L), "12.3");
    EXPECT_EQ(i2->SummaryDepthTextOf(10.0L), "10.0");
    EXPECT_EQ(m2->SampleDepthText(m2->converter()->depth(0)), "0");
    EXPECT_EQ(i2->SampleDepthText(i2->converter()->depth(0)), "0.0");
    EXPECT_EQ(s3->SampleDepthText(s3->converter()->depth(0)), "0.000");
    // 4572 cm = 150 ft exactly; 4573 cm = 150.03 ft.
    EXPECT_EQ(i2->SampleDepthText(i2->converter()->depth(4572)), "150.0");
    EXPECT_EQ(i2->SampleDepthText(i2->converter()->depth(4573)), "150.0");
    EXPECT_EQ(i2->SampleDepthText(i2->converter()->depth(65535)), "2150.1");
}

TEST_F(GeneratorBase, PressureAndTextFormats) {
    auto i2 = Make(2, Units::Imperial);
    auto m2 = Make(2, Units::Metric);
    auto s2 = Make(2, Units::Scientific);
    EXPECT_EQ(m2->PressureText(m2->converter()->pressure(2005)), "200.0");
    EXPECT_EQ(i2->PressureText(i2->converter()->pressure(2005)), "2908");
    EXPECT_EQ(s2->PressureText(s2->converter()->pressure(2005)), "200.00");
    EXPECT_EQ(i2->PressureText(i2->converter()->pressure(1001)), "1451");

    EXPECT_EQ(Probe::MinutesText(125), "02:05:00");
    EXPECT_EQ(Probe::MinutesText(0), "00:00:00");
    EXPECT_EQ(Probe::MinutesText(65535), "1092:15:00");
    EXPECT_EQ(Probe::IntText(70000), "4464");
    EXPECT_EQ(Probe::IntText(65535), "65535");
    EXPECT_EQ(Probe::ByteText(0x1FF), "255");
    EXPECT_EQ(Probe::PersonalFactorText(0xF7), "2");  // 7 / 3
    EXPECT_EQ(Probe::AltitudeFactorText(0xF7), "1");  // 7 % 3
    EXPECT_EQ(Probe::PersonalFactorText(0x0F), "5");
    EXPECT_EQ(Probe::AltitudeFactorText(0x0F), "0");
}

TEST_F(GeneratorBase, HeaderLookups) {
    Probe p(header, &dives, 2, Units::Metric);
    header[0x28] = 20;
    EXPECT_EQ(p.ModelName(), "Evrin3");
    header[0x28] = 19;
    EXPECT_EQ(p.ModelName(), "Corvel3");
    header[0x28] = 21;
    EXPECT_EQ(p.ModelName(), "CorvelAir");
    header[0x28] = 3;
    EXPECT_EQ(p.ModelName(), "Ardel");
    for (int code : {0, 1, 2, 6, 7, 8, 9, 22, 100, 254, 255}) {
        header[0x28] = static_cast<uint8_t>(code);
        EXPECT_EQ(p.ModelName(), "Unknown") << code;
    }
    header[0x73] = 0x80;
    EXPECT_EQ(p.getdivemode(), "air");
    header[0x73] = 0x81;
    EXPECT_EQ(p.getdivemode(), "nitrox");
    header[0x73] = 0x02;
    EXPECT_EQ(p.getdivemode(), "gauge");
    header[0x73] = 0x83;
    EXPECT_EQ(p.getdivemode(), "free");
    header[0x73] = 0x03;
    EXPECT_EQ(p.getdivemode(), "");

    header[0x28] = 12;
    header[0x29] = 1;
    header[0x81] = 22;
    header[0x82] = 255;
    EXPECT_EQ(p.FirmwareVersion(), "1.22.255");
    DCDML_Node_class dev("device", 1, false, false);
    p.WriteDeviceBlock(&dev, "01020304");
    EXPECT_EQ(Xml(&dev),
              "<device vendor=\"Talvek Oy\" model=\"Evrin\" serial=\"01020304\" "
              "version=\"1.22.255\" />");
}

TEST_F(GeneratorBase, DiveStampAndComputerMode) {
    _DIVE_DATA d;
    d.year = 9;
    d.month = 3;
    d.day = 14;
    d.hour = 10;
    d.minute = 22;
    d.second = 5;
    DCDML_Node_class dive("dive", 0, false, false);
    Probe::DiveTimeStamp(&dive, d);
    EXPECT_EQ(dive.Attribute("tstamp"), "2009-03-14 T 10:22:05");
    d.year = 255;
    d.month = 123;
    Probe::DiveTimeStamp(&dive, d);
    EXPECT_EQ(dive.Attribute("tstamp"), "2255-123-14 T 10:22:05");

    const char* modes[] = {"air", "nitrox", "gauge", "", ""};
    for (int m = 0; m < 5; ++m) {
        d.diveMode = static_cast<uint8_t>(m == 4 ? 200 : m);
        EXPECT_EQ(Probe::ComputerModeText(d), modes[m]);
    }
}

TEST_F(GeneratorBase, DatumWriterPerUnitSystem) {
    DCDML_Node_class parent("samples", 0, false, false);
    auto m = Make(2, Units::Metric);
    m->WriteDatum(&parent, 1234, 7, 2005, -2, 60);
    m->WriteDatum(&parent, 0, 0, 0, 0, 0);
    m->WriteDatum(&parent, 5, 2, 0, 25, 0);
    auto i = Make(2, Units::Imperial);
    i->WriteDatum(&parent, 1234, 3, 2005, -2, 0);
    auto s = Make(4, Units::Scientific);
    s->WriteDatum(&parent, 1234, 5, 2005, -2, 70000);
    EXPECT_EQ(Xml(&parent),
              "<samples >"
              "<datum depth=\"1234\" pressure=\"200.0\" temp=\"-2\" time=\"60\" />"
              "<datum depth=\"0\" />"
              "<datum depth=\"5\" temp=\"25\" />"
              "<datum depth=\"40.5\" pressure=\"2908\" temp=\"28\" />"
              "<datum depth=\"12.340\" pressure=\"200.00\" time=\"4464\" />"
              "</samples >");
}

TEST_F(GeneratorBase, MixesGasSwitchesAndDefinitions) {
    auto p = Make(2, Units::Metric);
    DCDML_Node_class samples("samples", 0, false, false);
    DCDML_Node_class defs("gasdefinitions", 0, false, false);
    EXPECT_EQ(p->AddMix(32, 2005, 1000), "gas1");
    EXPECT_EQ(p->AddNamedMix("Air", 21, 0, 0), "Air");
    EXPECT_EQ(p->AddMix(50, -1, -1), "gas3");
    p->WriteGasSwitch(&samples, "gas1", 0, false);
    p->GasSwitchByO2(&samples, 21, 120);  // existing mix
    p->GasSwitchByO2(&samples, 80, -1);   // new mix, no time
    p->GasSwitchByO2(&samples, 80, 0);    // now found
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
    p->WriteGasDefinition(**it++, &defs);
    p->WriteGasDefinition(**it++, nullptr);  // same element again
    p->WriteGasDefinition(**it++, nullptr);
    EXPECT_EQ(Xml(&defs),
              "<gasdefinitions >"
              "<gas name=\"gas1\" o2=\"32\" startpressure=\"200.0\" endpressure=\"100.0\" />"
              "<gas name=\"Air\" o2=\"21\" />"
              "<gas name=\"gas3\" o2=\"50\" />"
              "</gasdefinitions >");

    MixType one{"x", 21, 1, 5};
    auto i = Make(2, Units::Imperial);
    DCDML_Node_class defs2("gasdefinitions", 0, false, false);
    i->WriteGasDefinition(one, &defs2);
    EXPECT_EQ(Xml(&defs2),
              "<gasdefinitions ><gas name=\"x\" o2=\"21\" startpressure=\"1\" "
              "endpressure=\"7\" /></gasdefinitions >");
}

TEST_F(GeneratorBase, HeadingAndUserEvents) {
    auto p = Make(2, Units::Metric);
    DCDML_Node_class samples("samples", 0, false, false);
    TProfileControl::TEvent e;
    e.type = 4;
    e.data2 = 9;
    e.data4 = 5;
    e.word = 0x0168;  // 360 -> heading 180
    e.time = 100;
    p->WriteHeadingUserEvent(&samples, e);
    e.word = 0x8123;
    e.data4 = 0;
    p->WriteHeadingUserEvent(&samples, e);
    e.word = 0x7FFF;
    e.data4 = 255;
    e.time = 70000;
    p->WriteHeadingUserEvent(&samples, e);
    EXPECT_EQ(Xml(&samples),
              "<samples >"
              "<event id=\"heading\" value=\"180\" time=\"105\" />"
              "<event id=\"user\" time=\"100\" />"
              "<event id=\"heading\" value=\"16383\" time=\"70255\" />"
              "</samples >");
}
