// The simulated computers through a real pseudo-terminal, with a small host
// in the test.  Real time: kept short, with generous tolerances.
#include "sim/pty_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/posix/pty.h"
#include "sim/dive_builder.h"

namespace talvek {

using replay::InterfaceType;
using Bytes = std::vector<uint8_t>;

namespace {

// A computer served on its own thread for the length of a test.
class Served {
  public:
    explicit Served(replay::ComputerImage img, sim::EngineOptions o = {})
        : server_(std::move(img), std::move(o)), thread_([this] { server_.serve(stop_); }) {}
    ~Served() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    const std::string& path() const { return server_.slavePath(); }
    sim::PtyServer& server() { return server_; }

  private:
    sim::PtyServer server_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::unique_ptr<platform::RawTerminal> openHost(const std::string& path) {
    int error = 0;
    auto t = platform::RawTerminal::open(path, error);
    EXPECT_TRUE(t) << "open " << path << ": " << error;
    return t;
}

Bytes withSum(Bytes b) {
    uint8_t x = 0;
    for (uint8_t c : b) x ^= c;
    b.push_back(x);
    return b;
}

Bytes exchange(platform::RawTerminal& t, const Bytes& frame, size_t replyLength,
               int timeoutMs = 1500) {
    EXPECT_EQ(t.write(frame.data(), frame.size()), static_cast<long>(frame.size()));
    Bytes r(replyLength);
    const long n = t.read(r.data(), r.size(), timeoutMs);
    r.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return r;
}

replay::ComputerImage patterned(InterfaceType t) {
    auto img = replay::ComputerImage::blank(t);
    img.identity = {0x13, 0x02, 0x05, 0x07};
    for (uint32_t a = 0; a < img.memory.size(); ++a)
        img.memory[a] = static_cast<uint8_t>(a * 13 + (a >> 8));
    return img;
}

uint64_t msSince(std::chrono::steady_clock::time_point t0) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count());
}

}  // namespace

TEST(SimPty, Type2EchoIdentityReadWriteAndReopen) {
    const auto img = patterned(InterfaceType::Type2);
    Served s(img);
    {
        auto host = openHost(s.path());
        ASSERT_TRUE(host);
        EXPECT_EQ(exchange(*host, {0x0F, 0x00, 0x00, 0x0F}, 12),
                  (Bytes{0x0F, 0x00, 0x00, 0x0F, 0x0F, 0x00, 0x04, 0x13, 0x02, 0x05, 0x07, 0x18}));
        // A full 120-byte page from the start of the ring.
        const Bytes read = withSum({0x05, 0x00, 0x03, 0x01, 0x9A, 0x78});
        const Bytes r = exchange(*host, read, 7 + 127);
        ASSERT_EQ(r.size(), 134u);
        EXPECT_EQ(Bytes(r.begin(), r.begin() + 7), read);
        EXPECT_EQ(Bytes(r.begin() + 13, r.begin() + 133),
                  Bytes(img.memory.begin() + 0x19A, img.memory.begin() + 0x212));
        // Every byte survives the line untranslated: a page full of
        // control characters (CR, LF, XON, XOFF, ^C, DEL) comes back as is.
        Bytes data = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F, 0x00, 0xFF, 0x1C, 0x04};
        Bytes write = {0x06, 0x00, 13, 0x10, 0x00, 10};
        write.insert(write.end(), data.begin(), data.end());
        EXPECT_EQ(exchange(*host, withSum(write), 17 + 7).size(), 24u);
        const Bytes back = exchange(*host, withSum({0x05, 0x00, 0x03, 0x10, 0x00, 0x0A}), 7 + 17);
        ASSERT_EQ(back.size(), 24u);
        EXPECT_EQ(Bytes(back.begin() + 13, back.begin() + 23), data);
    }
    // The host closed the device between probes; the server keeps serving.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto again = openHost(s.path());
    ASSERT_TRUE(again);
    EXPECT_EQ(exchange(*again, {0x0F, 0x00, 0x00, 0x0F}, 12).size(), 12u);
    again.reset();
    s.stop();
    EXPECT_EQ(s.server().engine().image().memory[0x1000], 0x0D);
}

TEST(SimPty, Type3NoEchoAndResyncAfterGarbage) {
    Served s(patterned(InterfaceType::Type3));
    auto host = openHost(s.path());
    ASSERT_TRUE(host);
    Bytes burst = {0xFF, 0x42, 0x05, 0x00};
    const Bytes id = {0x0F, 0x00, 0x00, 0x0F};
    burst.insert(burst.end(), id.begin(), id.end());
    // Only the identity reply: garbage is dropped, no echo.
    EXPECT_EQ(exchange(*host, burst, 8), (Bytes{0x0F, 0x00, 0x04, 0x13, 0x02, 0x05, 0x07, 0x18}));
    Bytes extra(1);
    EXPECT_EQ(host->read(extra.data(), 1, 150), 0);
    // A stray half frame is forgotten after an idle gap.
    EXPECT_EQ(host->write(Bytes{0x05, 0x00, 0x03}.data(), 3), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(replay::Engine::IdleGapMs + 100));
    EXPECT_EQ(exchange(*host, id, 8).size(), 8u);
}

