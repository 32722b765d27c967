#include "session/download_worker.h"

#include <exception>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "session/dive_download.h"
#include "session/dump.h"
#include "session/image_replay.h"
#include "session/prober.h"
#include "session/store_use.h"
#include "trace/trace.h"

namespace talvek {

DownloadWorker::DownloadWorker(SessionSink& sink, Parts parts)
    : run_(sink),
      interfaces_(std::move(parts.interfaces)),
      ports_(parts.ports),
      output_(std::move(parts.writer), std::move(parts.report), std::move(parts.program)) {
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

void DownloadWorker::execute() {
    try {
        runPhases();
    } catch (...) {
        // Nothing may escape the thread body: a failure of the status
        // plumbing, or memory running out inside a handler, ends here.
        if (!done_.load()) {
            try {
                finish(Ending{"Runtime Error", 1});
            } catch (...) {
                returnValue_.store(1);
                done_.store(true);
            }
        }
    }
}

void DownloadWorker::runPhases() {
    run_.progress(0);
    if (std::optional<Ending> refused = checkFileNames(request_)) return finish(*refused);
    if (request_.extras.imageFile)
        if (std::optional<Ending> unread = startReplay()) return finish(*unread);

    if (std::optional<Ending> failed = findComputer()) return finish(*failed);
    headerRead_ = true;
    if (std::optional<Ending> ended = readDives(*device_, *deviceRow_, request_.extras, run_))
        return finish(*ended);
    Ending written;
    try {
        written = output_.write(request_, *device_, *deviceRow_, run_);
    } catch (...) {
        written = phaseFailure(DiveFailures);
    }
    finish(written);
    if (written.succeeded)
        trace::write(trace::Info, "Success: Exiting with code %d", returnValue_.load());
}

std::optional<Ending> DownloadWorker::findComputer() {
    platform::SerialOpener& ports = ports_ ? *ports_ : platform::systemSerialOpener();
    RememberedType remembered(interfaces_, request_);
    std::optional<ProbeFirst> first = remembered.first();
    for (;;) {
        ProbeResult probed = probeInterfaces(interfaces_, request_, ports, run_, first);
        device_ = std::move(probed.device);
        deviceRow_ = probed.row;
        if (probed.ending) return probed.ending;
        std::optional<Ending> failed = readHeader(*device_, run_);
        // A type probed out of its usual order may take another type's
        // computer for its own (the type 2 cable's echo reads as an answer
        // to type 3), which its header then shows.  Unless the run was
        // cancelled or the port went away, the usual order decides.
        if (failed && first && deviceRow_->number == first->number && !run_.cancelFlag().load() &&
            failed->code != static_cast<int>(ErrorCode::PortNotOpen)) {
            trace::write(trace::Info,
                         "Probe: Device Type %d Answered First But Its Header Did Not Read; The "
                         "Usual Order Follows",
                         first->number);
            device_.reset();
            deviceRow_ = nullptr;
            first.reset();
            continue;
        }
        if (failed) return failed;
        remembered.found(*deviceRow_);
        return std::nullopt;
    }
}

std::optional<Ending> DownloadWorker::startReplay() {
    const std::string& path = *request_.extras.imageFile;
    try {
        replay_ = std::make_unique<ImageReplay>(path, interfaces_);
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Image: Can't Read %s: %s", path.c_str(), e.what());
        return Ending{"Can't Open Image File", 1};
    }
    trace::write(trace::Info, "Image: Replaying %s (Device Type %d)", path.c_str(),
                 replay_->interfaceType());
    ports_ = &replay_->ports(request_.port);
    replay_->installClock();
    return std::nullopt;
}

void DownloadWorker::finish(const Ending& ending) {
    writeDump(request_, {device_.get(), deviceRow_, headerRead_, ending.code == 0}, interfaces_);
    // The last pauses are the window's, in real time.
    if (replay_) replay_->restoreClock();
    run_.status(ending.text);
    // Leaves the last text readable before the window closes.
    platform::sleepMs(1000);
    returnValue_.store(ending.code);
    done_.store(true);
    device_.reset();  // closes the serial port
    deviceRow_ = nullptr;
    run_.finished(ending.code);
}

}  // namespace talvek
