// The one table that chooses a writer: which writer each layout and family
// gets, what it traces, the document flags, refused layouts, and whole
// documents of simulated computers in every layout and unit system.
#include "output/writer_table.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "dc/base/errors.h"
#include "session/interface_table.h"
#include "session/request.h"
#include "sim/dive_builder.h"
#include "support/meant_dive_set.h"
#include "support/schema_check.h"
#include "support/serial_test_support.h"
#include "support/writer_inputs.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

using serialtest::TraceCapture;

DocumentStamp fixedStamp() {
    return stampAt(2024, 5, 17, 10, 20, 30, ProgramVersion{"Talvek XML Downloader", "1.0.0.0"});
}

// The driver that reads a family, as the table of interface types names it.
const char* driverOf(DataFamily family) {
    const InterfaceTable table = standardInterfaces();
    for (const InterfaceRow& row : table.rows())
        if (row.family == family) return row.traceName;
    return "Driver";
}

// The document for the output bits of an Options word.
void writeFor(const DiveSet& set, uint32_t options, XmlDocument& doc) {
    writeDocument(set, outputChoiceOf(options), fixedStamp(), doc, driverOf(set.family));
}

std::string write(const DiveSet& set, uint32_t options) {
    XmlDocument doc;
    writeFor(set, options, doc);
    const std::string text = doc.outputBuffer();
    const Layout layout = outputChoiceOf(options).layout;
    if (layout == Layout::Uddf) {
        EXPECT_EQ(uddfSchemaErrors(text), "");
    } else if (layout == Layout::Dcdml) {
        EXPECT_EQ(dcdmlSchemaErrors(text), "");
    }
    return text;
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

sim::MeantComputer meant(replay::InterfaceType type, uint32_t seed, int dives, bool wrap = false) {
    sim::BuildOptions o;
    o.type = type;
    o.seed = seed;
    o.dives = dives;
    o.wrap = wrap;
    return sim::buildComputer(o).meant;
}

std::vector<std::vector<std::string>> matches(const std::string& text, const std::string& pattern) {
    std::vector<std::vector<std::string>> out;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
        std::vector<std::string> groups;
        for (size_t g = 1; g < it->size(); ++g) groups.push_back((*it)[g].str());
        out.push_back(groups);
    }
    return out;
}

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
    char buf[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

// Sample depth text of a depth in centimetres.
std::string depthText(uint16_t cm, int32_t units) {
    switch (units) {
        case 0x40000:
            return fmt("%.0f", static_cast<double>(cm));
        case 0x80000:
            return fmt("%.3f", static_cast<double>(cm) * 0.01);
        default:
            return fmt("%.1f",
                       static_cast<double>(static_cast<long double>(cm) * 0.03280839895013123L));
    }
}

std::string minutesText(uint16_t minutes) {
    return fmt("%02u:%02u:00", minutes / 60, minutes % 60);
}

void checkDcdml(const std::string& text, const sim::MeantComputer& m, int32_t units) {
    const char* unitName = units == 0x40000   ? "metric"
                           : units == 0x80000 ? "scientific"
                                              : "imperial";
    EXPECT_EQ(matches(text, std::string("<dcdml [^>]*units=\"") + unitName + "\"").size(), 1u);
    EXPECT_EQ(matches(text, fmt("<device [^>]*serial=\"%02u%02u%02u%02u\"", m.serial[0],
                                m.serial[1], m.serial[2], m.serial[3]))
                  .size(),
              1u);
    EXPECT_EQ(matches(text, std::string("<settings units=\"") + (m.metric ? "metric" : "imperial") +
                                "\" >")
                  .size(),
              1u);
    const auto history =
        matches(text, "<history dives=\"([^\"]*)\" maxdepth=\"([^\"]*)\" divetime=\"([^\"]*)\"");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0][0], std::to_string(m.totalDives));
    if (units == 0x40000) {
        EXPECT_EQ(history[0][1], fmt("%.1f", m.maxDepth * 0.01));
    } else if (units == 0x20000) {
        EXPECT_EQ(history[0][1], depthText(m.maxDepth, units));
    }
    EXPECT_EQ(history[0][2], minutesText(m.totalDiveTime));

    const auto dives =
        matches(text, "<dive tstamp=\"([^\"]*)\" surfaceinterval=\"([^\"]*)\" id=\"([^\"]*)\"");
    const auto stats = matches(text, "<statistics maxdepth=\"([^\"]*)\" divetime=\"([^\"]*)\"");
    const auto tissues = matches(text, "<tissue name=\"tissue([1-9])\" start=\"([0-9]*)\"");
    ASSERT_EQ(dives.size(), m.dives.size());
    ASSERT_EQ(stats.size(), m.dives.size());
    ASSERT_EQ(tissues.size(), 9 * m.dives.size());
    for (size_t i = 0; i < m.dives.size(); ++i) {
        SCOPED_TRACE(i);
        const sim::MeantDive& d = m.dives[i];
        EXPECT_EQ(dives[i][0], fmt("%02u-%02u-%02u T %02u:%02u:%02u", 2000u + d.year, d.month,
                                   d.day, d.hour, d.minute, d.second));
        EXPECT_EQ(dives[i][1],
                  fmt("%02u:%02u:00", d.surfaceIntervalHours, d.surfaceIntervalMinutes));
        EXPECT_EQ(dives[i][2], std::to_string(d.diveNumber));
        EXPECT_EQ(stats[i][0], depthText(d.maxDepth, units));
        EXPECT_EQ(stats[i][1], minutesText(d.diveTime));
        for (int t = 0; t < 9; ++t) EXPECT_EQ(tissues[9 * i + t][1], std::to_string(d.tissue[t]));
    }
    // Every sample datum is one of the samples the computer stored, in order.
    const auto samplesBlocks =
        matches(text, "<samples interval=\"[0-9]*\" >([\\s\\S]*?)</samples >");
    ASSERT_EQ(samplesBlocks.size(), m.dives.size());
    for (size_t i = 0; i < m.dives.size(); ++i) {
        SCOPED_TRACE(i);
        const auto datums =
            matches(samplesBlocks[i][0], "<datum depth=\"([^\"]*)\"( pressure| temp| />| time)");
        ASSERT_GE(datums.size(), 2u);
        EXPECT_EQ(datums.front()[0], depthText(0, units));
        EXPECT_EQ(datums.back()[0], depthText(0, units));
        size_t next = 0;
        const auto& samples = m.dives[i].samples;
        for (size_t k = 1; k + 1 < datums.size(); ++k) {
            while (next < samples.size() && depthText(samples[next].depth, units) != datums[k][0])
                ++next;
            ASSERT_LT(next, samples.size()) << "datum " << k << " depth " << datums[k][0];
            ++next;
        }
        EXPECT_GE(datums.size() - 2, samples.size() / 2);
    }
}

