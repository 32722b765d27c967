#pragma once
// The dive store seen from a download: -new offers a driver the dives kept
// of its computer, -new and -store keep a successful download.  Neither
// changes the document or the result: what goes wrong is traced.
#include <optional>
#include <string>

#include "dc/base/driver.h"
#include "session/download_extras.h"
#include "session/interface_table.h"
#include "session/prober.h"
#include "session/request.h"
#include "store/port_types.h"

namespace talvek {

// The interface type the store remembers for the request's port: the one
// last found there.  Only a run that uses the store (-new, -store) on a
// port (not an image) reads or writes it.
class RememberedType {
  public:
    // Reads what the store remembers of the port, when the run uses it;
    // traces why the usual order runs when nothing usable is remembered.
    RememberedType(const InterfaceTable& table, const Request& request);

    // The type to probe first: the one remembered, when it is in the table
    // and the run probes every type (no -dv).
    const std::optional<ProbeFirst>& first() const { return first_; }
    // The probe found `row` on the port: the store remembers it, unless it
    // did already.
    void found(const InterfaceRow& row);

  private:
    bool active_ = false;
    std::string port_;
    std::string directory_;
    store::PortTypes types_;
    bool current_ = false;  // types_ is what the file holds
    std::optional<ProbeFirst> first_;
};

// After the header: true when `device`, of type `row`, takes the stored
// dives still in memory and fetches only the newer ones.
bool resumeFromStore(Driver& device, const InterfaceRow& row, const DownloadExtras& extras);

// After the output file was written: keeps what `device` read.
void saveToStore(const Driver& device, const InterfaceRow& row, const DownloadExtras& extras);

}  // namespace talvek
