#include "session/dive_download.h"

#include <exception>
#include <string>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "session/store_use.h"
#include "trace/trace.h"

namespace talvek {

const FailureTraces DiveFailures{"Download Dive: %s with code %d",
                                 "Download Dive:runtime_error %s ",
                                 "Download Dive: Unexpected Error = %d"};

namespace {

const FailureTraces HeaderFailures{"Download Device: %s", "Download Device: runtime_error %s",
                                   "Download Device: Unexpected Error = %d"};

std::string newDivesText(unsigned count) {
    return "Downloading New Dives (" + std::to_string(count) + ")";
}

}  // namespace

std::optional<Ending> readHeader(Driver& device, RunState& run) {
    run.status("Downloading Computer Data");
    try {
        trace::write(trace::Info, "Downloading Device");
        device.readHeader();
        run.progress(100);
        platform::sleepMs(100);
    } catch (...) {
        return phaseFailure(HeaderFailures);
    }
    return std::nullopt;
}

namespace {

// The dive phase; `resumed` when the driver took the stored dives.
std::optional<Ending> diveLoop(Driver& device, bool resumed, RunState& run) {
    run.status(resumed ? newDivesText(0) : "Downloading Dive Profiles");
    run.progress(0);
    unsigned fetched = 0;
    for (unsigned n = 1;; ++n) {
        std::optional<std::string> fullDownload;  // why the resumed walk is given up
        try {
            trace::write(trace::Info, "Downloading Dive %u", n);
            bool got = false;
            try {
                got = device.nextDive();
            } catch (const UserCancel&) {
                throw;
            } catch (const std::exception& e) {
                if (!resumed) throw;
                fullDownload = e.what();
            } catch (...) {
                if (!resumed) throw;
                fullDownload = "unexpected error";
            }
            if (got) {
                trace::write(trace::Info, "Download Complete");
                if (resumed) run.status(newDivesText(++fetched));
            } else if (!fullDownload) {
                trace::write(trace::Debug, "Download Aborted");
                return std::nullopt;
            }
        } catch (...) {
            return phaseFailure(DiveFailures);
        }
        if (fullDownload) {
            // The new dives do not follow the stored ones as they should:
            // whatever the memory holds, a whole download says it.
            trace::write(trace::Info, "NewDives: Full Download (%s)", fullDownload->c_str());
            resumed = false;
            device.prepare();
            run.status("Downloading Dive Profiles");
            run.progress(0);
            n = 0;
        }
        if (std::optional<Ending> cancelled = run.cancelCheck()) return cancelled;
    }
}

}  // namespace

std::optional<Ending> readDives(Driver& device, const InterfaceRow& row,
                                const DownloadExtras& extras, RunState& run) {
    if (std::optional<Ending> cancelled = run.cancelCheck()) return cancelled;
    bool resumed = false;
    if (extras.newDivesOnly) {
        try {
            resumed = resumeFromStore(device, row, extras);
        } catch (const Error&) {  // a cancel while the newest stored dive is read
            return phaseFailure(DiveFailures);
        }
    }
    return diveLoop(device, resumed, run);
}

}  // namespace talvek