void checkLegacy(const std::string& text, const sim::MeantComputer& m) {
    EXPECT_EQ(matches(text, "<TalvekDownload[ >]").size(), 1u);
    const auto maxDepth = matches(text, "<MaxDepth >([^<]*)</MaxDepth >");
    ASSERT_EQ(maxDepth.size(), 1u);
    EXPECT_EQ(maxDepth[0][0],
              std::to_string(static_cast<int>(m.maxDepth * 0.03280839895013123 + 0.5)));
    EXPECT_EQ(matches(text, fmt("<SerialNumber >%u%u%u%u</SerialNumber >", m.serial[0], m.serial[1],
                                m.serial[2], m.serial[3]))
                  .size(),
              1u);
    const auto dives = matches(text, "<DiveData >([\\s\\S]*?)</DiveData >");
    ASSERT_EQ(dives.size(), m.dives.size());
    for (size_t i = 0; i < m.dives.size(); ++i) {
        SCOPED_TRACE(i);
        const sim::MeantDive& d = m.dives[i];
        auto field = [&](const char* name) {
            const auto f = matches(dives[i][0], fmt("<%s >([^<]*)</%s >", name, name));
            return f.size() == 1 ? f[0][0] : std::string("?");
        };
        EXPECT_EQ(field("Year"), std::to_string(d.year));
        EXPECT_EQ(field("Month"), std::to_string(d.month));
        EXPECT_EQ(field("Day"), std::to_string(d.day));
        EXPECT_EQ(field("Hour"), std::to_string(d.hour));
        EXPECT_EQ(field("Minute"), std::to_string(d.minute));
        EXPECT_EQ(field("DiveNumber"), std::to_string(d.diveNumber));
        EXPECT_EQ(field("SurfaceIntervalHours"), std::to_string(d.surfaceIntervalHours));
        EXPECT_EQ(field("SurfaceIntervalMinutes"), std::to_string(d.surfaceIntervalMinutes));
        EXPECT_EQ(field("GasMix"), std::to_string(d.oxygen1));
        EXPECT_EQ(field("CNSClock"), std::to_string(d.cnsOtu));
        EXPECT_EQ(field("FO2"), "0");
    }
}

}  // namespace

