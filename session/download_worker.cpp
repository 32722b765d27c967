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

DownloadWorker::DownloadWorker(SessionSink& sink, Parts parts)
    : sink_(sink),
      interfaces_(std::move(parts.interfaces)),
      ports_(parts.ports),
      writer_(std::move(parts.writer)),
      reportWriter_(std::move(parts.report)),
      program_(std::move(parts.program)) {
    trace::write(trace::Detail, "sAPIThread::Create()");
}

DownloadWorker::~DownloadWorker() {
    device_.reset();
    trace::write(trace::Detail, "sAPIThread::Destroy()");
}

void DownloadWorker::set(Request request) {
    request_ = std::move(request);
    trace::write(trace::Detail, "sAPIThread::Set() with: file=\"%s\" port=\"%s\" Options=0x%X ",
                 request_.outputFile.c_str(), request_.port.c_str(), request_.options);
    const DownloadExtras& extras = request_.extras;
    if (extras.any())
        trace::write(
            trace::Detail,
            "sAPIThread::Set() with: new=%d store=%d folder=\"%s\" dump=\"%s\" image=\"%s\"",
            extras.newDivesOnly ? 1 : 0, extras.useStore ? 1 : 0, extras.storeDirectory.c_str(),
            extras.dumpFile ? extras.dumpFile->c_str() : "",
            extras.imageFile ? extras.imageFile->c_str() : "");
    if (request_.report)
        trace::write(trace::Detail, "sAPIThread::SetReport() with: file=\"%s\"",
                     request_.report->c_str());
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
    writeDump();
    // The last pauses are the window's, in real time.
    endReplay();
    postStatusText(text);
    // Leaves the last text readable before the window closes.
    platform::sleepMs(1000);
    returnValue_.store(code);
    done_.store(true);
    device_.reset();  // closes the serial port
    deviceRow_ = nullptr;
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

bool DownloadWorker::probe(const InterfaceRow& row, bool& found) {
    const ProbeTexts& texts = row.probe;
    postStatusText(texts.searching);
    try {
        if (!row.makeDriver) throw DeviceNotPresent(errorText(ErrorCode::NotDetected));
        platform::SerialOpener& ports = ports_ ? *ports_ : platform::systemSerialOpener();
        device_ = row.makeDriver(request_.port, &cancel_, ports);
        if (!device_) throw DeviceNotPresent(errorText(ErrorCode::NotDetected));
        deviceRow_ = &row;
        installCallbacks();
        device_->open(4);
        trace::write(trace::Info, "%s", texts.found);
        found = true;
    } catch (DeviceNotPresent&) {
        trace::write(trace::Info, "%s", texts.notFound);
        device_.reset();
    } catch (Error& e) {
        trace::write(trace::Error, texts.errorFormat, e.what());
        if (const auto* comm = dynamic_cast<const CommError*>(&e); comm && !comm->advice().empty())
            postAdvice(comm->advice());
        finish(e.what(), e.code());
        return true;
    } catch (...) {
        trace::write(trace::Error, texts.unknownFormat, platform::lastError());
        finish(texts.unknownStatus, texts.unknownCode);
        return true;
    }
    return false;
}

void DownloadWorker::execute() {
    try {
        bool found = false;
        postProgress(0);

        // Empty names end the run before any port is touched.
        if (request_.outputFile.empty()) {
            trace::write(trace::Error, "No Output File Specified");
            finish("Can't Open File", 1);
            return;
        }
        if (request_.port.empty()) {
            trace::write(trace::Error, "No Comm Port Specified");
            finish(errorText(ErrorCode::NoPortSpecified), 2);
            return;
        }
        // An output that cannot be written is found before the port is
        // touched, not after the whole download.  The final write checks
        // again: the directory may change meanwhile.
        const platform::ReplaceResult writable = platform::checkReplaceable(request_.outputFile);
        if (!writable.ok()) {
            trace::write(trace::Error, "Can't Open %s with error :%d", request_.outputFile.c_str(),
                         writable.error);
            finish("Can't Open File", 1);
            return;
        }
        if (request_.extras.imageFile && !startReplay()) return;

        for (const InterfaceRow* row : interfaces_.probeOrder()) {
            if (!found && request_.probe.includes(row->number) && probe(*row, found)) return;
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
        if (request_.extras.newDivesOnly) {
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
    DiveSet dives = device_->diveSet();
    dives.family = deviceRow_->family;
    const DocumentStamp stamp{program_, platform::localTime()};
    writer_(dives, request_.output, stamp, document_, deviceRow_->traceName);
    if (cancelCheck()) return;

    // The cancel flag is tested once more just before the file takes its
    // name: a cancel up to then leaves no file, one after it is too late.
    const std::string& name = request_.outputFile;
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
    if (request_.extras.storing()) saveStore();

    // The output file is what the caller's exit code speaks of; the report
    // is for the diver.  A report that fails is shown for a moment and
    // traced, and the download still ends as the output file says.
    if (request_.report && !writeReport(dives, stamp)) {
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

bool DownloadWorker::writeReport(const DiveSet& dives, const DocumentStamp& stamp) {
    const std::string& name = *request_.report;
    if (name.empty()) {
        trace::write(trace::Error, "No Report File Specified");
        return false;
    }
    // Written over the output file it would destroy what was just saved.
    if (namesSameFile(name, request_.outputFile)) {
        trace::write(trace::Error, "Report %s Is The Output File", name.c_str());
        return false;
    }
    std::string page;
    try {
        page = reportWriter_(dives, request_.output.units, stamp);
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
