#pragma once
// A simulated computer behind a pseudo-terminal (the talvek-sim tool, and
// the real-time tests).  The host opens slavePath() like a serial port; it
// may close and reopen it between probes, and the server keeps serving.
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/posix/pty.h"
#include "sim/engine.h"

namespace talvek {

namespace sim {

class PtyServer {
  public:
    // Opens the pseudo-terminal; throws std::runtime_error on failure.
    PtyServer(replay::ComputerImage image, EngineOptions options = {});

    const std::string& slavePath() const { return path_; }

    // Serves on the calling thread until `stop` is set (checked at least
    // every 20 ms).  After the hang-up fault the pseudo-terminal is closed
    // and serve() only waits for `stop`.
    void serve(const std::atomic<bool>& stop);
    // Same, with a stop test of the caller's choosing.
    void serve(const std::function<bool()>& stop);

    // True once the hang-up fault closed the pseudo-terminal.
    bool closed() const { return closed_.load(); }
    // Valid to inspect when serve() is not running.
    replay::Engine& engine() { return *engine_; }

  private:
    void note(const std::string& line) const;

    std::unique_ptr<platform::PtyMaster> master_;
    std::unique_ptr<replay::Engine> engine_;
    Flood flood_ = Flood::None;
    std::string path_;
    std::deque<replay::Emission> pending_;
    std::atomic<bool> closed_{false};
};

}  // namespace sim

}  // namespace talvek
