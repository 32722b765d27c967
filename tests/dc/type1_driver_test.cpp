// The type 1 driver against a small scripted type 1 computer on the
// in-memory port, on the virtual clock: detection, header, memory blocks and
// streamed dives.
#include "dc/type1/type1_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dc/base/errors.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "support/faulty_memory_port.h"
#include "support/serial_test_support.h"

namespace talvek {

using namespace serialtest;

namespace {

// A type 1 computer: answers each frame 350 ms after it (well after the
// host's 200 ms purge), never echoes, and streams its dives as packets.
class Type1Computer : public platform::MemoryPeer {
  public:
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x2000, 0);
    std::vector<std::vector<uint8_t>> dives;  // oldest first, as transmitted
    int ignoreFrames = 0;                     // leave this many frames unanswered
    bool silentAfterFull = false;             // no empty packet after a dive of 32k bytes
    bool wrongWriteCount = false;             // answer a write with a count one too high
    std::function<void(const std::vector<uint8_t>&)> onFrame;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint64_t> frameTimes;

    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override {
        std::vector<uint8_t> f(data, data + n);
        frames.push_back(f);
        frameTimes.push_back(atMs);
        if (onFrame) onFrame(f);
        if (ignoreFrames > 0) {
            --ignoreFrames;
            return;
        }
        const uint64_t at = atMs + 350;
        switch (f[0]) {
            case 0x05: {
                const size_t a = (f[1] << 8) | f[2];
                std::vector<uint8_t> r(f.begin(), f.begin() + 4);
                r.insert(r.end(), memory.begin() + a, memory.begin() + a + f[3]);
                line.send(frame(r), at);
                break;
            }
            case 0x07:
                line.send(frame({0x07, 0xA5}), at);
                break;
            case 0x06: {
                const size_t a = (f[1] << 8) | f[2];
                std::copy(f.begin() + 4, f.begin() + 4 + f[3], memory.begin() + a);
                const uint8_t count = static_cast<uint8_t>(f[3] + (wrongWriteCount ? 1 : 0));
                line.send(frame({0x06, f[1], f[2], count}), at);
                break;
            }
            case 0x08:
                next_ = 0;
                [[fallthrough]];
            case 0x09:
                stream(line, at);
                break;
        }
    }

  private:
    void stream(platform::MemoryLine& line, uint64_t at) {
        if (next_ >= dives.size()) {
            line.send(frame({0x01, 0x00}), at);
            return;
        }
        const std::vector<uint8_t>& d = dives[next_++];
        uint8_t k = 1;
        for (size_t pos = 0; pos < d.size(); pos += 32, ++k) {
            const size_t len = std::min<size_t>(32, d.size() - pos);
            std::vector<uint8_t> p = {k, static_cast<uint8_t>(len)};
            p.insert(p.end(), d.begin() + pos, d.begin() + pos + len);
            line.send(frame(p), at);
        }
        if (d.size() % 32 == 0 && !silentAfterFull) line.send(frame({k, 0x00}), at);
    }

