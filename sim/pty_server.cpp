#include "sim/pty_server.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/os.h"

namespace talvek {

namespace sim {

using replay::ComputerImage;
namespace {
constexpr int PollSliceMs = 20;
constexpr uint32_t HungUpSleepMs = 10;
}  // namespace

PtyServer::PtyServer(ComputerImage image, EngineOptions options) {
    int error = 0;
    master_ = platform::PtyMaster::open(error);
    if (!master_)
        throw std::runtime_error("cannot open a pseudo-terminal: " + platform::errorText(error));
    path_ = master_->slavePath();
    flood_ = options.faults.flood;
    engine_ = sim::makeEngine(std::move(image), std::move(options));
}

void PtyServer::note(const std::string& line) const {
    if (engine_->options().log) engine_->options().log(line);
}

void PtyServer::serve(const std::atomic<bool>& stop) {
    serve(std::function<bool()>([&stop] { return stop.load(); }));
}

void PtyServer::serve(const std::function<bool()>& stop) {
    bool connected = false;
    uint8_t buf[512];
    const Flood flood = flood_;
    uint64_t floodedUntil = platform::nowMs();
    uint32_t noise = 0x9E3779B9;
    while (!stop()) {
        if (closed_) {
            platform::sleepMs(PollSliceMs);
            continue;
        }
        uint64_t now = platform::nowMs();
        if (flood != Flood::None) {
            // About one byte a millisecond (the line rate at 9600 baud),
            // whether anyone listens or not; a full line drops them.
            uint8_t noiseBytes[256] = {};
            const size_t count = static_cast<size_t>(std::min<uint64_t>(now - floodedUntil, 256));
            if (flood == Flood::Random) {
                for (size_t i = 0; i < count; ++i) {
                    noise ^= noise << 13;
                    noise ^= noise >> 17;
                    noise ^= noise << 5;
                    noiseBytes[i] = static_cast<uint8_t>(noise);
                }
            }
            if (count > 0) master_->write(noiseBytes, count);
            floodedUntil = now;
        }
        while (!pending_.empty() && pending_.front().atMs <= now) {
            auto& e = pending_.front();
            const long k = master_->write(e.bytes.data(), e.bytes.size());
            if (k <= 0) break;  // line full (or gone): try again later
            e.bytes.erase(e.bytes.begin(), e.bytes.begin() + k);
            if (!e.bytes.empty()) break;
            pending_.pop_front();
        }
        if (engine_->hungUp() && pending_.empty()) {
            // The unplugged cable: the host's port goes away under it.
            master_->close();
            closed_ = true;
            note("device closed (hang-up fault)");
            continue;
        }
        int timeout = PollSliceMs;
        if (!pending_.empty()) {
            const uint64_t due = pending_.front().atMs;
            timeout = due <= now ? 1 : static_cast<int>(std::min<uint64_t>(due - now, PollSliceMs));
        }
        bool hungUp = false;
        const long n = master_->read(buf, sizeof buf, timeout, hungUp);
        if (hungUp) {
            if (connected) {
                // The host closed its side: nothing it asked for is wanted now.
                note("host closed the device");
                connected = false;
                pending_.clear();
                engine_->reset();
                master_->discard();
            }
            platform::sleepMs(HungUpSleepMs);
            continue;
        }
        if (!connected) {
            note("host opened the device");
            connected = true;
            master_->makeRaw();
        }
        if (n < 0) {
            platform::sleepMs(HungUpSleepMs);
            continue;
        }
        if (n > 0) {
            for (auto& e : engine_->feed(buf, static_cast<size_t>(n), platform::nowMs()))
                // A line that reads only zeros carries no answer either.
                if (flood != Flood::Zeros) pending_.push_back(std::move(e));
        }
    }
}

}  // namespace sim

}  // namespace talvek
