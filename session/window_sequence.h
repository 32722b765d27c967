#pragma once
// The start and close sequence both windows share.  The first activation
// starts the session and runs its body on a thread of its own, keeps the
// window's messages flowing until the body is done, then for the moment
// that lets the last status be read; closing cancels a body that still
// runs, waits for it and closes the session, whose result becomes the
// exit code.  The window supplies only how it handles its messages.
#include <functional>
#include <thread>

#include "session/session.h"

namespace talvek {

class WindowSequence {
  public:
    // Handles what waits in the window's queue; with `wait`, first blocks
    // until something arrives.  Returns false once the window's loop is to
    // end (the application quits).
    using Pump = std::function<bool(bool wait)>;

    explicit WindowSequence(Session& session) : session_(session) {}
    // Stops a body that still runs and waits for it, as a framework
    // thread's destructor does.
    ~WindowSequence();
    WindowSequence(const WindowSequence&) = delete;
    WindowSequence& operator=(const WindowSequence&) = delete;

    // The first activation's sequence; returns once the body is done (or
    // the run was closed meanwhile) and the closing pause has passed.
    // False, at once, when the session does not start (a later activation,
    // or one after a close).
    bool activate(const Pump& pump);
    // The close handler's part: cancel and wait for a running body, then
    // close the session.  Returns the exit code.
    int close();
    // Whether a body thread is there to be collected.
    bool running() const { return body_.joinable(); }

  private:
    // The window stays this long after the body's last status text.
    static constexpr uint32_t ClosingPauseMs = 1500;

    Session& session_;
    std::thread body_;
};

}  // namespace talvek
