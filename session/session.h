#pragma once
// One run of the program without its window: the start-up sequence (settings
// from the command line, trace set-up, the program's version, the worker),
// the first activation (port normalisation, the Options word), the worker's
// body, and the ending (result code, exit status).  A front end renders what
// the session's sink receives and forwards Cancel and closing; nothing here
// knows which front end that is.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/os.h"
#include "platform/serial_port.h"
#include "session/download_worker.h"
#include "session/session_sink.h"
#include "session/transfer_settings.h"
#include "session/version_information.h"

namespace talvek {

// What a session is built from besides its command line.  The defaults are
// the program's own: system serial ports, the table of interface types, the
// writer table and the running executable's version block.
struct SessionSetup {
    // Where ports are opened; null for the system's serial ports.
    platform::SerialOpener* ports = nullptr;
    // The interface types to probe; unset for the program's own.
    std::optional<InterfaceTable> interfaces;
    // Builds the document; empty for the writer table.
    DownloadWorker::DocumentWriter writer;
    // The file whose version block names the program; empty for the running
    // executable.
    std::string programFile;
};

class Session {
  public:
    // Start-up: defaults and the command line (a bad g, dv, v or d value
    // throws ConversionError before anything is traced), the trace log, the
    // program's version, then the worker, which does not run yet.
    Session(const std::string& commandLine, SessionSink& sink, SessionSetup setup = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const TransferSettings& settings() const { return settings_; }
    const VersionInformation& version() const { return version_; }

    // What the user did, traced as the window has always traced it.
    void shown();                     // the gradient's state
    void cancelPressed();             // the Cancel button
    void signalReceived(int signal);  // a stop signal or console event

    // The first activation: normalises the port name, composes the Options
    // word and hands names and word to the worker.  Only the first call, and
    // only before close(), does anything; it returns whether it did.
    bool start();
    bool started() const { return started_; }
    // The worker's body: every phase of the download, to its end.  Call it
    // once, after start(), on whatever thread the front end chooses; it
    // blocks and never throws.
    void run();
    // The terminate request; from any thread, at any time (a signal may come
    // while the session closes).  The body stops at its next cancel check,
    // or its driver at the next exchange.
    void cancel();
    // Whether the body has finished (set just after the sink's last status).
    bool done() const;

    // Closing: collects the worker, whose result becomes the exit code (9999
    // for a download that never ran), and traces the code.  The body must
    // not be running.  Every close traces; only the first collects.
    int close();
    // The result code so far (0 until close() collected the worker).
    int exitCode() const { return exitCode_; }
    // The process exit status for it.
    int exitStatus() const;

  private:
    TransferSettings settings_;
    VersionInformation version_;
    // Held while the worker is cancelled or collected.
    std::mutex workerMutex_;
    std::unique_ptr<DownloadWorker> worker_;
    bool started_ = false;
    int exitCode_ = 0;
};

// The process exit status for a result code.  Where it has 32 bits (Windows)
// it is the code itself.  A POSIX status has 8: 0..255 as they are,
// -1 -> 255, 666 -> 154, 9999 (cancelled) -> 130, anything else -> 1.
int exitStatusFor(int code,
                  const platform::SystemConventions& conventions = platform::systemConventions());

}  // namespace talvek
