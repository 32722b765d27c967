// The simulated computers' protocol engines, driven directly and through the
// in-memory port's peer interface.  Expected frames are written out by hand.
#include "sim/engine.h"

#include <gtest/gtest.h>

#include <numeric>

#include "sim/memory_computer.h"

namespace talvek {

using replay::Emission;
using replay::InterfaceType;
using Bytes = std::vector<uint8_t>;

namespace {

replay::ComputerImage image23(InterfaceType t) {
    auto img = replay::ComputerImage::blank(t);
    img.identity = {0x10, 0x01, 0x02, 0x03};
    for (uint32_t a = 0; a < img.memory.size(); ++a)
        img.memory[a] = static_cast<uint8_t>(a * 7 + 3);
    return img;
}

replay::ComputerImage image1(std::vector<Bytes> dives) {
    auto img = replay::ComputerImage::blank(InterfaceType::Type1);
    for (uint32_t a = 0; a < img.memory.size(); ++a)
        img.memory[a] = static_cast<uint8_t>(a ^ (a >> 8));
    img.diveStreams = std::move(dives);
    return img;
}

Bytes withSum(Bytes b) {
    uint8_t x = 0;
    for (uint8_t c : b) x ^= c;
    b.push_back(x);
    return b;
}

Bytes all(const std::vector<Emission>& e) {
    Bytes b;
    for (const auto& x : e) b.insert(b.end(), x.bytes.begin(), x.bytes.end());
    return b;
}

std::vector<Emission> feed(replay::Engine& e, const Bytes& b, uint64_t now) {
    return e.feed(b.data(), b.size(), now);
}

Bytes seq(uint8_t from, size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), from);
    return b;
}

}  // namespace

TEST(SimType2Engine, EchoesAtOnceThenAnswersIdentityReadAndWrite) {
    auto e = sim::makeEngine(image23(InterfaceType::Type2));
    // Identity: the echo at the arrival time, the reply a little later.
    auto out = feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 1000);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].atMs, 1000u);
    EXPECT_EQ(out[0].bytes, (Bytes{0x0F, 0x00, 0x00, 0x0F}));
    EXPECT_GT(out[1].atMs, 1000u);
    EXPECT_LT(out[1].atMs, 1100u);
    EXPECT_EQ(out[1].bytes, (Bytes{0x0F, 0x00, 0x04, 0x10, 0x01, 0x02, 0x03, 0x1B}));

    // Read 3 bytes at 0x0102: memory bytes (a * 7 + 3) = 0x11, 0x18, 0x1F.
    const Bytes read = {0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x06};
    out = feed(*e, read, 2000);
    EXPECT_EQ(all(out), (Bytes{0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x06,  // echo
                               0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x11, 0x18, 0x1F, 0x10}));

    // Write two bytes at 0x7FF0, then read them back.
    out = feed(*e, withSum({0x06, 0x00, 0x05, 0x7F, 0xF0, 0x02, 0xAB, 0xCD}), 3000);
    const Bytes wire = all(out);
    const Bytes ack(wire.begin() + 9, wire.end());
    EXPECT_EQ(ack, withSum({0x06, 0x00, 0x05, 0x7F, 0xF0, 0x02}));
    EXPECT_EQ(e->image().memory[0x7FF0], 0xAB);
    EXPECT_EQ(e->image().memory[0x7FF1], 0xCD);
    out = feed(*e, withSum({0x05, 0x00, 0x03, 0x7F, 0xF0, 0x02}), 4000);
    EXPECT_EQ(out.back().bytes, withSum({0x05, 0x00, 0x03, 0x7F, 0xF0, 0x02, 0xAB, 0xCD}));
    EXPECT_EQ(e->repliesSent(), 4u);
}

