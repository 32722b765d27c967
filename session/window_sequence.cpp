#include "session/window_sequence.h"

#include "platform/clock.h"

namespace talvek {

WindowSequence::~WindowSequence() {
    if (body_.joinable()) {
        session_.cancel();
        body_.join();
    }
}

bool WindowSequence::activate(const Pump& pump) {
    if (!session_.start()) return false;
    body_ = std::thread([this] {
        // The body catches everything itself; nothing may end the thread.
        try {
            session_.run();
        } catch (...) {
        }
    });
    // The body's finished message wakes the wait; a close collects it.
    while (body_.joinable() && !session_.done())
        if (!pump(true)) return true;
    const uint64_t until = platform::nowMs() + ClosingPauseMs;
    while (pump(false) && platform::nowMs() < until) platform::sleepMs(10);
    return true;
}

int WindowSequence::close() {
    if (body_.joinable()) {
        session_.cancel();
        body_.join();
    }
    return session_.close();
}

}  // namespace talvek
