#include "sim/memory_computer.h"

namespace sim {

MemoryComputer::MemoryComputer(ComputerImage image, EngineOptions options)
    : engine_(makeEngine(std::move(image), std::move(options))) {}

void MemoryComputer::onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                                 uint64_t atMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& e : engine_->feed(data, n, atMs)) line.send(e.bytes, e.atMs);
}

}  // namespace sim
