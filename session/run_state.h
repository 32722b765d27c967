#pragma once
// What every phase of a download shares: the sink that shows status texts,
// progress and advice, the cancel flag, and how a phase says the run ends.
#include <optional>
#include <string>

#include "dc/base/cancel_flag.h"
#include "session/session_sink.h"

namespace talvek {

// The last status text of a run and its result code.
struct Ending {
    std::string text;
    int code = 0;
    bool succeeded = false;  // the output file was written
};

class RunState {
  public:
    explicit RunState(SessionSink& sink) : sink_(sink) {}
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    // Handed to the sink; showing something is never worth ending the
    // download for, so the sink's failures are dropped.
    void status(const std::string& text);
    void progress(int percent);
    void advice(const std::string& text);
    void finished(int code);

    // The terminate request: drivers and cancel checks see it.
    void requestCancel() { cancel_.store(true); }
    const CancelFlag& cancelFlag() const { return cancel_; }
    // The cancel check between steps: once a cancel was requested, traces
    // it and gives "Canceled", 9999.
    std::optional<Ending> cancelCheck() const;

  private:
    SessionSink& sink_;
    CancelFlag cancel_{false};
};

// The trace lines of a phase's failures: a device error (with its message
// and code), another runtime error (with its message), anything else (with
// the system's error number).
struct FailureTraces {
    const char* deviceError;
    const char* runtimeError;
    const char* unexpected;
};

// How the phase whose exception is in flight ends (call it in a catch
// block): a device error with its message and code, another runtime error
// with 666, anything else "Runtime Error", 1.
Ending phaseFailure(const FailureTraces& traces);

}  // namespace talvek
