#pragma once
// What a run is asked to do, as one typed value: the port and output file,
// which interface types to probe, how to write the document, and the
// extras (store, new dives, dump, image, report).  The Options word the
// command line composes is kept as it is for the trace and decoded here
// alone.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/writer_table.h"
#include "session/download_extras.h"

namespace talvek {

// Which interface types a run probes: every row of the table, or those
// named by number (none at all for -dv=4).
class ProbeChoice {
  public:
    static ProbeChoice all() { return ProbeChoice(true, {}); }
    static ProbeChoice only(std::vector<int> numbers) { return ProbeChoice(false, numbers); }

    bool includes(int number) const;
    bool operator==(const ProbeChoice&) const = default;

  private:
    ProbeChoice(bool all, std::vector<int> numbers) : all_(all), numbers_(std::move(numbers)) {}

    bool all_;
    std::vector<int> numbers_;
};

struct Request {
    std::string port;
    std::string outputFile;
    // The Options word as composed from the command line (traced).
    uint32_t options = 0;
    ProbeChoice probe = ProbeChoice::all();
    OutputChoice output;
    DownloadExtras extras;
    std::optional<std::string> report;  // -report=FILE
};

// Whether two names given for this run's files name one file (as written,
// or through another path or link to it).
bool namesOneFile(const std::string& a, const std::string& b);

// A request for `port` and `outputFile` whose probe and output choices are
// those of the Options word `options`, with no extras.
Request requestFor(std::string port, std::string outputFile, uint32_t options);

// The parts of the Options word: bits 0x0F the types to probe (all four:
// every type), 0x300 the layout (0x200 DCDML, 0x300 none, otherwise
// legacy) unless 0x400 asks for UDDF, 0x1000 and 0x2000 the end tags and
// the indentation, 0xE0000 the units (imperial unless metric or scientific
// alone).
ProbeChoice probeChoiceOf(uint32_t options);
OutputChoice outputChoiceOf(uint32_t options);

}  // namespace talvek
