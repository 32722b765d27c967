#pragma once
// Reading a found computer: the header phase, -new's offer of the stored
// dives, and the dive phase, which falls back to a whole download when the
// newer dives do not follow the stored ones.
#include <optional>

#include "dc/base/driver.h"
#include "session/download_extras.h"
#include "session/interface_table.h"
#include "session/run_state.h"

namespace talvek {

// The trace lines of the dive phase's failures; building and writing the
// document after the last dive fail with them too.
extern const FailureTraces DiveFailures;

// The header phase: how the run ends when the header cannot be read; none
// when it was read.
std::optional<Ending> readHeader(Driver& device, RunState& run);

// After the header: how the run ends when it does before every dive is read
// (a failure or a cancel); none when the dives are read and the document
// can be written.
std::optional<Ending> readDives(Driver& device, const InterfaceRow& row,
                                const DownloadExtras& extras, RunState& run);

}  // namespace talvek
