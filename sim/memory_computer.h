#pragma once
// A simulated computer behind the in-memory port: the replay layer's
// MemoryComputer with the simulator's fault options.
//
//   platform::MemoryPortRegistry ports;
//   sim::MemoryComputer dc(sim::buildComputer({...}).image);
//   ports.add("SIM2", &dc);
//   ... open "SIM2" with the type 2 driver ...
#include "replay/memory_computer.h"
#include "sim/engine.h"

namespace talvek {

namespace sim {

class MemoryComputer : public replay::MemoryComputer {
  public:
    explicit MemoryComputer(replay::ComputerImage image, EngineOptions options = {})
        : replay::MemoryComputer(makeEngine(std::move(image), std::move(options))) {}
};

}  // namespace sim

}  // namespace talvek
