#include "dc/profile/profile_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace talvek {

namespace {

DivePtr MakeDive(const std::vector<uint8_t>& bytes, uint8_t tempInterval, uint16_t firstBlock,
                 bool pressure = false, uint8_t sampleInterval = 20) {
    DivePtr d(new DiveRecord);
    d->setProfile(bytes.data(), static_cast<uint32_t>(bytes.size()));
    d->temperatureInterval = tempInterval;
    d->firstEventBlock = firstBlock;
    d->pressureSamples = pressure ? 1 : 0;
    d->sampleInterval = sampleInterval;
    return d;
}

}  // namespace

TEST(ProfileDecoder, FourBytesAreTooFewForASampleWithTemperature) {
    ProfileDecoder p(MakeDive({1, 0, 2, 0}, 1, 0xFFFF));
    EXPECT_FALSE(p.next());
    EXPECT_TRUE(p.atEnd());
    EXPECT_EQ(p.bytesConsumed(), 0u);
    EXPECT_EQ(p.time(true), 20u);  // the time step is taken before the check
}

TEST(ProfileDecoder, TemperatureEveryNthSample) {
    ProfileDecoder p(MakeDive({0x10, 0x00, 0x20, 0x15, 0x00, 0x00, 0x00, 0x00}, 2, 0xFFFF));
    ASSERT_TRUE(p.next());
    EXPECT_FALSE(p.eventsPending());
    EXPECT_EQ(p.depth(), 16);
    EXPECT_TRUE(p.hasTemperature());
    EXPECT_EQ(p.temperature(), 0x20);
    EXPECT_EQ(p.time(false), 0u);
    ASSERT_TRUE(p.next());
    EXPECT_EQ(p.depth(), 21);
    EXPECT_FALSE(p.hasTemperature());
    EXPECT_EQ(p.time(false), 20u);
    EXPECT_FALSE(p.next());  // due again: needs 5, finds 3
    EXPECT_TRUE(p.atEnd());
    EXPECT_EQ(p.time(true), 60u);
}

TEST(ProfileDecoder, TemperatureIntervalZeroOnlyAtFirstSample) {
    ProfileDecoder p(MakeDive({1, 0, 0xFE, 2, 0, 3, 0, 0, 0, 0, 0}, 0, 0xFFFF));
    ASSERT_TRUE(p.next());
    EXPECT_TRUE(p.hasTemperature());
    EXPECT_EQ(p.temperature(), -2);
    ASSERT_TRUE(p.next());
    EXPECT_FALSE(p.hasTemperature());
    ASSERT_TRUE(p.next());
    EXPECT_FALSE(p.hasTemperature());
    EXPECT_EQ(p.depth(), 3);
}

TEST(ProfileDecoder, PressureSamples) {
    // depth 100, pressure 2000, temp 25; depth 200, pressure 1950, temp 24 (interval 1)
    ProfileDecoder p(
        MakeDive({100, 0, 0xD0, 0x07, 25, 200, 0, 0x9E, 0x07, 24, 0, 0, 0, 0, 0}, 1, 0xFFFF, true));
    ASSERT_TRUE(p.next());
    EXPECT_TRUE(p.hasPressure());
    EXPECT_EQ(p.pressure(), 200);
    ASSERT_TRUE(p.next());
    EXPECT_EQ(p.pressure(), 195);
    EXPECT_EQ(p.temperature(), 24);
    ASSERT_TRUE(p.next());  // 5 bytes of zeros
    EXPECT_EQ(p.pressure(), 0);
    EXPECT_EQ(p.startPressure(), 200);
    EXPECT_EQ(p.endPressure(), 0);
    EXPECT_FALSE(p.next());
    EXPECT_TRUE(p.atEnd());
}

TEST(ProfileDecoder, BlockOfOnlyTheEndRecordSumsTheIndex) {
    ProfileDecoder p(MakeDive({1, 5, 0, 7, 0}, 1, 0));
    ASSERT_TRUE(p.next());
    EXPECT_TRUE(p.eventsPending());
    EXPECT_EQ(p.nextBlockIndex(), 12);
    EXPECT_TRUE(p.eventsPending());
    EXPECT_EQ(p.nextEvent(), nullptr);
    EXPECT_FALSE(p.eventsPending());

    // The sum is 16-bit: 0xFFF0 + 0x0020 = 0x0010.
    ProfileDecoder q(MakeDive({1, 0xF0, 0xFF, 0x20, 0x00}, 1, 0));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.nextBlockIndex(), 0x10);
}

