#include "dc/base/driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace talvek {

namespace {

TEST(ProgressCounter, PercentRuleAndCallbackOnlyOnChange) {
    ProgressCounter p(1000);
    std::vector<int> calls;
    p.setCallback([&](int v) { calls.push_back(v); });
    p.advance(4);  // 0.4 % rounds to 0: no change, no call
    EXPECT_EQ(p.percent(), 0);
    EXPECT_TRUE(calls.empty());
    p.advance(1);  // 0.5 % rounds up
    EXPECT_EQ(p.percent(), 1);
    p.advance(4);  // 0.9 % still 1
    p.advance(2000);
    EXPECT_EQ(p.current(), 1000);
    EXPECT_EQ(p.percent(), 100);
    p.advance(5);
    EXPECT_EQ(calls, (std::vector<int>{1, 100}));

    // floor(100 / (total / current) + 0.5)
    p.reset(3);
    p.advance(1);
    EXPECT_EQ(p.percent(), 33);
    p.advance(1);
    EXPECT_EQ(p.percent(), 67);
    p.reset(8);
    p.setCurrent(1);
    EXPECT_EQ(p.percent(), 13);  // 12.5 rounds up
    p.setCurrent(-4);            // clamped to 0
    EXPECT_EQ(p.current(), 0);
    EXPECT_EQ(p.percent(), 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 100, 0, 33, 67, 0, 13, 0}));
}

TEST(ProgressCounter, ResetAlwaysCallsBackWithZero) {
    ProgressCounter p(100);
    int calls = 0, last = -1;
    p.setCallback([&](int v) {
        ++calls;
        last = v;
    });
    p.reset(50);
    p.reset(50);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(p.total(), 50);
    p.advance(50);
    p.reset(10);
    EXPECT_EQ(p.current(), 0);
    EXPECT_EQ(p.percent(), 0);
    EXPECT_EQ(calls, 4);
    // Without a callback the counter still counts, silently.
    ProgressCounter silent(10);
    silent.advance(5);
    silent.reset(10);
    EXPECT_EQ(silent.percent(), 0);
}

class StubDevice : public Driver {
  public:
    explicit StubDevice(const CancelFlag* cancel) : Driver(DataFamily::Family2, 0x7FFE, cancel) {}
    int read(uint32_t, int count, uint8_t*, bool) override { return count; }
    int write(uint32_t, int count, const uint8_t*, bool) override { return count; }
    int command(int, const uint8_t*, int replyCount, uint8_t*) override { return replyCount; }
    void open(int) override {
        showStatus("found");
        deviceFound(1);
    }
    void prepare() override {}
    bool nextDive() override { return false; }
    void readHeader() override {}
};

TEST(DriverInterface, ConstructionAndCallbackInstallation) {
    CancelFlag cancel{false};
    StubDevice d(&cancel);
    EXPECT_EQ(d.family(), DataFamily::Family2);
    EXPECT_EQ(d.memoryTop(), 0x7FFE);
    for (int i = 0; i < HeaderImageSize; ++i) ASSERT_EQ(d.header()[i], 0) << i;
    EXPECT_FALSE(d.cancelled());
    cancel = true;
    EXPECT_TRUE(d.cancelled());

    // No functions at all: every report goes nowhere.
    d.setCallbacks(nullptr, nullptr, nullptr);
    d.open(4);
    d.progress().reset(10);
    d.progress().advance(5);

    std::vector<int> progress, found;
    std::string status;
    d.setCallbacks([&](int v) { progress.push_back(v); }, [&](const char* s) { status = s; },
                   [&](int v) { found.push_back(v); });
    d.open(4);
    EXPECT_EQ(status, "found");
    EXPECT_EQ(found, std::vector<int>{1});
    d.progress().reset(10);
    d.progress().advance(10);
    EXPECT_EQ(progress, (std::vector<int>{0, 100}));

    // Installing again without a progress function keeps the counter's callback.
    d.setCallbacks(nullptr, nullptr, nullptr);
    d.progress().reset(10);
    EXPECT_EQ(progress, (std::vector<int>{0, 100, 0}));
}

TEST(DiveRecord, ConstructorZeroesEveryField) {
    alignas(DiveRecord) unsigned char raw[sizeof(DiveRecord)];
    std::memset(raw, 0xA5, sizeof raw);
    DiveRecord* d = new (raw) DiveRecord();
    for (uint32_t t : d->tissue) EXPECT_EQ(t, 0u);
    EXPECT_EQ(d->profile, nullptr);
    EXPECT_EQ(d->profileLength, 0u);
    const uint8_t bytes[] = {d->surfaceIntervalMinutes,
                             d->surfaceIntervalHours,
                             d->surfaceIntervalSeconds,
                             d->diveNumber,
                             d->sampleInterval,
                             d->temperatureInterval,
                             d->personalAltitude,
                             d->rgbm,
                             d->diveMode,
                             d->cnsOtu,
                             d->oxygen1,
                             d->oxygen2,
                             d->oxygen3,
                             d->oxygenFraction,
                             d->year,
                             d->month,
                             d->day,
                             d->hour,
                             d->minute,
                             d->second,
                             d->startCylinderPressure,
                             d->endCylinderPressure,
                             d->startTemperature,
                             d->maxDepthTemperature,
                             d->endTemperature};
    for (uint8_t b : bytes) EXPECT_EQ(b, 0);
    const uint16_t words[] = {d->diveTime, d->maxDepth, d->firstEventBlock, d->pressureSamples};
    for (uint16_t w : words) EXPECT_EQ(w, 0);

    const uint8_t profile[] = {1, 2, 3};
    d->setProfile(profile, 3);
    EXPECT_EQ(d->profileLength, 3u);
    EXPECT_EQ(d->profile[2], 3);
    d->~DiveRecord();
}

}  // namespace

}  // namespace talvek
