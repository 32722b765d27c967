// The type 2 and type 3 drivers download built memories from the simulated
// computers in process, and deliver what the builder meant to store.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "dc/base/errors.h"
#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/sim_decode.h"

namespace talvek {

using replay::InterfaceType;
using simtest::diffRecords;

namespace {

struct Download {
    explicit Download(const sim::BuiltComputer& b, sim::EngineOptions o = {})
        : scoped(clock), computer(b.image, std::move(o)) {
        ports.add("SIMDC", &computer);
        if (b.meant.type == InterfaceType::Type2)
            driver = std::make_unique<Type2Driver>("SIMDC", &cancel, ports);
        else
            driver = std::make_unique<Type3Driver>("SIMDC", &cancel, ports);
    }
    // Open, header, dives until none is left (as the worker calls them).
    void run() {
        driver->open(4);
        driver->readHeader();
        while (driver->nextDive()) {
        }
    }

    platform::VirtualClock clock{10000};
    platform::ScopedClock scoped;
    platform::MemoryPortRegistry ports;
    sim::MemoryComputer computer;
    CancelFlag cancel{false};
    std::unique_ptr<Driver> driver;
};

uint16_t imageWord(const Driver& d, int at) {
    return static_cast<uint16_t>(d.header()[at] | (d.header()[at + 1] << 8));
}

void expectDivesAsMeant(const Driver& d, const sim::BuiltComputer& b, size_t count) {
    ASSERT_EQ(d.dives().size(), count);
    size_t i = 0;
    for (const auto& got : d.dives()) {
        DiveRecord want;
        sim::fillDiveData(b.meant.dives[i], b.meant.type, want);
        EXPECT_EQ(diffRecords(*got, want), "") << "dive " << i;
        ++i;
    }
}

}  // namespace

TEST(SimDriverDownload, HeaderAndEveryDiveOfBothTypes) {
    for (auto type : {InterfaceType::Type2, InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        sim::BuildOptions o;
        o.type = type;
        o.dives = 12;
        o.wrap = true;
        o.seed = 11;
        const auto b = sim::buildComputer(o);
        Download dl(b);
        dl.run();
        const auto& m = b.meant;
        const auto& d = *dl.driver;
        EXPECT_EQ(imageWord(d, 0x22), m.maxDepth);
        EXPECT_EQ(imageWord(d, 0x24), m.totalDiveTime);
        EXPECT_EQ(imageWord(d, 0x26), m.totalDives);
        EXPECT_EQ(d.header()[0x28], m.model);
        EXPECT_EQ(d.header()[0x29], m.firmware[0]);
        EXPECT_EQ(d.header()[0x81], m.firmware[1]);
        EXPECT_EQ(d.header()[0x82], m.firmware[2]);
        EXPECT_EQ(0, std::memcmp(d.header() + 0x2A, m.serial, 4));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.header() + 0x30),
                              strnlen(reinterpret_cast<const char*>(d.header() + 0x30), 40)),
                  m.personalText);
        EXPECT_EQ(d.header()[0x72] != 0, m.metric);
        EXPECT_EQ(imageWord(d, 0x84), m.startPointer);
        EXPECT_EQ(imageWord(d, 0x86), m.newestHeader);
        EXPECT_EQ(imageWord(d, 0x88), m.endPointer);
        EXPECT_EQ(imageWord(d, 0x8C), m.diveCount);
        expectDivesAsMeant(d, b, m.dives.size());
    }
}

TEST(SimDriverDownload, EmptyFullAndTruncated) {
    const auto none = sim::buildComputer({InterfaceType::Type2, 1, 0});
    Download empty(none);
    empty.run();
    EXPECT_TRUE(empty.driver->dives().empty());

    sim::BuildOptions o;
    o.type = InterfaceType::Type3;
    o.fill = true;
    o.seed = 5;
    o.truncatedProfile = true;
    const auto full = sim::buildComputer(o);
    Download dl(full);
    dl.run();
    expectDivesAsMeant(*dl.driver, full, full.meant.dives.size());
}

TEST(SimDriverDownload, HeaderWithoutEndMarkerStopsTheDownload) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type2;
    o.dives = 6;
    o.noEndMarker = true;
    o.brokenDive = 2;
    const auto b = sim::buildComputer(o);
    Download dl(b);
    dl.driver->open(4);
    dl.driver->readHeader();
    EXPECT_TRUE(dl.driver->nextDive());
    EXPECT_TRUE(dl.driver->nextDive());
    try {
        dl.driver->nextDive();
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), 2);
    }
    expectDivesAsMeant(*dl.driver, b, 2);
}

TEST(SimDriverDownload, CorruptedRepliesAreRetried) {
    sim::EngineOptions faults;
    faults.faults.corruptEvery = 5;
    const auto b = sim::buildComputer({InterfaceType::Type2, 2, 4});
    Download dl(b, faults);
    dl.run();
    expectDivesAsMeant(*dl.driver, b, 4);
}

}  // namespace talvek
