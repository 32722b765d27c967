#pragma once
// The driver interface every interface type implements, its progress counter
// and the record each downloaded dive becomes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>

namespace talvek {

// The worker's cancel flag: written by the GUI thread, read by the drivers.
using CancelFlag = std::atomic<bool>;

// Counts the bytes of a download phase and reports a whole percentage.
class ProgressCounter {
  public:
    ProgressCounter(const ProgressCounter&) = delete;
    ProgressCounter& operator=(const ProgressCounter&) = delete;
    using Callback = std::function<void(int)>;

    explicit ProgressCounter(int32_t total);

    // total = total, current = 0, percent = 0; always calls back with 0.
    void reset(int32_t total);
    void advance(int32_t n);
    // Sets the current value directly (then clamps and recomputes).
    void setCurrent(int32_t current);
    // Replaces the callback; an empty one makes the counter silent.
    void setCallback(Callback cb);

    int32_t total() const { return total_; }
    int32_t current() const { return current_; }
    int32_t percent() const { return percent_; }

  private:
    void update();
    int32_t total_;
    int32_t current_ = 0;
    int32_t percent_ = 0;
    Callback callback_;
};

// One downloaded dive.  Which source byte fills each field is the driver's
// business; a field a type does not fill stays 0.
struct DiveRecord {
  public:
    DiveRecord(const DiveRecord&) = delete;
    DiveRecord& operator=(const DiveRecord&) = delete;
    DiveRecord();

    // Stores a copy of `n` profile bytes.
    void setProfile(const uint8_t* bytes, uint32_t n);

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

using DivePtr = std::shared_ptr<DiveRecord>;
using DiveList = std::list<DivePtr>;

constexpr int HeaderImageSize = 144;

// What a download yields: the family code of the computer (1, 2 or 4), its
// header image and its dives, oldest first.
struct DiveSet {
    int32_t family = 0;
    const uint8_t* header = nullptr;  // HeaderImageSize bytes
    DiveList* dives = nullptr;
};

// Base of every driver.
class Driver {
  public:
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    using ProgressFn = std::function<void(int)>;
    using StatusFn = std::function<void(const char*)>;
    using FoundFn = std::function<void(int)>;

    Driver(int32_t familyCode, int32_t memoryTop, const CancelFlag* cancel);
    virtual ~Driver();

    virtual int read(uint32_t address, int count, uint8_t* destination, bool countProgress) = 0;
    virtual int write(uint32_t address, int count, const uint8_t* source, bool countProgress) = 0;
    virtual int command(int sendCount, const uint8_t* sendBytes, int replyCount,
                        uint8_t* destination) = 0;
    virtual void open(int attempts) = 0;
    virtual void prepare() = 0;
    virtual bool nextDive() = 0;
    virtual void readHeader() = 0;

    // Status and device-found functions are stored as given; a progress
    // function, when given, becomes the progress counter's callback.
    void setCallbacks(ProgressFn progress, StatusFn status, FoundFn found);

    int32_t familyCode() const { return familyCode_; }
    int32_t memoryTop() const { return memoryTop_; }
    bool cancelled() const { return cancel_ && cancel_->load(); }
    const CancelFlag* cancelFlag() const { return cancel_; }
    ProgressCounter& progress() { return progress_; }
    uint8_t* header() { return header_; }
    const uint8_t* header() const { return header_; }
    DiveList& dives() { return dives_; }
    const DiveList& dives() const { return dives_; }
    // What the download yielded so far; valid while the driver lives.
    DiveSet diveSet() { return DiveSet{familyCode_, header_, &dives_}; }

    // Call the status and device-found callbacks, when installed.
    void showStatus(const char* text) {
        if (status_) status_(text);
    }
    void deviceFound(int found) {
        if (found_) found_(found);
    }

  protected:
    int32_t familyCode_;
    int32_t memoryTop_;
    const CancelFlag* cancel_;
    DiveList dives_;
    DivePtr currentDive_;
    uint8_t header_[HeaderImageSize];
    FoundFn found_;
    StatusFn status_;
    ProgressCounter progress_{100};
};

}  // namespace talvek
