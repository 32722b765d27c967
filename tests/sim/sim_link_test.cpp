// The project's own links against the simulated computers: in process on the
// virtual clock, and over a pseudo-terminal through the POSIX port.  Also the
// builder's profiles decoded by the project's profile iterator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "dc/base/errors.h"
#include "dc/paged/type2_link.h"
#include "dc/paged/type3_link.h"
#include "dc/profile/profile_decoder.h"
#include "dc/type1/type1_link.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#ifndef _WIN32
#include "sim/pty_server.h"  // pseudo-terminals are POSIX
#endif

namespace talvek {

using replay::InterfaceType;
using Bytes = std::vector<uint8_t>;

namespace {

// Puts a read-memory frame in the link's send buffer.
void readFrame(SerialLink& link, uint16_t address, uint8_t n) {
    const uint8_t f[] = {
        0x05, 0x00, 0x03, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), n};
    std::memcpy(link.sendBuffer(), f, sizeof f);
}

void identityFrame(SerialLink& link) {
    const uint8_t f[] = {0x0F, 0x00, 0x00};
    std::memcpy(link.sendBuffer(), f, sizeof f);
}

class SimInProcess : public ::testing::Test {
  protected:
    SimInProcess() : scoped_(clock_) {}
    platform::VirtualClock clock_{1000};
    platform::ScopedClock scoped_;
    platform::MemoryPortRegistry registry_;
    CancelFlag cancel_{false};
};

}  // namespace

TEST_F(SimInProcess, Type2LinkReadsTheBuiltMemory) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type2;
    o.dives = 5;
    const auto built = sim::buildComputer(o);
    sim::MemoryComputer dc(built.image);
    registry_.add("SIM2", &dc);
    Type2Link link("SIM2", &cancel_, registry_);
    identityFrame(link);
    link.communicate(3, 8);
    EXPECT_EQ(Bytes(link.receiveBuffer() + 3, link.receiveBuffer() + 7),
              Bytes(built.image.identity.begin(), built.image.identity.end()));
    // The memory map, as the driver's first read after the identity.
    readFrame(link, 0x190, 40);
    link.communicate(6, 47);
    const uint8_t* map = link.receiveBuffer() + 6;
    EXPECT_EQ(map[2] | (map[3] << 8), 5);
    EXPECT_EQ(map[6] | (map[7] << 8), replay::RingStart);
    EXPECT_EQ(map[4] | (map[5] << 8), built.meant.endPointer);
    // The whole exchange costs virtual time only.
    EXPECT_LT(clock_.nowMs(), 1000u + 500u);
}

TEST_F(SimInProcess, Type3LinkAndTheSilentComputer) {
    sim::EngineOptions faults;
    faults.faults.stopAfterReplies = 1;
    sim::MemoryComputer dc(sim::buildComputer({InterfaceType::Type3, 2, 2}).image, faults);
    registry_.add("SIM3", &dc);
    Type3Link link("SIM3", &cancel_, registry_);
    identityFrame(link);
    link.communicate(3, 8);
    EXPECT_EQ(link.receiveBuffer()[3], dc.image().identity[0]);
    // Silence from now on: four attempts, each waiting out the 4400 ms read.
    const uint64_t t0 = clock_.nowMs();
    try {
        link.communicate(3, 8);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), 18);
    }
    EXPECT_GE(clock_.nowMs() - t0, 4u * 4400u);
}

TEST_F(SimInProcess, HangUpFaultTakesThePortAway) {
    sim::EngineOptions faults;
    faults.faults.hangUpAfterBytes = 12;
    sim::MemoryComputer dc(sim::buildComputer({InterfaceType::Type3, 2, 1}).image, faults);
    registry_.add("SIMHUP", &dc);
    Type3Link link("SIMHUP", &cancel_, registry_);
    identityFrame(link);
    link.communicate(3, 8);
    // Four bytes of the second reply, then the cable is pulled.
    try {
        link.communicate(3, 8);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        // The port is gone under the link.
        EXPECT_EQ(e.code(), 21);
        EXPECT_STREQ(e.what(), "Comm Port Not Open");
    }
    EXPECT_TRUE(link.portLost());
    EXPECT_TRUE(dc.engine().hungUp());
    EXPECT_EQ(dc.engine().bytesSent(), 12u);
}

#ifndef _WIN32
TEST(SimOverPty, Type3LinkThroughThePosixPort) {
    auto img = sim::buildComputer({InterfaceType::Type3, 2, 3}).image;
    sim::PtyServer server(img);
    std::atomic<bool> stop{false};
    std::thread t([&] { server.serve(stop); });
    {
        CancelFlag cancel{false};
        const std::string path(server.slavePath().begin(), server.slavePath().end());
        Type3Link link(path.c_str(), &cancel);
        identityFrame(link);
        link.communicate(3, 8);
        EXPECT_EQ(link.receiveBuffer()[3], img.identity[0]);
        readFrame(link, 0x7F86, 113);  // the last, shortened page of a type 3 ring
        link.communicate(6, 120);
        EXPECT_EQ(Bytes(link.receiveBuffer() + 6, link.receiveBuffer() + 119),
                  Bytes(img.memory.begin() + 0x7F86, img.memory.begin() + 0x7FF7));
    }
    stop = true;
    t.join();
}
#endif

