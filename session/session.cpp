#include "session/session.h"

#include "platform/os.h"
#include "trace/trace.h"

namespace talvek {

Session::Session(const std::string& commandLine, SessionSink& sink, SessionSetup setup) {
    settings_.load(commandLine);
    // The program's own file is read for the version, whatever path it was
    // started by.
    version_.read(setup.programFile.empty() ? platform::ownExecutablePath().c_str()
                                            : setup.programFile.c_str());

    // Nothing is traced before this point.
    trace::setFile(settings_.traceBasePath.c_str(), 0);
    trace::setLevel(4);
    trace::write(trace::Info, "Version = %s", version_.fileVersion().c_str());
    trace::write(trace::Debug, "CommandLine = %s ", settings_.commandLine.c_str());

    // The document names the program as the version block just read does.
    DownloadWorker::Parts parts;
    if (setup.interfaces) parts.interfaces = std::move(*setup.interfaces);
    parts.ports = setup.ports;
    if (setup.writer) parts.writer = std::move(setup.writer);
    parts.program = programVersionOf(version_);
    worker_ = std::make_unique<DownloadWorker>(sink, std::move(parts));
}

Session::~Session() = default;

void Session::shown() {
    if (settings_.showGradient)
        trace::write(trace::Info, "Gradient=\"ON\"");
    else
        trace::write(trace::Info, "Gradient=\"OFF\"");
}

void Session::cancelPressed() {
    trace::write(trace::Info, "CloseButton Pressed");
}

void Session::signalReceived(int signal) {
    trace::write(trace::Info, "Signal %d Received", signal);
}

bool Session::start() {
    if (started_ || !worker_) return false;
    started_ = true;
    settings_.normalisePort();
    worker_->set(settings_.request());
    return true;
}

void Session::run() {
    if (worker_) worker_->execute();
}

void Session::cancel() {
    std::lock_guard<std::mutex> g(workerMutex_);
    if (worker_) worker_->requestCancel();
}

bool Session::done() const {
    return worker_ && worker_->done();
}

int Session::close() {
    std::unique_ptr<DownloadWorker> collected;
    {
        std::lock_guard<std::mutex> g(workerMutex_);
        collected = std::move(worker_);
    }
    if (collected) {
        exitCode_ = collected->returnValue();
        collected.reset();
    }
    trace::write(trace::Info, "FormClose(): Returning %d", exitCode_);
    return exitCode_;
}

int Session::exitStatus() const {
    return exitStatusFor(exitCode_);
}

int exitStatusFor(int code, const platform::SystemConventions& conventions) {
    if (conventions.fullExitCodes || (code >= 0 && code <= 255)) return code;
    switch (code) {
        case -1:
            return 255;
        case 666:
            return 154;
        case 9999:
            return 130;
        default:
            return 1;
    }
}

}  // namespace talvek
