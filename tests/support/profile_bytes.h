#pragma once
// Dives with known samples, for the tests of outputs that draw or list
// them: profile bytes composed sample by sample in the computers' layout
// (little-endian depth words, a temperature byte every so many samples,
// event blocks ended by a type 1 record).
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "dc/base/dive_record.h"

namespace talvek {

namespace report_test {

class ProfileBytes {
  public:
    ProfileBytes& word(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    ProfileBytes& byte(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ProfileBytes& raw(std::initializer_list<uint8_t> values) {
        bytes.insert(bytes.end(), values);
        return *this;
    }
    // The record that ends an event block: the next block starts at sample
    // `next` (0xFFFF: no further block).
    ProfileBytes& endBlock(uint16_t next) { return byte(1).word(next).word(0); }

    std::vector<uint8_t> bytes;
};

// A first dive of its series at the given date and time (year - 2000).
inline std::shared_ptr<DiveRecord> diveAt(uint8_t year, uint8_t month, uint8_t day, uint8_t hour,
                                          uint8_t minute, uint8_t sampleInterval) {
    auto d = std::make_shared<DiveRecord>();
    d->year = year;
    d->month = month;
    d->day = day;
    d->hour = hour;
    d->minute = minute;
    d->diveNumber = 1;
    d->sampleInterval = sampleInterval;
    return d;
}

// A type 2/3 dive at 2024-05-06 07:08 with the given profile.
inline std::shared_ptr<DiveRecord> decodedDive(const ProfileBytes& p, uint8_t sampleInterval,
                                               uint8_t temperatureInterval,
                                               uint16_t firstEventBlock) {
    auto d = diveAt(24, 5, 6, 7, 8, sampleInterval);
    d->temperatureInterval = temperatureInterval;
    d->firstEventBlock = firstEventBlock;
    d->setProfile(p.bytes.data(), static_cast<uint32_t>(p.bytes.size()));
    return d;
}

// A type 1 dive with the given profile bytes.
inline std::shared_ptr<DiveRecord> family1Dive(std::initializer_list<uint8_t> bytes,
                                               uint8_t sampleInterval) {
    auto d = diveAt(9, 3, 14, 10, 22, sampleInterval);
    const std::vector<uint8_t> b(bytes);
    d->setProfile(b.data(), static_cast<uint32_t>(b.size()));
    return d;
}

}  // namespace report_test

}  // namespace talvek
