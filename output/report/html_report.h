#pragma once
// The download as a page any browser opens: one HTML5 file with no external
// resources (inline CSS and SVG, no scripts).  A header names the computer,
// a table lists the dives newest first, each row linking to its dive below,
// and each dive has its profile plot, or a short note when it has no
// samples.  It reads the same dive set the XML writers read, decodes the
// profiles as they do (output/dive_timeline) and converts with the same
// UnitsConverter.
#include <cstdint>
#include <string>

#include "dc/base/dive_set.h"
#include "output/document_stamp.h"
#include "output/units_converter.h"

namespace talvek {

// The page as UTF-8 text in `unitSystem` (a value outside the enum is
// imperial); the stamp's time is the download time the header shows.
std::string htmlReport(const DiveSet& dives, UnitSystem unitSystem, const DocumentStamp& stamp);

}  // namespace talvek
