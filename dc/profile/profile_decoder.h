#pragma once
// Decodes the raw profile bytes of one interface type 2/3 dive into samples
// and event blocks.  This is the one place where the profile byte format is
// defined; what the events mean is the generators' business.
//
// Calling protocol:
//   ProfileDecoder p(dive);
//   while (p.next()) {
//       if (p.eventsPending()) { while (auto* e = p.nextEvent()) ...; p.clearEvents(); }
//       else { ... p.depth(), p.pressure(), p.temperature() ... }
//       if (p.atEnd()) break;
//   }
#include <cstdint>
#include <list>
#include <memory>

#include "dc/base/dive_record.h"

namespace talvek {

class ProfileDecoder {
  public:
    ProfileDecoder(const ProfileDecoder&) = delete;
    ProfileDecoder& operator=(const ProfileDecoder&) = delete;
    // One decoded event record.  Fields a record type does not set read 0.
    struct Event {
        uint8_t type = 0;
        uint8_t data1 = 0;
        uint8_t data2 = 0;
        uint8_t data3 = 0;
        uint8_t data4 = 0;
        uint16_t word = 0;
        uint32_t time = 0;  // sample time of the last sample before the block
    };

    // Shares ownership of the record so its profile bytes outlive the iterator.
    explicit ProfileDecoder(std::shared_ptr<const DiveRecord> record);

    // Decodes the next sample or event block.  False when an event block runs
    // out of bytes or a sample cannot be read (then atEnd() is true).
    bool next();

    bool eventsPending() const { return eventsPending_; }
    // The next event of the current block, or null (then eventsPending()
    // becomes false).
    Event* nextEvent();
    void clearEvents();

    uint16_t depth() const { return depth_; }
    bool hasPressure() const { return pressureSamples_; }
    uint16_t pressure() const { return pressure_; }
    bool hasTemperature() const { return hasTemperature_; }
    int8_t temperature() const { return temperature_; }
    // Running time (time of the next sample) when `next` is true, else the
    // time of the current sample.
    uint32_t time(bool next) const { return next ? runningTime_ : sampleTime_; }
    bool atEnd() const { return atEnd_; }
    uint16_t startPressure() const { return startPressure_; }
    uint16_t endPressure() const { return endPressure_; }
    uint16_t nextBlockIndex() const { return nextBlockIndex_; }
    uint16_t sampleCount() const { return sampleCount_; }
    uint32_t bytesConsumed() const { return bytesConsumed_; }

  private:
    bool remain(uint32_t n) const { return bytesConsumed_ + n <= profileLength_; }
    uint16_t read16();
    uint8_t read8();
    bool decodeBlock();

    std::shared_ptr<const DiveRecord> record_;
    std::list<Event> events_;
    std::list<Event>::iterator cursor_;
    bool eventsPending_ = false;
    bool atEnd_ = false;
    bool hasTemperature_ = false;
    const uint8_t* read_;
    uint16_t nextBlockIndex_;
    uint16_t sampleCount_ = 0;
    uint32_t sampleTime_ = 0;
    uint32_t runningTime_ = 0;
    uint32_t sampleInterval_;
    uint32_t temperatureInterval_;
    uint32_t temperatureCountdown_;
    uint32_t profileLength_;
    bool pressureSamples_;
    bool firstPressurePending_ = true;
    // 32 bits so that a profile longer than 64 KiB cannot wrap the bound check.
    uint32_t bytesConsumed_ = 0;
    uint16_t depth_ = 0;
    uint16_t pressure_ = 0;
    uint16_t startPressure_ = 0;
    uint16_t endPressure_ = 0;
    int8_t temperature_ = 0;
};

}  // namespace talvek
