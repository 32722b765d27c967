#pragma once
// Finding the computer: the interface types of the table are tried in
// probe order, those the request names, until one answers.  Each probe
// makes the type's driver on the port (which opens it) and asks it to
// detect the computer.
#include <memory>
#include <optional>
#include <string>

#include "dc/base/driver.h"
#include "platform/serial_port.h"
#include "session/interface_table.h"
#include "session/request.h"
#include "session/run_state.h"

namespace talvek {

struct ProbeResult {
    // The driver of `row`: the one that found the computer, or the one
    // whose probe ended the run.
    std::unique_ptr<Driver> device;
    const InterfaceRow* row = nullptr;
    // How the run ends when no computer is to be downloaded: a probe that
    // failed, a cancel, or "Device Not Found".
    std::optional<Ending> ending;
};

// A type to probe ahead of the table's order, and why (for the trace).
struct ProbeFirst {
    int number = 0;
    std::string why;
};

// Probes through `ports`, the type `first` (when given) ahead of the
// others; the found driver shows its progress and status through `run`.
ProbeResult probeInterfaces(const InterfaceTable& table, const Request& request,
                            platform::SerialOpener& ports, RunState& run,
                            const std::optional<ProbeFirst>& first = std::nullopt);

}  // namespace talvek
