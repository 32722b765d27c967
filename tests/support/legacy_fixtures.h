#pragma once
// Hand-built header images and dive records shared by the legacy and family 1
// generator tests.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "dc/base/dive_set.h"
#include "support/temp_dir.h"
#include "trace/trace.h"
#include "xml/xml_document.h"

namespace talvek {

namespace legacy_test {

using Header = std::array<uint8_t, HeaderImageSize>;

inline void Put16(Header& h, int offset, uint16_t v) {
    h[offset] = static_cast<uint8_t>(v & 0xFF);
    h[offset + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutText(Header& h, int offset, const char* text) {
    std::memcpy(h.data() + offset, text, std::strlen(text));
}

inline DivePtr MakeDive(std::initializer_list<uint8_t> profile) {
    DivePtr d(new DiveRecord);
    std::vector<uint8_t> bytes(profile);
    d->setProfile(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return d;
}

// UTF-8 as the drivers set it, plus indentation so that the expected texts
// stay readable.
inline void Configure(XmlDocument& doc) {
    doc.setFlags(XmlDocument::Utf8 | XmlDocument::Indent);
}

inline std::string Output(const XmlDocument& doc) {
    return doc.outputBuffer();
}

constexpr const char* Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// Captures the trace lines written while it lives.
class TraceCapture {
  public:
    explicit TraceCapture(const char* tag) {
        dir_ = makeTempDir(std::string("legacy_trace_") + tag + "_");
        base_ = dir_ + "/trace";
        trace::setFile(base_.c_str(), 0);
        trace::setLevel(4);
    }
    ~TraceCapture() {
        trace::shutdown();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string text() {
        trace::shutdown();
        std::ifstream in(base_ + ".txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

  private:
    std::string dir_;
    std::string base_;
};

}  // namespace legacy_test

}  // namespace talvek
