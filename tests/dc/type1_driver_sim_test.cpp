// The type 1 driver against the simulated type 1 computer behind the
// in-memory port, on the virtual clock: whole downloads compared with what
// the simulator meant to store.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dc/base/errors.h"
#include "dc/type1/type1_driver.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/serial_test_support.h"

namespace talvek {

namespace {

uint16_t le16(const uint8_t* h, int offset) {
    return static_cast<uint16_t>(h[offset] | (h[offset + 1] << 8));
}

void expectSameDive(const DiveRecord& got, const DiveRecord& want, size_t index) {
    SCOPED_TRACE("dive " + std::to_string(index));
    EXPECT_EQ(got.surfaceIntervalMinutes, want.surfaceIntervalMinutes);
    EXPECT_EQ(got.surfaceIntervalHours, want.surfaceIntervalHours);
    EXPECT_EQ(got.diveNumber, want.diveNumber);
    EXPECT_EQ(got.sampleInterval, want.sampleInterval);
    EXPECT_EQ(got.personalAltitude, want.personalAltitude);
    EXPECT_EQ(got.startCylinderPressure, want.startCylinderPressure);
    EXPECT_EQ(got.endCylinderPressure, want.endCylinderPressure);
    EXPECT_EQ(got.oxygen1, want.oxygen1);
    EXPECT_EQ(got.oxygenFraction, want.oxygenFraction);
    EXPECT_EQ(got.startTemperature, want.startTemperature);
    EXPECT_EQ(got.maxDepthTemperature, want.maxDepthTemperature);
    EXPECT_EQ(got.endTemperature, want.endTemperature);
    EXPECT_EQ(got.year, want.year);
    EXPECT_EQ(got.month, want.month);
    EXPECT_EQ(got.day, want.day);
    EXPECT_EQ(got.hour, want.hour);
    EXPECT_EQ(got.minute, want.minute);
    EXPECT_EQ(got.cnsOtu, want.cnsOtu);
    EXPECT_EQ(got.diveMode, want.diveMode);
    ASSERT_EQ(got.profileLength, want.profileLength);
    EXPECT_EQ(std::vector<uint8_t>(got.profile.get(), got.profile.get() + got.profileLength),
              std::vector<uint8_t>(want.profile.get(), want.profile.get() + want.profileLength));
}

class Type1SimTest : public ::testing::Test {
  protected:
    Type1SimTest() : scoped_(clock_) {}

    // Builds the computer, downloads it completely and returns the driver.
    std::unique_ptr<Type1Driver> download(const sim::BuildOptions& options) {
        built_ = sim::buildComputer(options);
        dc_ = std::make_unique<sim::MemoryComputer>(built_.image);
        registry_.add("SIM1", dc_.get());
        auto driver = std::make_unique<Type1Driver>("SIM1", &cancel_, registry_);
        driver->open(4);
        driver->readHeader();
        while (driver->nextDive()) {
        }
        return driver;
    }

    void expectDives(const Type1Driver& driver) {
        std::vector<const sim::MeantDive*> kept;
        for (const auto& d : built_.meant.dives)
            if (!d.noDiveMarker) kept.push_back(&d);
        ASSERT_EQ(driver.dives().size(), kept.size());
        size_t i = 0;
        for (const DivePtr& got : driver.dives()) {
            DiveRecord want;
            sim::fillDiveData(*kept[i], replay::InterfaceType::Type1, want);
            expectSameDive(*got, want, i);
            ++i;
        }
    }

