#include "session/output_phase.h"

#include <exception>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/os.h"
#include "session/store_use.h"
#include "trace/trace.h"

namespace talvek {

namespace {

// Whether `name` is the image being replayed (traced, `what` first).
bool isReplayedImage(const char* what, const std::string& name, const Request& request) {
    const std::optional<std::string>& image = request.extras.imageFile;
    if (!image || !namesOneFile(name, *image)) return false;
    trace::write(trace::Error, "%s%s Is Another File Of This Run", what, name.c_str());
    return true;
}

// Whether `name` is a device, a pipe or a socket other than the null device,
// which nothing is written to (traced, `what` first).
bool isSpecialFile(const char* what, const std::string& name) {
    switch (platform::targetKind(name)) {
        case platform::TargetKind::Special:
            trace::write(trace::Error, "%s%s Is A Device, A Pipe Or A Socket: Never Written", what,
                         name.c_str());
            return true;
        case platform::TargetKind::NullDevice:
            trace::write(trace::Info, "%s%s Is The Null Device: Written Straight Into It", what,
                         name.c_str());
            return false;
        default:
            return false;
    }
}

}  // namespace

std::optional<Ending> checkFileNames(Request& request) {
    // Empty names end the run before any port is touched.
    if (request.outputFile.empty()) {
        trace::write(trace::Error, "No Output File Specified");
        return Ending{"Can't Open File", 1};
    }
    if (request.port.empty()) {
        trace::write(trace::Error, "No Comm Port Specified");
        return Ending{errorText(ErrorCode::NoPortSpecified), 2};
    }
    // An output that cannot be written is found before the port is
    // touched, not after the whole download.  The final write checks
    // again: the directory may change meanwhile.  A device, a pipe or the
    // image being replayed is never written over.
    const bool refused = isSpecialFile("Output ", request.outputFile) ||
                         isReplayedImage("Output ", request.outputFile, request);
    const platform::ReplaceResult writable =
        refused ? platform::ReplaceResult{} : platform::checkReplaceable(request.outputFile);
    if (refused || !writable.ok()) {
        if (!refused)
            trace::write(trace::Error, "Can't Open %s with error :%d", request.outputFile.c_str(),
                         writable.error);
        return Ending{"Can't Open File", 1};
    }
    // Neither is worth ending the run for: refused here, before any port is
    // opened, they are simply not written.
    if (request.report && isSpecialFile("Report ", *request.report)) request.report.reset();
    if (request.extras.dumpFile && isSpecialFile("Dump: ", *request.extras.dumpFile))
        request.extras.dumpFile.reset();
    return std::nullopt;
}

OutputPhase::OutputPhase(DocumentWriter writer, ReportWriter report,
                         std::optional<ProgramVersion> program)
    : writer_(std::move(writer)), report_(std::move(report)), program_(std::move(program)) {}

Ending OutputPhase::write(const Request& request, const Driver& device, const InterfaceRow& row,
                          RunState& run) {
    run.status("Building Data File");
    DiveSet dives = device.diveSet();
    dives.family = row.family;
    const DocumentStamp stamp{program_, platform::localTime()};
    writer_(dives, request.output, stamp, document_, row.traceName);
    if (std::optional<Ending> cancelled = run.cancelCheck()) return *cancelled;

    // The cancel flag is tested once more just before the file takes its
    // name: a cancel up to then leaves no file, one after it is too late.
    const std::string& name = request.outputFile;
    const char* bytes = document_.outputBuffer();
    const platform::ReplaceResult result = platform::replaceFile(
        name, bytes ? bytes : "", bytes ? document_.outputLength() : 0, &run.cancelFlag());
    if (result.stage == platform::ReplaceStage::Cancelled)
        return run.cancelCheck().value_or(Ending{"Canceled", 9999});
    if (!result.ok()) {
        if (result.stage == platform::ReplaceStage::Write)
            trace::write(trace::Error, "Can't Write %s with error :%d (%s)", name.c_str(),
                         result.error, platform::errorText(result.error).c_str());
        else
            trace::write(trace::Error, "Can't Open %s with error :%d", name.c_str(), result.error);
        return Ending{"Can't Open File", 1};
    }
    if (request.extras.storing()) saveToStore(device, row, request.extras);

    // The output file is what the caller's exit code speaks of; the report
    // is for the diver.  A report that fails is shown for a moment and
    // traced, and the download still ends as the output file says.
    if (request.report && !writeReport(request, dives, stamp)) {
        run.status("Can't Write Report");
        platform::sleepMs(1000);
    }
    run.progress(100);
    return Ending{"Download Successfull", 0, true};
}

bool OutputPhase::writeReport(const Request& request, const DiveSet& dives,
                              const DocumentStamp& stamp) {
    const std::string& name = *request.report;
    if (name.empty()) {
        trace::write(trace::Error, "No Report File Specified");
        return false;
    }
    // Written over the output file it would destroy what was just saved.
    if (namesOneFile(name, request.outputFile)) {
        trace::write(trace::Error, "Report %s Is The Output File", name.c_str());
        return false;
    }
    if (isReplayedImage("Report ", name, request)) return false;
    std::string page;
    try {
        page = report_(dives, request.output.units, stamp);
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Can't Build Report: %s", e.what());
        return false;
    }
    const platform::ReplaceResult result = platform::replaceFile(name, page.data(), page.size());
    if (!result.ok()) {
        trace::write(trace::Error, "Can't Write Report %s with error :%d (%s)", name.c_str(),
                     result.error, platform::errorText(result.error).c_str());
        return false;
    }
    trace::write(trace::Info, "Report Written: %s (%zu bytes)", name.c_str(), page.size());
    return true;
}

}  // namespace talvek
