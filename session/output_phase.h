#pragma once
// What a download leaves behind: the output file (checked before any port
// is opened, written whole at the end), the dive store and the report.
#include <functional>
#include <optional>
#include <string>

#include "dc/base/driver.h"
#include "output/document_stamp.h"
#include "output/writer_table.h"
#include "session/interface_table.h"
#include "session/request.h"
#include "session/run_state.h"
#include "session/version_information.h"
#include "xml/xml_document.h"

namespace talvek {

// Builds the output document from what the driver yielded; `driverName`
// names that driver in the trace.
using DocumentWriter =
    std::function<void(const DiveSet& dives, const OutputChoice& choice, const DocumentStamp& stamp,
                       XmlDocument& document, const char* driverName)>;
// Builds the HTML report from the same dives, in `units`.
using ReportWriter =
    std::function<std::string(const DiveSet& dives, UnitSystem units, const DocumentStamp& stamp)>;

// Before any port is opened: a name that is empty, or an output file that
// cannot be written (a device, a pipe, the image being replayed), ends the
// run; a report or dump that could only be refused is dropped from the
// request.
std::optional<Ending> checkFileNames(Request& request);

class OutputPhase {
  public:
    // `program` names the program in the document; the time is taken when
    // the document is built.
    OutputPhase(DocumentWriter writer, ReportWriter report, std::optional<ProgramVersion> program);

    // After the last dive: builds the document from what `device`, of type
    // `row`, read and writes the output file, then keeps the download in
    // the store and writes the report when asked.  A report that cannot be
    // written is traced and shown ("Can't Write Report") but changes
    // neither the output file nor the result.  Failures of the writers
    // throw.
    Ending write(const Request& request, const Driver& device, const InterfaceRow& row,
                 RunState& run);

  private:
    // True when the report was written.
    bool writeReport(const Request& request, const DiveSet& dives, const DocumentStamp& stamp);

    DocumentWriter writer_;
    ReportWriter report_;
    std::optional<ProgramVersion> program_;
    XmlDocument document_;
};

}  // namespace talvek
