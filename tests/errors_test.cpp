#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "device/errors.h"

namespace {

TEST(ErrorTable, HasTwentySixRowsAndTheCodesOfEachClass) {
    static_assert(sAPI::ErrorTableSize == 26);
    EXPECT_STREQ(sAPI::ErrorTable[1], L"Unknown or System Error");
    EXPECT_STREQ(sAPI::ErrorTable[11], L"Expected Metric, Imperial or Scientific");
    EXPECT_STREQ(sAPI::ErrorTable[17], L"The Interface Was Not Detected");
    EXPECT_STREQ(sAPI::ErrorTable[25], L"Canceled");

    EXPECT_STREQ(sAPI::Error(18).what(), L"Device Timed Out");
    EXPECT_EQ(sAPI::Error(18).code(), 18);
    EXPECT_STREQ(sAPI::CriticalError(L"x").what(), L"x");
    EXPECT_EQ(sAPI::CriticalError(11).code(), 2);
    EXPECT_STREQ(sAPI::CommError(15).what(), L"Error on Read");
    EXPECT_STREQ(sAPI::CommError(9, L"Write: Data returned did not match sent").what(),
                 L"Write: Data returned did not match sent");
    EXPECT_EQ(sAPI::CommError(9, L"w").code(), 9);
    EXPECT_STREQ(sAPI::StackEmpty().what(), L"Stack Underflow");
    EXPECT_EQ(sAPI::StackEmpty().code(), 19);
    EXPECT_STREQ(sAPI::StackError(20).what(), L"Stack Overflow");
    EXPECT_STREQ(sAPI::Device_Not_Present(L"none").what(), L"none");
    EXPECT_EQ(sAPI::Device_Not_Present(L"none").code(), 17);
    EXPECT_STREQ(sAPI::BadDiveFormat().what(), L"Bad Format Returned");
    EXPECT_EQ(sAPI::BadDiveFormat().code(), 3);
    EXPECT_STREQ(sAPI::MemoryRangeError().what(), L"Address Out of Range");
    EXPECT_EQ(sAPI::MemoryRangeError().code(), 23);
    EXPECT_STREQ(sAPI::BadInstruction(7).what(), L"Bad Read Parameter");
    EXPECT_EQ(sAPI::BadInstruction(6).code(), 6);
}

TEST(ErrorClasses, CaughtThroughTheirBases) {
    try {
        throw sAPI::CommError(18);
    } catch (const w_std::runtime_error& e) {
        EXPECT_STREQ(e.what(), L"Device Timed Out");
        const sAPI::Error* err = dynamic_cast<const sAPI::Error*>(&e);
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(err->code(), 18);
    }
    try {
        throw sAPI::StackEmpty();
    } catch (const sAPI::StackError& e) {
        EXPECT_EQ(e.code(), 19);
    }
    try {
        throw sAPI::User_Cancel();
    } catch (const w_std::exception& e) {
        EXPECT_STREQ(e.what(), L"Canceled");
    }
}

TEST(UnknownError, KeepsSeventyCharactersAndAppendsTheSystemError) {
    errno = 5;
    sAPI::UnknownError shortText(L"SetRTS");
    EXPECT_STREQ(shortText.what(), L"SetRTS : 5");
    EXPECT_EQ(shortText.code(), 1);
    EXPECT_EQ(shortText.length(), 6);

    const std::wstring eighty = std::wstring(70, L'a') + std::wstring(10, L'b');
    errno = 13;
    sAPI::UnknownError cut(eighty.c_str());
    errno = 0;  // captured at construction, not when the message is read
    EXPECT_EQ(std::wstring(cut.what()), std::wstring(70, L'a') + L" : 13");
    EXPECT_EQ(cut.length(), 70);

    sAPI::UnknownError negative(L"x", -2147483647 - 1);
    EXPECT_STREQ(negative.what(), L"x : -2147483648");
}

TEST(UnknownError, CopiesOwnTheirText) {
    sAPI::UnknownError* original = new sAPI::UnknownError(L"SetDTR", 2);
    sAPI::UnknownError copy(*original);
    sAPI::UnknownError assigned(L"other", 1);
    assigned = *original;
    delete original;  // the copies must not point into the freed object
    EXPECT_STREQ(copy.what(), L"SetDTR : 2");
    EXPECT_STREQ(assigned.what(), L"SetDTR : 2");
    try {
        throw copy;
    } catch (const sAPI::Error& e) {
        EXPECT_STREQ(e.what(), L"SetDTR : 2");
        EXPECT_EQ(e.code(), 1);
    }
}

}  // namespace
