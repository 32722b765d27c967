#pragma once
// The one place that chooses a writer: by the layout bits of the Options word
// (0 and 0x100 legacy, 0x200 DCDML, 0x400 UDDF before either), the family of the computer that was read
// and the unit system bits.  The session hands it what the driver yielded.
#include <cstdint>

#include "dc/base/dive_set.h"
#include "output/document_stamp.h"

namespace talvek {

class XmlDocument;

// Output bits of the Options word.
struct OutputOptions {
    static constexpr uint32_t LayoutMask = 0x300;
    static constexpr uint32_t LegacyLayout = 0x100;
    static constexpr uint32_t DcdmlLayout = 0x200;
    // UDDF, whatever the layout bits say.
    static constexpr uint32_t UddfLayout = 0x400;
    static constexpr uint32_t FullEndTags = 0x1000;
    static constexpr uint32_t Indent = 0x2000;
};

// The unit system the Options word asks for (imperial unless metric or
// scientific alone is set).
int32_t unitSystemOf(uint32_t options);

// Fills `document` (UTF-8, with the end-tag and indentation flags of
// `options`) from `dives`; a DCDML document names the program and the time
// of `stamp`.  A layout with no writer traces and throws
// Error("Output: format not supported").
void writeDocument(const DiveSet& dives, uint32_t options, const DocumentStamp& stamp,
                   XmlDocument& document);

}  // namespace talvek
