#include "dc/base/byte_stack.h"

#include <gtest/gtest.h>

#include "dc/base/errors.h"

namespace talvek {

TEST(ByteStack, LastPushedComesFirstAndCountsFollow) {
    ByteStack s(4);
    EXPECT_TRUE(s.empty());
    s.push(1);
    s.push(2);
    s.push(3);
    EXPECT_EQ(s.count(), 3u);
    EXPECT_EQ(s.pop(), 3);
    EXPECT_EQ(s.pop(), 2);
    s.push(9);
    EXPECT_EQ(s.pop(), 9);
    EXPECT_EQ(s.pop(), 1);
    EXPECT_TRUE(s.empty());
}

TEST(ByteStack, HoldsExactlyItsCapacityThenOverflowsWithCode20) {
    ByteStack s(200);
    for (int i = 0; i < 200; ++i) s.push(static_cast<uint8_t>(i));
    EXPECT_EQ(s.count(), 200u);
    try {
        s.push(0xAA);
        FAIL() << "push onto a full stack must throw";
    } catch (const StackEmpty&) {
        FAIL() << "overflow is not an underflow";
    } catch (const StackError& e) {
        EXPECT_EQ(e.code(), 20);
        EXPECT_STREQ(e.what(), "Stack Overflow");
    }
    // The failed push changed nothing.
    EXPECT_EQ(s.count(), 200u);
    for (int i = 199; i >= 0; --i) EXPECT_EQ(s.pop(), i);
}

TEST(ByteStack, PopOnEmptyThrowsStackEmptyCode19AndResetEmpties) {
    ByteStack s(3);
    try {
        s.pop();
        FAIL() << "pop from an empty stack must throw";
    } catch (const StackEmpty& e) {
        EXPECT_EQ(e.code(), 19);
        EXPECT_STREQ(e.what(), "Stack Underflow");
    }
    s.push(5);
    s.push(6);
    s.reset();
    EXPECT_TRUE(s.empty());
    EXPECT_THROW(s.pop(), StackEmpty);
    // After a reset the whole capacity is available again.
    s.push(1);
    s.push(2);
    s.push(3);
    EXPECT_THROW(s.push(4), StackError);
}

TEST(ByteStack, ZeroCapacityIsAlwaysFullAndEmpty) {
    ByteStack s(0);
    EXPECT_THROW(s.push(1), StackError);
    EXPECT_THROW(s.pop(), StackEmpty);
}

}  // namespace talvek
