#pragma once
// Builds realistic computer memories from a seed, and keeps with each a
// description of what it meant to write (the "meant" structures below), so
// tests can compare what a driver decodes with what was stored.
//
// Types 2 and 3: settings and identity at fixed addresses (serial number at
// 0x23, units word at 0x34, personal text at 0x15E, totals at 0x186, memory
// map at 0x190: newest header, dive count, end pointer, start pointer), the
// dive ring from 0x019A to the ring top written as the computer would write
// it dive after dive, wrapping at the top and dropping its oldest dives when
// the ring is full.  Type 1: header and settings at 0x1E, 0x2C and 0x53
// (big-endian words) and one transmitted stream per dive, the oldest dropped
// when the streams no longer fit the 8 KB memory.
#include <cstdint>
#include <string>
#include <vector>

#include "replay/computer_image.h"

namespace talvek {

struct DiveRecord;

namespace sim {

// One event record of a type 2/3 profile.  Types 2..5 carry payload as the
// profile iterator decodes it; any other type is a lone byte the iterator
// skips.
struct MeantEvent {
    uint8_t type = 0;
    uint8_t data1 = 0, data2 = 0, data3 = 0, data4 = 0;
    uint16_t word = 0;
};

// An event block: stored before sample `sampleIndex`, closed by a type 1
// record whose two words add up to the index of the next block (0xFFFF for
// none).
struct MeantBlock {
    uint16_t sampleIndex = 0;
    std::vector<MeantEvent> events;
    uint16_t link1 = 0, link2 = 0;
};

struct MeantSample {
    uint16_t depth = 0;     // centimetres
    uint16_t pressure = 0;  // raw pressure word (hundredths of a bar), 0 without pressure samples
    bool hasTemperature = false;
    int8_t temperature = 0;  // degrees Celsius
};

// One byte (or byte pair) of a type 1 profile, in stored order.
struct MeantT1Item {
    enum Kind : uint8_t { Depth, Marker, GasSwitch, Ignored };
    Kind kind = Depth;
    uint8_t byte = 0;   // delta byte (signed feet), marker byte, or the O2 of a gas switch
    int depthFeet = 0;  // running depth after this item
};

struct MeantDive {
    // Where the dive lies (types 2, 3).
    uint32_t headerAddress = 0;
    uint32_t headerSize = 0;  // 73..83; pressure samples from 77 on
    uint32_t olderLink = 0;
    uint32_t newerLink = 0;
    uint32_t sequence = 0;  // how many dives the computer had recorded before this one

    // The dive record as a driver fills it (field names of DiveRecord).
    uint16_t tissue[9] = {};
    uint8_t surfaceIntervalMinutes = 0, surfaceIntervalHours = 0;
    uint8_t diveNumber = 0;  // number in the repetition series
    uint8_t sampleInterval = 0;
    uint8_t personalFactor = 0, altitudeFactor = 0;
    uint8_t personalAltitude = 0;                                // as stored in the record
    uint8_t startCylinderPressure = 0, endCylinderPressure = 0;  // type 1, as the record holds them
    uint8_t oxygen1 = 0, oxygen2 = 0, oxygen3 = 0;
    uint8_t oxygenFraction = 0;
    uint8_t startTemperature = 0, maxDepthTemperature = 0, endTemperature = 0;  // type 1
    uint8_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint8_t cnsOtu = 0;
    uint8_t temperatureInterval = 0;
    uint8_t rgbm = 0;
    uint8_t diveMode = 0;   // 0 air, 1 nitrox, 2 gauge
    uint16_t diveTime = 0;  // minutes
    uint16_t maxDepth = 0;  // centimetres (types 2, 3) or feet (type 1)
    uint16_t firstEventBlock = 0xFFFF;
    uint16_t pressureSamples = 0;

    // Profile bytes exactly as stored (what the driver copies).
    std::vector<uint8_t> profile;
    // Types 2, 3: every sample that can be decoded, and the event blocks.
    std::vector<MeantSample> samples;
    std::vector<MeantBlock> blocks;
    // Type 1: the profile's items.
    std::vector<MeantT1Item> t1Items;

    // Deliberate damage.
    bool noEndMarker = false;   // header without 0x80 0x01: the download fails here
    bool noDiveMarker = false;  // type 1 dive without its 0x80 marker: skipped by the host
    bool truncated = false;     // profile cut inside a sample: `samples` ends early
};

struct MeantComputer {
    replay::InterfaceType type = replay::InterfaceType::Type2;
    uint8_t model = 0;
    uint8_t firmware[3] = {};
    uint8_t serial[4] = {};  // four two-digit groups
    std::string personalText;
    bool metric = true;
    uint16_t maxDepth = 0;       // centimetres (types 2, 3) or 1/128 foot (type 1)
    uint16_t totalDiveTime = 0;  // minutes
    uint16_t totalDives = 0;     // dives ever recorded
    // Memory map (types 2, 3).
    uint16_t newestHeader = 0, diveCount = 0, endPointer = 0, startPointer = 0;
    uint32_t ringBytesUsed = 0;  // ring distance from the start to the end pointer
    // Type 1 settings.
    uint8_t sampleInterval = 0, personalAltitudeByte = 0, timeFormat24h = 0, diveModeByte = 0;
    uint8_t backlight = 0, alarmBits = 0;
    uint16_t timeAlarm = 0, depthAlarm = 0, freeDiveMaxDepth = 0, freeDiveTime = 0;

    // The dives a download should deliver, oldest first.
    std::vector<MeantDive> dives;
    // Dives the computer recorded but later overwrote.
    uint32_t overwritten = 0;
};

struct BuildOptions {
    replay::InterfaceType type = replay::InterfaceType::Type2;
    uint32_t seed = 1;
    int dives = 12;     // dives the computer records (the oldest may be overwritten)
    bool fill = false;  // types 2, 3: record dives until the ring is full (ignores `dives`)
    bool wrap = false;  // types 2, 3: start recording near the top so the ring wraps
    bool headerAcrossTop = false;  // types 2, 3: one header straddles the ring top
    // Deliberate damage to one stored dive (index among the stored dives,
    // oldest 0; -1 picks the middle one).
    bool noEndMarker = false;       // types 2, 3
    bool noDiveMarker = false;      // type 1
    bool truncatedProfile = false;  // all types
    int brokenDive = -1;
    // Types 2, 3: replaces the dive ring by a damaged one of this many
    // headers 4 bytes apart (each older link 0x0180 doubles as the end
    // marker of the header 68 bytes before it), so every profile would run
    // once round the whole ring.  No dive of it can be downloaded.
    int overlappingDives = 0;
};

struct BuiltComputer {
    replay::ComputerImage image;
    MeantComputer meant;
};

// Deterministic: the same options give the same memory.  Throws
// std::invalid_argument for options that cannot be met.
BuiltComputer buildComputer(const BuildOptions& options);

// The computer goes diving: logs `count` more dives into `image` the way the
// computer would, each after the newest one (types 2, 3: at the end pointer,
// linked to the newest dive, overwriting the oldest dives when the ring is
// full, memory map and totals updated; type 1: one more stream each, totals
// updated).  Returns the dives added, oldest first.  Throws
// std::invalid_argument for a memory it cannot make sense of.
std::vector<MeantDive> addDives(replay::ComputerImage& image, int count, uint32_t seed = 1);

// The dive record a driver should produce for `dive` (profile included).
void fillDiveData(const MeantDive& dive, replay::InterfaceType type, DiveRecord& record);

}  // namespace sim

}  // namespace talvek