TEST(SimType2Engine, ReadsOfEveryPageSizeAndRangeLimits) {
    auto e = sim::makeEngine(image23(InterfaceType::Type2));
    // A 120-byte page at the top of the ring comes back whole.
    auto out = feed(*e, withSum({0x05, 0x00, 0x03, 0x7F, 0x86, 0x78}), 0);
    const Bytes reply = out.back().bytes;
    ASSERT_EQ(reply.size(), 127u);
    for (uint32_t i = 0; i < 120; ++i)
        EXPECT_EQ(reply[6 + i], static_cast<uint8_t>((0x7F86 + i) * 7 + 3));
    // Past the end of memory, or a count of 0: no answer beyond the echo.
    out = feed(*e, withSum({0x05, 0x00, 0x03, 0x7F, 0xFF, 0x02}), 1000);
    EXPECT_EQ(all(out).size(), 7u);
    out = feed(*e, withSum({0x05, 0x00, 0x03, 0x10, 0x00, 0x00}), 2000);
    EXPECT_EQ(all(out).size(), 7u);
    EXPECT_EQ(e->repliesSent(), 1u);
}

TEST(SimType3Engine, SameFramesWithoutEcho) {
    auto e = sim::makeEngine(image23(InterfaceType::Type3));
    auto out = feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 500);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_GT(out[0].atMs, 500u);
    EXPECT_EQ(out[0].bytes, (Bytes{0x0F, 0x00, 0x04, 0x10, 0x01, 0x02, 0x03, 0x1B}));
    out = feed(*e, withSum({0x06, 0x00, 0x04, 0x00, 0x40, 0x01, 0x99}), 600);
    EXPECT_EQ(all(out), withSum({0x06, 0x00, 0x04, 0x00, 0x40, 0x01}));
    EXPECT_EQ(e->image().memory[0x40], 0x99);
}

TEST(SimType23Engine, ResynchronisesAfterGarbageAndBadFrames) {
    auto e = sim::makeEngine(image23(InterfaceType::Type3));
    // Garbage, then a frame with a wrong checksum, then a good identity
    // request, all in one burst: only the good frame is answered.
    Bytes burst = {0xFF, 0x00, 0x13, 0x0F, 0x01};
    const Bytes badRead = {0x05, 0x00, 0x03, 0x00, 0x10, 0x04, 0x00};
    burst.insert(burst.end(), badRead.begin(), badRead.end());
    burst.insert(burst.end(), {0x0F, 0x00, 0x00, 0x0F});
    auto out = feed(*e, burst, 100);
    EXPECT_EQ(all(out), (Bytes{0x0F, 0x00, 0x04, 0x10, 0x01, 0x02, 0x03, 0x1B}));

    // A frame split over two arrivals close together is whole.
    EXPECT_TRUE(feed(*e, {0x0F, 0x00}, 1000).empty());
    EXPECT_EQ(feed(*e, {0x00, 0x0F}, 1030).size(), 1u);

    // A half frame followed by an idle gap is forgotten: its tail alone is
    // no frame, the next full frame is answered.
    EXPECT_TRUE(feed(*e, {0x05, 0x00, 0x03, 0x00}, 2000).empty());
    EXPECT_TRUE(feed(*e, {0x10, 0x04, 0x12}, 2000 + replay::Engine::IdleGapMs + 50).empty());
    EXPECT_EQ(feed(*e, withSum({0x05, 0x00, 0x03, 0x00, 0x10, 0x04}), 2300).size(), 1u);

    // A write frame whose count disagrees with its length byte is refused.
    EXPECT_TRUE(feed(*e, withSum({0x06, 0x00, 0x05, 0x00, 0x40, 0x01, 0x99, 0x98}), 4000).empty());
    EXPECT_EQ(e->image().memory[0x40], static_cast<uint8_t>(0x40 * 7 + 3));
}

