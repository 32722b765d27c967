#pragma once
// Interface type 2: memory access over the echoing half-duplex link, and the
// driver that reads the header image and downloads the dive ring.
#include <memory>

#include "dc/base/driver.h"
#include "dc/paged/paged_driver.h"
#include "dc/paged/type2_link.h"

namespace talvek {

class Type2DriverBase : public Driver, public Type2Link {
  public:
    static constexpr int32_t FamilyCode = 2;
    static constexpr const char* DriverName = "Device_TypeD";
    static constexpr int32_t MemoryTop = 0x7FFE;

    Type2DriverBase(const char* portName, const CancelFlag* cancel,
                    platform::SerialOpener& ports = platform::systemSerialOpener());
    ~Type2DriverBase() override;

    int read(uint32_t address, int count, uint8_t* destination, bool countProgress) override;
    int write(uint32_t address, int count, const uint8_t* source, bool countProgress) override;
    int command(int sendCount, const uint8_t* sendBytes, int replyCount,
                uint8_t* destination) override;
    // Detection (at most `attempts` identity reads), then Prepare.
    void open(int attempts) override;
    void prepare() override {}
    bool nextDive() override { return false; }
    void readHeader() override {}

    // Identity read: model and firmware into the image, then the memory map.
    void readIdentity();

  protected:
    void BlockRead(uint32_t address, int count, uint8_t* destination);
    void BlockWrite(uint32_t address, int count, const uint8_t* source);
};

class Type2Driver : public paged::PagedDriver<Type2DriverBase> {
  public:
    Type2Driver(const char* portName, const CancelFlag* cancel,
                platform::SerialOpener& ports = platform::systemSerialOpener());
    ~Type2Driver() override;
};

}  // namespace talvek