TEST(WriterTable, EachLayoutAndFamilyGetsItsWriterAndItsTraceLine) {
    struct Row {
        DataFamily family;
        uint32_t layout;
        const char* root;
        const char* chosen;  // the line that names the choice; null: none
        const char* begin;   // the chosen writer's first line
    };
    const Row rows[] = {
        {DataFamily::Family1, 0x000, "<TalvekDownload", nullptr,
         "Generate::Device(1),Type(1): Begin 'TalvekDownload'"},
        {DataFamily::Family1, 0x100, "<TalvekDownload", nullptr,
         "Generate::Device(1),Type(1): Begin 'TalvekDownload'"},
        {DataFamily::Family1, 0x200, "<dcdml ", nullptr, "Generate::Device(1),Type(2): Begin "},
        {DataFamily::Family2, 0x000, "<TalvekDownload",
         "Device_TypeD::MakeOutput(): Using Generator Type 1",
         "Generate::Device(2),Type(1): Begin 'TalvekDownload'"},
        {DataFamily::Family2, 0x100, "<TalvekDownload",
         "Device_TypeD::MakeOutput(): Using Generator Type 1",
         "Generate::Device(2),Type(1): Begin 'TalvekDownload'"},
        {DataFamily::Family2, 0x200, "<dcdml ",
         "Device_TypeD::MakeOutput(): Using Generator Type 2", "Generate::Device=2 Type=2: Begin "},
        {DataFamily::Family3, 0x000, "<TalvekDownload",
         "Device_TypeC2V2::MakeOutput(): Using Generator Type 1",
         "Generate::Device(2),Type(1): Begin 'TalvekDownload'"},
        {DataFamily::Family3, 0x100, "<TalvekDownload",
         "Device_TypeC2V2::MakeOutput(): Using Generator Type 1",
         "Generate::Device(2),Type(1): Begin 'TalvekDownload'"},
        {DataFamily::Family3, 0x200, "<dcdml ",
         "Device_TypeC2V2::MakeOutput(): Using Generator Type 2",
         "Generate::Device=3 Type=2: Begin "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(familyCode(row.family)) + " " + std::to_string(row.layout));
        TraceCapture trace;
        DiveSet set;
        set.family = row.family;
        const std::string text = write(set, row.layout | 0x40000);
        EXPECT_EQ(countOf(text, row.root), 1u);
        const auto chosen = trace.matching("Device_");
        if (row.chosen) {
            ASSERT_EQ(chosen.size(), 1u);
            EXPECT_EQ(chosen[0].level, "Info");
            EXPECT_EQ(chosen[0].text, row.chosen);
        } else {
            EXPECT_TRUE(chosen.empty());
        }
        const auto begin = trace.matching("Generate::Device");
        ASSERT_FALSE(begin.empty());
        EXPECT_EQ(begin[0].text, row.begin);
    }
}

TEST(WriterTable, AnUnknownLayoutBuildsNothing) {
    for (const auto& [family, driver] :
         {std::pair<DataFamily, std::string>{DataFamily::Family1, "Device_Type1"},
          {DataFamily::Family2, "Device_TypeD"},
          {DataFamily::Family3, "Device_TypeC2V2"}}) {
        SCOPED_TRACE(familyCode(family));
        TraceCapture trace;
        DiveSet set;
        set.family = family;
        XmlDocument doc;
        try {
            writeFor(set, 0x300 | 0x80000, doc);
            FAIL();
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), 3);
            EXPECT_STREQ(e.what(), "Output: format not supported");
        }
        EXPECT_EQ(doc.root(), nullptr);
        EXPECT_EQ(doc.flags(), 0u);
        const auto t = trace.matching(driver + "::MakeOutput(): Requested invalid output Format");
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0].level, "Error");
    }
}

