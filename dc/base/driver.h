#pragma once
// The driver interface every interface type implements.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dc/base/cancel_flag.h"
#include "dc/base/dive_record.h"
#include "dc/base/dive_set.h"
#include "dc/base/memory_reader.h"
#include "dc/base/progress_counter.h"
#include "dc/base/raw_reads.h"

namespace talvek {

// What came of offering a driver the dives it stored before.
struct ResumeResult {
    bool resumed = false;
    size_t kept = 0;     // stored dives still in memory (the oldest ones left out)
    std::string reason;  // why not, when not
};

// Base of every driver.
class Driver : public MemoryReader {
  public:
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    using ProgressFn = std::function<void(int)>;
    using StatusFn = std::function<void(const char*)>;
    using FoundFn = std::function<void(int)>;

    Driver(DataFamily family, int32_t memoryTop, const CancelFlag* cancel);
    virtual ~Driver();

    int read(uint32_t address, int count, uint8_t* destination, bool countProgress) override = 0;
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

    DataFamily family() const { return family_; }
    int32_t memoryTop() const override { return memoryTop_; }
    bool cancelled() const override { return cancel_ && cancel_->load(); }
    const CancelFlag* cancelFlag() const { return cancel_; }
    ProgressCounter& progress() { return progress_; }
    uint8_t* header() { return header_; }
    const uint8_t* header() const { return header_; }
    DiveList& dives() { return dives_; }
    const DiveList& dives() const { return dives_; }
    // What the download yielded so far.
    DiveSet diveSet() const;
    // The raw form of each dive of dives(), in the same order.
    const std::vector<RawDive>& rawDives() const { return rawDives_; }
    // Everything read from the device so far, as it arrived.
    const ReadCapture& capture() const { return capture_; }

    // Called after readHeader with the dives a store kept of this computer
    // (oldest first): when the memory still holds them, the driver takes
    // them as dives and fetches only the newer ones; otherwise it is left as
    // after prepare() and downloads everything.  The dives yielded are the
    // same either way.  Interface types that cannot tell (type 1) never
    // resume.
    virtual ResumeResult resumeAfter(const std::vector<RawDive>& stored);

    // Call the status and device-found callbacks, when installed.
    void showStatus(const char* text) {
        if (status_) status_(text);
    }
    void deviceFound(int found) {
        if (found_) found_(found);
    }

  protected:
    // Appends a downloaded dive and its raw form.
    void keepDive(DivePtr dive, RawDive raw);
    // Notes a dive the computer sent that could not be read, after the
    // dives kept so far.
    void skipDive() { unreadable_.push_back(dives_.size()); }
    void clearDives();

    DataFamily family_;
    int32_t memoryTop_;
    const CancelFlag* cancel_;
    DiveList dives_;
    std::vector<RawDive> rawDives_;
    std::vector<size_t> unreadable_;
    ReadCapture capture_;
    DivePtr currentDive_;
    uint8_t header_[HeaderImageSize];
    FoundFn found_;
    StatusFn status_;
    ProgressCounter progress_{100};
};

}  // namespace talvek
