// What the report page says and how it hangs together: the header, the
// table newest first with links that reach their dives, units as asked,
// escaped text, a note for a dive without samples, nothing fetched from
// elsewhere.
#include "output/report/html_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "output/units_converter.h"
#include "support/profile_bytes.h"
#include "support/report_reading.h"
#include "support/text_count.h"
#include "support/writer_inputs.h"

namespace talvek {

namespace {

using namespace report_test;

// A short dive of `samples` samples at a steady 10.00 m, 18 degrees.
std::shared_ptr<DiveRecord> steadyDive(int day, int samples) {
    ProfileBytes p;
    for (int k = 0; k < samples; ++k) p.word(1000).byte(18);
    p.word(0).word(0);
    auto d = decodedDive(p, 30, 1, 0xFFFF);
    d->day = static_cast<uint8_t>(day);
    d->maxDepth = 1000;
    d->diveTime = static_cast<uint16_t>(samples / 2);
    return d;
}

DiveSet threeDives() {
    DiveSet set;
    set.family = DataFamily::Family2;
    set.header[0x28] = 20;  // model code of the "Evrin3"
    set.header[0x29] = 1;
    set.header[0x81] = 2;
    set.header[0x82] = 3;
    const uint8_t serial[] = {1, 2, 3, 4};
    std::memcpy(set.header.data() + 0x2A, serial, 4);
    for (int day = 1; day <= 3; ++day) set.dives.push_back(steadyDive(day, 6));
    return set;
}

// The degree sign in UTF-8.
const std::string Degree = "\xC2\xB0";

std::string page(const DiveSet& set, UnitSystem units = UnitSystem::Metric) {
    return htmlReport(set, units, stampAt(2025, 1, 2, 3, 4, 5));
}

// The href targets of the table's rows, in order.
std::vector<std::string> rowLinks(const std::string& html) {
    std::vector<std::string> links;
    const std::string table =
        html.substr(html.find("<tbody>"), html.find("</tbody>") - html.find("<tbody>"));
    static const std::regex link(R"re(<a href="#([^"]+)">)re");
    for (auto it = std::sregex_iterator(table.begin(), table.end(), link);
         it != std::sregex_iterator(); ++it)
        links.push_back((*it)[1]);
    return links;
}

TEST(HtmlReport, HeaderNamesTheComputerAndTheDownload) {
    const std::string html = page(threeDives());
    EXPECT_EQ(html.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\"/>"), std::string::npos);
    EXPECT_NE(html.find("<dt>Computer</dt><dd>Evrin3</dd>"), std::string::npos);
    EXPECT_NE(html.find("<dt>Serial number</dt><dd>01020304</dd>"), std::string::npos);
    EXPECT_NE(html.find("<dt>Firmware</dt><dd>1.2.3</dd>"), std::string::npos);
    EXPECT_NE(html.find("<dt>Downloaded</dt><dd>2025-01-02 03:04:05</dd>"), std::string::npos);
    EXPECT_NE(html.find("<dt>Dives</dt><dd>3</dd>"), std::string::npos);
    EXPECT_EQ(html.find("Personal information"), std::string::npos);  // the text is empty

    // A type 1 computer writes its serial number as one decimal number.
    DiveSet type1 = threeDives();
    type1.family = DataFamily::Family1;
    type1.dives.clear();
    EXPECT_NE(page(type1).find("<dd>1020304</dd>"), std::string::npos);
}

TEST(HtmlReport, TableIsNewestFirstAndEveryRowReachesItsDive) {
    const std::string html = page(threeDives());
    EXPECT_EQ(rowLinks(html), (std::vector<std::string>{"dive-3", "dive-2", "dive-1"}));
    // The dates go with the numbers: dive 3 is the one of the 3rd.
    EXPECT_NE(html.find("<a href=\"#dive-3\">2024-05-03 07:08</a></td><td>3</td>"),
              std::string::npos);
    size_t previous = 0;
    for (const std::string& id : rowLinks(html)) {
        const size_t at = html.find("<section class=\"dive\" id=\"" + id + "\">");
        ASSERT_NE(at, std::string::npos) << id;
        EXPECT_GT(at, previous) << "sections in the table's order";
        previous = at;
        EXPECT_EQ(occurrences(html, "id=\"" + id + "\""), 1);
    }
    EXPECT_EQ(occurrences(html, "<svg class=\"profile\""), 3);
    EXPECT_EQ(occurrences(html, "<a href=\"#dives\">"), 3);
    EXPECT_NE(html.find("<table id=\"dives\">"), std::string::npos);
}

TEST(HtmlReport, UnitsFollowTheUnitSystem) {
    DiveSet set = threeDives();
    // 10.00 m, 18 degrees Celsius: 32.8 ft and 64 degrees Fahrenheit, 291 K.
    const std::string metric = page(set, UnitSystem::Metric);
    EXPECT_NE(metric.find("<td>10.0 m</td>"), std::string::npos);
    EXPECT_NE(metric.find("<td>18" + Degree + "C</td>"), std::string::npos);
    EXPECT_NE(metric.find("Depth (m)"), std::string::npos);
    const std::string imperial = page(set, UnitSystem::Imperial);
    EXPECT_NE(imperial.find("<td>32.8 ft</td>"), std::string::npos);
    EXPECT_NE(imperial.find("<td>64" + Degree + "F</td>"), std::string::npos);
    EXPECT_NE(imperial.find("Depth (ft)"), std::string::npos);
    EXPECT_EQ(imperial.find(" m<"), std::string::npos);
    const std::string scientific = page(set, UnitSystem::Scientific);
    EXPECT_NE(scientific.find("<td>10.0 m</td>"), std::string::npos);
    EXPECT_NE(scientific.find("<td>291 K</td>"), std::string::npos);
    EXPECT_NE(scientific.find("Temperature (K)"), std::string::npos);
}

TEST(HtmlReport, DeviceTextIsEscapedAndWrittenAsUtf8) {
    DiveSet set = threeDives();
    const char owner[] = "<b>J\xE4rvi</b> & \"co\" 'x'";
    std::memcpy(set.header.data() + 0x30, owner, std::strlen(owner));
    const std::string html = page(set);
    EXPECT_NE(html.find("<dd>&lt;b&gt;J\xC3\xA4rvi&lt;/b&gt; &amp; &quot;co&quot; &apos;x&apos;"
                        "</dd>"),
              std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    // Forty characters at most, as the XML writes them.
    DiveSet full = threeDives();
    std::memset(full.header.data() + 0x30, 'A', 48);
    EXPECT_NE(page(full).find("<dd>" + std::string(40, 'A') + "</dd>"), std::string::npos);
    EXPECT_EQ(page(full).find(std::string(41, 'A')), std::string::npos);
}

TEST(HtmlReport, NeedsNothingFromElsewhere) {
    const std::string html = page(threeDives());
    for (const char* fetch : {"<script", "<link", "<img", "<iframe", "src=", "url(", "@import",
                              "http:", "https:", "//"})
        EXPECT_EQ(html.find(fetch), std::string::npos) << fetch;
    EXPECT_NE(html.find("<style>"), std::string::npos);
}

TEST(HtmlReport, ADiveWithoutSamplesKeepsItsRowAndGetsANote) {
    DiveSet set = threeDives();
    set.dives[1] = steadyDive(2, 0);
    const std::string html = page(set);
    EXPECT_EQ(rowLinks(html).size(), 3u);
    const std::string section = diveSection(html, 2);
    ASSERT_FALSE(section.empty());
    EXPECT_NE(section.find("<p class=\"none\">"), std::string::npos);
    EXPECT_EQ(section.find("<svg"), std::string::npos);
    EXPECT_NE(diveSection(html, 1).find("<svg class=\"profile\""), std::string::npos);
    EXPECT_EQ(occurrences(html, "<svg class=\"profile\""), 2);
}

TEST(HtmlReport, NoDivesIsATableWithOneLine) {
    DiveSet set = threeDives();
    set.dives.clear();
    const std::string html = page(set);
    EXPECT_NE(html.find("<td class=\"text\" colspan=\"7\">No dives</td>"), std::string::npos);
    EXPECT_EQ(html.find("<section"), std::string::npos);
    EXPECT_NE(html.find("<dt>Dives</dt><dd>0</dd>"), std::string::npos);
    EXPECT_NE(html.find("</html>\n"), std::string::npos);
}

TEST(HtmlReport, GasesAndModeOfEachDive) {
    DiveSet set = threeDives();
    // Nitrox 32 % with a second mix of 50 %; a switch to 80 % adds a third.
    ProfileBytes p;
    p.raw({5, 80, 0}).endBlock(0xFFFF).word(500).byte(20).word(0).word(0);
    auto nitrox = decodedDive(p, 20, 1, 0);
    nitrox->diveMode = 1;
    nitrox->oxygen1 = 32;
    nitrox->oxygen2 = 50;
    set.dives[0] = nitrox;
    const std::string html = page(set);
    EXPECT_NE(html.find("<td class=\"text\">gas1 32%, gas2 50%, gas3 80%</td>"
                        "<td class=\"text\">nitrox</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"text\">Air 21%</td><td class=\"text\">air</td>"),
              std::string::npos);
}

}  // namespace

}  // namespace talvek