#ifndef _WIN32
TEST(SimOverPty, Type2LinkThroughThePosixPortWithEcho) {
    auto img = sim::buildComputer({InterfaceType::Type2, 1, 3}).image;
    sim::PtyServer server(img);
    std::atomic<bool> stop{false};
    std::thread t([&] { server.serve(stop); });
    {
        CancelFlag cancel{false};
        const std::string path(server.slavePath().begin(), server.slavePath().end());
        Type2Link link(path.c_str(), &cancel);
        readFrame(link, 0x15E, 40);
        link.communicate(6, 47);
        EXPECT_EQ(Bytes(link.receiveBuffer() + 6, link.receiveBuffer() + 46),
                  Bytes(img.memory.begin() + 0x15E, img.memory.begin() + 0x186));
    }
    stop = true;
    t.join();
}
#endif

namespace {

// Collects one type 1 dive the way its driver does: the command, then
// packets until one is shorter than 32 bytes (or empty, or missing).
Bytes fetchType1Dive(Type1Link& link, uint8_t command) {
    link.sendBuffer()[0] = command;
    link.sendBuffer()[1] = 0xA5;
    link.talk(2);
    Bytes dive;
    uint8_t packet[Type1Link::MaxPacketBytes];
    for (bool first = true;; first = false) {
        const int l = link.readPacket(packet, sizeof packet, !first);
        dive.insert(dive.end(), packet + 2, packet + 2 + l);
        if (l < 32) break;
    }
    return dive;
}

}  // namespace

TEST_F(SimInProcess, Type1LinkProbesAndCollectsDives) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type1;
    o.dives = 3;
    auto img = sim::buildComputer(o).image;
    img.diveStreams[1].resize(64);  // two full packets and the empty one
    sim::MemoryComputer dc(img);
    registry_.add("SIM1", &dc);
    Type1Link link("SIM1", &cancel_, registry_);
    const uint8_t probe[] = {0x05, 0x00, 0x1B, 0x1B};
    std::memcpy(link.sendBuffer(), probe, sizeof probe);
    link.communicate(4, 32);
    EXPECT_EQ(Bytes(link.receiveBuffer() + 4, link.receiveBuffer() + 31),
              Bytes(img.memory.begin() + 0x1B, img.memory.begin() + 0x36));
    EXPECT_EQ(fetchType1Dive(link, 0x08), img.diveStreams[0]);
    EXPECT_EQ(fetchType1Dive(link, 0x09), img.diveStreams[1]);
    EXPECT_EQ(fetchType1Dive(link, 0x09), img.diveStreams[2]);
    EXPECT_TRUE(fetchType1Dive(link, 0x09).empty());  // the end of dives
}

#ifndef _WIN32
TEST(SimOverPty, Type1LinkThroughThePosixPort) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type1;
    o.dives = 1;
    const auto img = sim::buildComputer(o).image;
    sim::PtyServer server(img);
    std::atomic<bool> stop{false};
    std::thread t([&] { server.serve(stop); });
    {
        CancelFlag cancel{false};
        const std::string path(server.slavePath().begin(), server.slavePath().end());
        Type1Link link(path.c_str(), &cancel);
        EXPECT_EQ(fetchType1Dive(link, 0x08), img.diveStreams[0]);
    }
    stop = true;
    t.join();
}
#endif

TEST(SimDiveBuilder, ProfilesDecodeWithTheProfileIterator) {
    for (auto type : {InterfaceType::Type2, InterfaceType::Type3}) {
        sim::BuildOptions o;
        o.type = type;
        o.dives = 12;
        o.truncatedProfile = true;
        const auto b = sim::buildComputer(o);
        for (const auto& md : b.meant.dives) {
            SCOPED_TRACE("dive " + std::to_string(md.sequence));
            DivePtr rec(new DiveRecord);
            sim::fillDiveData(md, type, *rec);
            ProfileDecoder p(rec);
            size_t k = 0, blk = 0;
            uint16_t firstPressure = 0, lastPressure = 0;
            while (p.next()) {
                if (p.eventsPending()) {
                    ASSERT_LT(blk, md.blocks.size());
                    const auto& want = md.blocks[blk++];
                    EXPECT_EQ(p.sampleCount(), want.sampleIndex);
                    size_t e = 0;
                    while (const auto* ev = p.nextEvent()) {
                        while (e < want.events.size() &&
                               (want.events[e].type < 2 || want.events[e].type > 5))
                            ++e;  // record types the iterator skips
                        ASSERT_LT(e, want.events.size());
                        const auto& w = want.events[e++];
                        EXPECT_EQ(ev->type, w.type);
                        EXPECT_EQ(ev->data1, w.data1);
                        EXPECT_EQ(ev->data2, w.data2);
                        EXPECT_EQ(ev->data3, w.data3);
                        EXPECT_EQ(ev->data4, w.data4);
                        EXPECT_EQ(ev->word, w.word);
                        // The time of the last sample before the block.
                        EXPECT_EQ(ev->time, want.sampleIndex
                                                ? (want.sampleIndex - 1u) * md.sampleInterval
                                                : 0u);
                    }
                    p.clearEvents();
                } else {
                    ASSERT_LT(k, md.samples.size());
                    const auto& s = md.samples[k++];
                    EXPECT_EQ(p.depth(), s.depth);
                    EXPECT_EQ(p.hasTemperature(), s.hasTemperature);
                    if (s.hasTemperature) {
                        EXPECT_EQ(p.temperature(), s.temperature);
                    }
                    if (md.pressureSamples) {
                        EXPECT_EQ(p.pressure(), s.pressure / 10);
                        if (!firstPressure) firstPressure = s.pressure / 10;
                        lastPressure = s.pressure / 10;
                    }
                }
                if (p.atEnd()) break;
            }
            EXPECT_TRUE(p.atEnd());
            EXPECT_EQ(k, md.samples.size());
            EXPECT_EQ(blk, md.blocks.size());
            EXPECT_EQ(p.startPressure(), firstPressure);
            EXPECT_EQ(p.endPressure(), lastPressure);
        }
    }
}

}  // namespace talvek
