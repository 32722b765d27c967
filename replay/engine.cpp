#include "replay/engine.h"

#include <algorithm>
#include <cstdio>

namespace talvek {

namespace replay {

Engine::Engine(ComputerImage image, EngineOptions options)
    : image_(std::move(image)), options_(std::move(options)) {}

std::vector<Emission> Engine::feed(const uint8_t* data, size_t n, uint64_t nowMs) {
    std::vector<Emission> out;
    if (hungUp_ || n == 0) return out;
    out_ = &out;
    if (!in_.empty() && nowMs > lastByteAt_ + IdleGapMs) dropFront(in_.size(), "idle gap");
    lastByteAt_ = nowMs;
    log("host  > " + hex(data, n));
    const LineFaults* faults = options_.lineFaults.get();
    if (type() == InterfaceType::Type2 && (!faults || faults->echoes())) echo(data, n, nowMs);
    in_.insert(in_.end(), data, data + n);
    parse(nowMs);
    out_ = nullptr;
    return out;
}

void Engine::reset() {
    in_.clear();
    lineFreeAtUs_ = 0;
}

void Engine::echo(const uint8_t* data, size_t n, uint64_t atMs) {
    schedule(std::vector<uint8_t>(data, data + n), atMs);
}

void Engine::reply(std::vector<uint8_t> frame, uint64_t atMs) {
    const LineFaults* f = options_.lineFaults.get();
    if (f && f->silentAfter(replies_)) {
        log("sim     (silent: reply limit reached)");
        return;
    }
    ++replies_;
    if (f && f->garbles() && !frame.empty()) {
        uint8_t sum = 0;
        for (size_t i = 0; i + 1 < frame.size(); ++i) {
            noise_ ^= noise_ << 13;
            noise_ ^= noise_ >> 17;
            noise_ ^= noise_ << 5;
            frame[i] = static_cast<uint8_t>(noise_);
            sum ^= frame[i];
        }
        frame.back() = static_cast<uint8_t>(sum ^ 0xA5);  // a checksum that never matches
        log("sim     (this reply replaced by garbage)");
    }
    if (f && f->corrupts(replies_) && !frame.empty()) {
        frame.back() ^= 0x5A;
        log("sim     (checksum of this reply corrupted)");
    }
    log("sim   < " + hex(frame.data(), frame.size()));
    schedule(std::move(frame), atMs);
}

void Engine::schedule(std::vector<uint8_t> bytes, uint64_t atMs) {
    const int64_t limit = options_.lineFaults ? options_.lineFaults->bytesBeforeHangUp() : -1;
    if (hungUp_ || bytes.empty()) return;
    if (limit >= 0 && bytesSent_ + bytes.size() >= static_cast<uint64_t>(limit)) {
        bytes.resize(static_cast<size_t>(static_cast<uint64_t>(limit) - bytesSent_));
        hungUp_ = true;
        log("sim     (hanging up after " + std::to_string(limit) + " bytes)");
    }
    bytesSent_ += bytes.size();
    if (bytes.empty()) return;
    // Emissions leave in order: never earlier than the one before.
    const uint64_t prevMs = out_->empty() ? 0 : out_->back().atMs;
    const uint32_t trickleMs = options_.lineFaults ? options_.lineFaults->trickleMs() : 0;
    if (!options_.pace && trickleMs == 0) {
        const uint64_t at = std::max(atMs, prevMs);
        if (!out_->empty() && out_->back().atMs == at) {
            out_->back().bytes.insert(out_->back().bytes.end(), bytes.begin(), bytes.end());
        } else {
            out_->push_back({at, std::move(bytes)});
        }
        return;
    }
    // 10 bits a byte at the type's speed (or one byte a trickle step); a
    // byte is readable once it has wholly arrived.
    const uint64_t perByteNs =
        trickleMs ? trickleMs * 1'000'000ull : 10'000'000'000ull / baudRate(type());
    uint64_t t = std::max(atMs * 1'000'000ull, lineFreeAtUs_ * 1000ull);
    for (uint8_t b : bytes) {
        t += perByteNs;
        const uint64_t ms = (t + 999'999) / 1'000'000;
        if (!out_->empty() && out_->back().atMs == ms) {
            out_->back().bytes.push_back(b);
        } else {
            out_->push_back({std::max(ms, prevMs), {b}});
        }
    }
    lineFreeAtUs_ = t / 1000;
}

std::optional<std::vector<uint8_t>> Engine::takeFrame(size_t len) {
    if (xorSum(in_.data(), len - 1) != in_[len - 1]) {
        dropFront(1, "bad checksum");
        return std::nullopt;
    }
    std::vector<uint8_t> frame(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(len));
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(len));
    return frame;
}

void Engine::dropFront(size_t n, const char* why) {
    n = std::min(n, in_.size());
    if (n == 0) return;
    log(std::string("drop  x ") + hex(in_.data(), n) + " (" + why + ")");
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n));
}

void Engine::log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

std::string Engine::hex(const uint8_t* data, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
        s += b;
    }
    return s;
}

namespace {

// Interface type 1: slow, no echo, dives streamed as packets.
class Type1Engine : public Engine {
  public:
    using Engine::Engine;