TEST(WriterTable, DocumentOptionsFollowTheFlags) {
    for (uint32_t flags : {0x200u, 0x1200u, 0x2200u, 0x3200u, 0x100u, 0x3100u}) {
        DiveSet set;
        set.family = DataFamily::Family2;
        XmlDocument doc;
        doc.setFlags(XmlDocument::FullEndTags | XmlDocument::Indent);
        writeFor(set, flags | 0x40000, doc);
        EXPECT_EQ(doc.flags() & 0x07,
                  0x04u | ((flags & 0x1000) ? 1u : 0u) | ((flags & 0x2000) ? 2u : 0u))
            << std::hex << flags;
        EXPECT_NE(doc.text().find((flags & 0x200) ? "<dcdml " : "<TalvekDownload"),
                  std::string::npos);
    }
}

TEST(WriterTable, Family1InBothLayouts) {
    const sim::MeantComputer m = meant(replay::InterfaceType::Type1, 23, 4);
    const DiveSet set = simtest::meantDiveSet(m);
    ASSERT_EQ(set.dives.size(), 4u);
    TraceCapture trace;

    XmlDocument legacy;
    writeFor(set, 0, legacy);
    std::string l = legacy.outputBuffer();
    EXPECT_EQ(l.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TalvekDownload >", 0), 0u);
    EXPECT_EQ(countOf(l, "<DiveData >"), 4u);
    EXPECT_NE(l.find("<TotalDives >4</TotalDives >"), std::string::npos);
    EXPECT_NE(l.find("<MaxDepth >" + std::to_string(m.maxDepth / 128) + "</MaxDepth >"),
              std::string::npos);
    EXPECT_NE(l.find(fmt("<SerialNumber >%u</SerialNumber >",
                         m.serial[0] * 1000000u + m.serial[1] * 10000u + m.serial[2] * 100u +
                             m.serial[3])),
              std::string::npos);
    size_t at = 0;
    for (const ConstDivePtr& d : set.dives) {
        at = l.find("<StartingPressure >" + std::to_string(d->startCylinderPressure) +
                        "</StartingPressure ><GasMix >" + std::to_string(d->oxygen1) + "</GasMix >",
                    at);
        ASSERT_NE(at, std::string::npos);
        ++at;
    }

    // Indentation puts a blank line after the declaration.
    XmlDocument indented;
    writeFor(set, 0x100 | 0x2000, indented);
    EXPECT_EQ(indented.flags(), XmlDocument::Utf8 | XmlDocument::Indent);
    l = indented.outputBuffer();
    EXPECT_EQ(l.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<TalvekDownload >", 0), 0u);

    XmlDocument dcdml;
    writeFor(set, 0x200 | 0x80000 | 0x2000, dcdml);
    std::string d = dcdml.outputBuffer();
    EXPECT_NE(d.find("<dcdml "), std::string::npos);
    EXPECT_NE(d.find("units=\"scientific\""), std::string::npos);
    EXPECT_EQ(countOf(d, "<dive "), 4u);
    EXPECT_NE(d.find("dives=\"4\""), std::string::npos);

    XmlDocument tags;
    writeFor(set, 0x200 | 0x40000 | 0x1000, tags);
    EXPECT_EQ(tags.flags(), XmlDocument::Utf8 | XmlDocument::FullEndTags);
    d = tags.outputBuffer();
    EXPECT_NE(d.find("units=\"metric\""), std::string::npos);
    EXPECT_NE(d.find(fmt("serial=\"%u\"", m.serial[0] * 1000000u + m.serial[1] * 10000u +
                                              m.serial[2] * 100u + m.serial[3])),
              std::string::npos);
    EXPECT_EQ(countOf(d, "</dive >"), 4u);

    // Type 1 never traced its choice.
    EXPECT_TRUE(trace.matching("Device_Type1::MakeOutput(): Using").empty());
}

TEST(WriterTable, Family1WithoutDives) {
    const DiveSet set = simtest::meantDiveSet(meant(replay::InterfaceType::Type1, 1, 0));
    EXPECT_NE(write(set, 0x100).find("<!--   No Dives   -->"), std::string::npos);
}

TEST(WriterTable, Families2And3InBothLayoutsAndEveryUnitSystem) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        const sim::MeantComputer m = meant(type, 29, 14, /*wrap=*/true);
        const DiveSet set = simtest::meantDiveSet(m);
        for (int32_t units : {0x20000, 0x40000, 0x80000}) {
            SCOPED_TRACE(units);
            checkDcdml(write(set, 0x200 | static_cast<uint32_t>(units)), m, units);
        }
        for (uint32_t layout : {0x000u, 0x100u}) checkLegacy(write(set, layout | 0x40000), m);
    }
}

}  // namespace talvek
