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

// Writes the dump the request asks for, if any, from `device` (null when no
// driver was made); never over another file of the run.  Traces what it
// did; never throws.
void writeDump(const Request& request, const Driver* device, const InterfaceRow* row,
               const InterfaceTable& interfaces);

}  // namespace talvek