  protected:
    void parse(uint64_t nowMs) override {
        while (!in_.empty()) {
            const uint8_t c = in_[0];
            size_t len = 0;
            if (c == 0x07 || c == 0x08 || c == 0x09) {
                if (in_.size() >= 2 && in_[1] != 0xA5) {
                    dropFront(1, "not a command");
                    continue;
                }
                len = 3;
            } else if (c == 0x05) {
                len = 5;
            } else if (c == 0x06) {
                if (in_.size() < 4) return;
                len = in_[3] + 5u;
            } else {
                dropFront(1, "not a command");
                continue;
            }
            if (in_.size() < len) return;
            if (const auto frame = takeFrame(len)) handle(*frame, nowMs + Type1ReplyDelayMs);
        }
    }

  private:
    void handle(const std::vector<uint8_t>& f, uint64_t at) {
        const uint8_t c = f[0];
        const bool wasEnabled = writeEnabled_;
        writeEnabled_ = false;
        if (c == 0x07) {
            writeEnabled_ = true;
            answer({0x07, 0xA5}, at);
        } else if (c == 0x05 || c == 0x06) {
            const uint32_t a = (f[1] << 8) | f[2];
            const uint32_t n = f[3];
            if (n == 0 || a + n > image_.memory.size()) {
                log("sim     (address range refused)");
                return;
            }
            std::vector<uint8_t> r(f.begin(), f.begin() + 4);
            if (c == 0x05) {
                r.insert(r.end(), image_.memory.begin() + a, image_.memory.begin() + a + n);
            } else {
                if (!wasEnabled) {
                    log("sim     (write refused: writing not enabled)");
                    return;
                }
                std::copy(f.begin() + 4, f.begin() + 4 + n, image_.memory.begin() + a);
                writeEnabled_ = true;  // a block write may follow
            }
            answer(std::move(r), at);
        } else {
            if (c == 0x08) cursor_ = 0;
            sendDive(at);
        }
    }

    void answer(std::vector<uint8_t> r, uint64_t at) {
        r.push_back(xorSum(r.data(), r.size()));
        reply(std::move(r), at);
    }

    void sendDive(uint64_t at) {
        if (cursor_ >= image_.diveStreams.size()) {
            answer({1, 0}, at);
            return;
        }
        const auto& d = image_.diveStreams[cursor_++];
        uint8_t k = 1;
        for (size_t p = 0; p < d.size(); p += 32, ++k) {
            const size_t l = std::min<size_t>(32, d.size() - p);
            std::vector<uint8_t> pk{k, static_cast<uint8_t>(l)};
            pk.insert(pk.end(), d.begin() + static_cast<std::ptrdiff_t>(p),
                      d.begin() + static_cast<std::ptrdiff_t>(p + l));
            answer(std::move(pk), at);
        }
        if (d.size() % 32 == 0 && !options_.silentAfterFullDive) answer({k, 0}, at);
    }

    size_t cursor_ = 0;
    bool writeEnabled_ = false;
};

// Interface types 2 and 3: the same frames; type 2's cable echoes.
class Type23Engine : public Engine {
  public:
    using Engine::Engine;

  protected:
    void parse(uint64_t nowMs) override {
        while (!in_.empty()) {
            const uint8_t c = in_[0];
            if (c != 0x0F && c != 0x05 && c != 0x06) {
                dropFront(1, "not a command");
                continue;
            }
            if (in_.size() < 3) return;
            const uint8_t l = in_[2];
            const bool lengthOk =
                in_[1] == 0x00 &&
                ((c == 0x0F && l == 0) || (c == 0x05 && l == 3) || (c == 0x06 && l >= 4));
            if (!lengthOk) {
                dropFront(1, "bad frame length");
                continue;
            }
            const size_t len = l + 4u;
            if (in_.size() < len) return;
            if (c == 0x06 && in_[5] + 3u != l) {
                dropFront(1, "bad frame length");
                continue;
            }
            if (const auto frame = takeFrame(len)) handle(*frame, nowMs + Type23ReplyDelayMs);
        }
    }

  private:
    void handle(const std::vector<uint8_t>& f, uint64_t at) {
        std::vector<uint8_t> r;
        if (f[0] == 0x0F) {
            r = {0x0F, 0x00, 0x04};
            r.insert(r.end(), image_.identity.begin(), image_.identity.end());
        } else {
            const uint32_t a = (f[3] << 8) | f[4];
            const uint32_t n = f[5];
            if (n == 0 || a + n > image_.memory.size()) {
                log("sim     (address range refused)");
                return;
            }
            r.assign(f.begin(), f.begin() + 6);
            if (f[0] == 0x05) {
                r.insert(r.end(), image_.memory.begin() + a, image_.memory.begin() + a + n);
            } else {
                std::copy(f.begin() + 6, f.begin() + 6 + n, image_.memory.begin() + a);
            }
        }
        r.push_back(xorSum(r.data(), r.size()));
        reply(std::move(r), at);
    }
};

}  // namespace

std::unique_ptr<Engine> makeEngine(ComputerImage image, EngineOptions options) {
    if (image.memory.size() != memorySize(image.type))
        image.memory.resize(memorySize(image.type), 0);
    if (image.type == InterfaceType::Type1)
        return std::make_unique<Type1Engine>(std::move(image), std::move(options));
    return std::make_unique<Type23Engine>(std::move(image), std::move(options));
}

}  // namespace replay

}  // namespace talvek
