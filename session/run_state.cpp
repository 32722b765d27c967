#include "session/run_state.h"

#include <exception>

#include "dc/base/errors.h"
#include "platform/os.h"
#include "trace/trace.h"

namespace talvek {

namespace {

// Showing something is never worth ending the download for.
template <typename Show>
void guarded(Show show) {
    try {
        show();
    } catch (...) {
    }
}

}  // namespace

void RunState::status(const std::string& text) {
    guarded([&] { sink_.statusText(text); });
}

void RunState::progress(int percent) {
    guarded([&] { sink_.progress(percent); });
}

void RunState::advice(const std::string& text) {
    guarded([&] { sink_.advice(text); });
}

void RunState::finished(int code) {
    guarded([&] { sink_.finished(code); });
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
