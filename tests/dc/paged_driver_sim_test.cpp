// Type 2 and type 3 drivers against the simulated computers, in process on
// the virtual clock.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "dc/base/errors.h"
#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "support/ring_fake_driver.h"

namespace talvek {

namespace {

using ringtest::TraceCapture;

// Sits between the port and the simulated computer: counts the host's
// frames and can corrupt or swallow the computer's answers from a chosen
// moment on.
class Wire : public platform::MemoryPeer, private platform::MemoryLine {
  public:
    explicit Wire(sim::MemoryComputer& dc) : dc_(dc) {}

    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override {
        host_ = &line;
        hostBytes += n;
        if (n >= 1) frames[data[0]]++;
        dc_.onHostBytes(*this, data, n, atMs);
    }
    void onLines(platform::MemoryLine& line, bool rts, bool dtr, uint64_t atMs) override {
        dc_.onLines(line, rts, dtr, atMs);
    }
    void onPurge(platform::MemoryLine& line, uint64_t atMs) override { dc_.onPurge(line, atMs); }

    bool corrupt = false;  // flip the last byte of every answer
    bool silent = false;   // answer nothing
    size_t hostBytes = 0;
    size_t deviceBytes = 0;
    std::map<uint8_t, int> frames;  // host frames by their first byte

  private:
    void send(const uint8_t* data, size_t n, uint64_t atMs) override {
        if (silent || n == 0) return;
        std::vector<uint8_t> bytes(data, data + n);
        if (corrupt) bytes.back() ^= 0x55;
        deviceBytes += n;
        host_->send(bytes.data(), bytes.size(), atMs);
    }
    bool rts() const override { return host_->rts(); }
    bool dtr() const override { return host_->dtr(); }
    const platform::SerialSettings& settings() const override { return host_->settings(); }

