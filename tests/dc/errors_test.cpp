#include "dc/base/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace talvek {

namespace {

TEST(ErrorTable, HasTwentySixRowsAndTheCodesOfEachClass) {
    static_assert(ErrorTableSize == 26);
    EXPECT_STREQ(ErrorTable[1], "Unknown or System Error");
    EXPECT_STREQ(ErrorTable[11], "Expected Metric, Imperial or Scientific");
    EXPECT_STREQ(ErrorTable[17], "The Interface Was Not Detected");
    EXPECT_STREQ(ErrorTable[25], "Canceled");

    EXPECT_STREQ(Error(ErrorCode::TimedOut).what(), "Device Timed Out");
    EXPECT_EQ(Error(ErrorCode::TimedOut).code(), 18);
    EXPECT_STREQ(CriticalError("x").what(), "x");
    EXPECT_EQ(CriticalError(ErrorCode::BadUnitSystem).code(), 2);
    EXPECT_STREQ(CommError(ErrorCode::ReadFailed).what(), "Error on Read");
    EXPECT_STREQ(
        CommError(ErrorCode::DataMismatch, "Write: Data returned did not match sent").what(),
        "Write: Data returned did not match sent");
    EXPECT_EQ(CommError(ErrorCode::DataMismatch, "w").code(), 9);
    EXPECT_STREQ(StackEmpty().what(), "Stack Underflow");
    EXPECT_EQ(StackEmpty().code(), 19);
    EXPECT_STREQ(StackError(ErrorCode::StackOverflow).what(), "Stack Overflow");
    EXPECT_STREQ(DeviceNotPresent("none").what(), "none");
    EXPECT_EQ(DeviceNotPresent("none").code(), 17);
    EXPECT_STREQ(BadDiveFormat().what(), "Bad Format Returned");
    EXPECT_EQ(BadDiveFormat().code(), 3);
    EXPECT_STREQ(MemoryRangeError().what(), "Address Out of Range");
    EXPECT_EQ(MemoryRangeError().code(), 23);
    EXPECT_STREQ(BadInstruction(ErrorCode::BadReadParameter).what(), "Bad Read Parameter");
    EXPECT_EQ(BadInstruction(ErrorCode::BadWriteParameter).code(), 6);
}

TEST(ErrorClasses, CaughtThroughTheirBases) {
    try {
        throw CommError(ErrorCode::TimedOut);
    } catch (const RuntimeError& e) {
        EXPECT_STREQ(e.what(), "Device Timed Out");
        const Error* err = dynamic_cast<const Error*>(&e);
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(err->code(), 18);
    }
    try {
        throw StackEmpty();
    } catch (const StackError& e) {
        EXPECT_EQ(e.code(), 19);
    }
    try {
        throw UserCancel();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Canceled");
    }
}

TEST(UnknownError, KeepsSeventyCharactersAndAppendsTheSystemError) {
    errno = 5;
    UnknownError shortText("SetRTS");
    EXPECT_STREQ(shortText.what(), "SetRTS : 5");
    EXPECT_EQ(shortText.code(), 1);
    EXPECT_EQ(shortText.length(), 6);

    const std::string eighty = std::string(70, 'a') + std::string(10, 'b');
    errno = 13;
    UnknownError cut(eighty.c_str());
    errno = 0;  // captured at construction, not when the message is read
    EXPECT_EQ(std::string(cut.what()), std::string(70, 'a') + " : 13");
    EXPECT_EQ(cut.length(), 70);

    UnknownError negative("x", -2147483647 - 1);
    EXPECT_STREQ(negative.what(), "x : -2147483648");
}

TEST(UnknownError, CopiesOwnTheirText) {
    UnknownError* original = new UnknownError("SetDTR", 2);
    UnknownError copy(*original);
    UnknownError assigned("other", 1);
    assigned = *original;
    delete original;  // the copies must not point into the freed object
    EXPECT_STREQ(copy.what(), "SetDTR : 2");
    EXPECT_STREQ(assigned.what(), "SetDTR : 2");
    try {
        throw copy;
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "SetDTR : 2");
        EXPECT_EQ(e.code(), 1);
    }
}

}  // namespace

}  // namespace talvek