    size_t next_ = 0;
};

constexpr uint8_t SomeProfile[] = {5, 5, 0xFB, 0x7C, 0xFB};

// A dive as the computer transmits it, built from the field values.
struct DiveFields {
    uint8_t lead0 = 0x11, lead1 = 0x22;  // ignored by the host
    uint8_t cnsOtu = 0x85;
    uint8_t gasPressure2Raw = 0x64;  // stored as (raw >> 1) & 0x7F = 0x32
    uint8_t endTemp = 18;
    uint8_t atDepthTemp = 12;
    std::vector<uint8_t> profile{std::begin(SomeProfile), std::end(SomeProfile)};  // stored order
    uint8_t minute = 42, hour = 9, day = 17, month = 6, year = 8;
    uint8_t startTemp = 24;
    uint8_t oxygenFraction = 0x20;
    uint8_t oxygen1 = 32;
    uint8_t gasPressure1Raw = 0xC9;  // stored as 0x64
    uint8_t personalAltitude = 0x04;
    uint8_t sampleInterval = 20;
    uint8_t diveNumber = 2;
    uint8_t siHours = 1, siMinutes = 35;
    bool marker = true;
};

std::vector<uint8_t> transmitted(const DiveFields& f) {
    std::vector<uint8_t> t = {f.lead0,           f.lead1,   f.cnsOtu,
                              f.gasPressure2Raw, f.endTemp, f.atDepthTemp};
    if (f.marker) t.push_back(0x80);
    t.insert(t.end(), f.profile.rbegin(), f.profile.rend());
    for (uint8_t b : {f.minute, f.hour, f.day, f.month, f.year, f.startTemp, f.oxygenFraction,
                      f.oxygen1, f.gasPressure1Raw, f.personalAltitude, f.sampleInterval,
                      f.diveNumber, f.siHours, f.siMinutes})
        t.push_back(b);
    return t;
}

void expectDive(const DiveRecord& d, const DiveFields& f) {
    EXPECT_EQ(d.surfaceIntervalMinutes, f.siMinutes);
    EXPECT_EQ(d.surfaceIntervalHours, f.siHours);
    EXPECT_EQ(d.diveNumber, f.diveNumber);
    EXPECT_EQ(d.sampleInterval, f.sampleInterval);
    EXPECT_EQ(d.personalAltitude, f.personalAltitude);
    EXPECT_EQ(d.startCylinderPressure, (f.gasPressure1Raw >> 1) & 0x7F);
    EXPECT_EQ(d.oxygenFraction, f.oxygenFraction);
    EXPECT_EQ(d.startTemperature, f.startTemp);
    EXPECT_EQ(d.year, f.year);
    EXPECT_EQ(d.month, f.month);
    EXPECT_EQ(d.day, f.day);
    EXPECT_EQ(d.hour, f.hour);
    EXPECT_EQ(d.minute, f.minute);
    EXPECT_EQ(d.maxDepthTemperature, f.atDepthTemp);
    EXPECT_EQ(d.endTemperature, f.endTemp);
    EXPECT_EQ(d.endCylinderPressure, (f.gasPressure2Raw >> 1) & 0x7F);
    EXPECT_EQ(d.cnsOtu, f.cnsOtu);
    if (f.oxygen1 == 0) {
        EXPECT_EQ(d.oxygen1, 21);
        EXPECT_EQ(d.diveMode, 0);
    } else {
        EXPECT_EQ(d.oxygen1, f.oxygen1);
        EXPECT_EQ(d.diveMode, 1);
    }
    ASSERT_EQ(d.profileLength, f.profile.size());
    EXPECT_EQ(std::vector<uint8_t>(d.profile.get(), d.profile.get() + d.profileLength), f.profile);
}

// Opens the protected steps of the dive download.
class OpenType1Driver : public Type1Driver {
  public:
    using Type1Driver::collectPackets;
    using Type1Driver::parseDive;
    using Type1Driver::Type1Driver;
};

class Type1DriverTest : public ::testing::Test {
  protected:
    Type1DriverTest() : scoped_(clock_) {
        port_ = memtest::addFaultyPort(registry_, "T1", &dc_);
        driver_ = std::make_unique<OpenType1Driver>("T1", &cancel_, registry_);
        driver_->setCallbacks([this](int p) { percents_.push_back(p); },
                              [this](const char* s) { status_.push_back(s); },
                              [this](int f) { found_.push_back(f); });
        port_->clearRecord();
        start_ = clock_.nowMs();
    }

    template <typename F>
    int codeOf(F f) {
        try {
            f();
            return 0;
        } catch (const Error& e) {
            message_ = e.what();
            return e.code();
        }
    }

    static std::vector<uint8_t> readFrame(int address, int n) {
        return frame({0x05, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                      static_cast<uint8_t>(n)});
    }

    uint64_t elapsed() { return clock_.nowMs() - start_; }

    TraceCapture trace_;
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    Type1Computer dc_;
    std::shared_ptr<memtest::FaultyMemoryPort> port_;
    CancelFlag cancel_{false};
    std::unique_ptr<OpenType1Driver> driver_;
    std::vector<int> percents_;
    std::vector<std::string> status_;
    std::vector<int> found_;
    std::string message_;
    uint64_t start_ = 0;
};

}  // namespace

TEST_F(Type1DriverTest, DetectionAnswersTheFirstProbe) {
    driver_->open(4);
    EXPECT_FALSE(driver_->endOfDives());
    ASSERT_EQ(dc_.frames.size(), 1u);
    EXPECT_EQ(dc_.frames[0], (std::vector<uint8_t>{0x05, 0x00, 0x1B, 0x1B, 0x05}));
    EXPECT_EQ(status_, std::vector<std::string>{"Comm Opened Successfully!"});
    EXPECT_EQ(found_, std::vector<int>{1});
    // Full gauge while probing, empty once found.
    EXPECT_EQ(percents_, (std::vector<int>{0, 100, 0}));
    EXPECT_EQ(driver_->family(), DataFamily::Family1);
    EXPECT_EQ(driver_->memoryTop(), 0x1FFF);
}

