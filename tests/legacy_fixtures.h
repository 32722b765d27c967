#pragma once
// Hand-built header images and dive records shared by the legacy and family 1
// generator tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "dcdml/dcdml_document.h"
#include "device/device.h"
#include "trace/trace.h"

namespace legacy_test {

using Header = std::array<uint8_t, sAPI::HeaderImageSize>;

inline void Put16(Header& h, int offset, uint16_t v) {
    h[offset] = static_cast<uint8_t>(v & 0xFF);
    h[offset + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutText(Header& h, int offset, const char* text) {
    std::memcpy(h.data() + offset, text, std::strlen(text));
}

inline DivePtr MakeDive(std::initializer_list<uint8_t> profile) {
    DivePtr d(new _DIVE_DATA);
    std::vector<uint8_t> bytes(profile);
    d->SetProfile(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return d;
}

// UTF-8 as the drivers set it, plus indentation so that the expected texts
// stay readable.
inline void Configure(DCDMLDocument& doc) {
    doc.SetFlags(DCDMLDocument::Utf8 | DCDMLDocument::Indent);
}

inline std::string Output(const DCDMLDocument& doc) {
    return doc.OutputBuffer();
}

constexpr const char* Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// Captures the trace lines written while it lives.
class TraceCapture {
  public:
    explicit TraceCapture(const char* tag) {
        base_ = ::testing::TempDir() + "legacy_trace_" + tag + "_" + std::to_string(::getpid());
        std::remove((base_ + ".txt").c_str());
        Trace::SetFile(base_.c_str(), 0);
        Trace::SetLevel(4);
    }
    ~TraceCapture() {
        Trace::Shutdown();
        std::remove((base_ + ".txt").c_str());
    }
    std::string Text() {
        Trace::Shutdown();
        std::ifstream in(base_ + ".txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

  private:
    std::string base_;
};

}  // namespace legacy_test
