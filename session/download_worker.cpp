#include "session/download_worker.h"

#include <cerrno>
#include <exception>
#include <stdexcept>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/os.h"
#include "session/image_replay.h"
#include "trace/trace.h"

namespace talvek {

// The interface types in the order they are probed, with the texts each
// probe has always shown and traced.
struct ProbeRow {
    uint32_t bit;  // of the probe mask
    DriverFactory::Make DriverFactory::*make;
    const char* searching;      // status text
    const char* found;          // trace, level 2
    const char* notFound;       // trace, level 2
    const char* errorFormat;    // trace of a device error, with its message
    const char* unknownFormat;  // trace of anything else, with the system error number
    const char* unknownStatus;  // and how that ends the download
    int unknownCode;
};

namespace {

const ProbeRow Probes[] = {
    {0x01, &DriverFactory::type1, "Searching for Device (1)", "Found Device Type1",
     "Did Not Find Device Type 1", "Device Type1: %s",
     "Unknown Exception searching for Device 1 - error = %d", "Runtime Error", 1},
    {0x02, &DriverFactory::type2, "Searching for Device (2)", "Found Device Type2",
     "Did Not Find Device Type 2", "%s", "Unknown Exception searching for Device 2 - error = %d",
     "Runtime Error", 1},
    {0x04, &DriverFactory::type3, "Searching for Device (3)", "Found Device Type 3",
     "Did Not Find Device Type C2V2", "%s",
     "Unknown Exception searching for Device C2V2 - error = %d", "Unknown Error", -1},
};

}  // namespace

DownloadWorker::DownloadWorker(SessionSink& sink, DriverFactory drivers, DocumentWriter writer,
                               std::optional<ProgramVersion> program)
    : sink_(sink),
      drivers_(std::move(drivers)),
      writer_(std::move(writer)),
      program_(std::move(program)) {
    trace::write(trace::Detail, "sAPIThread::Create()");
}

DownloadWorker::~DownloadWorker() {
    device_.reset();
    trace::write(trace::Detail, "sAPIThread::Destroy()");
}

void DownloadWorker::set(const std::string& portName, const std::string& outputFile, int /*delay*/,
                         uint32_t options) {
    portName_ = portName;
    outputFile_ = outputFile;
    probeOptions_ = options & 0xCF;
    outputOptions_ = options & 0xFFFFFF30;
    trace::write(trace::Detail, "sAPIThread::Set() with: file=\"%s\" port=\"%s\" Options=0x%X ",
                 outputFile_.c_str(), portName_.c_str(), options);
}

void DownloadWorker::setExtras(DownloadExtras extras) {
    extras_ = std::move(extras);
    if (!extras_.any()) return;
    trace::write(trace::Detail,
                 "sAPIThread::Set() with: new=%d store=%d folder=\"%s\" dump=\"%s\" image=\"%s\"",
                 extras_.newDivesOnly ? 1 : 0, extras_.useStore ? 1 : 0,
                 extras_.storeDirectory.c_str(), extras_.dumpFile ? extras_.dumpFile->c_str() : "",
                 extras_.imageFile ? extras_.imageFile->c_str() : "");
}

void DownloadWorker::setReport(const std::string& path, ReportWriter writer) {
    reportRequested_ = true;
    reportFile_ = path;
    reportWriter_ = std::move(writer);
    trace::write(trace::Detail, "sAPIThread::SetReport() with: file=\"%s\"", path.c_str());
}

void DownloadWorker::postStatusText(const char* text) {
    try {
        sink_.statusText(text);
    } catch (...) {
        // Showing a status is never worth ending the download for.
    }
}

void DownloadWorker::postAdvice(const std::string& text) {
    try {
        sink_.advice(text);
    } catch (...) {
    }
}

void DownloadWorker::postProgress(int percent) {
    try {
        sink_.progress(percent);
    } catch (...) {
    }
}

void DownloadWorker::finish(const char* text, int code) {
    writeDump(code == 0);
    // The last pauses are the window's, in real time.
    endReplay();
    postStatusText(text);
    // Leaves the last text readable before the window closes.
    platform::sleepMs(1000);
    returnValue_.store(code);
    done_.store(true);
    device_.reset();  // closes the serial port
    try {
        sink_.finished(code);
    } catch (...) {
    }
}

bool DownloadWorker::cancelCheck() {
    if (!cancel_.load()) return false;
    trace::write(trace::Info, "Terminate() Raised");
    finish("Canceled", 9999);
    return true;
}

void DownloadWorker::installCallbacks() {
    device_->setCallbacks([this](int percent) { postProgress(percent); },
                          [this](const char* text) { postStatusText(text); }, nullptr);
}

bool DownloadWorker::probe(const ProbeRow& row, bool& found) {
    postStatusText(row.searching);
    try {
        const DriverFactory::Make& make = drivers_.*row.make;
        if (!make) throw DeviceNotPresent(errorText(ErrorCode::NotDetected));
        device_ = make(portName_, &cancel_);
        if (!device_) throw DeviceNotPresent(errorText(ErrorCode::NotDetected));
        installCallbacks();
        device_->open(4);
        trace::write(trace::Info, "%s", row.found);
        found = true;
    } catch (DeviceNotPresent&) {
        trace::write(trace::Info, "%s", row.notFound);
        device_.reset();
    } catch (Error& e) {
        trace::write(trace::Error, row.errorFormat, e.what());
        if (const auto* comm = dynamic_cast<const CommError*>(&e); comm && !comm->advice().empty())
            postAdvice(comm->advice());
        finish(e.what(), e.code());
        return true;
    } catch (...) {
        trace::write(trace::Error, row.unknownFormat, platform::lastError());
        finish(row.unknownStatus, row.unknownCode);
        return true;
    }
    return false;
}

void DownloadWorker::execute() {
    try {
        bool found = false;
        postProgress(0);

        // Empty names end the run before any port is touched.
        if (outputFile_.empty()) {
            trace::write(trace::Error, "No Output File Specified");
            finish("Can't Open File", 1);
            return;
        }
        if (portName_.empty()) {
            trace::write(trace::Error, "No Comm Port Specified");
            finish(errorText(ErrorCode::NoPortSpecified), 2);
            return;
        }
        // An output that cannot be written is found before the port is
        // touched, not after the whole download.  The final write checks
        // again: the directory may change meanwhile.
        // A device, a pipe or the image being replayed is never written over.
        const bool refused =
            isSpecialFile("Output ", outputFile_) || isReplayedImage("Output ", outputFile_);
        const platform::ReplaceResult writable =
            refused ? platform::ReplaceResult{} : platform::checkReplaceable(outputFile_);
        if (refused || !writable.ok()) {
            if (!refused)
                trace::write(trace::Error, "Can't Open %s with error :%d", outputFile_.c_str(),
                             writable.error);
            finish("Can't Open File", 1);
            return;
        }
        checkSideFiles();
        if (extras_.imageFile && !startReplay()) return;

        for (const ProbeRow& row : Probes) {
            if (!found && (probeOptions_ & row.bit) && probe(row, found)) return;
            if (cancelCheck()) return;
        }

        postProgress(0);
        if (!found) {
            finish("Device Not Found", 17);
            return;
        }

        postStatusText("Downloading Computer Data");
        try {
            trace::write(trace::Info, "Downloading Device");
            device_->readHeader();
            headerRead_ = true;
            postProgress(100);
            platform::sleepMs(100);
        } catch (Error& e) {
            trace::write(trace::Error, "Download Device: %s", e.what());
            finish(e.what(), e.code());
            return;
        } catch (RuntimeError& e) {
            trace::write(trace::Error, "Download Device: runtime_error %s", e.what());
            finish(e.what(), 666);
            return;
        } catch (...) {
            trace::write(trace::Error, "Download Device: Unexpected Error = %d",
                         platform::lastError());
            finish("Runtime Error", 1);
            return;
        }
        if (cancelCheck()) return;

        bool resumed = false;
        if (extras_.newDivesOnly) {
            try {
                resumed = resumeFromStore();
            } catch (Error& e) {  // a cancel while the newest stored dive is read
                trace::write(trace::Error, "Download Dive: %s with code %d", e.what(), e.code());
                finish(e.what(), e.code());
                return;
            }
        }
        downloadDives(resumed);
    } catch (...) {
        // Nothing may escape the thread body: a failure of the status
        // plumbing, or memory running out inside a handler, ends here.
        if (!done_.load()) {
            try {
                finish("Runtime Error", 1);
            } catch (...) {
                returnValue_.store(1);
                done_.store(true);
            }
        }
    }
}

namespace {

std::string newDivesText(unsigned count) {
    return "Downloading New Dives (" + std::to_string(count) + ")";
}

}  // namespace

void DownloadWorker::downloadDives(bool resumed) {
    postStatusText(resumed ? newDivesText(0).c_str() : "Downloading Dive Profiles");
    postProgress(0);
    unsigned fetched = 0;
    for (unsigned n = 1;; ++n) {
        std::optional<std::string> fullDownload;  // why the resumed walk is given up
        try {
            trace::write(trace::Info, "Downloading Dive %u", n);
            bool got = false;
            try {
                got = device_->nextDive();
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
                if (resumed) postStatusText(newDivesText(++fetched).c_str());
            } else if (!fullDownload) {
                trace::write(trace::Debug, "Download Aborted");
                buildAndWrite();
                return;
            }
        } catch (Error& e) {
            trace::write(trace::Error, "Download Dive: %s with code %d", e.what(), e.code());
            finish(e.what(), e.code());
            return;
        } catch (RuntimeError& e) {
            trace::write(trace::Error, "Download Dive:runtime_error %s ", e.what());
            finish(e.what(), 666);
            return;
        } catch (...) {
            trace::write(trace::Error, "Download Dive: Unexpected Error = %d",
                         platform::lastError());
            finish("Runtime Error", 1);
            return;
        }
        if (fullDownload) {
            // The new dives do not follow the stored ones as they should:
            // whatever the memory holds, a whole download says it.
            trace::write(trace::Info, "NewDives: Full Download (%s)", fullDownload->c_str());
            resumed = false;
            device_->prepare();
            postStatusText("Downloading Dive Profiles");
            postProgress(0);
            n = 0;
        }
        if (cancelCheck()) return;
    }
}

void DownloadWorker::buildAndWrite() {
    postStatusText("Building Data File");
    const DiveSet& dives = device_->diveSet();
    const DocumentStamp stamp{program_, platform::localTime()};
    writer_(dives, outputOptions_, stamp, document_);
    if (cancelCheck()) return;

    // The cancel flag is tested once more just before the file takes its
    // name: a cancel up to then leaves no file, one after it is too late.
    const std::string& name = outputFile_;
    const char* bytes = document_.outputBuffer();
    const platform::ReplaceResult result = platform::replaceFile(
        name, bytes ? bytes : "", bytes ? document_.outputLength() : 0, &cancel_);
    if (result.stage == platform::ReplaceStage::Cancelled) {
        cancelCheck();
        return;
    }
    if (!result.ok()) {
        if (result.stage == platform::ReplaceStage::Write)
            trace::write(trace::Error, "Can't Write %s with error :%d (%s)", name.c_str(),
                         result.error, platform::errorText(result.error).c_str());
        else
            trace::write(trace::Error, "Can't Open %s with error :%d", name.c_str(), result.error);
        finish("Can't Open File", 1);
        return;
    }
    if (extras_.storing()) saveStore();

    // The output file is what the caller's exit code speaks of; the report
    // is for the diver.  A report that fails is shown for a moment and
    // traced, and the download still ends as the output file says.
    if (reportRequested_ && !writeReport(dives, stamp)) {
        postStatusText("Can't Write Report");
        platform::sleepMs(1000);
    }
    postProgress(100);
    finish("Download Successfull", 0);
    trace::write(trace::Info, "Success: Exiting with code %d", returnValue_.load());
}

bool DownloadWorker::namesSameFile(const std::string& a, const std::string& b) {
    return a == b || platform::sameFile(a, b);
}

bool DownloadWorker::isReplayedImage(const char* what, const std::string& name) const {
    if (!extras_.imageFile || !namesSameFile(name, *extras_.imageFile)) return false;
    trace::write(trace::Error, "%s%s Is Another File Of This Run", what, name.c_str());
    return true;
}

bool DownloadWorker::isSpecialFile(const char* what, const std::string& name) {
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

void DownloadWorker::checkSideFiles() {
    // Neither is worth ending the run for: refused here, before any port is
    // opened, they are simply not written.
    if (reportRequested_ && isSpecialFile("Report ", reportFile_)) reportRequested_ = false;
    if (extras_.dumpFile && isSpecialFile("Dump: ", *extras_.dumpFile)) extras_.dumpFile.reset();
}

bool DownloadWorker::writeReport(const DiveSet& dives, const DocumentStamp& stamp) {
    const std::string& name = reportFile_;
    if (name.empty()) {
        trace::write(trace::Error, "No Report File Specified");
        return false;
    }
    // Written over the output file it would destroy what was just saved.
    if (namesSameFile(name, outputFile_)) {
        trace::write(trace::Error, "Report %s Is The Output File", name.c_str());
        return false;
    }
    if (isReplayedImage("Report ", name)) return false;
    std::string page;
    try {
        page = reportWriter_(dives, unitSystemOf(outputOptions_), stamp);
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