TEST_F(Type1DriverTest, DetectionRetriesAtOnceAndGivesUpAfterFourAttempts) {
    dc_.ignoreFrames = 2;
    driver_->open(4);
    ASSERT_EQ(dc_.frames.size(), 3u);
    // No pause between attempts: each failed one is RTS 16 ms, the 200 ms
    // purge pause and the 1800 ms read time-out.
    EXPECT_EQ(dc_.frameTimes[1] - dc_.frameTimes[0], 2016u);
    EXPECT_EQ(dc_.frameTimes[2] - dc_.frameTimes[1], 2016u);
    EXPECT_EQ(percents_, (std::vector<int>{0, 100, 75, 50, 0}));
    EXPECT_EQ(found_, std::vector<int>{1});

    dc_.frames.clear();
    dc_.ignoreFrames = 100;
    percents_.clear();
    status_.clear();
    found_.clear();
    EXPECT_EQ(codeOf([&] { driver_->open(4); }), 17);
    EXPECT_EQ(message_, "Device Type1 Not Found");
    EXPECT_EQ(dc_.frames.size(), 4u);
    EXPECT_EQ(status_, std::vector<std::string>{"Comm Open Failure!"});
    EXPECT_EQ(found_, std::vector<int>{0});
    EXPECT_EQ(percents_, (std::vector<int>{0, 100, 75, 50, 25, 0}));

    // The cancel flag is read before every attempt.
    dc_.frames.clear();
    dc_.onFrame = [&](const std::vector<uint8_t>&) { cancel_ = true; };
    EXPECT_EQ(codeOf([&] { driver_->open(4); }), 9999);
    EXPECT_EQ(dc_.frames.size(), 1u);
}

TEST_F(Type1DriverTest, ReadHeaderSwapsTheSevenWords) {
    for (int a = 0; a < 0x100; ++a) dc_.memory[a] = static_cast<uint8_t>(0x100 - a);
    // Big-endian words in the device.
    auto put = [&](int a, uint16_t v) {
        dc_.memory[a] = static_cast<uint8_t>(v >> 8);
        dc_.memory[a + 1] = static_cast<uint8_t>(v);
    };
    put(0x1E, 0x0500);        // maximum depth
    put(0x20, 0x0123);        // total dive time
    put(0x22, 0x0003);        // total dives
    put(0x5C, 0x0A0B);        // free-dive maximum depth
    put(0x5E, 0x0C0D);        // free-dive time
    put(0x66, 0x1234);        // time alarm
    put(0x68, 0x5678);        // depth alarm
    dc_.memory[0x70] = 0xEE;  // past the settings: must not reach the image

    driver_->readHeader();
    EXPECT_EQ(dc_.frames, (std::vector<std::vector<uint8_t>>{
                              readFrame(0x1E, 14), readFrame(0x2C, 32), readFrame(0x53, 29)}));
    const uint8_t* h = driver_->header();
    auto le = [&](int o) { return h[o] | (h[o + 1] << 8); };
    EXPECT_EQ(le(0x22), 0x0500);
    EXPECT_EQ(le(0x24), 0x0123);
    EXPECT_EQ(le(0x26), 0x0003);
    EXPECT_EQ(le(0x6C), 0x0A0B);
    EXPECT_EQ(le(0x6E), 0x0C0D);
    EXPECT_EQ(le(0x76), 0x1234);
    EXPECT_EQ(le(0x78), 0x5678);
    // Unswapped bytes land where they are.
    for (int o = 0x28; o < 0x30; ++o) EXPECT_EQ(h[o], dc_.memory[o - 4]) << o;
    for (int o = 0x30; o < 0x50; ++o) EXPECT_EQ(h[o], dc_.memory[o - 4]) << o;
    for (int o = 0x62; o < 0x6B; ++o) EXPECT_EQ(h[o], dc_.memory[o - 0x0F]) << o;
    for (int o : {0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x7A, 0x7F})
        EXPECT_EQ(h[o], dc_.memory[o - 0x10]) << o;
    EXPECT_EQ(h[0x6B], 0);
    EXPECT_EQ(h[0x80], 0);
    for (int o : {0x00, 0x21, 0x50, 0x61, 0x81, 0x8F}) EXPECT_EQ(h[o], 0) << o;
    EXPECT_EQ(driver_->progress().percent(), 100);
    // Each read waits 500 ms before its frame.
    EXPECT_EQ(dc_.frameTimes[0] - start_, 516u);
}

