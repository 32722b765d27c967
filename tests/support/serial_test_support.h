#pragma once
// Shared pieces of the serial-port and link tests: a trace file in a private
// temporary directory, a scripted far end for the in-memory port, and frame
// building.
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/memory_port.h"
#include "support/temp_dir.h"
#include "trace/trace.h"

namespace talvek {

namespace serialtest {

struct TraceLine {
    std::string level;  // "Error", "Info", "Debug" or "Detail"
    std::string text;
};

// Sends the trace to <tmpdir>/trace.txt at level 4 for the object's life.
class TraceCapture {
  public:
    TraceCapture() {
        dir_ = makeTempDir("talvek_serial_");
        trace::setFile((dir_ + "/trace").c_str(), 0);
        trace::setLevel(4);
    }
    ~TraceCapture() {
        trace::shutdown();
        std::remove(path().c_str());
        std::error_code ec;
        std::filesystem::remove(dir_, ec);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string path() const { return dir_ + "/trace.txt"; }

    std::vector<TraceLine> lines() const {
        std::vector<TraceLine> out;
        std::ifstream in(path(), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // "hh:mm:ss_mmm_TID: Level:: text"
            size_t sep = line.find(":: ");
            size_t head = line.find(": ");
            if (sep == std::string::npos || head == std::string::npos) continue;
            std::string level = line.substr(head + 2, sep - head - 2);
            level.erase(0, level.find_first_not_of(' '));
            out.push_back(TraceLine{level, line.substr(sep + 3)});
        }
        return out;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& l : lines()) out.push_back(l.text);
        return out;
    }

    // Lines whose text starts with `prefix`.
    std::vector<TraceLine> matching(const std::string& prefix) const {
        std::vector<TraceLine> out;
        for (const auto& l : lines())
            if (l.text.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
        return out;
    }

  private:
    std::string dir_;
};

// Appends the XOR of the bytes, as every frame ends.
inline std::vector<uint8_t> frame(std::vector<uint8_t> bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) x ^= b;
    bytes.push_back(x);
    return bytes;
}

// A far end that answers each host write with the next scripted reply (or
// the standing one), optionally echoing the written bytes first.
class ScriptedPeer : public platform::MemoryPeer {
  public:
    bool echo = false;
    uint64_t replyDelayMs = 0;
    std::deque<std::vector<uint8_t>> replies;
    std::optional<std::vector<uint8_t>> always;
    std::function<void(const uint8_t*, size_t)> onWrite;

    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override {
        if (onWrite) onWrite(data, n);
        if (echo) line.send(data, n, atMs);
        std::vector<uint8_t> reply;
        if (!replies.empty()) {
            reply = replies.front();
            replies.pop_front();
        } else if (always) {
            reply = *always;
        } else {
            return;
        }
        line.send(reply, atMs + replyDelayMs);
    }
};

inline std::vector<uint8_t> bytesOf(const uint8_t* p, size_t n) {
    return std::vector<uint8_t>(p, p + n);
}

}  // namespace serialtest

}  // namespace talvek
