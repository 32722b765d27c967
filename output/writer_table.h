#pragma once
// The one place that chooses a writer: by the layout the run asked for and
// the family of the computer that was read.  The session hands it what the
// driver yielded and the typed output choice of the command line.
#include <cstdint>

#include "dc/base/dive_set.h"
#include "output/document_stamp.h"
#include "output/units_converter.h"

namespace talvek {

class XmlDocument;

enum class Layout {
    Legacy,
    Dcdml,
    Uddf,
    Unknown,  // asked for in a way no writer serves
};

// How the document is to be written.
struct OutputChoice {
    Layout layout = Layout::Legacy;
    UnitSystem units = UnitSystem::Imperial;  // the DCDML layout's (UDDF is SI)
    bool fullEndTags = false;                 // an empty element gets an end tag too
    bool indent = true;
};

// Fills `document` (UTF-8, with the end-tag and indentation flags of
// `choice`) from `dives`; a DCDML document names the program and the time
// of `stamp`.  `driverName` names the driver that read the dives in the
// trace lines of the choice.  A layout with no writer for the family traces
// and throws Error("Output: format not supported").
void writeDocument(const DiveSet& dives, const OutputChoice& choice, const DocumentStamp& stamp,
                   XmlDocument& document, const char* driverName = "Driver");

}  // namespace talvek