    sim::MemoryComputer& dc_;
    platform::MemoryLine* host_ = nullptr;
};

// A driver that records its memory reads; page reads are the uncounted ones.
template <class Driver>
class Recording : public Driver {
  public:
    using Driver::Driver;
    int read(uint32_t address, int count, uint8_t* destination, bool countProgress) override {
        if (countProgress) return Driver::read(address, count, destination, countProgress);
        pageReads.emplace_back(address, count);
        const int got = Driver::read(address, count, destination, countProgress);
        if (cancelAfterPages && pageReads.size() == cancelAfterPages && flag) *flag = true;
        return got;
    }
    std::vector<std::pair<uint32_t, int>> pageReads;
    size_t cancelAfterPages = 0;
    CancelFlag* flag = nullptr;
};

struct Rig {
    explicit Rig(const sim::BuildOptions& options, sim::EngineOptions engine = {})
        : built(sim::buildComputer(options)),
          dc(built.image, std::move(engine)),
          wire(dc),
          scoped(clock) {
        ports.add("SIM", &wire);
    }
    sim::BuiltComputer built;
    sim::MemoryComputer dc;
    Wire wire;
    platform::VirtualClock clock;
    platform::ScopedClock scoped;
    platform::MemoryPortRegistry ports;
    CancelFlag cancel{false};
};

sim::BuildOptions options(replay::InterfaceType type, uint32_t seed, int dives) {
    sim::BuildOptions o;
    o.type = type;
    o.seed = seed;
    o.dives = dives;
    return o;
}

uint16_t word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Pages (by index) the stored dives occupy, with the 84 header bytes fetched.
std::set<uint32_t> pagesTouched(const sim::MeantComputer& m) {
    const uint32_t top = m.type == replay::InterfaceType::Type2 ? 0x7FFE : 0x7FF7;
    auto wrap = [&](uint32_t a) { return a >= top ? a - top + 0x019A : a; };
    std::set<uint32_t> pages;
    for (const auto& d : m.dives) {
        uint32_t span = d.headerSize + static_cast<uint32_t>(d.profile.size());
        span = std::max<uint32_t>(span, 84);
        for (uint32_t i = 0; i < span; ++i)
            pages.insert((wrap(d.headerAddress + i) - 0x016E) / 120);
    }
    return pages;
}

void expectSameDive(const DiveRecord& got, const DiveRecord& want, size_t index) {
    SCOPED_TRACE(index);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(got.tissue[i], want.tissue[i]);
    EXPECT_EQ(got.surfaceIntervalMinutes, want.surfaceIntervalMinutes);
    EXPECT_EQ(got.surfaceIntervalHours, want.surfaceIntervalHours);
    EXPECT_EQ(got.diveNumber, want.diveNumber);
    EXPECT_EQ(got.sampleInterval, want.sampleInterval);
    EXPECT_EQ(got.personalAltitude, want.personalAltitude);
    EXPECT_EQ(got.oxygen1, want.oxygen1);
    EXPECT_EQ(got.oxygen2, want.oxygen2);
    EXPECT_EQ(got.oxygen3, want.oxygen3);
    EXPECT_EQ(got.oxygenFraction, want.oxygenFraction);
    EXPECT_EQ(got.year, want.year);
    EXPECT_EQ(got.month, want.month);
    EXPECT_EQ(got.day, want.day);
    EXPECT_EQ(got.hour, want.hour);
    EXPECT_EQ(got.minute, want.minute);
    EXPECT_EQ(got.second, want.second);
    EXPECT_EQ(got.cnsOtu, want.cnsOtu);
    EXPECT_EQ(got.temperatureInterval, want.temperatureInterval);
    EXPECT_EQ(got.rgbm, want.rgbm);
    EXPECT_EQ(got.diveMode, want.diveMode);
    EXPECT_EQ(got.diveTime, want.diveTime);
    EXPECT_EQ(got.maxDepth, want.maxDepth);
    EXPECT_EQ(got.firstEventBlock, want.firstEventBlock);
    EXPECT_EQ(got.pressureSamples, want.pressureSamples);
    ASSERT_EQ(got.profileLength, want.profileLength);
    for (uint32_t i = 0; i < got.profileLength; ++i)
        ASSERT_EQ(got.profile[i], want.profile[i]) << "profile byte " << i;
}

template <class Driver>
std::unique_ptr<Recording<Driver>> openDriver(Rig& rig) {
    auto d = std::make_unique<Recording<Driver>>("SIM", &rig.cancel, rig.ports);
    d->flag = &rig.cancel;
    d->open(4);
    return d;
}

// Downloads every dive and checks each against what the simulator wrote,
// and that no page was read twice.
template <class Driver>
void downloadAndCompare(Rig& rig) {
    auto d = openDriver<Driver>(rig);
    d->readHeader();
    d->pageReads.clear();
    int n = 0;
    while (d->nextDive()) ++n;
    const auto& meant = rig.built.meant;
    ASSERT_EQ(static_cast<size_t>(n), meant.dives.size());
    ASSERT_EQ(d->dives().size(), meant.dives.size());
    size_t i = 0;
    for (const DivePtr& got : d->dives()) {
        DiveRecord want;
        sim::fillDiveData(meant.dives[i], meant.type, want);
        expectSameDive(*got, want, i);
        ++i;
    }
    std::set<uint32_t> addresses;
    for (auto& r : d->pageReads) EXPECT_TRUE(addresses.insert(r.first).second) << r.first;
    EXPECT_EQ(d->pageReads.size(), pagesTouched(meant).size());
    EXPECT_EQ(d->progress().percent(), 100);
}

}  // namespace

TEST(PagedDriverSim, DetectsAndReadsTheHeaderImage) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        Rig rig(options(type, 7, 10));
        std::vector<std::string> status;
        std::vector<int> found;
        std::unique_ptr<Driver> d;
        if (type == replay::InterfaceType::Type2)
            d = std::make_unique<Type2Driver>("SIM", &rig.cancel, rig.ports);
        else
            d = std::make_unique<Type3Driver>("SIM", &rig.cancel, rig.ports);
        d->setCallbacks(
            nullptr, [&](const char* s) { status.push_back(s); },
            [&](int f) { found.push_back(f); });
        d->open(4);
        EXPECT_EQ(status, std::vector<std::string>{"Comm Opened Successfully!"});
        EXPECT_EQ(found, std::vector<int>{1});
        d->readHeader();
        const uint8_t* h = d->header();
        const auto& m = rig.built.meant;
        EXPECT_EQ(h[0x28], m.model);
        EXPECT_EQ(h[0x29], m.firmware[0]);
        EXPECT_EQ(h[0x81], m.firmware[1]);
        EXPECT_EQ(h[0x82], m.firmware[2]);
        EXPECT_EQ(0, std::memcmp(h + 0x2A, m.serial, 4));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 0x30),
                              strnlen(reinterpret_cast<const char*>(h + 0x30), 40)),
                  m.personalText.substr(0, 40));
        EXPECT_EQ(h[0x58], 0);
        EXPECT_EQ(h[0x72], m.metric ? 1 : 0);
        EXPECT_EQ(word(h + 0x22), m.maxDepth);
        EXPECT_EQ(word(h + 0x24), m.totalDiveTime);
        EXPECT_EQ(word(h + 0x26), m.totalDives);
        EXPECT_EQ(word(h + 0x84), m.startPointer);
        EXPECT_EQ(word(h + 0x86), m.newestHeader);
        EXPECT_EQ(word(h + 0x88), m.endPointer);
        EXPECT_EQ(word(h + 0x8A), m.startPointer);
        EXPECT_EQ(word(h + 0x8C), m.diveCount);
        EXPECT_EQ(d->family(),
                  type == replay::InterfaceType::Type2 ? DataFamily::Family2 : DataFamily::Family3);
        EXPECT_EQ(d->memoryTop(), type == replay::InterfaceType::Type2 ? 0x7FFE : 0x7FF7);
    }
}

