#pragma once
// The simulator's computers: the replay layer's protocol engines with
// deliberate faults on top (the tool's fault options).
#include <cstdint>
#include <memory>

#include "replay/computer_image.h"
#include "replay/engine.h"

namespace talvek {

namespace sim {

// What a line sends all the time, asked for or not (pseudo-terminal only).
enum class Flood : uint8_t {
    None,
    Random,  // random bytes at about the line rate, besides the replies
    Zeros,   // only zero bytes, nothing else: a floating line or a break
};

// Deliberate misbehaviour.
struct Faults : replay::LineFaults {
    uint32_t corruptEvery = 0;      // corrupt the checksum of every Nth reply (0: never)
    int64_t stopAfterReplies = -1;  // answer this many replies, then stay silent (-1: no limit)
    int64_t hangUpAfterBytes = -1;  // send this many bytes, then hang up (-1: never)
    bool dropEcho = false;          // type 2: the cable does not echo
    bool garbage = false;           // every reply becomes as many random bytes (never a frame)
    uint32_t trickle = 0;           // send one byte every this many ms (0: at the line rate)
    Flood flood = Flood::None;

    bool echoes() const override { return !dropEcho; }
    bool silentAfter(uint64_t sent) const override {
        return stopAfterReplies >= 0 && sent >= static_cast<uint64_t>(stopAfterReplies);
    }
    bool corrupts(uint64_t n) const override { return corruptEvery > 0 && n % corruptEvery == 0; }
    int64_t bytesBeforeHangUp() const override { return hangUpAfterBytes; }
    bool garbles() const override { return garbage; }
    uint32_t trickleMs() const override { return trickle; }
};

struct EngineOptions : replay::EngineOptions {
    Faults faults;
};

// An engine for the image's interface type, with the faults of `options`.
std::unique_ptr<replay::Engine> makeEngine(replay::ComputerImage image, EngineOptions options = {});

}  // namespace sim

}  // namespace talvek