TEST(SimType1Engine, AnswersAfterItsDelayAndGuardsWrites) {
    auto e = sim::makeEngine(image1({}));
    // The host's probe: read 27 bytes at 0x001B, 32 bytes back.
    auto out = feed(*e, {0x05, 0x00, 0x1B, 0x1B, 0x05}, 10000);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].atMs, 10350u);
    ASSERT_EQ(out[0].bytes.size(), 32u);
    EXPECT_EQ(Bytes(out[0].bytes.begin(), out[0].bytes.begin() + 4),
              (Bytes{0x05, 0x00, 0x1B, 0x1B}));
    EXPECT_EQ(out[0].bytes[4], 0x1B);  // memory[a] = a ^ (a >> 8)
    EXPECT_EQ(out[0].bytes[31], replay::xorSum(out[0].bytes.data(), 31));

    // A write without write enable is not answered and changes nothing.
    EXPECT_TRUE(feed(*e, withSum({0x06, 0x01, 0x00, 0x02, 0xAA, 0xBB}), 11000).empty());
    EXPECT_EQ(e->image().memory[0x100], 0x01);
    // Write enable, then two block writes.
    out = feed(*e, {0x07, 0xA5, 0xA2}, 12000);
    EXPECT_EQ(all(out), (Bytes{0x07, 0xA5, 0xA2}));
    out = feed(*e, withSum({0x06, 0x01, 0x00, 0x02, 0xAA, 0xBB}), 13000);
    EXPECT_EQ(all(out), withSum({0x06, 0x01, 0x00, 0x02}));
    out = feed(*e, withSum({0x06, 0x1F, 0xFF, 0x01, 0xCC}), 14000);
    EXPECT_EQ(all(out), withSum({0x06, 0x1F, 0xFF, 0x01}));
    EXPECT_EQ(e->image().memory[0x100], 0xAA);
    EXPECT_EQ(e->image().memory[0x101], 0xBB);
    EXPECT_EQ(e->image().memory[0x1FFF], 0xCC);
    // A read in between ends the write permission.
    feed(*e, withSum({0x05, 0x00, 0x00, 0x01}), 15000);
    EXPECT_TRUE(feed(*e, withSum({0x06, 0x01, 0x00, 0x01, 0x00}), 16000).empty());
    // Reads past the top of memory are not answered.
    EXPECT_TRUE(feed(*e, withSum({0x05, 0x1F, 0xF0, 0x11}), 17000).empty());
    EXPECT_EQ(feed(*e, withSum({0x05, 0x1F, 0xF0, 0x10}), 18000).size(), 1u);
}

TEST(SimType1Engine, StreamsDivesAsPacketsOldestFirst) {
    const Bytes d70 = seq(0, 70), d64 = seq(100, 64), d5 = seq(50, 5);
    auto e = sim::makeEngine(image1({d70, d64, d5}));
    // First dive: 32 + 32 + 6 bytes, each packet "k L payload cs".
    auto out = feed(*e, {0x08, 0xA5, 0xAD}, 0);
    Bytes expect;
    for (uint8_t k = 1; k <= 3; ++k) {
        Bytes p = {k, static_cast<uint8_t>(k < 3 ? 32 : 6)};
        p.insert(p.end(), d70.begin() + (k - 1) * 32, d70.begin() + std::min<int>(k * 32, 70));
        p = withSum(p);
        expect.insert(expect.end(), p.begin(), p.end());
    }
    EXPECT_EQ(all(out), expect);
    EXPECT_EQ(out.front().atMs, 350u);
    // Next: 64 bytes end with an empty packet.
    out = feed(*e, {0x09, 0xA5, 0xAC}, 5000);
    const Bytes b = all(out);
    ASSERT_EQ(b.size(), 2 * 35 + 3u);
    EXPECT_EQ(Bytes(b.end() - 3, b.end()), (Bytes{3, 0, 3}));
    EXPECT_EQ(Bytes(b.begin() + 37, b.begin() + 69), Bytes(d64.begin() + 32, d64.end()));
    // Third dive, then the end: one empty packet, again and again.
    EXPECT_EQ(all(feed(*e, {0x09, 0xA5, 0xAC}, 6000)), withSum({1, 5, 50, 51, 52, 53, 54}));
    EXPECT_EQ(all(feed(*e, {0x09, 0xA5, 0xAC}, 7000)), (Bytes{1, 0, 1}));
    EXPECT_EQ(all(feed(*e, {0x09, 0xA5, 0xAC}, 8000)), (Bytes{1, 0, 1}));
    // First dive starts over.
    EXPECT_EQ(all(feed(*e, {0x08, 0xA5, 0xAD}, 9000)).size(), 3 * 2 + 70 + 3u);
}

