#include "session/prober.h"

#include "dc/base/errors.h"
#include "platform/os.h"
#include "trace/trace.h"

namespace talvek {

namespace {

// One probe: true when the computer answered; the ending when the probe
// ends the run.
bool probe(const InterfaceRow& row, const Request& request, platform::SerialOpener& ports,
           RunState& run, ProbeResult& result) {
    const ProbeTexts& texts = row.probe;
    run.status(texts.searching);
    try {
        if (!row.makeDriver) throw DeviceNotPresent(errorText(ErrorCode::NotDetected));
        result.device = row.makeDriver(request.port, &run.cancelFlag(), ports);
        if (!result.device) throw DeviceNotPresent(errorText(ErrorCode::NotDetected));
        result.row = &row;
        result.device->setCallbacks([&run](int percent) { run.progress(percent); },
                                    [&run](const char* text) { run.status(text); }, nullptr);
        result.device->open(4);
        trace::write(trace::Info, "%s", texts.found);
        return true;
    } catch (DeviceNotPresent&) {
        trace::write(trace::Info, "%s", texts.notFound);
        result.device.reset();
        result.row = nullptr;
    } catch (Error& e) {
        trace::write(trace::Error, texts.errorFormat, e.what());
        if (const auto* comm = dynamic_cast<const CommError*>(&e); comm && !comm->advice().empty())
            run.advice(comm->advice());
        result.ending = Ending{e.what(), e.code()};
    } catch (...) {
        trace::write(trace::Error, texts.unknownFormat, platform::lastError());
        result.ending = Ending{texts.unknownStatus, texts.unknownCode};
    }
    return false;
}

}  // namespace

ProbeResult probeInterfaces(const InterfaceTable& table, const Request& request,
                            platform::SerialOpener& ports, RunState& run,
                            const std::optional<ProbeFirst>& first) {
    ProbeResult result;
    bool found = false;
    std::optional<int> ahead;
    if (first && table.find(first->number)) {
        ahead = first->number;
        trace::write(trace::Info, "Probe: Device Type %d First (%s)", first->number,
                     first->why.c_str());
    }
    for (const InterfaceRow* row : table.probeOrder(ahead)) {
        if (!found && request.probe.includes(row->number)) {
            found = probe(*row, request, ports, run, result);
            if (result.ending) return result;
            if (!found && ahead == row->number)
                trace::write(trace::Info,
                             "Probe: Device Type %d Did Not Answer First; The Usual Order Follows",
                             row->number);
        }
        if ((result.ending = run.cancelCheck())) return result;
    }
    run.progress(0);
    if (!found) result.ending = Ending{"Device Not Found", 17};
    return result;
}

}  // namespace talvek
