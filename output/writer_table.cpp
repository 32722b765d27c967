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

using Factory = std::unique_ptr<Writer> (*)(const DiveSet& dives, UnitSystem units,
                                            const DocumentStamp& stamp);

// The legacy layout has no units and no stamp.
template <class W>
std::unique_ptr<Writer> legacy(const DiveSet& d, UnitSystem, const DocumentStamp&) {
    return std::make_unique<W>(d);
}

template <class W>
std::unique_ptr<Writer> dcdml(const DiveSet& d, UnitSystem units, const DocumentStamp& stamp) {
    return std::make_unique<W>(d, units, stamp);
}

// UDDF is SI whatever the units asked for.
std::unique_ptr<Writer> uddf(const DiveSet& d, UnitSystem, const DocumentStamp& stamp) {
    return std::make_unique<UddfWriter>(d, stamp);
}

struct WriterRow {
    Layout layout;
    DataFamily family;
    Factory make;
    // The generator number the choice is traced with; 0: not traced
    // (family 1, UDDF).
    int generator;
};

const WriterRow Writers[] = {
    {Layout::Legacy, DataFamily::Family1, legacy<LegacyFamily1Writer>, 0},
    {Layout::Dcdml, DataFamily::Family1, dcdml<DcdmlFamily1Writer>, 0},
    {Layout::Legacy, DataFamily::Family2, legacy<LegacyFamily23Writer>, 1},
    {Layout::Dcdml, DataFamily::Family2, dcdml<DcdmlFamily23Writer>, 2},
    {Layout::Legacy, DataFamily::Family3, legacy<LegacyFamily23Writer>, 1},
    {Layout::Dcdml, DataFamily::Family3, dcdml<DcdmlFamily23Writer>, 2},
    {Layout::Uddf, DataFamily::Family1, uddf, 0},
    {Layout::Uddf, DataFamily::Family2, uddf, 0},
    {Layout::Uddf, DataFamily::Family3, uddf, 0},
};

void setDocumentOptions(XmlDocument& document, const OutputChoice& choice) {
    document.setFlags(XmlDocument::Utf8);
    if (choice.fullEndTags)
        document.setFlags(XmlDocument::FullEndTags);
    else
        document.clearFlags(XmlDocument::FullEndTags);
    if (choice.indent)
        document.setFlags(XmlDocument::Indent);
    else
        document.clearFlags(XmlDocument::Indent);
}

}  // namespace

void writeDocument(const DiveSet& dives, const OutputChoice& choice, const DocumentStamp& stamp,
                   XmlDocument& document, const char* driverName) {
    const WriterRow* chosen = nullptr;
    for (const WriterRow& row : Writers)
        if (row.layout == choice.layout && row.family == dives.family) chosen = &row;
    if (!chosen) {
        trace::write(trace::Error, "%s::MakeOutput(): Requested invalid output Format", driverName);
        throw Error("Output: format not supported");
    }
    if (chosen->generator)
        trace::write(trace::Info, "%s::MakeOutput(): Using Generator Type %d", driverName,
                     chosen->generator);
    std::unique_ptr<Writer> writer = chosen->make(dives, choice.units, stamp);
    setDocumentOptions(document, choice);
    writer->make(document);
}

}  // namespace talvek
