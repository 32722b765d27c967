#pragma once
// The one clock behind every pause and time-out of the program.  Production
// code uses the real monotonic clock; tests install a VirtualClock so that the
// protocol's long pauses and time-outs cost no real time.
#include <atomic>
#include <cstdint>

namespace talvek {

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes backwards.
    virtual uint64_t nowMs() = 0;
    // Pauses the calling thread for `ms` milliseconds of this clock's time.
    virtual void sleepMs(uint32_t ms) = 0;
};

// The clock in force (the real clock unless a test installed another).
Clock& clock();
// Installs `c` as the clock in force; nullptr puts the real clock back.
// Returns the clock installed before (nullptr for the real clock).
Clock* setClock(Clock* c);

// Shorthands for the clock in force.
inline uint64_t nowMs() {
    return clock().nowMs();
}
inline void sleepMs(uint32_t ms) {
    clock().sleepMs(ms);
}

// Time that only moves when someone sleeps on it or advances it.
class VirtualClock : public Clock {
  public:
    explicit VirtualClock(uint64_t startMs = 0) : now_(startMs) {}
    uint64_t nowMs() override { return now_.load(); }
    void sleepMs(uint32_t ms) override;
    void advance(uint64_t ms) { now_.fetch_add(ms); }
    // Moves time forward to `t` (never backwards).
    void advanceTo(uint64_t t);
    // Total of all sleeps taken on this clock.
    uint64_t sleptMs() const { return slept_.load(); }

  private:
    std::atomic<uint64_t> now_;
    std::atomic<uint64_t> slept_{0};
};

// Installs a clock for the lifetime of the object, then puts back the one
// that was in force before.
class ScopedClock {
  public:
    explicit ScopedClock(Clock& c) : previous_(setClock(&c)) {}
    ~ScopedClock() { setClock(previous_); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

  private:
    Clock* previous_;
};

}  // namespace platform

}  // namespace talvek
