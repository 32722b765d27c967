#pragma once
// The download worker: finds a dive computer by probing the interface types
// in order, reads its header and its dives, has the document built from
// what the driver yielded and writes it to the output file.  Every path
// ends in one finish that leaves a last status text and a result code.
//
// The phases are pieces of their own (prober.h, dive_download.h,
// output_phase.h); the worker runs them in order and ends the run.  It is
// the thread body without the thread: a Session owns it and a front end
// runs it on the thread of its choice; tests run it in process with fake
// drivers.
#include <atomic>
#include <memory>
#include <optional>

#include "dc/base/driver.h"
#include "output/report/html_report.h"
#include "platform/serial_port.h"
#include "session/interface_table.h"
#include "session/output_phase.h"
#include "session/request.h"
#include "session/run_state.h"
#include "session/session_sink.h"
#include "session/version_information.h"

namespace talvek {

class ImageReplay;

// What a worker is built from besides its sink; the defaults are the
// program's own.
struct WorkerParts {
    InterfaceTable interfaces = standardInterfaces();
    // Where ports are opened; null for the system's serial ports.
    platform::SerialOpener* ports = nullptr;
    DocumentWriter writer = writeDocument;
    ReportWriter report = htmlReport;
    // Names the program in the document (by default as its own version
    // block does).
    std::optional<ProgramVersion> program = ownProgramVersion();
};

class DownloadWorker {
  public:
    using DocumentWriter = talvek::DocumentWriter;
    using ReportWriter = talvek::ReportWriter;
    using Parts = WorkerParts;

    explicit DownloadWorker(SessionSink& sink, Parts parts = {});
    ~DownloadWorker();
    DownloadWorker(const DownloadWorker&) = delete;
    DownloadWorker& operator=(const DownloadWorker&) = delete;

    // What the next execute() does.
    void set(Request request);
    // The thread body: all phases; never throws.
    void execute();

    // The terminate request: drivers and cancel checks see it.
    void requestCancel() { run_.requestCancel(); }
    const CancelFlag& cancelFlag() const { return run_.cancelFlag(); }
    // Set by finish; polled by the front end.
    bool done() const { return done_.load(); }
    // The result code; 9999 until finish stores the real one.
    int returnValue() const { return returnValue_.load(); }
    const Request& request() const { return request_; }

  private:
    // The phases, in order, to the one finish.
    void runPhases();
    // Probing and the header phase; how the run ends when no computer's
    // header was read.  A type probed first because the store remembers it
    // counts only when its header reads: otherwise the probe starts over in
    // the usual order.  The type found is remembered.
    std::optional<Ending> findComputer();
    // -image: the image's computer answers on the port, on a private
    // virtual clock in force until finish.
    std::optional<Ending> startReplay();
    // The one ending: the dump, the clock back, the last status text and
    // the pause that lets it be read, the result code, the driver closed.
    void finish(const Ending& ending);

    RunState run_;
    InterfaceTable interfaces_;
    platform::SerialOpener* ports_;
    OutputPhase output_;
    Request request_;
    std::unique_ptr<ImageReplay> replay_;
    std::unique_ptr<Driver> device_;
    const InterfaceRow* deviceRow_ = nullptr;  // the interface type of device_
    bool headerRead_ = false;                  // of device_, in this run
    std::atomic<bool> done_{false};
    std::atomic<int> returnValue_{9999};
};

}  // namespace talvek
