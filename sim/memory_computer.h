#pragma once
// A simulated computer behind the in-memory port: the far end of a
// platform::MemoryPort, answering on the clock in force (normally a
// VirtualClock), so the drivers' integration tests run without hardware
// and without real waiting.
//
//   platform::MemoryPortRegistry ports;
//   sim::MemoryComputer dc(sim::buildComputer({...}).image);
//   ports.add("SIM2", &dc);
//   ... open "SIM2" with the type 2 driver ...
#include <memory>
#include <mutex>

#include "sim/engine.h"
#include "sim/memory_port.h"

namespace talvek {

namespace sim {

// With the hang-up fault the computer stops after its last byte; the next
// time the host writes, the in-memory port itself goes away (reads and
// writes fail as for a pulled cable).
class MemoryComputer : public platform::MemoryPeer {
  public:
    explicit MemoryComputer(ComputerImage image, EngineOptions options = {});

    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override;

    // The computer's state (its memory changes with the host's writes).
    Engine& engine() { return *engine_; }
    const ComputerImage& image() const { return engine_->image(); }

  private:
    std::mutex mutex_;
    std::unique_ptr<Engine> engine_;
};

}  // namespace sim

}  // namespace talvek
