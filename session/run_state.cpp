#include "session/run_state.h"

#include <exception>

#include "dc/base/errors.h"
#include "platform/os.h"
#include "trace/trace.h"

namespace talvek {

void RunState::status(const std::string& text) {
    try {
        sink_.statusText(text);
    } catch (...) {
    }
}

void RunState::progress(int percent) {
    try {
        sink_.progress(percent);
    } catch (...) {
    }
}

void RunState::advice(const std::string& text) {
    try {
        sink_.advice(text);
    } catch (...) {
    }
}

void RunState::finished(int code) {
    try {
        sink_.finished(code);
    } catch (...) {
    }
}

std::optional<Ending> RunState::cancelCheck() const {
    if (!cancel_.load()) return std::nullopt;
    trace::write(trace::Info, "Terminate() Raised");
    return Ending{"Canceled", 9999};
}

Ending phaseFailure(const FailureTraces& traces) {
    try {
        throw;
    } catch (const Error& e) {
        trace::write(trace::Error, traces.deviceError, e.what(), e.code());
        return {e.what(), e.code()};
    } catch (const RuntimeError& e) {
        trace::write(trace::Error, traces.runtimeError, e.what());
        return {e.what(), 666};
    } catch (...) {
        trace::write(trace::Error, traces.unexpected, platform::lastError());
        return {"Runtime Error", 1};
    }
}

}  // namespace talvek