TEST_F(Type1DriverTest, ReadHeaderStopsOnCancelBetweenItsReads) {
    for (size_t stopAt : {1u, 2u}) {
        dc_.frames.clear();
        cancel_ = false;
        dc_.onFrame = [&](const std::vector<uint8_t>&) {
            if (dc_.frames.size() == stopAt) cancel_ = true;
        };
        EXPECT_EQ(codeOf([&] { driver_->readHeader(); }), 9999);
        EXPECT_EQ(dc_.frames.size(), stopAt);
    }
}

TEST_F(Type1DriverTest, ReadSplitsIntoBlocksOf32) {
    for (int a = 0; a < 0x2000; ++a) dc_.memory[a] = static_cast<uint8_t>(a * 7 + (a >> 8));
    std::vector<uint8_t> got(70);
    EXPECT_EQ(driver_->read(0x100, 70, got.data(), true), 70);
    EXPECT_EQ(dc_.frames, (std::vector<std::vector<uint8_t>>{
                              readFrame(0x100, 32), readFrame(0x120, 32), readFrame(0x140, 6)}));
    EXPECT_EQ(got, std::vector<uint8_t>(dc_.memory.begin() + 0x100, dc_.memory.begin() + 0x146));
    EXPECT_EQ(driver_->progress().current(), 70);
    // 500 ms pause, 16 ms RTS, then the reply 350 ms after each frame.
    EXPECT_EQ(dc_.frameTimes[1] - dc_.frameTimes[0], 350u + 500u + 16u);

    // The top of memory.
    dc_.frames.clear();
    EXPECT_EQ(driver_->read(0x1FF0, 16, got.data(), false), 16);
    EXPECT_EQ(dc_.frames[0], readFrame(0x1FF0, 16));
    EXPECT_EQ(got[15], dc_.memory[0x1FFF]);
    EXPECT_EQ(codeOf([&] { driver_->read(0x1FF0, 17, got.data(), false); }), 23);
    EXPECT_EQ(codeOf([&] { driver_->read(0x10, 0, got.data(), false); }), 7);
    EXPECT_EQ(codeOf([&] { driver_->read(0x10, 4, nullptr, false); }), 7);
    EXPECT_EQ(dc_.frames.size(), 1u);

    // Cancel is seen after a 32-byte block.
    dc_.frames.clear();
    dc_.onFrame = [&](const std::vector<uint8_t>&) { cancel_ = true; };
    EXPECT_EQ(codeOf([&] { driver_->read(0x0, 70, got.data(), false); }), 9999);
    EXPECT_EQ(dc_.frames.size(), 1u);
}

TEST_F(Type1DriverTest, WriteEnablesThenWritesInBlocks) {
    std::vector<uint8_t> src(70);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(0xC0 + i);
    EXPECT_EQ(driver_->write(0x200, 70, src.data(), false), 70);
    ASSERT_EQ(dc_.frames.size(), 4u);
    EXPECT_EQ(dc_.frames[0], (std::vector<uint8_t>{0x07, 0xA5, 0xA2}));
    std::vector<uint8_t> first = {0x06, 0x02, 0x00, 32};
    first.insert(first.end(), src.begin(), src.begin() + 32);
    EXPECT_EQ(dc_.frames[1], frame(first));
    EXPECT_EQ(dc_.frames[2][2], 0x20);
    EXPECT_EQ(dc_.frames[3].size(), 4u + 6u + 1u);
    EXPECT_EQ(std::vector<uint8_t>(dc_.memory.begin() + 0x200, dc_.memory.begin() + 0x246), src);
    // 666 ms before the write enable, 500 ms before each block.
    EXPECT_EQ(dc_.frameTimes[0] - start_, 666u + 16u);
    EXPECT_EQ(dc_.frameTimes[1] - dc_.frameTimes[0], 350u + 500u + 16u);

    // A count byte that does not match.
    dc_.frames.clear();
    dc_.wrongWriteCount = true;
    EXPECT_EQ(codeOf([&] { driver_->write(0x300, 5, src.data(), false); }), 9);
    EXPECT_EQ(message_, "Write: Data returned did not match sent");
    EXPECT_EQ(dc_.frames.size(), 2u);

    // Bad arguments and range: nothing is sent.
    dc_.frames.clear();
    EXPECT_EQ(codeOf([&] { driver_->write(0x300, 0, src.data(), false); }), 6);
    EXPECT_EQ(codeOf([&] { driver_->write(0x300, 5, nullptr, false); }), 6);
    EXPECT_EQ(codeOf([&] { driver_->write(0x1FF0, 17, src.data(), false); }), 23);
    EXPECT_TRUE(dc_.frames.empty());

    // A failed write enable stops the write.
    dc_.ignoreFrames = 1;
    EXPECT_EQ(codeOf([&] { driver_->write(0x300, 5, src.data(), false); }), 18);
    EXPECT_EQ(dc_.frames.size(), 1u);
}

