// Golden files: whole downloads of stored simulator images, compared byte for
// byte with the documents kept in tests/golden/.  They pin the complete
// output of every interface type in every layout, so that a change anywhere
// between the port and the file shows up here in one place.
//
// TALVEK_UPDATE_GOLDEN=1 rewrites the expected files instead of comparing
// (deliberate output changes only; see tests/golden/README.md).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "replay/computer_image.h"
#include "session/command_line.h"
#include "session/session.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/image_download.h"
#include "support/schema_check.h"
#include "support/scratch_dir.h"
#include "trace/trace.h"

namespace talvek {

namespace {

std::string GoldenDir() {
    return std::string(TALVEK_SOURCE_DIR) + "/tests/golden/";
}

bool Updating() {
    const char* v = std::getenv("TALVEK_UPDATE_GOLDEN");
    return v && std::string(v) == "1";
}

// How each image was made (tests/golden/README.md gives the same as
// talvek-sim command lines).
sim::BuildOptions Recipe(int type) {
    sim::BuildOptions o;
    o.type = static_cast<replay::InterfaceType>(type);
    switch (type) {
        case 1:
            o.dives = 6;
            o.seed = 11;
            break;
        case 2:
            o.dives = 8;
            o.seed = 12;
            o.wrap = true;
            break;
        default:
            o.dives = 8;
            o.seed = 13;
            o.headerAcrossTop = true;
            break;
    }
    return o;
}

std::string ImagePath(int type) {
    return GoldenDir() + "type" + std::to_string(type) + ".img";
}

struct GoldenCase {
    int type;
    const char* name;     // expected file: type<N>.<name>.xml
    const char* options;  // command-line options besides port and file
};

const GoldenCase Cases[] = {
    // Imperial is the default units; it is left to the default on purpose.
    {1, "dcdml-imperial", "-v=2"},
    {1, "dcdml-metric", "-v=2 -um"},
    {1, "dcdml-scientific", "-v=2 -us"},
    {1, "legacy", ""},
    {1, "uddf", "-uddf"},
    {2, "dcdml-imperial", "-v=2"},
    {2, "dcdml-metric", "-v=2 -um"},
    {2, "dcdml-scientific", "-v=2 -us"},
    {2, "legacy", ""},
    {2, "dcdml-metric-nfmt-tags", "-v=2 -um -nfmt -tags"},
    {2, "uddf", "-uddf"},
    {3, "dcdml-imperial", "-v=2"},
    {3, "dcdml-metric", "-v=2 -um"},
    {3, "dcdml-scientific", "-v=2 -us"},
    {3, "legacy", ""},
    {3, "uddf", "-uddf"},
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
    *os << "type " << c.type << " \"" << c.options << "\"";
}

std::string ExpectedPath(const GoldenCase& c) {
    return GoldenDir() + "type" + std::to_string(c.type) + "." + c.name + ".xml";
}

// Where two texts first differ: line, column and the text around it (the
// unindented documents are one long line).
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    const size_t lineStart = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
    size_t line = 1;
    for (size_t i = 0; i < lineStart; ++i) line += expected[i] == '\n';
    // From the line start, or from 80 bytes before the difference on a long line.
    const size_t from = at - lineStart > 80 ? at - 80 : lineStart;
    auto around = [&](const std::string& text) {
        if (from >= text.size()) return std::string("<end of document>");
        const size_t eol = text.find('\n', at < text.size() ? at : text.size() - 1);
        size_t n = (eol == std::string::npos ? text.size() : eol) - from;
        return text.substr(from, n > 200 ? 200 : n);
    };
    return "first difference at line " + std::to_string(line) + ", column " +
           std::to_string(at - lineStart + 1) + " (byte " + std::to_string(at) + "; expected " +
           std::to_string(expected.size()) + " bytes, got " + std::to_string(actual.size()) +
           ")\n  expected: " + around(expected) + "\n  actual:   " + around(actual);
}

// The values of `attribute` on every element that starts with `start`
// ("<dive "), in document order.
std::vector<std::string> AttributeValues(const std::string& doc, const std::string& start,
                                         const std::string& attribute) {
    std::vector<std::string> out;
    const std::string key = " " + attribute + "=\"";
    for (size_t at = doc.find(start); at != std::string::npos; at = doc.find(start, at + 1)) {
        const size_t close = doc.find('>', at);
        const size_t v = doc.find(key, at);
        if (v == std::string::npos || v > close) continue;
        const size_t from = v + key.size();
        out.push_back(doc.substr(from, doc.find('"', from) - from));
    }
    return out;
}

// The texts of every <name >...</name > element, in document order.
std::vector<std::string> ElementTexts(const std::string& doc, const std::string& name) {
    std::vector<std::string> out;
    const std::string open = "<" + name + " >", close = "</" + name + " >";
    for (size_t at = doc.find(open); at != std::string::npos; at = doc.find(open, at + 1)) {
        const size_t from = at + open.size();
        out.push_back(doc.substr(from, doc.find(close, from) - from));
    }
    return out;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string TwoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, DocumentMatchesTheExpectedFile) {
    const GoldenCase& c = GetParam();
    std::string actual;
    try {
        actual = DownloadDocument(ImagePath(c.type), c.options);
    } catch (const std::exception& e) {
        FAIL() << ImagePath(c.type) << " with \"" << c.options << "\": " << e.what();
    }
    if (Updating()) {
        ScratchDir::write(ExpectedPath(c), actual);
        std::printf("rewrote %s\n", ExpectedPath(c).c_str());
        return;
    }
    ASSERT_TRUE(ScratchDir::exists(ExpectedPath(c)))
        << ExpectedPath(c) << " is missing (TALVEK_UPDATE_GOLDEN=1 writes it)";
    const std::string expected = ScratchDir::read(ExpectedPath(c));
    EXPECT_TRUE(expected == actual) << ExpectedPath(c) << ": " << FirstDifference(expected, actual);
    if (std::string(c.name) == "uddf") {
        EXPECT_EQ(uddfSchemaErrors(actual), "") << c.options;
    } else if (std::string(c.name) != "legacy") {
        EXPECT_EQ(dcdmlSchemaErrors(actual), "") << c.options;
    }
}

// Cross-check of the expected files with the builder's description of the
// memory each image holds: every dive, in order, with its date and time; in
// the metric documents of types 2 and 3 also its maximum depth (centimetres)
// and dive time.
TEST_P(GoldenTest, ExpectedFileAgreesWithTheImageDescription) {
    const GoldenCase& c = GetParam();
    const std::vector<sim::MeantDive> dives = sim::buildComputer(Recipe(c.type)).meant.dives;
    const std::string doc = ScratchDir::read(ExpectedPath(c));
    ASSERT_FALSE(doc.empty()) << ExpectedPath(c);
    std::vector<std::string> stamps, wanted;
    if (std::string(c.name) == "legacy") {
        const auto years = ElementTexts(doc, "Year"), months = ElementTexts(doc, "Month"),
                   days = ElementTexts(doc, "Day"), hours = ElementTexts(doc, "Hour"),
                   minutes = ElementTexts(doc, "Minute");
        EXPECT_EQ(static_cast<size_t>(count(doc, "<DiveData ")), dives.size());
        for (size_t i = 0; i < years.size() && i < months.size() && i < days.size() &&
                           i < hours.size() && i < minutes.size();
             ++i)
            stamps.push_back(years[i] + "-" + months[i] + "-" + days[i] + " " + hours[i] + ":" +
                             minutes[i]);
        for (const auto& d : dives)
            wanted.push_back(std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
                             std::to_string(d.day) + " " + std::to_string(d.hour) + ":" +
                             std::to_string(d.minute));
    } else if (std::string(c.name) == "uddf") {
        // The generator's datetime comes first, then each dive's.
        stamps = ElementTexts(doc, "datetime");
        if (!stamps.empty()) stamps.erase(stamps.begin());
        for (const auto& d : dives)
            wanted.push_back("20" + TwoDigits(d.year) + "-" + TwoDigits(d.month) + "-" +
                             TwoDigits(d.day) + "T" + TwoDigits(d.hour) + ":" +
                             TwoDigits(d.minute) + ":" + TwoDigits(d.second));
    } else {
        stamps = AttributeValues(doc, "<dive ", "tstamp");
        for (const auto& d : dives)
            wanted.push_back("20" + TwoDigits(d.year) + "-" + TwoDigits(d.month) + "-" +
                             TwoDigits(d.day) + " T " + TwoDigits(d.hour) + ":" +
                             TwoDigits(d.minute) + ":" + TwoDigits(d.second));
    }
    EXPECT_EQ(stamps, wanted) << ExpectedPath(c);

    if (c.type == 1 || std::string(c.name).rfind("dcdml-metric", 0) != 0) return;
    std::vector<std::string> depths, times;
    for (const auto& d : dives) {
        depths.push_back(std::to_string(d.maxDepth));
        times.push_back(TwoDigits(d.diveTime / 60) + ":" + TwoDigits(d.diveTime % 60) + ":00");
    }
    EXPECT_EQ(AttributeValues(doc, "<statistics ", "maxdepth"), depths) << ExpectedPath(c);
    EXPECT_EQ(AttributeValues(doc, "<statistics ", "divetime"), times) << ExpectedPath(c);
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenTest, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             std::string n =
                                 "type" + std::to_string(info.param.type) + "_" + info.param.name;
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

// The images are what tests/golden/README.md says they are, and the ring of
// the type 2 and type 3 images has wrapped past the top (the type 3 image
// with a header across it), so the wrap path is pinned.
TEST(GoldenImages, AreWhatTheirRecipesBuild) {
    for (int type : {1, 2, 3}) {
        const sim::BuiltComputer built = sim::buildComputer(Recipe(type));
        EXPECT_TRUE(built.image == replay::loadImage(ImagePath(type)))
            << ImagePath(type) << " is no longer what its recipe builds";
        if (type == 1) continue;
        EXPECT_LT(built.meant.endPointer, built.meant.startPointer) << "type " << type;
        EXPECT_GT(built.meant.dives.size(), 4u) << "type " << type;
    }
}

}  // namespace

}  // namespace talvek
