#pragma once
// -dump: what a run read, written at its end as the image of a computer
// that answers the same (talvek-sim --image and -image replay it).
#include "dc/base/driver.h"
#include "session/interface_table.h"
#include "session/request.h"

namespace talvek {

// The image of a computer as far as `driver`, of type `row`, read it: the
// memory read at its addresses (0xFF where nothing was read), the identity
// and the dive streams.
replay::ComputerImage imageOf(const InterfaceRow& row, const Driver& driver);

// What a run read, at its end.
struct DumpSource {
    const Driver* device = nullptr;  // null when no driver was made
    const InterfaceRow* row = nullptr;
    bool headerRead = false;  // before its header a computer is only bytes never read
    bool succeeded = false;
};

// Writes the dump the request asks for, if any: only once a header was
// read, never over another file of the run, and after a failed run never
// over an older dump (which may be the good one).  Traces what it did;
// never throws.
void writeDump(const Request& request, const DumpSource& source, const InterfaceTable& interfaces);

}  // namespace talvek