TEST_F(Type1DriverTest, CommandCopiesFromReplyPositionFour) {
    for (int a = 0; a < 0x40; ++a) dc_.memory[a] = static_cast<uint8_t>(a + 1);
    const uint8_t cmd[] = {0x05, 0x00, 0x10, 0x03};
    uint8_t out[8] = {};
    EXPECT_EQ(driver_->command(4, cmd, 8, out), 8);
    EXPECT_EQ(dc_.frames[0], readFrame(0x10, 3));
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(out[2], 0x13);
    // A reply count beyond the buffer is refused before anything is sent.
    uint8_t big[64];
    std::vector<uint8_t> longFrame(40, 0);
    EXPECT_EQ(codeOf([&] { driver_->command(40, longFrame.data(), 8, big); }), 5);
    EXPECT_EQ(dc_.frames.size(), 1u);
}

TEST_F(Type1DriverTest, DivesFirstNextAndEnd) {
    DiveFields air;
    air.oxygen1 = 0;
    air.profile = {10, 3, 0xF6, 0xF9};
    DiveFields nitrox;
    dc_.dives = {transmitted(air), transmitted(nitrox)};

    driver_->prepare();
    EXPECT_TRUE(driver_->nextDive());
    EXPECT_TRUE(driver_->nextDive());
    EXPECT_FALSE(driver_->nextDive());
    EXPECT_TRUE(driver_->endOfDives());
    // Once the end is known nothing more is asked.
    EXPECT_FALSE(driver_->nextDive());
    EXPECT_EQ(dc_.frames, (std::vector<std::vector<uint8_t>>{
                              {0x08, 0xA5, 0xAD}, {0x09, 0xA5, 0xAC}, {0x09, 0xA5, 0xAC}}));
    // 666 ms before each request.
    EXPECT_EQ(dc_.frameTimes[0] - start_, 666u + 16u);

    ASSERT_EQ(driver_->dives().size(), 2u);
    expectDive(*driver_->dives().front(), air);
    expectDive(*driver_->dives().back(), nitrox);
    // Payload bytes against the dive memory's size.
    const int payload = static_cast<int>(dc_.dives[0].size() + dc_.dives[1].size());
    EXPECT_EQ(driver_->progress().total(), 8078);
    EXPECT_EQ(driver_->progress().current(), payload);

    auto end = trace_.matching("End of Dives Found");
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].level, "Info");

    // Prepare starts over with an empty list.
    driver_->prepare();
    EXPECT_TRUE(driver_->dives().empty());
}

TEST_F(Type1DriverTest, DiveOf64PayloadBytesEndsWithEmptyPacketOrTimeOut) {
    DiveFields f;
    // 6 leading/trailing + marker + 14 header bytes = 21; the profile fills to 64.
    f.profile.assign(43, 0x01);
    f.profile[0] = 0x0A;
    f.profile[42] = 0xF5;
    ASSERT_EQ(transmitted(f).size(), 64u);
    dc_.dives = {transmitted(f), transmitted(DiveFields())};

    driver_->prepare();
    EXPECT_TRUE(driver_->nextDive());
    EXPECT_TRUE(driver_->nextDive());
    EXPECT_FALSE(driver_->nextDive());
    ASSERT_EQ(driver_->dives().size(), 2u);
    expectDive(*driver_->dives().front(), f);

    // The same dive ending in silence: the third read times out and the dive
    // is complete.  A fresh driver, since this one knows the dives ended.
    driver_.reset();
    dc_.silentAfterFull = true;
    dc_.dives = {transmitted(f)};
    OpenType1Driver driver("T1", &cancel_, registry_);
    driver.prepare();
    const uint64_t t0 = clock_.nowMs();
    EXPECT_TRUE(driver.nextDive());
    ASSERT_EQ(driver.dives().size(), 1u);
    expectDive(*driver.dives().front(), f);
    // 666 + 16 + 350 to the packets, then the 1800 ms time-out.
    EXPECT_EQ(clock_.nowMs() - t0, 666u + 16u + 350u + 1800u);
}

