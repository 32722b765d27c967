#pragma once
// A computer answering from its image behind the in-memory port: the far end
// of a platform::MemoryPort, answering on the clock in force (normally a
// VirtualClock), so a download runs without hardware and without real
// waiting.  talvek-dl's -image runs the real drivers against one; so do the
// drivers' integration tests.
//
//   platform::MemoryPortRegistry ports;
//   replay::MemoryComputer dc(replay::loadImage("dives.img"));
//   ports.add("SIM2", &dc);
//   ... open "SIM2" with the type 2 driver ...
#include <memory>
#include <mutex>

#include "platform/memory_port.h"
#include "replay/engine.h"

namespace talvek {

namespace replay {

// With a hang-up fault the computer stops after its last byte; the next
// time the host writes, the in-memory port itself goes away (reads and
// writes fail as for a pulled cable).
class MemoryComputer : public platform::MemoryPeer {
  public:
    explicit MemoryComputer(ComputerImage image, EngineOptions options = {});
    explicit MemoryComputer(std::unique_ptr<Engine> engine);

    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override;

    // The computer's state (its memory changes with the host's writes).
    Engine& engine() { return *engine_; }
    const ComputerImage& image() const { return engine_->image(); }

  private:
    std::mutex mutex_;
    std::unique_ptr<Engine> engine_;
};

}  // namespace replay

}  // namespace talvek
