#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "device/device.h"

namespace {

TEST(TSmartProgress, PercentRuleAndCallbackOnlyOnChange) {
    TSmartProgress p(1000);
    std::vector<int> calls;
    p.SetCallback([&](int v) { calls.push_back(v); });
    p.Advance(4);  // 0.4 % rounds to 0: no change, no call
    EXPECT_EQ(p.percent(), 0);
    EXPECT_TRUE(calls.empty());
    p.Advance(1);  // 0.5 % rounds up
    EXPECT_EQ(p.percent(), 1);
    p.Advance(4);  // 0.9 % still 1
    p.Advance(2000);
    EXPECT_EQ(p.current(), 1000);
    EXPECT_EQ(p.percent(), 100);
    p.Advance(5);
    EXPECT_EQ(calls, (std::vector<int>{1, 100}));

    // floor(100 / (total / current) + 0.5)
    p.Reset(3);
    p.Advance(1);
    EXPECT_EQ(p.percent(), 33);
    p.Advance(1);
    EXPECT_EQ(p.percent(), 67);
    p.Reset(8);
    p.SetCurrent(1);
    EXPECT_EQ(p.percent(), 13);  // 12.5 rounds up
    p.SetCurrent(-4);            // clamped to 0
    EXPECT_EQ(p.current(), 0);
    EXPECT_EQ(p.percent(), 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 100, 0, 33, 67, 0, 13, 0}));
}

TEST(TSmartProgress, ResetAlwaysCallsBackWithZero) {
    TSmartProgress p(100);
    int calls = 0, last = -1;
    p.SetCallback([&](int v) {
        ++calls;
        last = v;
    });
    p.Reset(50);
    p.Reset(50);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(p.total(), 50);
    p.Advance(50);
    p.Reset(10);
    EXPECT_EQ(p.current(), 0);
    EXPECT_EQ(p.percent(), 0);
    EXPECT_EQ(calls, 4);
    // Without a callback the counter still counts, silently.
    TSmartProgress silent(10);
    silent.Advance(5);
    silent.Reset(10);
    EXPECT_EQ(silent.percent(), 0);
}

class StubDevice : public sAPI::Device {
public:
    explicit StubDevice(const sAPI::CancelFlag* cancel) : Device(2, 0x7FFE, cancel) {}
    int Read(uint32_t, int count, uint8_t*, bool) override { return count; }
    int Write(uint32_t, int count, const uint8_t*, bool) override { return count; }
    int Command(int, const uint8_t*, int replyCount, uint8_t*) override { return replyCount; }
    void Open(int) override {
        ShowStatus(L"found");
        DeviceFound(1);
    }
    void Prepare() override {}
    bool NextDive() override { return false; }
    void ReadHeader() override {}
    void MakeOutput(DCDMLDocument&, uint32_t) override {}
};

TEST(DeviceInterface, ConstructionAndCallbackInstallation) {
    sAPI::CancelFlag cancel{false};
    StubDevice d(&cancel);
    EXPECT_EQ(d.familyCode(), 2);
    EXPECT_EQ(d.memoryTop(), 0x7FFE);
    EXPECT_EQ(d.outputUnits(), 0x20000);
    for (int i = 0; i < sAPI::HeaderImageSize; ++i) ASSERT_EQ(d.header()[i], 0) << i;
    EXPECT_FALSE(d.cancelled());
    cancel = true;
    EXPECT_TRUE(d.cancelled());

    // No functions at all: every report goes nowhere.
    d.SetCallbacks(nullptr, nullptr, nullptr);
    d.Open(4);
    d.progress().Reset(10);
    d.progress().Advance(5);

    std::vector<int> progress, found;
    std::wstring status;
    d.SetCallbacks([&](int v) { progress.push_back(v); },
                   [&](const wchar_t* s) { status = s; }, [&](int v) { found.push_back(v); });
    d.Open(4);
    EXPECT_EQ(status, L"found");
    EXPECT_EQ(found, std::vector<int>{1});
    d.progress().Reset(10);
    d.progress().Advance(10);
    EXPECT_EQ(progress, (std::vector<int>{0, 100}));

    // Installing again without a progress function keeps the counter's callback.
    d.SetCallbacks(nullptr, nullptr, nullptr);
    d.progress().Reset(10);
    EXPECT_EQ(progress, (std::vector<int>{0, 100, 0}));
}

TEST(DiveData, ConstructorZeroesEveryField) {
    alignas(_DIVE_DATA) unsigned char raw[sizeof(_DIVE_DATA)];
    std::memset(raw, 0xA5, sizeof raw);
    _DIVE_DATA* d = new (raw) _DIVE_DATA();
    for (uint32_t t : d->tissue) EXPECT_EQ(t, 0u);
    EXPECT_EQ(d->profile, nullptr);
    EXPECT_EQ(d->profileLength, 0u);
    const uint8_t bytes[] = {d->surfaceIntervalMinutes, d->surfaceIntervalHours, d->diveNumber,
                             d->sampleInterval, d->personalAltitude, d->gasPressure1,
                             d->oxygen1, d->fixedByte, d->type1Byte, d->year, d->month, d->day,
                             d->hour, d->minute, d->type1Bytes[0], d->type1Bytes[1],
                             d->gasPressure2, d->cnsOtu, d->oxygen2, d->oxygen3, d->second,
                             d->surfaceIntervalSeconds, d->temperatureInterval, d->rgbm,
                             d->diveMode, d->further[0], d->further[1], d->further[2],
                             d->further[3], d->further[4], d->further2[0], d->further2[1]};
    for (uint8_t b : bytes) EXPECT_EQ(b, 0);
    const uint16_t words[] = {d->diveTime,        d->maxDepth,      d->firstEventBlock,
                              d->pressureSamples, d->startPressure, d->endPressure};
    for (uint16_t w : words) EXPECT_EQ(w, 0);
    EXPECT_EQ(d->furtherWord, 0u);

    const uint8_t profile[] = {1, 2, 3};
    d->SetProfile(profile, 3);
    EXPECT_EQ(d->profileLength, 3u);
    EXPECT_EQ(d->profile[2], 3);
    d->~_DIVE_DATA();
}

}  // namespace
