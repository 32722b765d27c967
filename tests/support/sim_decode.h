#pragma once
// Test-side readers of simulated memories, written from the memory layout
// the host expects and independent of the dive builder: a walker of the
// type 2/3 dive ring, a profile decoder and the backwards parse of a type 1
// dive stream.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dc/base/dive_record.h"
#include "sim/dive_builder.h"

namespace talvek {

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline uint16_t le(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint16_t be(const Bytes& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

inline Bytes ringRead(const Bytes& mem, uint32_t at, uint32_t n, uint32_t top) {
    Bytes out;
    for (uint32_t i = 0; i < n; ++i) {
        out.push_back(mem[at]);
        if (++at >= top) at = replay::RingStart;
    }
    return out;
}

inline uint32_t ringDistance(uint32_t from, uint32_t to, uint32_t top) {
    if (from > top || to > top || from < 0x2C || to < 0x2C) return 0;
    if (from <= to) return to - from;
    return (top - from) + (to - replay::RingStart);
}

struct WalkedDive {
    uint32_t address = 0;
    uint32_t headerSize = 0;  // 0: no end marker found
    Bytes header;
    Bytes profile;
};

// Walks from the start pointer along the newer links to the end pointer.
// Stops at a header without end marker (returned with headerSize 0).
inline std::vector<WalkedDive> walkRing(const Bytes& mem, uint32_t top) {
    std::vector<WalkedDive> out;
    const uint16_t count = le(mem, 0x192), end = le(mem, 0x194), start = le(mem, 0x196);
    if (count == 0) return out;
    uint32_t cur = start;
    while (cur != end && out.size() < 2000) {
        WalkedDive d;
        d.address = cur;
        const Bytes h = ringRead(mem, cur, 84, top);
        for (uint32_t p = 67; p <= 77; ++p)
            if (h[p] == 0x80 && h[p + 1] == 0x01) {
                d.headerSize = p + 6;
                break;
            }
        if (!d.headerSize) {
            out.push_back(d);
            break;
        }
        d.header.assign(h.begin(), h.begin() + d.headerSize);
        uint32_t pstart = cur + d.headerSize;
        if (pstart >= top) pstart = pstart - top + replay::RingStart;
        const uint32_t newer = le(h, 2);
        d.profile = ringRead(mem, pstart, ringDistance(pstart, newer, top), top);
        out.push_back(d);
        cur = newer;
    }
    return out;
}

// The dive record fields a type 2/3 header gives.
inline void parseHeader(const WalkedDive& w, DiveRecord& r) {
    const Bytes& h = w.header;
    const uint32_t s = w.headerSize;
    for (int i = 0; i < 9; ++i) r.tissue[i] = le(h, 41 + 2 * i);
    r.setProfile(w.profile.data(), static_cast<uint32_t>(w.profile.size()));
    r.surfaceIntervalMinutes = h[32];
    r.surfaceIntervalHours = h[31];
    r.diveNumber = h[30];
    r.sampleInterval = h[28];
    r.personalAltitude = static_cast<uint8_t>(h[34] * 3 + h[35]);
    r.oxygen1 = h[37];
    r.oxygenFraction = 127;
    r.year = static_cast<uint8_t>(le(h, 24) % 2000);
    r.month = h[26];
    r.day = h[27];
    r.hour = h[21];
    r.minute = h[22];
    r.cnsOtu = h[19];
    r.oxygen2 = h[38];
    r.oxygen3 = h[39];
    r.second = h[23];
    r.temperatureInterval = h[s - 7];
    r.rgbm = h[33];
    r.diveMode = h[29];
    r.diveTime = le(h, 15);
    r.maxDepth = le(h, 13);
    r.firstEventBlock = le(h, s - 2);
    r.pressureSamples = s >= 77 ? 1 : 0;
}

struct DecodedEvent {
    uint16_t block;  // sample count when the block was read
    sim::MeantEvent event;
};

struct DecodedProfile {
    std::vector<sim::MeantSample> samples;
    std::vector<DecodedEvent> events;
    bool atEnd = false;
};

// Samples and event blocks, the way the host's profile iterator reads them.
inline DecodedProfile decodeProfile(const Bytes& p, bool pressure, uint8_t tempInterval,
                                    uint16_t firstBlock) {
    DecodedProfile out;
    size_t pos = 0;
    auto left = [&](size_t n) { return pos + n <= p.size(); };
    auto u8 = [&]() -> uint8_t { return left(1) ? p[pos++] : 0; };
    auto u16 = [&]() -> uint16_t {
        if (!left(2)) return 0;
        pos += 2;
        return le(p, pos - 2);
    };
    uint16_t next = firstBlock, count = 0;
    uint32_t countdown = tempInterval;
    for (;;) {
        const bool due = countdown == tempInterval;
        if (count == next) {
            bool closed = false;
            while (left(1) && !closed) {
                sim::MeantEvent e;
                e.type = u8();
                if (e.type == 1) {
                    if (!left(4)) break;
                    const uint16_t a = u16();
                    next = static_cast<uint16_t>(a + u16());
                    closed = true;
                } else if (e.type == 2 || e.type == 3 || e.type == 5) {
                    if (!left(2)) break;
                    const uint8_t x = u8();
                    (e.type == 2 ? e.data2 : e.type == 3 ? e.data1 : e.data3) = x;
                    e.data4 = u8();
                    out.events.push_back({count, e});
                } else if (e.type == 4) {
                    if (!left(4)) break;
                    e.data2 = u8();
                    e.data4 = u8();
                    e.word = u16();
                    out.events.push_back({count, e});
                }
            }
            if (!closed) return out;
            continue;
        }
        if (!left(due ? 5 : 4)) {
            out.atEnd = true;
            return out;
        }
        sim::MeantSample s;
        s.depth = u16();
        if (pressure) s.pressure = u16();
        if (due) {
            s.temperature = static_cast<int8_t>(u8());
            s.hasTemperature = true;
            countdown = 1;
        } else {
            ++countdown;
        }
        ++count;
        out.samples.push_back(s);
    }
}

// A type 1 dive stream taken apart from its end; false for a dive the host
// skips (no 0x80 marker, or too short).
inline bool parseType1(const Bytes& stream, DiveRecord& r) {
    std::vector<uint8_t> stack = {0x86};
    stack.insert(stack.end(), stream.begin(), stream.end());
    size_t top = stack.size();
    auto pop = [&]() -> std::optional<uint8_t> {
        if (top == 0) return std::nullopt;
        return stack[--top];
    };
    uint8_t h[14];
    for (auto& b : h) {
        const auto v = pop();
        if (!v) return false;
        b = *v;
    }
    r.surfaceIntervalMinutes = h[0];
    r.surfaceIntervalHours = h[1];
    r.diveNumber = h[2];
    r.sampleInterval = h[3];
    r.personalAltitude = h[4];
    r.startCylinderPressure = (h[5] >> 1) & 0x7F;
    r.oxygen1 = h[6];
    r.oxygenFraction = h[7];
    r.startTemperature = h[8];
    r.year = h[9];
    r.month = h[10];
    r.day = h[11];
    r.hour = h[12];
    r.minute = h[13];
    Bytes profile;
    for (;;) {
        const auto v = pop();
        if (!v || *v == 0x86) return false;
        if (*v == 0x80) break;
        profile.push_back(*v);
    }
    uint8_t t[4];
    for (auto& b : t) {
        const auto v = pop();
        if (!v) return false;
        b = *v;
    }
    r.maxDepthTemperature = t[0];
    r.endTemperature = t[1];
    r.endCylinderPressure = (t[2] >> 1) & 0x7F;
    r.cnsOtu = t[3];
    r.setProfile(profile.data(), static_cast<uint32_t>(profile.size()));
    if (r.oxygen1 == 0) {
        r.oxygen1 = 21;
        r.oxygen2 = r.oxygen3 = 0;
        r.diveMode = 0;
    } else {
        r.diveMode = 1;
    }
    return true;
}

// Field by field; returns the first difference or "".
inline std::string diffRecords(const DiveRecord& a, const DiveRecord& b) {
#define SIM_CMP(f) \
    if (a.f != b.f) return #f " " + std::to_string(a.f) + " != " + std::to_string(b.f);
    for (int i = 0; i < 9; ++i) SIM_CMP(tissue[i]);
    SIM_CMP(surfaceIntervalMinutes)
    SIM_CMP(surfaceIntervalHours)
    SIM_CMP(diveNumber)
        SIM_CMP(sampleInterval) SIM_CMP(personalAltitude) SIM_CMP(startCylinderPressure) SIM_CMP(oxygen1)
            SIM_CMP(oxygenFraction) SIM_CMP(startTemperature) SIM_CMP(year) SIM_CMP(month) SIM_CMP(day)
                SIM_CMP(hour) SIM_CMP(minute) SIM_CMP(maxDepthTemperature) SIM_CMP(endTemperature) SIM_CMP(
                    endCylinderPressure) SIM_CMP(cnsOtu) SIM_CMP(oxygen2) SIM_CMP(oxygen3) SIM_CMP(second)
                    SIM_CMP(surfaceIntervalSeconds) SIM_CMP(temperatureInterval) SIM_CMP(rgbm)
                        SIM_CMP(diveMode) SIM_CMP(diveTime) SIM_CMP(maxDepth)
                            SIM_CMP(firstEventBlock) SIM_CMP(pressureSamples) SIM_CMP(profileLength)
#undef SIM_CMP
                                for (uint32_t i = 0; i < a.profileLength;
                                     ++i) if (a.profile[i] != b.profile[i]) return "profile byte " +
        std::to_string(i);
    return "";
}

}  // namespace simtest

}  // namespace talvek