TEST(SimType1Engine, FullDiveMayEndInSilence) {
    sim::EngineOptions o;
    o.silentAfterFullDive = true;
    auto e = sim::makeEngine(image1({seq(0, 32)}), o);
    EXPECT_EQ(all(feed(*e, {0x08, 0xA5, 0xAD}, 0)).size(), 35u);
    // With no dives at all the first request gets the single empty packet.
    auto none = sim::makeEngine(image1({}));
    EXPECT_EQ(all(feed(*none, {0x08, 0xA5, 0xAD}, 0)), (Bytes{1, 0, 1}));
    // A bad checksum or a wrong second byte is no command.
    EXPECT_TRUE(feed(*none, {0x08, 0xA5, 0xAE}, 1000).empty());
    EXPECT_TRUE(feed(*none, {0x09, 0x5A, 0x53}, 2000).empty());
}

TEST(SimEngineFaults, CorruptEveryNthReply) {
    sim::EngineOptions o;
    o.faults.corruptEvery = 2;
    auto e = sim::makeEngine(image23(InterfaceType::Type3), o);
    const Bytes good = {0x0F, 0x00, 0x04, 0x10, 0x01, 0x02, 0x03, 0x1B};
    for (int i = 1; i <= 4; ++i) {
        const Bytes r = all(feed(*e, {0x0F, 0x00, 0x00, 0x0F}, i * 1000u));
        ASSERT_EQ(r.size(), 8u);
        EXPECT_EQ(Bytes(r.begin(), r.end() - 1), Bytes(good.begin(), good.end() - 1));
        if (i % 2 == 0)
            EXPECT_NE(r.back(), 0x1B) << i;
        else
            EXPECT_EQ(r.back(), 0x1B) << i;
    }
}

TEST(SimEngineFaults, StopAfterRepliesKeepsTheType2Echo) {
    sim::EngineOptions o;
    o.faults.stopAfterReplies = 1;
    auto e = sim::makeEngine(image23(InterfaceType::Type2), o);
    EXPECT_EQ(all(feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 0)).size(), 4u + 8u);
    // Only the cable's echo from now on.
    EXPECT_EQ(all(feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 1000)), (Bytes{0x0F, 0x00, 0x00, 0x0F}));
    EXPECT_EQ(e->repliesSent(), 1u);
}

TEST(SimEngineFaults, HangUpAfterBytesAndDroppedEcho) {
    sim::EngineOptions o;
    o.faults.hangUpAfterBytes = 10;
    o.faults.dropEcho = true;
    auto e = sim::makeEngine(image23(InterfaceType::Type2), o);
    EXPECT_EQ(all(feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 0)).size(), 8u);  // no echo
    EXPECT_FALSE(e->hungUp());
    // Two bytes of the next reply, then nothing more, ever.
    EXPECT_EQ(all(feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 1000)), (Bytes{0x0F, 0x00}));
    EXPECT_TRUE(e->hungUp());
    EXPECT_TRUE(feed(*e, {0x0F, 0x00, 0x00, 0x0F}, 2000).empty());
    EXPECT_EQ(e->bytesSent(), 10u);
}