TEST(ProfileDecoder, EveryRecordTypeAndTheTimeOfThePreviousSample) {
    std::vector<uint8_t> bytes = {10, 0,    30,                // sample 0 (temp)
                                  11, 0,                       // sample 1
                                  2,  0xA1, 0xA2,              // surface
                                  3,  0xB1, 0xB2,              // code
                                  9,                           // unknown, skipped
                                  4,  0xC1, 0xC2, 0x34, 0x12,  // heading
                                  5,  0xD1, 0xD2,              // gas
                                  0,                           // unknown, skipped
                                  1,  4,    0,    0,    0,     // end, next block at 4
                                  12, 0,    13,   0,    0,    0, 0, 0};
    ProfileDecoder p(MakeDive(bytes, 2, 2, false, 10));
    ASSERT_TRUE(p.next());
    ASSERT_TRUE(p.next());
    ASSERT_TRUE(p.next());
    ASSERT_TRUE(p.eventsPending());
    std::vector<ProfileDecoder::Event> ev;
    while (const ProfileDecoder::Event* e = p.nextEvent()) ev.push_back(*e);
    p.clearEvents();
    EXPECT_FALSE(p.eventsPending());
    ASSERT_EQ(ev.size(), 4u);
    auto check = [](const ProfileDecoder::Event& e, int type, int d1, int d2, int d3, int d4,
                    int word) {
        EXPECT_EQ(e.type, type);
        EXPECT_EQ(e.data1, d1);
        EXPECT_EQ(e.data2, d2);
        EXPECT_EQ(e.data3, d3);
        EXPECT_EQ(e.data4, d4);
        EXPECT_EQ(e.word, word);
        EXPECT_EQ(e.time, 10u);  // time of sample 1
    };
    check(ev[0], 2, 0, 0xA1, 0, 0xA2, 0);
    check(ev[1], 3, 0xB1, 0, 0, 0xB2, 0);
    check(ev[2], 4, 0, 0xC1, 0, 0xC2, 0x1234);
    check(ev[3], 5, 0, 0, 0xD1, 0xD2, 0);
    EXPECT_EQ(p.nextBlockIndex(), 4);
    ASSERT_TRUE(p.next());  // sample 2: temperature due
    EXPECT_EQ(p.depth(), 12);
    EXPECT_TRUE(p.hasTemperature());
    EXPECT_EQ(p.temperature(), 13);
    EXPECT_EQ(p.time(false), 20u);
    ASSERT_TRUE(p.next());  // sample 3
    EXPECT_EQ(p.depth(), 0);
    EXPECT_FALSE(p.next());  // block at 4: nothing left
    EXPECT_FALSE(p.atEnd());
    EXPECT_EQ(p.bytesConsumed(), bytes.size());
}

// Cutting a sample anywhere before its last byte ends the iteration at that
// sample without reading past the profile.
TEST(ProfileDecoder, TruncatedSampleAtEveryPosition) {
    const std::vector<uint8_t> full = {0x10, 0x00, 0xE8, 0x03, 0x15};  // depth, pressure, temp
    for (size_t n = 0; n <= full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
        ProfileDecoder p(MakeDive(cut, 1, 0xFFFF, true));
        bool ok = p.next();
        EXPECT_EQ(ok, n == full.size()) << n;
        EXPECT_EQ(p.atEnd(), !ok) << n;
        EXPECT_EQ(p.bytesConsumed(), ok ? 5u : 0u) << n;
    }
}

// Cutting any record of a block after its type byte makes the block end with
// false, keeping the complete records before it.
TEST(ProfileDecoder, TruncatedEventRecordsAtEveryPosition) {
    const std::vector<std::vector<uint8_t>> records = {
        {2, 1, 2}, {3, 1, 2}, {4, 1, 2, 3, 4}, {5, 1, 2}, {1, 9, 0, 1, 0}};
    for (const auto& rec : records) {
        for (size_t n = 1; n < rec.size(); ++n) {
            std::vector<uint8_t> bytes = {3, 7, 8};  // one complete code event first
            bytes.insert(bytes.end(), rec.begin(), rec.begin() + static_cast<long>(n));
            ProfileDecoder p(MakeDive(bytes, 1, 0));
            EXPECT_FALSE(p.next()) << int{rec[0]} << " cut at " << n;
            EXPECT_FALSE(p.atEnd());
            EXPECT_EQ(p.bytesConsumed(), 4u);  // the type byte is consumed, the payload not
            const ProfileDecoder::Event* e = p.nextEvent();
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->data1, 7);
            EXPECT_EQ(p.nextEvent(), nullptr);
        }
    }
}

TEST(ProfileDecoder, UnknownTypesAreSkippedByteByByte) {
    // 9 is skipped; the following 2 is read as the next type byte.
    ProfileDecoder p(MakeDive({9, 2, 5, 6, 1, 0, 0, 0, 0}, 1, 0));
    ASSERT_TRUE(p.next());
    const ProfileDecoder::Event* e = p.nextEvent();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, 2);
    EXPECT_EQ(e->data2, 5);
    EXPECT_EQ(e->data4, 6);

    // A block of unknown bytes only runs out with nothing pending.
    ProfileDecoder q(MakeDive({0, 7, 200}, 1, 0));
    EXPECT_FALSE(q.next());
    EXPECT_FALSE(q.eventsPending());
    EXPECT_FALSE(q.atEnd());
}

TEST(ProfileDecoder, EmptyProfileAndSharedOwnership) {
    ProfileDecoder* p;
    {
        DivePtr d = MakeDive({1, 0, 2, 0, 3}, 1, 0xFFFF);
        p = new ProfileDecoder(d);
    }  // the iterator keeps the record alive
    ASSERT_TRUE(p->next());
    EXPECT_EQ(p->depth(), 1);
    delete p;

    DivePtr empty(new DiveRecord);  // block index 0: an empty block
    ProfileDecoder q(empty);
    EXPECT_FALSE(q.next());
    EXPECT_FALSE(q.atEnd());
    empty->firstEventBlock = 0xFFFF;  // no block: the sample read fails
    ProfileDecoder r(empty);
    EXPECT_FALSE(r.next());
    EXPECT_TRUE(r.atEnd());
}

}  // namespace talvek