    serialtest::TraceCapture trace_;
    platform::VirtualClock clock_{5000};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    sim::BuiltComputer built_;
    std::unique_ptr<sim::MemoryComputer> dc_;
    CancelFlag cancel_{false};
};

}  // namespace

// All dives of a type 1 computer come from its 8 KB memory: one that
// streams more is damaged ("Bad Dive Format", 3), found in the packet that
// passes the bound, the dives before it read as always.  As many dives as
// fit download as usual.
TEST_F(Type1SimTest, StreamsBeyondTheMemoryAreADamagedComputer) {
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type1;
    o.seed = 11;
    o.dives = 150;
    built_ = sim::buildComputer(o);
    // The simulated computer keeps what fits its memory; a damaged one
    // streams on, here its own dives once more.
    auto& streams = built_.image.diveStreams;
    for (size_t i = 0, n = streams.size(); i < n; ++i) streams.push_back(streams[i]);
    size_t total = 0, fit = 0;
    for (const auto& s : built_.image.diveStreams) {
        total += s.size();
        if (total <= Type1Driver::StreamsTotal) ++fit;
    }
    ASSERT_GT(total, Type1Driver::StreamsTotal);
    ASSERT_LT(fit, built_.image.diveStreams.size());

    for (const bool trimmed : {false, true}) {
        SCOPED_TRACE(trimmed ? "only the dives that fit" : "every dive");
        replay::ComputerImage image = built_.image;
        if (trimmed) image.diveStreams.resize(fit);
        sim::MemoryComputer dc(image);
        platform::MemoryPortRegistry ports;
        ports.add("SIM1", &dc);
        Type1Driver driver("SIM1", &cancel_, ports);
        driver.open(4);
        driver.readHeader();
        size_t dives = 0;
        try {
            while (driver.nextDive()) ++dives;
            EXPECT_TRUE(trimmed) << "no damage found";
        } catch (const StreamOverrun& e) {
            EXPECT_FALSE(trimmed);
            EXPECT_EQ(e.code(), 3);
            EXPECT_STREQ(e.what(), "Bad Dive Format");
        }
        EXPECT_EQ(dives, fit);
        EXPECT_EQ(driver.rawDives().size(), fit);
    }
    EXPECT_EQ(trace_.matching("GetDiveData():: Dives Stream More Than The Memory Holds").size(),
              1u);
}

TEST_F(Type1SimTest, DownloadsHeaderAndEveryDive) {
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type1;
    o.seed = 11;
    o.dives = 7;
    auto driver = download(o);

    const sim::MeantComputer& m = built_.meant;
    const uint8_t* h = driver->header();
    EXPECT_EQ(le16(h, 0x22), m.maxDepth);
    EXPECT_EQ(le16(h, 0x24), m.totalDiveTime);
    EXPECT_EQ(le16(h, 0x26), m.totalDives);
    EXPECT_EQ(h[0x28], m.model);
    EXPECT_EQ(h[0x29], m.firmware[0]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(h[0x2A + i], m.serial[i]);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 0x30)), m.personalText);
    EXPECT_EQ(h[0x62], m.sampleInterval);
    EXPECT_EQ(h[0x63], m.personalAltitudeByte);
    EXPECT_EQ(le16(h, 0x6C), m.freeDiveMaxDepth);
    EXPECT_EQ(le16(h, 0x6E), m.freeDiveTime);
    EXPECT_EQ(h[0x71], m.timeFormat24h);
    EXPECT_EQ(h[0x73], m.diveModeByte);
    EXPECT_EQ(le16(h, 0x76), m.timeAlarm);
    EXPECT_EQ(le16(h, 0x78), m.depthAlarm);
    EXPECT_EQ(h[0x80], 0);

    expectDives(*driver);
    EXPECT_TRUE(driver->endOfDives());
    EXPECT_EQ(trace_.matching("End of Dives Found").size(), 1u);
}

TEST_F(Type1SimTest, DiveWithoutMarkerIsSkipped) {
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type1;
    o.seed = 4;
    o.dives = 5;
    o.noDiveMarker = true;
    auto driver = download(o);
    expectDives(*driver);
    EXPECT_EQ(driver->dives().size(), 4u);
    // The dives that came before it are numbered as if it had been read.
    const std::vector<sim::MeantDive> meant = sim::buildComputer(o).meant.dives;
    const size_t skipped = static_cast<size_t>(
        std::find_if(meant.begin(), meant.end(), [](const auto& d) { return d.noDiveMarker; }) -
        meant.begin());
    EXPECT_EQ(driver->diveSet().unreadable, std::vector<size_t>{skipped});
    EXPECT_EQ(
        trace_.matching("Device_Type1::DownloadDive(): Bad Dive Format! Ignoring Dive").size(), 1u);
}

}  // namespace talvek
