#include <gtest/gtest.h>

#include "device/device.h"
#include "device/errors.h"

TEST(Errors, TableRowsAndCodes) {
    EXPECT_STREQ(sAPI::User_Cancel().what(), L"Canceled");
    EXPECT_EQ(sAPI::User_Cancel().code(), 9999);
    EXPECT_STREQ(sAPI::CriticalError(22).what(), L"No Comm Port Specified");
    EXPECT_EQ(sAPI::CriticalError(22).code(), 2);
    EXPECT_EQ(sAPI::Error(L"anything").code(), 3);
    EXPECT_STREQ(sAPI::ErrorTable[0], L"");
}
