#include "output/writer_table.h"

#include <gtest/gtest.h>

namespace talvek {

TEST(WriterTable, UnitSystemFromTheOptionsWord) {
    EXPECT_EQ(unitSystemOf(0x4620F), 0x40000);
    EXPECT_EQ(unitSystemOf(0x80000), 0x80000);
    EXPECT_EQ(unitSystemOf(0x20000), 0x20000);
    EXPECT_EQ(unitSystemOf(0), 0x20000);
    // Two systems at once is no system: imperial, as without one.
    EXPECT_EQ(unitSystemOf(0xC0000), 0x20000);
}

}  // namespace talvek