TEST(SimEngineFaults, GarbageRepliesAndTrickledBytes) {
    sim::EngineOptions o;
    o.faults.garbage = true;
    auto e = sim::makeEngine(image23(InterfaceType::Type3), o);
    for (int i = 0; i < 50; ++i) {
        Bytes reply = all(feed(*e, withSum({0x0F, 0x00, 0x00}), 1000 * i));
        ASSERT_EQ(reply.size(), 8u);  // as long as the identity reply
        uint8_t sum = 0;
        for (size_t k = 0; k + 1 < reply.size(); ++k) sum ^= reply[k];
        EXPECT_NE(sum, reply.back()) << i;  // never a valid frame
    }

    sim::EngineOptions slow;
    slow.faults.trickle = 1000;
    auto t = sim::makeEngine(image23(InterfaceType::Type3), slow);
    std::vector<Emission> out = feed(*t, withSum({0x0F, 0x00, 0x00}), 0);
    ASSERT_EQ(out.size(), 8u);  // one byte each
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].atMs, 20 + 1000 * (i + 1)) << i;
}

TEST(SimEngine, PacedRepliesTakeTheLineTime) {
    sim::EngineOptions o;
    o.pace = true;
    auto e2 = sim::makeEngine(image23(InterfaceType::Type3), o);
    // 127 bytes at 9600 baud: 132.3 ms after the reply starts.
    auto out = feed(*e2, withSum({0x05, 0x00, 0x03, 0x10, 0x00, 0x78}), 1000);
    EXPECT_EQ(all(out).size(), 127u);
    const uint64_t start = 1000 + replay::Engine::Type23ReplyDelayMs;
    EXPECT_EQ(out.front().atMs, start + 2);  // the first byte has wholly arrived after 1.04 ms
    EXPECT_EQ(out.back().atMs, start + 133);
    for (size_t i = 1; i < out.size(); ++i) EXPECT_GT(out[i].atMs, out[i - 1].atMs);

    // Type 1 at 2400 baud: 35 bytes of a packet take 145.8 ms.
    auto e1 = sim::makeEngine(image1({seq(0, 10)}), o);
    out = feed(*e1, {0x08, 0xA5, 0xAD}, 0);
    EXPECT_EQ(all(out).size(), 13u);
    EXPECT_EQ(out.back().atMs, 350u + 55u);  // 13 x 4.17 ms = 54.2 ms
}

TEST(SimEngine, LogsFramesInHex) {
    std::vector<std::string> lines;
    sim::EngineOptions o;
    o.log = [&](const std::string& l) { lines.push_back(l); };
    auto e = sim::makeEngine(image23(InterfaceType::Type3), o);
    feed(*e, {0x33, 0x0F, 0x00, 0x00, 0x0F}, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "host  > 33 0F 00 00 0F");
    EXPECT_EQ(lines[1], "drop  x 33 (not a command)");
    EXPECT_EQ(lines[2], "sim   < 0F 00 04 10 01 02 03 1B");
}

namespace {

// The wire as a peer sees it: records what is sent and when.
class FakeLine : public platform::MemoryLine {
  public:
    void send(const uint8_t* data, size_t n, uint64_t atMs) override {
        sent.push_back({atMs, Bytes(data, data + n)});
    }
    bool rts() const override { return false; }
    bool dtr() const override { return true; }
    const platform::SerialSettings& settings() const override { return s; }

    std::vector<Emission> sent;
    platform::SerialSettings s;
};

}  // namespace

TEST(SimMemoryComputer, QueuesTimedRepliesOnTheLine) {
    FakeLine line;
    sim::MemoryComputer dc(image1({seq(0, 3)}));
    const Bytes probe = {0x05, 0x00, 0x1B, 0x1B, 0x05};
    dc.onHostBytes(line, probe.data(), probe.size(), 40);
    ASSERT_EQ(line.sent.size(), 1u);
    EXPECT_EQ(line.sent[0].atMs, 390u);
    EXPECT_EQ(line.sent[0].bytes.size(), 32u);
    const Bytes first = {0x08, 0xA5, 0xAD};
    dc.onHostBytes(line, first.data(), first.size(), 1000);
    EXPECT_EQ(line.sent.back().bytes, withSum({1, 3, 0, 1, 2}));
    EXPECT_EQ(line.sent.back().atMs, 1350u);
    EXPECT_EQ(dc.image().type, InterfaceType::Type1);
}

}  // namespace talvek
