#pragma once
// The protocol engines that answer for a dive computer from its image: one
// per interface type.  An engine is fed the bytes the host sends, with the
// time they arrived, and answers with timed emissions (bytes and the time
// they are to be sent).  It knows nothing of ports; memory_computer.h puts it
// behind the in-memory port (talvek-dl's -image, the tests), the simulator's
// pty_server.h behind a pseudo-terminal.
//
// What the computers answer (every frame ends with the XOR of its other
// bytes, written "cs"):
//
//   type 1 (2400 baud, answers 350 ms after the frame, no echo)
//     05 ah al n cs           read        -> 05 ah al n <n bytes> cs
//     07 A5 cs                write enable-> 07 A5 cs
//     06 ah al n <n bytes> cs write       -> 06 ah al n cs   (only right after
//                                            a write enable or another write)
//     08 A5 cs / 09 A5 cs     first / next dive -> the dive as packets
//                             "k L <L bytes> cs", k the packet number from 1,
//                             L <= 32; a dive whose length is a multiple of
//                             32 ends with an empty packet (k 00 cs), or in
//                             silence as an option; after the last dive a
//                             single empty packet.  Dives go oldest first.
//   types 2 and 3 (9600 baud; type 2's cable echoes every byte at once)
//     0F 00 00 cs             identity    -> 0F 00 04 model fw1 fw2 fw3 cs
//     05 00 03 ah al n cs     read        -> 05 00 03 ah al n <n bytes> cs
//     06 00 n+3 ah al n <n bytes> cs      -> 06 00 n+3 ah al n cs
//
// Bytes that do not start a known frame, frames with a wrong checksum or
// inconsistent lengths are dropped one byte at a time until a frame start
// lines up again; a half-received frame is dropped when the line has been
// idle for IdleGapMs.  Reads and writes outside the memory are not answered.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "replay/computer_image.h"

namespace talvek {

namespace replay {

struct Emission {
    uint64_t atMs = 0;
    std::vector<uint8_t> bytes;
};

// Deliberate misbehaviour of a computer or its cable, decided outside the
// engine: the simulator's fault options implement it (sim/engine.h); a
// replay has none, and talvek-dl no implementation of it.
class LineFaults {
  public:
    virtual ~LineFaults() = default;
    // Whether a type 2 cable echoes the host's bytes.
    virtual bool echoes() const = 0;
    // Whether the computer stays silent instead of sending its next reply,
    // after `sent` replies.
    virtual bool silentAfter(uint64_t sent) const = 0;
    // Whether reply number `n` (from 1) goes out with a wrong checksum.
    virtual bool corrupts(uint64_t n) const = 0;
    // How many bytes the computer sends in all before it hangs up; -1: it
    // never does.
    virtual int64_t bytesBeforeHangUp() const = 0;
    // Whether every reply is replaced by as many random bytes (never a frame).
    virtual bool garbles() const = 0;
    // Sends one byte every this many ms; 0: at the line rate.
    virtual uint32_t trickleMs() const = 0;
};

struct EngineOptions {
    bool pace = false;                 // send at line rate (10 bits a byte)
    bool silentAfterFullDive = false;  // type 1: no empty packet after a dive of 32k bytes
    std::shared_ptr<const LineFaults> lineFaults;  // null: none
    // Receives one line per frame received, reply sent and byte dropped.
    std::function<void(const std::string&)> log;
};

class Engine {
  public:
    static constexpr uint32_t IdleGapMs = 100;
    static constexpr uint32_t Type1ReplyDelayMs = 350;
    static constexpr uint32_t Type23ReplyDelayMs = 20;

    Engine(ComputerImage image, EngineOptions options);
    virtual ~Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The host's bytes arrived at nowMs; returns what to send and when (in
    // time order, never before nowMs).
    std::vector<Emission> feed(const uint8_t* data, size_t n, uint64_t nowMs);
    // The host went away: forget half-received frames and the line's state.
    void reset();

    bool hungUp() const { return hungUp_; }
    uint64_t repliesSent() const { return replies_; }
    uint64_t bytesSent() const { return bytesSent_; }
    InterfaceType type() const { return image_.type; }
    const ComputerImage& image() const { return image_; }
    ComputerImage& image() { return image_; }
    const EngineOptions& options() const { return options_; }

  protected:
    // Takes complete frames off the front of the input buffer.
    virtual void parse(uint64_t nowMs) = 0;
    // Sends the cable's echo (not a reply).
    void echo(const uint8_t* data, size_t n, uint64_t atMs);
    // Sends one reply frame (counts towards the fault options).
    void reply(std::vector<uint8_t> frame, uint64_t atMs);
    // The `len` bytes at the front of the input as a frame when their
    // checksum holds; otherwise one byte is dropped and there is none.
    std::optional<std::vector<uint8_t>> takeFrame(size_t len);
    void dropFront(size_t n, const char* why);
    void log(const std::string& line) const;
    static std::string hex(const uint8_t* data, size_t n);

    ComputerImage image_;
    EngineOptions options_;
    std::vector<uint8_t> in_;

  private:
    void schedule(std::vector<uint8_t> bytes, uint64_t atMs);

    std::vector<Emission>* out_ = nullptr;
    uint64_t lastByteAt_ = 0;
    uint64_t lineFreeAtUs_ = 0;  // pacing: when the last scheduled byte has gone
    uint64_t replies_ = 0;
    uint64_t bytesSent_ = 0;
    bool hungUp_ = false;
    uint32_t noise_ = 0x2545F491;  // state of the garbage fault's generator
};

// An engine for the image's interface type.
std::unique_ptr<Engine> makeEngine(ComputerImage image, EngineOptions options = {});

}  // namespace replay

}  // namespace talvek