TEST_F(Type1DriverTest, DiveWithoutMarkerIsSkippedAndTheDownloadGoesOn) {
    DiveFields good1, broken, good2;
    good1.minute = 1;
    broken.marker = false;
    good2.minute = 3;
    dc_.dives = {transmitted(good1), transmitted(broken), transmitted(good2)};
    driver_->prepare();
    int calls = 0;
    while (driver_->nextDive()) ++calls;
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(driver_->dives().size(), 2u);
    expectDive(*driver_->dives().front(), good1);
    expectDive(*driver_->dives().back(), good2);
    auto noMarker = trace_.matching("ParceDive: End of Profile reached - No EOD Marker Found");
    ASSERT_EQ(noMarker.size(), 1u);
    EXPECT_EQ(noMarker[0].level, "Error");
    auto skipped = trace_.matching("Device_Type1::DownloadDive(): Bad Dive Format! Ignoring Dive");
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].level, "Error");
}

TEST_F(Type1DriverTest, StackUnderflowBecomesBadFormat) {
    // Marker and profile, but only one byte below the marker.
    DiveFields shortTail;
    std::vector<uint8_t> t = transmitted(shortTail);
    t.erase(t.begin(), t.begin() + 5);  // leaves the temperature at depth and the marker
    ASSERT_EQ(t[1], 0x80);
    // Fewer bytes than the fourteen header bytes.
    std::vector<uint8_t> tiny = {1, 2, 3, 4, 5};
    dc_.dives = {t, tiny};

    driver_->prepare();
    for (int i = 0; i < 2; ++i) {
        driver_->collectPackets(i == 0 ? 0x08 : 0x09);
        DiveRecord d;
        try {
            driver_->parseDive(d);
            FAIL() << "dive " << i << " parsed";
        } catch (const BadDiveFormat& e) {
            EXPECT_STREQ(e.what(), "Bad Format Returned");
            EXPECT_EQ(e.code(), 3);
        }
    }
    // Through the download they are skipped.
    dc_.frames.clear();
    driver_->prepare();
    EXPECT_TRUE(driver_->nextDive());
    EXPECT_TRUE(driver_->nextDive());
    EXPECT_FALSE(driver_->nextDive());
    EXPECT_TRUE(driver_->dives().empty());
}

TEST_F(Type1DriverTest, CancelAndLinkFailuresDuringADive) {
    dc_.dives = {transmitted(DiveFields()), transmitted(DiveFields())};
    driver_->prepare();
    // Cancelled while the request is on its way: no packet is read.
    dc_.onFrame = [&](const std::vector<uint8_t>&) { cancel_ = true; };
    EXPECT_EQ(codeOf([&] { driver_->nextDive(); }), 9999);
    EXPECT_TRUE(driver_->dives().empty());
    EXPECT_EQ(port_->readCount(), 0);

    // The first packet never comes.
    cancel_ = false;
    dc_.onFrame = nullptr;
    dc_.ignoreFrames = 1;
    EXPECT_EQ(codeOf([&] { driver_->nextDive(); }), 18);
    EXPECT_EQ(message_, "TimeOut");
    EXPECT_EQ(trace_.matching("GetDataPackage():: Exception thrown (2) - TimeOut").size(), 1u);

    // The request cannot be sent.
    memtest::MemoryPortFaults f;
    f.failWrites = true;
    port_->setFaults(f);
    EXPECT_EQ(codeOf([&] { driver_->nextDive(); }), 14);
    EXPECT_EQ(
        trace_.matching("GetDiveData():: Exception thrown (1) - Talk: Write Serial Port ").size(),
        1u);
    EXPECT_TRUE(driver_->dives().empty());
}

}  // namespace talvek