TEST(SimPty, Type1WaitsBeforeAnsweringAndStreamsPackets) {
    auto img = patterned(InterfaceType::Type1);
    Bytes dive(40);
    for (size_t i = 0; i < dive.size(); ++i) dive[i] = static_cast<uint8_t>(200 - i);
    img.diveStreams = {dive};
    Served s(img);
    auto host = openHost(s.path());
    ASSERT_TRUE(host);
    // The probe: its host purges input 200 ms after sending, so nothing may
    // come before that.
    const auto t0 = std::chrono::steady_clock::now();
    const Bytes probe = {0x05, 0x00, 0x1B, 0x1B, 0x05};
    ASSERT_EQ(host->write(probe.data(), probe.size()), 5);
    Bytes r(32);
    EXPECT_EQ(host->read(r.data(), r.size(), 1800), 32);
    const uint64_t took = msSince(t0);
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 1200u);
    EXPECT_EQ(Bytes(r.begin() + 4, r.begin() + 31),
              Bytes(img.memory.begin() + 0x1B, img.memory.begin() + 0x36));

    // First dive: 32 + 8 bytes; then the end of dives.
    const Bytes packets = exchange(*host, {0x08, 0xA5, 0xAD}, 35 + 11);
    ASSERT_EQ(packets.size(), 46u);
    EXPECT_EQ(packets[0], 1);
    EXPECT_EQ(packets[1], 32);
    EXPECT_EQ(Bytes(packets.begin() + 2, packets.begin() + 34),
              Bytes(dive.begin(), dive.begin() + 32));
    EXPECT_EQ(packets[35], 2);
    EXPECT_EQ(packets[36], 8);
    EXPECT_EQ(Bytes(packets.begin() + 37, packets.begin() + 45),
              Bytes(dive.begin() + 32, dive.end()));
    EXPECT_EQ(exchange(*host, {0x09, 0xA5, 0xAC}, 3), (Bytes{1, 0, 1}));
}

TEST(SimPty, FaultCorruptedChecksumAndSilence) {
    sim::EngineOptions o;
    o.faults.corruptEvery = 2;
    o.faults.stopAfterReplies = 2;
    Served s(patterned(InterfaceType::Type3), o);
    auto host = openHost(s.path());
    ASSERT_TRUE(host);
    const Bytes id = {0x0F, 0x00, 0x00, 0x0F};
    EXPECT_EQ(exchange(*host, id, 8).back(), 0x18);
    const Bytes second = exchange(*host, id, 8);
    ASSERT_EQ(second.size(), 8u);
    EXPECT_NE(second.back(), 0x18);
    EXPECT_TRUE(exchange(*host, id, 8, 300).empty());
}

TEST(SimPty, FaultNoEchoAndPacedLine) {
    sim::EngineOptions o;
    o.faults.dropEcho = true;
    o.pace = true;
    Served s(patterned(InterfaceType::Type2), o);
    auto host = openHost(s.path());
    ASSERT_TRUE(host);
    // 127 bytes at 9600 baud take about 132 ms; no echo comes first.
    const auto t0 = std::chrono::steady_clock::now();
    const Bytes r = exchange(*host, withSum({0x05, 0x00, 0x03, 0x02, 0x00, 0x78}), 127);
    const uint64_t took = msSince(t0);
    ASSERT_EQ(r.size(), 127u);
    EXPECT_EQ(r[0], 0x05);
    EXPECT_EQ(r[6], static_cast<uint8_t>(0x200 * 13 + 2));
    EXPECT_GE(took, 130u);
    EXPECT_LT(took, 1000u);
}

TEST(SimPty, FaultHangUpClosesTheDevice) {
    sim::EngineOptions o;
    o.faults.hangUpAfterBytes = 5;
    Served s(patterned(InterfaceType::Type3), o);
    auto host = openHost(s.path());
    ASSERT_TRUE(host);
    // At most the first five bytes of the reply (a hang-up may also discard
    // what the host had not read yet).
    EXPECT_LE(exchange(*host, {0x0F, 0x00, 0x00, 0x0F}, 8, 500).size(), 5u);
    for (int i = 0; i < 100 && !s.server().closed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(s.server().closed());
    // The unplugged cable: the host's reads fail or stay empty from now on.
    Bytes b(1);
    EXPECT_LE(host->read(b.data(), 1, 100), 0);
}

}  // namespace talvek
