#pragma once
// What the writer tests hand a writer: dive sets from a header image and a
// dive list, and stamps at a fixed time.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "dc/base/dive_set.h"
#include "output/document_stamp.h"

namespace talvek {

// `family` is a family's code (1, 2, 4), or another number for a family
// nobody knows.
inline DiveSet diveSetOf(int32_t family, const uint8_t* header, const DiveList& dives) {
    DiveSet set;
    set.family = static_cast<DataFamily>(family);
    std::copy(header, header + HeaderImageSize, set.header.begin());
    set.dives.assign(dives.begin(), dives.end());
    return set;
}

// A stamp at the given local time (the day of the week left 0), naming
// `program` when one is given.
inline DocumentStamp stampAt(int year, int month, int day, int hour, int minute, int second,
                             std::optional<ProgramVersion> program = std::nullopt) {
    DocumentStamp stamp;
    stamp.program = std::move(program);
    stamp.time.year = year;
    stamp.time.month = month;
    stamp.time.day = day;
    stamp.time.hour = hour;
    stamp.time.minute = minute;
    stamp.time.second = second;
    return stamp;
}

}  // namespace talvek
