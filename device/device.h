#pragma once
// The driver interface every interface type implements, its progress counter
// and the record each downloaded dive becomes.
#include <atomic>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>

class DCDMLDocument;
class OutputGenerater;

namespace sAPI {

// The worker's cancel flag: written by the GUI thread, read by the drivers.
using CancelFlag = std::atomic<bool>;

}  // namespace sAPI

// Counts the bytes of a download phase and reports a whole percentage.
class TSmartProgress : private boost::noncopyable {
  public:
    using Callback = std::function<void(int)>;

    explicit TSmartProgress(int32_t total);

    // total = total, current = 0, percent = 0; always calls back with 0.
    void Reset(int32_t total);
    void Advance(int32_t n);
    // Sets the current value directly (then clamps and recomputes).
    void SetCurrent(int32_t current);
    // Replaces the callback; an empty one makes the counter silent.
    void SetCallback(Callback cb);

    int32_t total() const { return total_; }
    int32_t current() const { return current_; }
    int32_t percent() const { return percent_; }

  private:
    void Update();
    int32_t total_;
    int32_t current_ = 0;
    int32_t percent_ = 0;
    Callback callback_;
};

// One downloaded dive.  Which source byte fills each field is the driver's
// business; a field a type does not fill stays 0.
struct _DIVE_DATA : private boost::noncopyable {
    _DIVE_DATA();

    // Stores a copy of `n` profile bytes.
    void SetProfile(const uint8_t* bytes, uint32_t n);

    uint32_t tissue[9];                  // tissue saturation values (types 2, 3)
    std::unique_ptr<uint8_t[]> profile;  // raw profile bytes
    uint8_t surfaceIntervalMinutes;
    uint8_t surfaceIntervalHours;
    uint8_t diveNumber;        // number in the repetitive series
    uint8_t sampleInterval;    // seconds between samples
    uint8_t personalAltitude;  // personal factor x 3 + altitude factor
    uint8_t gasPressure1;      // raw, start of dive (type 1)
    uint8_t oxygen1;           // O2 percentage of the first gas
    uint8_t fixedByte;         // 127 for types 2 and 3
    uint8_t type1Byte;         // start temperature
    uint8_t year;              // year - 2000
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t type1Bytes[2];  // temperature at max depth, end temperature
    uint8_t gasPressure2;   // raw, end of dive (type 1)
    uint8_t cnsOtu;
    uint8_t oxygen2;
    uint8_t oxygen3;
    uint8_t second;
    uint8_t surfaceIntervalSeconds;  // never filled
    uint8_t temperatureInterval;     // one temperature byte every this many samples
    uint8_t rgbm;
    uint8_t diveMode;  // 0 air, 1 nitrox, 2 gauge
    uint8_t further[5];
    uint16_t diveTime;         // minutes
    uint16_t maxDepth;         // raw depth units of the family
    uint16_t firstEventBlock;  // sample index of the first event block
    uint16_t pressureSamples;  // 1 when samples carry a pressure word
    uint16_t startPressure;
    uint16_t endPressure;
    uint8_t further2[2];
    uint32_t profileLength;
    uint32_t furtherWord;
};

using DivePtr = boost::shared_ptr<_DIVE_DATA>;
using DiveList = std::list<DivePtr>;

namespace sAPI {

constexpr int HeaderImageSize = 144;

// Base of every driver.
class Device : private boost::noncopyable {
  public:
    using ProgressFn = std::function<void(int)>;
    using StatusFn = std::function<void(const wchar_t*)>;
    using FoundFn = std::function<void(int)>;

    Device(int32_t familyCode, int32_t memoryTop, const CancelFlag* cancel);
    virtual ~Device();

    virtual int Read(uint32_t address, int count, uint8_t* destination, bool countProgress) = 0;
    virtual int Write(uint32_t address, int count, const uint8_t* source, bool countProgress) = 0;
    virtual int Command(int sendCount, const uint8_t* sendBytes, int replyCount,
                        uint8_t* destination) = 0;
    virtual void Open(int attempts) = 0;
    virtual void Prepare() = 0;
    virtual bool NextDive() = 0;
    virtual void ReadHeader() = 0;
    virtual void MakeOutput(DCDMLDocument& document, uint32_t flags) = 0;

    // Status and device-found functions are stored as given; a progress
    // function, when given, becomes the progress counter's callback.
    void SetCallbacks(ProgressFn progress, StatusFn status, FoundFn found);

    int32_t familyCode() const { return familyCode_; }
    int32_t memoryTop() const { return memoryTop_; }
    int32_t outputUnits() const { return outputUnits_; }
    bool cancelled() const { return cancel_ && cancel_->load(); }
    const CancelFlag* cancelFlag() const { return cancel_; }
    TSmartProgress& progress() { return progress_; }
    uint8_t* header() { return header_; }
    const uint8_t* header() const { return header_; }
    DiveList& dives() { return dives_; }
    const DiveList& dives() const { return dives_; }

    // Call the status and device-found callbacks, when installed.
    void ShowStatus(const wchar_t* text) {
        if (status_) status_(text);
    }
    void DeviceFound(int found) {
        if (found_) found_(found);
    }

  protected:
    int32_t familyCode_;
    int32_t memoryTop_;
    int32_t outputUnits_ = 0x20000;
    const CancelFlag* cancel_;
    DiveList dives_;
    DivePtr currentDive_;
    uint8_t header_[HeaderImageSize];
    FoundFn found_;
    StatusFn status_;
    std::unique_ptr<OutputGenerater> generator_;
    TSmartProgress progress_{100};
};

}  // namespace sAPI
