// The one reading of the Options word: which interface types to probe and
// how to write the document.
#include "session/request.h"

#include <gtest/gtest.h>

namespace talvek {

TEST(Request, UnitSystemFromTheOptionsWord) {
    EXPECT_EQ(outputChoiceOf(0x4620F).units, UnitSystem::Metric);
    EXPECT_EQ(outputChoiceOf(0x80000).units, UnitSystem::Scientific);
    EXPECT_EQ(outputChoiceOf(0x20000).units, UnitSystem::Imperial);
    EXPECT_EQ(outputChoiceOf(0).units, UnitSystem::Imperial);
    // Two systems at once is no system: imperial, as without one.
    EXPECT_EQ(outputChoiceOf(0xC0000).units, UnitSystem::Imperial);
}

TEST(Request, LayoutAndDocumentFlagsFromTheOptionsWord) {
    struct Row {
        uint32_t options;
        Layout layout;
        bool fullEndTags, indent;
    };
    const Row rows[] = {
        {0x0000, Layout::Legacy, false, false}, {0x0100, Layout::Legacy, false, false},
        {0x0200, Layout::Dcdml, false, false},  {0x0300, Layout::Unknown, false, false},
        {0x0700, Layout::Uddf, false, false},   {0x0500, Layout::Uddf, false, false},
        {0x1200, Layout::Dcdml, true, false},   {0x2100, Layout::Legacy, false, true},
        {0x3600, Layout::Uddf, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        const OutputChoice c = outputChoiceOf(row.options);
        EXPECT_EQ(c.layout, row.layout);
        EXPECT_EQ(c.fullEndTags, row.fullEndTags);
        EXPECT_EQ(c.indent, row.indent);
    }
}

TEST(Request, TypesToProbeFromTheOptionsWord) {
    // -dv=1, 2, 3 name one type, 4 none, anything else all (types the
    // table adds included).
    EXPECT_EQ(probeChoiceOf(0x2600F), ProbeChoice::all());
    EXPECT_EQ(probeChoiceOf(0x26001), ProbeChoice::only({1}));
    EXPECT_EQ(probeChoiceOf(0x26002), ProbeChoice::only({2}));
    EXPECT_EQ(probeChoiceOf(0x26004), ProbeChoice::only({3}));
    EXPECT_EQ(probeChoiceOf(0x26008), ProbeChoice::only({}));
    EXPECT_EQ(probeChoiceOf(0x06), ProbeChoice::only({2, 3}));
    EXPECT_TRUE(ProbeChoice::all().includes(7));
    EXPECT_FALSE(probeChoiceOf(0x08).includes(4));
    EXPECT_FALSE(probeChoiceOf(0x06).includes(1));
}

TEST(Request, CarriesTheWordItWasReadFrom) {
    const Request r = requestFor("/dev/ttyS0", "out.xml", 0x4620F);
    EXPECT_EQ(r.port, "/dev/ttyS0");
    EXPECT_EQ(r.outputFile, "out.xml");
    EXPECT_EQ(r.options, 0x4620Fu);
    EXPECT_EQ(r.output.layout, Layout::Dcdml);
    EXPECT_EQ(r.probe, ProbeChoice::all());
}

}  // namespace talvek
