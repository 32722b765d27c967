#pragma once
// One downloaded dive: what a driver fills in and a writer reads.
#include <cstdint>
#include <list>
#include <memory>

namespace talvek {

// Which source byte fills each field is the driver's business; a field a
// type does not fill stays 0.
struct DiveRecord {
    DiveRecord() = default;
    DiveRecord(const DiveRecord&) = delete;
    DiveRecord& operator=(const DiveRecord&) = delete;

    // Stores a copy of `n` profile bytes.
    void setProfile(const uint8_t* bytes, uint32_t n);

    uint32_t tissue[9] = {};             // tissue saturation values (types 2, 3)
    std::unique_ptr<uint8_t[]> profile;  // raw profile bytes
    uint32_t profileLength = 0;

    uint8_t year = 0;  // year - 2000
    uint8_t month = 0;
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    uint16_t diveTime = 0;  // minutes
    uint16_t maxDepth = 0;  // raw depth units of the family
    uint8_t surfaceIntervalHours = 0;
    uint8_t surfaceIntervalMinutes = 0;
    uint8_t surfaceIntervalSeconds = 0;  // no type fills it
    uint8_t diveNumber = 0;              // number in the repetitive series, 1 for the first

    uint8_t sampleInterval = 0;       // seconds between samples
    uint8_t temperatureInterval = 0;  // one temperature byte every this many samples (types 2, 3)
    uint16_t firstEventBlock = 0;     // sample index of the first event block (types 2, 3)
    uint16_t pressureSamples = 0;     // 1 when samples carry a pressure word (types 2, 3)

    uint8_t personalAltitude = 0;  // personal factor x 3 + altitude factor
    uint8_t rgbm = 0;              // decompression model setting (types 2, 3)
    uint8_t diveMode = 0;          // 0 air, 1 nitrox, 2 gauge
    uint8_t cnsOtu = 0;            // CNS + 0x80 from 0x80 up, else OTU
    uint8_t oxygen1 = 0;           // O2 percentage of the first gas
    uint8_t oxygen2 = 0;
    uint8_t oxygen3 = 0;
    uint8_t oxygenFraction = 0;  // type 1's raw oxygen fraction byte; 127 for types 2 and 3

    // Type 1 only: cylinder pressures (raw) and temperatures of the dive.
    uint8_t startCylinderPressure = 0;
    uint8_t endCylinderPressure = 0;
    uint8_t startTemperature = 0;
    uint8_t maxDepthTemperature = 0;
    uint8_t endTemperature = 0;
};

using DivePtr = std::shared_ptr<DiveRecord>;
using DiveList = std::list<DivePtr>;

}  // namespace talvek
