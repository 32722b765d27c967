#pragma once
// Interface type 3: memory access over the non-echoing link, and the
// driver that reads the header image and downloads the dive ring.
#include <memory>

#include "device/comm_model3.h"
#include "device/device.h"
#include "device/paged_driver.h"

namespace sAPI {

class Device_TypeC2V2_Control : public Device, public CommModel3 {
  public:
    static constexpr int32_t FamilyCode = 4;
    static constexpr const char* DriverName = "Device_TypeC2V2";
    static constexpr int32_t MemoryTop = 0x7FF7;

    Device_TypeC2V2_Control(const wchar_t* portName, const CancelFlag* cancel);
    ~Device_TypeC2V2_Control() override;

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

class Device_TypeC2V2 : public paged::DiveDriver<Device_TypeC2V2_Control> {
  public:
    Device_TypeC2V2(const wchar_t* portName, const CancelFlag* cancel);
    ~Device_TypeC2V2() override;
};

}  // namespace sAPI
