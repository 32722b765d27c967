// The dive store's files (the dives of each computer, the type found on
// each port): what is written reads back, and nothing damaged, foreign or
// inconsistent is ever accepted.
#include "store/dive_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "replay/computer_image.h"
#include "store/port_types.h"
#include "support/scratch_dir.h"

namespace talvek {

namespace {

store::StoredComputer Sample(int32_t family) {
    store::StoredComputer c;
    c.family = static_cast<DataFamily>(family);
    for (size_t i = 0; i < c.header.size(); ++i) c.header[i] = static_cast<uint8_t>(i * 3 + 1);
    c.identity = store::identityOf(c.family, c.header);
    for (uint32_t k = 0; k < 3; ++k) {
        RawDive d;
        d.address = family == 1 ? 0 : 0x19A + 300 * k;
        if (family != 1) d.header.assign(84, static_cast<uint8_t>(k));
        d.data.assign(50 + k * 7, static_cast<uint8_t>(0x40 + k));
        c.dives.push_back(d);
    }
    return c;
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    bytes.resize(bytes.size() - 4);
    const uint32_t crc = replay::crc32(bytes.data(), bytes.size());
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return bytes;
}

std::string Refusal(const std::vector<uint8_t>& bytes) {
    store::StoredComputer c;
    std::string why;
    return store::decode(bytes, c, why) ? std::string("accepted") : why;
}

TEST(DiveStoreFormat, RoundTripsEveryFamily) {
    for (int32_t family : {1, 2, 4}) {
        const store::StoredComputer c = Sample(family);
        store::StoredComputer back;
        std::string why;
        ASSERT_TRUE(store::decode(store::encode(c), back, why)) << why;
        EXPECT_EQ(back, c);
    }
}

TEST(DiveStoreFormat, LayoutIsTheDocumentedOne) {
    const store::StoredComputer c = Sample(2);
    const std::vector<uint8_t> b = store::encode(c);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 8), "TLVKSTOR");
    EXPECT_EQ(b[8], 1);  // format version
    EXPECT_EQ(b[9], 2);  // family
    EXPECT_TRUE(std::equal(c.header.begin(), c.header.end(), b.begin() + 14));
    EXPECT_EQ(b[158], 3);  // dives
    // First dive: address 0x19A, 84 header bytes, 50 data bytes.
    EXPECT_EQ(b[162], 0x9A);
    EXPECT_EQ(b[163], 0x01);
    EXPECT_EQ(b[166], 84);
    EXPECT_EQ(b[167 + 84], 50);
    size_t size = 158 + 4 + 4;
    for (const auto& d : c.dives) size += 4 + 1 + d.header.size() + 4 + d.data.size();
    EXPECT_EQ(b.size(), size);
}

TEST(DiveStoreFormat, EveryDamagedByteIsRefused) {
    const std::vector<uint8_t> good = store::encode(Sample(4));
    for (size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x20;
        EXPECT_NE(Refusal(bad), "accepted") << "byte " << i;
    }
    std::vector<uint8_t> shorter(good.begin(), good.end() - 1);
    EXPECT_NE(Refusal(shorter), "accepted");
    EXPECT_EQ(Refusal({}), "not a dive store");
}

TEST(DiveStoreFormat, ConsistentChecksumDoesNotMakeNonsenseAcceptable) {
    const std::vector<uint8_t> good = store::encode(Sample(2));
    auto patched = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> b = good;
        b[at] = value;
        return WithCrc(b);
    };
    EXPECT_EQ(Refusal(patched(8, 2)), "unknown format version 2");
    EXPECT_EQ(Refusal(patched(9, 3)), "bad family code 3");
    EXPECT_EQ(Refusal(patched(10, 0x77)), "identity and header image disagree");
    EXPECT_EQ(Refusal(patched(166, 83)), "dive 0 does not fit the family");
    std::vector<uint8_t> trailing = good;
    trailing.insert(trailing.end() - 4, 0);
    EXPECT_EQ(Refusal(WithCrc(trailing)), "trailing bytes");
    // A family 2 dive list in a family 1 store.
    store::StoredComputer mixed = Sample(2);
    mixed.family = DataFamily::Family1;
    mixed.identity = store::identityOf(DataFamily::Family1, mixed.header);
    EXPECT_EQ(Refusal(store::encode(mixed)), "dive 0 does not fit the family");
}

