#include "session/request.h"

#include <algorithm>

#include "platform/file_replace.h"

namespace talvek {

namespace {

// The Options word's bits.
constexpr uint32_t ProbeBits = 0x0F;
constexpr uint32_t LayoutBits = 0x300;
constexpr uint32_t DcdmlLayout = 0x200;
constexpr uint32_t UddfLayout = 0x400;
constexpr uint32_t FullEndTags = 0x1000;
constexpr uint32_t Indent = 0x2000;
constexpr uint32_t UnitBits = 0xE0000;
constexpr uint32_t MetricBits = 0x40000;
constexpr uint32_t ScientificBits = 0x80000;

}  // namespace

bool ProbeChoice::includes(int number) const {
    return all_ || std::find(numbers_.begin(), numbers_.end(), number) != numbers_.end();
}

ProbeChoice probeChoiceOf(uint32_t options) {
    const uint32_t bits = options & ProbeBits;
    if (bits == ProbeBits) return ProbeChoice::all();
    // One bit a type: 0x01 type 1, 0x02 type 2, 0x04 type 3; 0x08 (-dv=4)
    // names none.
    std::vector<int> numbers;
    for (int n = 1; n <= 3; ++n)
        if (bits & (1u << (n - 1))) numbers.push_back(n);
    return ProbeChoice::only(numbers);
}

OutputChoice outputChoiceOf(uint32_t options) {
    OutputChoice c;
    const uint32_t layout = options & LayoutBits;
    c.layout = (options & UddfLayout)  ? Layout::Uddf
               : layout == LayoutBits  ? Layout::Unknown
               : layout == DcdmlLayout ? Layout::Dcdml
                                       : Layout::Legacy;
    switch (options & UnitBits) {
        case MetricBits:
            c.units = UnitSystem::Metric;
            break;
        case ScientificBits:
            c.units = UnitSystem::Scientific;
            break;
        default:
            c.units = UnitSystem::Imperial;
            break;
    }
    c.fullEndTags = (options & FullEndTags) != 0;
    c.indent = (options & Indent) != 0;
    return c;
}

bool namesOneFile(const std::string& a, const std::string& b) {
    return a == b || platform::sameFile(a, b);
}

Request requestFor(std::string port, std::string outputFile, uint32_t options) {
    Request r;
    r.port = std::move(port);
    r.outputFile = std::move(outputFile);
    r.options = options;
    r.probe = probeChoiceOf(options);
    r.output = outputChoiceOf(options);
    return r;
}

}  // namespace talvek
