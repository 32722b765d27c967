#pragma once
// The dive set a download of a simulated computer should yield, made from
// what the dive builder meant to store instead of by a driver: the records
// sim::fillDiveData gives and the header fields the driver tests check.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "dc/base/dive_set.h"
#include "sim/dive_builder.h"

namespace talvek {

namespace simtest {

inline void putHeaderWord(HeaderImage& h, int at, uint16_t v) {
    h[at] = static_cast<uint8_t>(v & 0xFF);
    h[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline DiveSet meantDiveSet(const sim::MeantComputer& m) {
    const bool type1 = m.type == replay::InterfaceType::Type1;
    DiveSet set;
    set.family = type1                                    ? DataFamily::Family1
                 : m.type == replay::InterfaceType::Type2 ? DataFamily::Family2
                                                          : DataFamily::Family3;
    HeaderImage& h = set.header;
    putHeaderWord(h, 0x22, m.maxDepth);
    putHeaderWord(h, 0x24, m.totalDiveTime);
    putHeaderWord(h, 0x26, m.totalDives);
    h[0x28] = m.model;
    h[0x29] = m.firmware[0];
    std::copy(m.serial, m.serial + 4, h.begin() + 0x2A);
    const size_t textRoom = type1 ? 32 : 40;
    std::copy_n(m.personalText.begin(), std::min(m.personalText.size(), textRoom),
                h.begin() + 0x30);
    h[0x72] = m.metric ? 1 : 0;
    if (type1) {
        h[0x62] = m.sampleInterval;
        h[0x63] = m.personalAltitudeByte;
        putHeaderWord(h, 0x6C, m.freeDiveMaxDepth);
        putHeaderWord(h, 0x6E, m.freeDiveTime);
        h[0x71] = m.timeFormat24h;
        h[0x73] = m.diveModeByte;
        h[0x74] = m.backlight;
        h[0x75] = m.alarmBits;
        putHeaderWord(h, 0x76, m.timeAlarm);
        putHeaderWord(h, 0x78, m.depthAlarm);
    } else {
        h[0x81] = m.firmware[1];
        h[0x82] = m.firmware[2];
    }
    for (const sim::MeantDive& d : m.dives) {
        if (d.noDiveMarker) continue;  // the type 1 host skips these
        auto record = std::make_shared<DiveRecord>();
        sim::fillDiveData(d, m.type, *record);
        set.dives.push_back(record);
    }
    return set;
}

}  // namespace simtest

}  // namespace talvek
