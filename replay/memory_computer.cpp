#include "replay/memory_computer.h"

namespace talvek {

namespace replay {

MemoryComputer::MemoryComputer(ComputerImage image, EngineOptions options)
    : engine_(makeEngine(std::move(image), std::move(options))) {}

MemoryComputer::MemoryComputer(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

void MemoryComputer::onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                                 uint64_t atMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (engine_->hungUp()) {
        // The cable was pulled after the last bytes went out: from the
        // host's next exchange on, its port is gone.
        if (auto* port = dynamic_cast<platform::MemoryPort*>(&line)) port->hangUp();
        return;
    }
    uint64_t lastMs = atMs;
    for (auto& e : engine_->feed(data, n, atMs)) {
        line.send(e.bytes, e.atMs);
        lastMs = e.atMs;
    }
    // The cable goes right after the last byte the computer sent.
    if (engine_->hungUp())
        if (auto* port = dynamic_cast<platform::MemoryPort*>(&line)) port->hangUpAt(lastMs);
}

}  // namespace replay

}  // namespace talvek
