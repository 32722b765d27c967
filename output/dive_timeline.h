#pragma once
// A dive as a time line: the samples of its profile in the device's raw
// units, and what happened between them (events, gas switches), each at its
// time.  Read with the walks the XML writers use (Family1Profile for family 1,
// ProfileDecoder for families 2 and 3) and named as the DCDML layout names
// them, for outputs that place things in time rather than in profile order.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dc/base/dive_set.h"

namespace talvek {

struct TimelineSample {
    uint32_t time = 0;  // seconds from the start of the dive
    // Where the XML's profile puts the sample: it opens with a surface point
    // at 0 s and counts each sample one interval after the point before,
    // which for families 2 and 3 is one interval after `time`.
    uint32_t xmlTime = 0;
    int32_t depth = 0;                   // raw depth of the family (feet or centimetres)
    std::optional<int32_t> temperature;  // raw, degrees Celsius
    std::optional<int32_t> pressure;     // raw pressure units of the family
};

struct TimelineMark {
    enum class Kind { Event, GasSwitch };
    Kind kind = Kind::Event;
    int64_t time = 0;  // seconds from the start of the dive
    // An event's DCDML "id", or the name of the mix switched to.
    std::string name;
    // A heading event's heading, or the code of an event written with
    // "talvek:value".
    std::optional<int32_t> value;
    int32_t o2 = 0;  // gas switches: O2 percentage of the mix
    // How many samples came before it: it belongs to samples[sample], or to
    // the surface after the last one when there is no such sample.
    size_t sample = 0;
};

struct TimelineMix {
    std::string name;
    int32_t o2 = 0;
};

struct DiveTimeline {
    // What the computer recorded; the surface points an output puts before
    // the first and after the last sample are not among them.
    std::vector<TimelineSample> samples;
    std::vector<TimelineMark> marks;  // in profile order
    // The mixes the dive starts with, then those its gas switches add.
    std::vector<TimelineMix> mixes;
    // Back at the surface, as the XML's closing sample point says: for
    // family 1 one interval after the last sample; for families 2 and 3 the
    // decoder's running time, which the read that found the end has also
    // advanced.
    uint32_t end = 0;
    // The cylinder pressures of the first mix (raw), as the XML's gas
    // definitions give them: family 1 from the dive record, families 2 and
    // 3 from the first and the last sample that carried one.  None when the
    // start pressure is 0.
    struct Pressures {
        int32_t start = 0;
        int32_t end = 0;
    };
    std::optional<Pressures> pressures;
};

// Reads one dive of a computer of family `family` (1, 2 or 4).  A family 1
// gas switch without its O2 byte is left out.
DiveTimeline readTimeline(DataFamily family, const ConstDivePtr& dive);

}  // namespace talvek