TEST(PagedDriverSim, DetectionGivesUpAfterFourAttempts) {
    for (bool three : {false, true}) {
        TraceCapture trace;
        platform::VirtualClock clock;
        platform::ScopedClock scoped(clock);
        platform::MemoryPortRegistry ports;
        ports.add("MUTE", nullptr);
        CancelFlag cancel{false};
        std::vector<int> found;
        std::unique_ptr<Driver> d;
        if (three)
            d = std::make_unique<Type3Driver>("MUTE", &cancel, ports);
        else
            d = std::make_unique<Type2Driver>("MUTE", &cancel, ports);
        d->setCallbacks(nullptr, nullptr, [&](int f) { found.push_back(f); });
        try {
            d->open(4);
            FAIL() << "detected a silent port";
        } catch (const DeviceNotPresent& e) {
            EXPECT_EQ(e.code(), 17);
            EXPECT_STREQ(e.what(), three ? "Device Type3 Not Found" : "Device Type2 Not Found");
        }
        EXPECT_EQ(found, std::vector<int>{0});
        EXPECT_EQ(trace.count(three ? "Device_TypeC2V2::getheader(): Exception Caught"
                                    : "Device_TypeD::getheader(): Exception Caught"),
                  4u);
    }
}

TEST(PagedDriverSim, WholeDownloadsOfManyDives) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        Rig rig(options(type, 11, 30));
        if (type == replay::InterfaceType::Type2)
            downloadAndCompare<Type2Driver>(rig);
        else
            downloadAndCompare<Type3Driver>(rig);
    }
}

TEST(PagedDriverSim, FullWrappedRingWithHeaderAcrossTheTop) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        sim::BuildOptions o = options(type, 23, 0);
        o.fill = true;
        o.wrap = true;
        o.headerAcrossTop = true;
        Rig rig(o);
        ASSERT_GT(rig.built.meant.overwritten, 0u);
        if (type == replay::InterfaceType::Type2)
            downloadAndCompare<Type2Driver>(rig);
        else
            downloadAndCompare<Type3Driver>(rig);
    }
}

TEST(PagedDriverSim, ProfileStartWrapsWhenAHeaderEndsAtTheTop) {
    // The builder's header across the top cuts a header at the ring top; the
    // profile then starts in the ring, not above it.
    for (uint32_t seed : {3u, 4u, 5u}) {
        SCOPED_TRACE(seed);
        sim::BuildOptions o = options(replay::InterfaceType::Type3, seed, 25);
        o.wrap = true;
        o.headerAcrossTop = true;
        Rig rig(o);
        const uint32_t top = 0x7FF7;
        bool across = false;
        for (const auto& dive : rig.built.meant.dives)
            across |= dive.headerAddress < top && dive.headerAddress + dive.headerSize >= top;
        ASSERT_TRUE(across);
        downloadAndCompare<Type3Driver>(rig);
    }
}

