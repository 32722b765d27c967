#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace talvek {

namespace platform {
namespace {

class RealClock : public Clock {
  public:
    uint64_t nowMs() override {
        using namespace std::chrono;
        return static_cast<uint64_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void sleepMs(uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

RealClock realClock;
std::atomic<Clock*> current{nullptr};

}  // namespace

Clock& clock() {
    Clock* c = current.load();
    return c ? *c : realClock;
}

Clock* setClock(Clock* c) {
    return current.exchange(c);
}

void VirtualClock::sleepMs(uint32_t ms) {
    now_.fetch_add(ms);
    slept_.fetch_add(ms);
    // Let other threads run: a virtual sleep is usually someone's polling loop.
    std::this_thread::yield();
}

void VirtualClock::advanceTo(uint64_t t) {
    uint64_t cur = now_.load();
    while (cur < t && !now_.compare_exchange_weak(cur, t)) {
    }
}

}  // namespace platform

}  // namespace talvek
