#pragma once
// A type 2/3 driver stand-in over a byte array: reads go straight to the
// array with the drivers' range checks, and every read is recorded.  Also a
// small writer for dive rings and a trace capture, shared by the ring buffer
// and download control tests.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dc/base/driver.h"
#include "dc/base/errors.h"
#include "dc/ring/ring_reader.h"
#include "support/temp_dir.h"
#include "trace/trace.h"

namespace talvek {

namespace ringtest {

// The flag must exist before the device part takes its address.
struct CancelHolder {
    CancelFlag cancel{false};
};

class FakeDevice : public CancelHolder, public Driver {
  public:
    explicit FakeDevice(int32_t top, DataFamily family = DataFamily::Family2)
        : Driver(family, top, &cancel), memory(static_cast<size_t>(top) + 1, 0) {}

    int read(uint32_t address, int count, uint8_t* destination, bool) override {
        if (count < 1 || !destination) throw BadInstruction(ErrorCode::BadReadParameter);
        if (uint64_t{address} + static_cast<uint64_t>(count) >
            static_cast<uint64_t>(memoryTop()) + 1)
            throw MemoryRangeError();
        reads.emplace_back(address, count);
        if (failOnRead && reads.size() == failOnRead) throw CommError(ErrorCode::Checksum);
        for (int i = 0; i < count; ++i) destination[i] = memory[address + i];
        if (onRead) onRead(reads.size());
        return count;
    }
    int write(uint32_t, int, const uint8_t*, bool) override { return 0; }
    int command(int, const uint8_t*, int, uint8_t*) override { return 0; }
    void open(int) override {}
    void prepare() override {}
    bool nextDive() override { return false; }
    void readHeader() override {}

    // Wraps at the top like the dive ring does.
    uint32_t wrap(uint32_t a) const {
        const uint32_t top = static_cast<uint32_t>(memoryTop());
        return a >= top ? a - top + ring::RingStart : a;
    }
    void put(uint32_t address, uint8_t value) { memory[wrap(address)] = value; }
    uint8_t at(uint32_t address) const { return memory[wrap(address)]; }
    void putWord(uint32_t address, uint16_t v) {
        put(address, static_cast<uint8_t>(v & 0xFF));
        put(address + 1, static_cast<uint8_t>(v >> 8));
    }

    std::vector<uint8_t> memory;
    std::vector<std::pair<uint32_t, int>> reads;
    std::function<void(size_t)> onRead;  // called after the n-th read (1-based)
    size_t failOnRead = 0;               // this read throws CommError 8
};

// Fills memory with a recognisable pattern (never 0x80 0x01 by accident).
inline void pattern(FakeDevice& d) {
    for (size_t i = 0; i < d.memory.size(); ++i)
        d.memory[i] = static_cast<uint8_t>((i * 7 + 3) & 0x7F);
}

// One dive as written into the ring.
struct DiveSpec {
    uint32_t markerAt = 70;  // end marker position: header size = markerAt + 6
    uint32_t profileLength = 50;
    uint8_t seed = 1;
};

// Writes a dive's header (with only its links, end marker and a seeded body)
// and profile at `address`; returns the address after it.  `older` and the
// newer link (the returned address, wrapped) are written into the header.
inline uint32_t writeDive(FakeDevice& d, uint32_t address, uint32_t older, const DiveSpec& s,
                          uint32_t newerOverride = 0) {
    const uint32_t size = s.markerAt + 6;
    for (uint32_t i = 4; i < size; ++i)
        d.put(address + i, static_cast<uint8_t>((s.seed + i) & 0x7F));
    d.put(address + s.markerAt, 0x80);
    d.put(address + s.markerAt + 1, 0x01);
    const uint32_t profile = d.wrap(address + size);
    for (uint32_t i = 0; i < s.profileLength; ++i)
        d.put(profile + i, static_cast<uint8_t>((s.seed * 13 + i) & 0xFF));
    const uint32_t next = d.wrap(profile + s.profileLength);
    d.putWord(address, static_cast<uint16_t>(older));
    d.putWord(address + 2, static_cast<uint16_t>(newerOverride ? newerOverride : next));
    return next;
}

// Collects the trace lines written while it lives.
class TraceCapture {
  public:
    TraceCapture() {
        dir_ = makeTempDir("talvek_ringtrace_");
        base_ = dir_ + "/trace";
        trace::setFile(base_.c_str(), 0);
        trace::setLevel(4);
    }
    ~TraceCapture() {
        trace::shutdown();
        std::remove((base_ + ".txt").c_str());
        std::error_code ec;
        std::filesystem::remove(dir_, ec);
    }
    std::string text() const {
        std::ifstream in(base_ + ".txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    size_t count(const std::string& needle) const {
        const std::string t = text();
        size_t n = 0;
        for (size_t p = t.find(needle); p != std::string::npos; p = t.find(needle, p + 1)) ++n;
        return n;
    }

  private:
    std::string dir_;
    std::string base_;
};

}  // namespace ringtest

}  // namespace talvek
