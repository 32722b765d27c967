#pragma once
// The dive store seen from a download: -new offers a driver the dives kept
// of its computer, -new and -store keep a successful download.  Neither
// changes the document or the result: what goes wrong is traced.
#include "dc/base/driver.h"
#include "session/download_extras.h"
#include "session/interface_table.h"

namespace talvek {

// After the header: true when `device`, of type `row`, takes the stored
// dives still in memory and fetches only the newer ones.
bool resumeFromStore(Driver& device, const InterfaceRow& row, const DownloadExtras& extras);

// After the output file was written: keeps what `device` read.
void saveToStore(const Driver& device, const InterfaceRow& row, const DownloadExtras& extras);

}  // namespace talvek
