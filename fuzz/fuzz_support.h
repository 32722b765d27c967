#pragma once
// Shared by the fuzz targets and the seed maker: how a fuzz input becomes a
// computer, a dive or an argument list, so that the seeds the simulator
// gives are inputs the targets read the same way.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dc/base/dive_set.h"
#include "output/document_stamp.h"
#include "output/writer_table.h"
#include "platform/clock.h"
#include "platform/os.h"
#include "replay/computer_image.h"
#include "xml/xml_document.h"

namespace talvek {

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// Type 2/3 download: byte 0 picks the type (even: 2, odd: 3), the rest is
// the memory from address 0 (shorter inputs leave the rest zero).
inline replay::ComputerImage pagedComputer(const uint8_t* data, size_t size) {
    const replay::InterfaceType type =
        size > 0 && (data[0] & 1) ? replay::InterfaceType::Type3 : replay::InterfaceType::Type2;
    replay::ComputerImage image = replay::ComputerImage::blank(type);
    image.identity = {0x11, 0x01, 0x02, 0x03};
    for (size_t i = 1; i < size && i - 1 < image.memory.size(); ++i) image.memory[i - 1] = data[i];
    return image;
}
inline Bytes pagedInput(const replay::ComputerImage& image) {
    Bytes in{static_cast<uint8_t>(image.type == replay::InterfaceType::Type3)};
    in.insert(in.end(), image.memory.begin(), image.memory.end());
    return in;
}

// Type 1 dive streams: each a 2-byte little-endian length and its bytes.
inline std::vector<Bytes> diveStreams(const uint8_t* data, size_t size) {
    std::vector<Bytes> streams;
    size_t at = 0;
    while (at + 2 <= size && streams.size() < 64) {
        size_t length = data[at] | (data[at + 1] << 8);
        at += 2;
        if (length > size - at) length = size - at;
        streams.emplace_back(data + at, data + at + length);
        at += length;
    }
    return streams;
}
inline Bytes streamsInput(const std::vector<Bytes>& streams) {
    Bytes in;
    for (const Bytes& s : streams) {
        in.push_back(static_cast<uint8_t>(s.size()));
        in.push_back(static_cast<uint8_t>(s.size() >> 8));
        in.insert(in.end(), s.begin(), s.end());
    }
    return in;
}

// Argument lists: arguments separated by zero bytes, the program path first.
inline std::vector<std::string> arguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    return args;
}
inline Bytes argumentsInput(const std::vector<std::string>& args) {
    Bytes in;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) in.push_back(0);
        in.insert(in.end(), args[i].begin(), args[i].end());
    }
    return in;
}

// Builds the document of `dives` in every layout and unit system the
// writers know.
inline void writeEveryLayout(const DiveSet& dives) {
    const DocumentStamp stamp{ProgramVersion{"Talvek XML Downloader", "1.0.0.0"},
                              platform::LocalTime{2026, 5, 1, 4, 14, 13, 12, 0}};
    for (const OutputChoice& choice :
         {OutputChoice{Layout::Legacy, UnitSystem::Imperial, false, true},
          OutputChoice{Layout::Dcdml, UnitSystem::Imperial, false, true},
          OutputChoice{Layout::Dcdml, UnitSystem::Metric, true, false},
          OutputChoice{Layout::Dcdml, UnitSystem::Scientific, false, false}}) {
        XmlDocument document;
        writeDocument(dives, choice, stamp, document);
    }
}

}  // namespace fuzz

}  // namespace talvek
