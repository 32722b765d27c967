#pragma once
// Interface type 2: memory access over the echoing half-duplex link, and the
// driver that reads the header image and downloads the dive ring.
#include <memory>

#include "device/comm_model2.h"
#include "device/device.h"
#include "device/paged_driver.h"

namespace sAPI {

class Device_TypeD_Control : public Device, public CommModel2 {
  public:
    static constexpr int32_t FamilyCode = 2;
    static constexpr const char* DriverName = "Device_TypeD";
    static constexpr int32_t MemoryTop = 0x7FFE;

    Device_TypeD_Control(const wchar_t* portName, const CancelFlag* cancel);
    ~Device_TypeD_Control() override;

    int Read(uint32_t address, int count, uint8_t* destination, bool countProgress) override;
    int Write(uint32_t address, int count, const uint8_t* source, bool countProgress) override;
    int Command(int sendCount, const uint8_t* sendBytes, int replyCount,
                uint8_t* destination) override;
    // Detection (at most `attempts` identity reads), then Prepare.
    void Open(int attempts) override;
    void Prepare() override {}
    bool NextDive() override { return false; }
    void ReadHeader() override {}
    void MakeOutput(DCDMLDocument&, uint32_t) override {}

    // Identity read: model and firmware into the image, then the memory map.
    void getheader();

    // The DCDML generator of this family.
    static std::unique_ptr<OutputGenerater> MakeDcdml(const uint8_t* header, DiveList* dives,
                                                      int32_t familyCode, int32_t units);

  protected:
    void BlockRead(uint32_t address, int count, uint8_t* destination);
    void BlockWrite(uint32_t address, int count, const uint8_t* source);
};

class Device_TypeD : public paged::DiveDriver<Device_TypeD_Control> {
  public:
    Device_TypeD(const wchar_t* portName, const CancelFlag* cancel);
    ~Device_TypeD() override;
};

}  // namespace sAPI