TEST(DiveStoreKey, ModelAndSerialNumberNameTheFile) {
    HeaderImage h{};
    h[0x28] = 15;
    h[0x2A] = 0x0C;
    h[0x2B] = 0x16;
    h[0x2C] = 0x22;
    h[0x2D] = 0x4F;
    EXPECT_EQ(store::fileName(DataFamily::Family2, h), "t2-m15-0C16224F.dives");
    EXPECT_EQ(store::pathIn("/s", DataFamily::Family3, h), "/s/t4-m15-0C16224F.dives");
    EXPECT_EQ(store::pathIn("/s/", DataFamily::Family3, h), "/s/t4-m15-0C16224F.dives");
}

TEST(DiveStoreKey, SameComputerNeedsFamilyIdentityAndSerial) {
    const store::StoredComputer c = Sample(2);
    EXPECT_TRUE(store::sameComputer(c, DataFamily::Family2, c.header));
    EXPECT_FALSE(store::sameComputer(c, DataFamily::Family3, c.header));
    for (int at : {0x28, 0x29, 0x2A, 0x2D, 0x81, 0x82}) {
        HeaderImage other = c.header;
        other[at] ^= 1;
        EXPECT_FALSE(store::sameComputer(c, DataFamily::Family2, other)) << "offset " << at;
    }
    // Settings and totals change between downloads of the same computer.
    HeaderImage later = c.header;
    later[0x22] ^= 0xFF;
    later[0x84] ^= 0xFF;
    EXPECT_TRUE(store::sameComputer(c, DataFamily::Family2, later));
}

TEST(DiveStoreFiles, SaveCreatesTheFolderAndLoadReadsItBack) {
    ScratchDir dir;
    const store::StoredComputer c = Sample(1);
    const std::string folder = dir.file("a/b");
    ASSERT_EQ(store::save(folder, c), "");
    const store::LoadResult r = store::load(store::pathIn(folder, DataFamily::Family1, c.header));
    ASSERT_EQ(r.status, store::LoadResult::Loaded) << r.why;
    EXPECT_EQ(r.computer, c);
    // Replaced as a whole: no temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);

    EXPECT_EQ(store::load(dir.file("none.dives")).status, store::LoadResult::Absent);
    const store::LoadResult folderAsFile = store::load(folder);
    EXPECT_EQ(folderAsFile.status, store::LoadResult::Refused);
    ScratchDir::write(dir.file("plain"), "x");
    EXPECT_NE(store::save(dir.file("plain"), c), "");
    EXPECT_NE(store::save("", c), "");
}

std::string PortsRefusal(const std::string& text) {
    store::PortTypes types;
    std::string why;
    return store::decodePortTypes(text, types, why) ? std::string("accepted") : why;
}

TEST(PortTypes, LatestFindFirstOnePerPortAndABoundedList) {
    store::PortTypes t;
    EXPECT_TRUE(t.found("/dev/ttyUSB0", 3));
    EXPECT_TRUE(t.found("COM 4", 2));
    EXPECT_TRUE(t.found("/dev/ttyUSB0", 1));
    EXPECT_EQ(t.entries(),
              (std::vector<std::pair<std::string, int>>{{"/dev/ttyUSB0", 1}, {"COM 4", 2}}));
    EXPECT_EQ(t.on("COM 4"), 2);
    EXPECT_EQ(t.on("COM4"), std::nullopt);
    // Names a line cannot hold change nothing.
    for (const std::string& bad : {std::string(), std::string("a\nb"), std::string("a\rb"),
                                   std::string("a\0b", 3), std::string(1025, 'p')})
        EXPECT_FALSE(t.found(bad, 2));
    EXPECT_TRUE(t.found(std::string(1024, 'p'), 2));
    for (int i = 0; i < 40; ++i) t.found("port" + std::to_string(i), 2);
    ASSERT_EQ(t.entries().size(), store::MaxPorts);
    EXPECT_EQ(t.entries().front().first, "port39");
    EXPECT_EQ(t.on("port7"), std::nullopt);  // found longest ago: dropped

    store::PortTypes back;
    std::string why;
    ASSERT_TRUE(store::decodePortTypes(store::encodePortTypes(t), back, why)) << why;
    EXPECT_EQ(back, t);
}

