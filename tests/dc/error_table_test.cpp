#include <gtest/gtest.h>

#include "dc/base/driver.h"
#include "dc/base/errors.h"

namespace talvek {

TEST(Errors, TableRowsAndCodes) {
    EXPECT_STREQ(UserCancel().what(), "Canceled");
    EXPECT_EQ(UserCancel().code(), 9999);
    EXPECT_STREQ(CriticalError(ErrorCode::NoPortSpecified).what(), "No Comm Port Specified");
    EXPECT_EQ(CriticalError(ErrorCode::NoPortSpecified).code(), 2);
    EXPECT_EQ(Error("anything").code(), 3);
    EXPECT_STREQ(ErrorTable[0], "");
}

}  // namespace talvek