TEST(PagedDriverSim, HeaderWithoutEndMarkerStopsTheDownload) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        TraceCapture trace;
        sim::BuildOptions o = options(type, 5, 12);
        o.noEndMarker = true;
        o.brokenDive = 3;
        Rig rig(o);
        auto d = type == replay::InterfaceType::Type2
                     ? std::unique_ptr<Driver>(openDriver<Type2Driver>(rig))
                     : std::unique_ptr<Driver>(openDriver<Type3Driver>(rig));
        d->readHeader();
        int n = 0;
        try {
            while (d->nextDive()) ++n;
            FAIL() << "downloaded past a header without end marker";
        } catch (const CriticalError& e) {
            EXPECT_EQ(e.code(), 2);
            EXPECT_STREQ(e.what(), "DownloadControl::Header Size Unknown");
        }
        EXPECT_EQ(n, 3);
        EXPECT_EQ(d->dives().size(), 3u);
        EXPECT_EQ(trace.count("DownLoadControl:: Header Size Error - End Not Found "), 1u);
    }
}

TEST(PagedDriverSim, OccasionalChecksumErrorsAreRetried) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        sim::EngineOptions e;
        e.faults.corruptEvery = 3;
        Rig rig(options(type, 13, 15), e);
        if (type == replay::InterfaceType::Type2)
            downloadAndCompare<Type2Driver>(rig);
        else
            downloadAndCompare<Type3Driver>(rig);
    }
}

TEST(PagedDriverSim, LinkFailuresDuringTheDivesEndTheDownload) {
    struct Case {
        bool corrupt;
        int code;
    };
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        for (const Case c : {Case{true, 8}, Case{false, 18}}) {
            SCOPED_TRACE(static_cast<int>(type) * 100 + c.code);
            Rig rig(options(type, 17, 10));
            auto d = type == replay::InterfaceType::Type2
                         ? std::unique_ptr<Driver>(openDriver<Type2Driver>(rig))
                         : std::unique_ptr<Driver>(openDriver<Type3Driver>(rig));
            d->readHeader();
            ASSERT_TRUE(d->nextDive());
            (c.corrupt ? rig.wire.corrupt : rig.wire.silent) = true;
            const int readsBefore = rig.wire.frames[0x05];
            try {
                while (d->nextDive()) {
                }
                FAIL() << "no failure";
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), c.code);
            }
            // One exchange, tried four times.
            EXPECT_EQ(rig.wire.frames[0x05] - readsBefore, 4);
            EXPECT_EQ(d->dives().size(), 1u);
        }
    }
}

TEST(PagedDriverSim, CancelDuringTheDives) {
    for (auto type : {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
        SCOPED_TRACE(static_cast<int>(type));
        Rig rig(options(type, 19, 20));
        std::unique_ptr<Driver> d;
        size_t pagesRead = 0;
        if (type == replay::InterfaceType::Type2) {
            auto r = openDriver<Type2Driver>(rig);
            r->readHeader();
            r->cancelAfterPages = 6;
            r->pageReads.clear();
            try {
                while (r->nextDive()) {
                }
                FAIL() << "not cancelled";
            } catch (const UserCancel& e) {
                EXPECT_EQ(e.code(), 9999);
            }
            pagesRead = r->pageReads.size();
            d = std::move(r);
        } else {
            auto r = openDriver<Type3Driver>(rig);
            r->readHeader();
            r->cancelAfterPages = 6;
            r->pageReads.clear();
            EXPECT_THROW(while (r->nextDive()){}, UserCancel);
            pagesRead = r->pageReads.size();
            d = std::move(r);
        }
        // The flag is noticed before the next page at the latest.
        EXPECT_EQ(pagesRead, 6u);
        EXPECT_LT(d->dives().size(), rig.built.meant.dives.size());
    }
}

}  // namespace talvek
