// Image files of the simulated computers: layout, round trips, refusal of
// damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "replay/computer_image.h"
#include "sim/dive_builder.h"
#include "support/temp_dir.h"

namespace talvek {

using replay::ComputerImage;
using replay::InterfaceType;
using Bytes = std::vector<uint8_t>;

namespace {

// Replaces the trailing CRC so that a deliberately altered body is accepted
// as far as the checksum goes.
Bytes resealed(Bytes b) {
    b.resize(b.size() - 4);
    const uint32_t crc = replay::crc32(b.data(), b.size());
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return b;
}

std::string tempPath(const char* name) {
    static const std::string dir = makeTempDir("talvek_sim_");
    return dir + "/" + name;
}

void expectRefused(const Bytes& b, const char* what) {
    try {
        replay::decodeImage(b);
        ADD_FAILURE() << "accepted: " << what;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
}

}  // namespace

TEST(SimImage, LayoutAndChecksum) {
    // The IEEE CRC-32 check value.
    const char* check = "123456789";
    EXPECT_EQ(replay::crc32(reinterpret_cast<const uint8_t*>(check), 9), 0xCBF43926u);

    auto img = ComputerImage::blank(InterfaceType::Type2);
    img.identity = {0x11, 0x01, 0x02, 0x03};
    img.memory[0] = 0xAA;
    img.memory[0x7FFF] = 0xBB;
    const Bytes b = replay::encodeImage(img);
    ASSERT_EQ(b.size(), 18u + 0x8000 + 4 + 4);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 18), (Bytes{'T', 'L', 'V', 'K', 'S', 'I', 'M', 0, 1, 2,
                                                       0x11, 0x01, 0x02, 0x03, 0x00, 0x80, 0, 0}));
    EXPECT_EQ(b[18], 0xAA);
    EXPECT_EQ(b[18 + 0x7FFF], 0xBB);
    EXPECT_EQ(Bytes(b.begin() + 18 + 0x8000, b.begin() + 22 + 0x8000), (Bytes{0, 0, 0, 0}));
    const uint32_t crc = replay::crc32(b.data(), b.size() - 4);
    EXPECT_EQ(b[b.size() - 4], static_cast<uint8_t>(crc));
    EXPECT_EQ(b.back(), static_cast<uint8_t>(crc >> 24));
}

TEST(SimImage, RoundTripsThroughFiles) {
    sim::BuildOptions o;
    o.type = InterfaceType::Type1;
    o.dives = 4;
    const auto t1 = sim::buildComputer(o).image;
    o.type = InterfaceType::Type3;
    o.wrap = true;
    const auto t3 = sim::buildComputer(o).image;
    for (const auto* img : {&t1, &t3}) {
        const std::string path = tempPath("roundtrip.img");
        replay::saveImage(*img, path);
        EXPECT_EQ(replay::loadImage(path), *img);
        std::remove(path.c_str());
    }
    EXPECT_EQ(replay::decodeImage(replay::encodeImage(t1)).diveStreams.size(), 4u);
    EXPECT_THROW(replay::loadImage(tempPath("missing.img")), std::runtime_error);
}

TEST(SimImage, DamagedFilesAreRefused) {
    auto img = ComputerImage::blank(InterfaceType::Type1);
    img.diveStreams = {{1, 2, 3}, {}};
    const Bytes good = replay::encodeImage(img);
    ASSERT_NO_THROW(replay::decodeImage(good));

    Bytes b = good;
    b[100] ^= 1;
    expectRefused(b, "checksum");
    expectRefused(Bytes(good.begin(), good.begin() + 1000), "checksum");
    expectRefused(Bytes(good.begin(), good.begin() + 10), "not a simulator image");
    b = good;
    b[0] = 'X';
    expectRefused(resealed(b), "not a simulator image");
    b = good;
    b[8] = 2;
    expectRefused(resealed(b), "format version");
    b = good;
    b[9] = 4;
    expectRefused(resealed(b), "interface type");
    b = good;
    b[9] = 2;  // a type 2 image must hold 0x8000 bytes
    expectRefused(resealed(b), "memory size");
    // A dive stream claiming more bytes than the file holds.
    b = good;
    const size_t streams = 18 + 0x2000;
    b[streams + 4] = 0xFF;
    expectRefused(resealed(b), "dive stream");
    // Bytes after the last stream.
    b = good;
    b.insert(b.end() - 4, 0x00);
    expectRefused(resealed(b), "trailing");

    // Type 2 computers do not stream dives; wrong memory sizes are not written.
    auto t2 = ComputerImage::blank(InterfaceType::Type2);
    t2.diveStreams = {{1}};
    EXPECT_THROW(replay::encodeImage(t2), std::runtime_error);
    t2.diveStreams.clear();
    t2.memory.resize(100);
    EXPECT_THROW(replay::encodeImage(t2), std::runtime_error);
}

}  // namespace talvek
