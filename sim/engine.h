#pragma once
// The simulator's computers: the replay layer's protocol engines with
// deliberate faults on top (the tool's fault options).
#include <cstdint>
#include <memory>

#include "replay/engine.h"
#include "sim/computer.h"

namespace talvek {

namespace sim {

using replay::Emission;
using replay::Engine;

// Deliberate misbehaviour.
struct Faults : replay::LineFaults {
    uint32_t corruptEvery = 0;      // corrupt the checksum of every Nth reply (0: never)
    int64_t stopAfterReplies = -1;  // answer this many replies, then stay silent (-1: no limit)
    int64_t hangUpAfterBytes = -1;  // send this many bytes, then hang up (-1: never)
    bool dropEcho = false;          // type 2: the cable does not echo

    bool echoes() const override { return !dropEcho; }
    bool silentAfter(uint64_t sent) const override {
        return stopAfterReplies >= 0 && sent >= static_cast<uint64_t>(stopAfterReplies);
    }
    bool corrupts(uint64_t n) const override { return corruptEvery > 0 && n % corruptEvery == 0; }
    int64_t bytesBeforeHangUp() const override { return hangUpAfterBytes; }
};

struct EngineOptions : replay::EngineOptions {
    Faults faults;
};

// An engine for the image's interface type, with the faults of `options`.
std::unique_ptr<Engine> makeEngine(ComputerImage image, EngineOptions options = {});

}  // namespace sim

}  // namespace talvek
