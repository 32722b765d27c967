#include "output/writer_table.h"

#include <memory>

#include "dc/base/errors.h"
#include "output/dcdml/dcdml_family1_writer.h"
#include "output/dcdml/dcdml_family23_writer.h"
#include "output/legacy/legacy_writer.h"
#include "output/uddf/uddf_writer.h"
#include "output/units_converter.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

enum class Layout { Legacy, Dcdml, Uddf };

using Factory = std::unique_ptr<Writer> (*)(const DiveSet& dives, int32_t units,
                                            const DocumentStamp& stamp);

// The legacy layout has no units and no stamp.
template <class W>
std::unique_ptr<Writer> legacy(const DiveSet& d, int32_t, const DocumentStamp&) {
    return std::make_unique<W>(d);
}

template <class W>
std::unique_ptr<Writer> dcdml(const DiveSet& d, int32_t units, const DocumentStamp& stamp) {
    return std::make_unique<W>(d, units, stamp);
}

// UDDF is SI whatever the unit bits say.
std::unique_ptr<Writer> uddf(const DiveSet& d, int32_t, const DocumentStamp& stamp) {
    return std::make_unique<UddfWriter>(d, stamp);
}

struct WriterRow {
    Layout layout;
    int32_t family;
    Factory make;
    // Traced when the row is chosen; type 1 traces nothing.
    const char* chosenLine;
};

const WriterRow Writers[] = {
    {Layout::Legacy, 1, legacy<LegacyFamily1Writer>, nullptr},
    {Layout::Dcdml, 1, dcdml<DcdmlFamily1Writer>, nullptr},
    {Layout::Legacy, 2, legacy<LegacyFamily23Writer>,
     "Device_TypeD::MakeOutput(): Using Generator Type 1"},
    {Layout::Dcdml, 2, dcdml<DcdmlFamily23Writer>,
     "Device_TypeD::MakeOutput(): Using Generator Type 2"},
    {Layout::Legacy, 4, legacy<LegacyFamily23Writer>,
     "Device_TypeC2V2::MakeOutput(): Using Generator Type 1"},
    {Layout::Dcdml, 4, dcdml<DcdmlFamily23Writer>,
     "Device_TypeC2V2::MakeOutput(): Using Generator Type 2"},
    {Layout::Uddf, 1, uddf, nullptr},
    {Layout::Uddf, 2, uddf, nullptr},
    {Layout::Uddf, 4, uddf, nullptr},
};

// The trace prefix of the driver that used to choose for each family.
const char* driverName(int32_t family) {
    switch (family) {
        case 1:
            return "Device_Type1";
        case 2:
            return "Device_TypeD";
        case 4:
            return "Device_TypeC2V2";
        default:
            return "Driver";
    }
}

void setDocumentOptions(XmlDocument& document, uint32_t options) {
    document.setFlags(XmlDocument::Utf8);
    if (options & OutputOptions::FullEndTags)
        document.setFlags(XmlDocument::FullEndTags);
    else
        document.clearFlags(XmlDocument::FullEndTags);
    if (options & OutputOptions::Indent)
        document.setFlags(XmlDocument::Indent);
    else
        document.clearFlags(XmlDocument::Indent);
}

}  // namespace

int32_t unitSystemOf(uint32_t options) {
    switch (options & UnitSystem::Mask) {
        case UnitSystem::Metric:
            return UnitSystem::Metric;
        case UnitSystem::Scientific:
            return UnitSystem::Scientific;
        default:
            return UnitSystem::Imperial;
    }
}

void writeDocument(const DiveSet& dives, uint32_t options, const DocumentStamp& stamp,
                   XmlDocument& document) {
    const uint32_t bits = options & OutputOptions::LayoutMask;
    const WriterRow* chosen = nullptr;
    // The UDDF bit wins over the layout bits.
    if ((options & OutputOptions::UddfLayout) || bits != OutputOptions::LayoutMask) {
        const Layout layout = (options & OutputOptions::UddfLayout) ? Layout::Uddf
                              : bits == OutputOptions::DcdmlLayout ? Layout::Dcdml
                                                                   : Layout::Legacy;
        for (const WriterRow& row : Writers)
            if (row.layout == layout && row.family == dives.family) chosen = &row;
    }
    if (!chosen) {
        trace::write(trace::Error, "%s::MakeOutput(): Requested invalid output Format",
                     driverName(dives.family));
        throw Error("Output: format not supported");
    }
    if (chosen->chosenLine) trace::write(trace::Info, "%s", chosen->chosenLine);
    std::unique_ptr<Writer> writer = chosen->make(dives, unitSystemOf(options), stamp);
    setDocumentOptions(document, options);
    writer->make(document);
}

}  // namespace talvek