TEST(PortTypes, FormatIsTheDocumentedOneAndDamageIsRefused) {
    store::PortTypes t;
    t.found("/dev/ttyS0", 2);
    t.found("\\\\.\\COM3", 3);
    EXPECT_EQ(store::encodePortTypes(t), "TLVKPORTS 1\n3 \\\\.\\COM3\n2 /dev/ttyS0\n");
    // Edited on Windows: CR LF line ends; a port listed twice keeps its first line.
    store::PortTypes edited;
    std::string why;
    ASSERT_TRUE(store::decodePortTypes("TLVKPORTS 1\r\n2 a b\r\n3 a b\r\n", edited, why));
    EXPECT_EQ(edited.on("a b"), 2);
    EXPECT_EQ(PortsRefusal("TLVKPORTS 1\n"), "accepted");

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"", "not a list of ports"},
        {"TLVKPORTS 2\n3 a\n", "not a list of ports"},
        {"TLVKPORTS 1\n3 a", "the last line has no end"},
        {"TLVKPORTS 1\n\n", "line 2 is damaged"},
        {"TLVKPORTS 1\n3\n", "line 2 is damaged"},
        {"TLVKPORTS 1\n3 \n", "line 2 is damaged"},
        {"TLVKPORTS 1\n2 a\n0 b\n", "line 3 is damaged"},
        {"TLVKPORTS 1\n03 a\n", "line 2 is damaged"},
        {"TLVKPORTS 1\n1000 a\n", "line 2 is damaged"},
        {"TLVKPORTS 1\n-3 a\n", "line 2 is damaged"},
        {"TLVKPORTS 1\n3\ta\n", "line 2 is damaged"},
        {std::string("TLVKPORTS 1\n3 a\0b\n", 18), "line 2 is damaged"},
    };
    for (const auto& [text, why] : refused) EXPECT_EQ(PortsRefusal(text), why) << text;
    std::string many = "TLVKPORTS 1\n";
    for (size_t i = 0; i <= store::MaxPorts; ++i) many += "2 p" + std::to_string(i) + "\n";
    EXPECT_EQ(PortsRefusal(many), "too many ports");
}

TEST(PortTypes, SavedInTheFolderAndReadWithinItsBound) {
    ScratchDir dir;
    store::PortTypes t;
    t.found("/dev/ttyUSB0", 3);
    const std::string folder = dir.file("a/b");
    ASSERT_EQ(store::savePortTypes(folder, t), "");
    const std::string path = store::portTypesPath(folder + "/");
    EXPECT_EQ(path, folder + "/ports.txt");
    store::PortTypesLoad r = store::loadPortTypes(path);
    ASSERT_EQ(r.status, store::PortTypesLoad::Loaded) << r.why;
    EXPECT_EQ(r.types, t);
    EXPECT_EQ(dir.entries("a/b"), std::vector<std::string>{"ports.txt"});

    EXPECT_EQ(store::loadPortTypes(dir.file("none")).status, store::PortTypesLoad::Absent);
    ScratchDir::write(path, "TLVKPORTS 1\n" + std::string(64 << 10, 'x'));
    r = store::loadPortTypes(path);
    EXPECT_EQ(r.status, store::PortTypesLoad::Refused);
    EXPECT_EQ(r.why, "larger than any list of ports");
}

}  // namespace

}  // namespace talvek
