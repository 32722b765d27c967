#include "device/stack.h"

#include <gtest/gtest.h>

#include "device/errors.h"

TEST(Stack, LastPushedComesFirstAndCountsFollow) {
    sAPI::Stack s(4);
    EXPECT_TRUE(s.Empty());
    s.Push(1);
    s.Push(2);
    s.Push(3);
    EXPECT_EQ(s.Count(), 3u);
    EXPECT_EQ(s.Pop(), 3);
    EXPECT_EQ(s.Pop(), 2);
    s.Push(9);
    EXPECT_EQ(s.Pop(), 9);
    EXPECT_EQ(s.Pop(), 1);
    EXPECT_TRUE(s.Empty());
}

TEST(Stack, HoldsExactlyItsCapacityThenOverflowsWithCode20) {
    sAPI::Stack s(200);
    for (int i = 0; i < 200; ++i) s.Push(static_cast<uint8_t>(i));
    EXPECT_EQ(s.Count(), 200u);
    try {
        s.Push(0xAA);
        FAIL() << "push onto a full stack must throw";
    } catch (const sAPI::StackEmpty&) {
        FAIL() << "overflow is not an underflow";
    } catch (const sAPI::StackError& e) {
        EXPECT_EQ(e.code(), 20);
        EXPECT_STREQ(e.what(), L"Stack Overflow");
    }
    // The failed push changed nothing.
    EXPECT_EQ(s.Count(), 200u);
    for (int i = 199; i >= 0; --i) EXPECT_EQ(s.Pop(), i);
}

TEST(Stack, PopOnEmptyThrowsStackEmptyCode19AndResetEmpties) {
    sAPI::Stack s(3);
    try {
        s.Pop();
        FAIL() << "pop from an empty stack must throw";
    } catch (const sAPI::StackEmpty& e) {
        EXPECT_EQ(e.code(), 19);
        EXPECT_STREQ(e.what(), L"Stack Underflow");
    }
    s.Push(5);
    s.Push(6);
    s.Reset();
    EXPECT_TRUE(s.Empty());
    EXPECT_THROW(s.Pop(), sAPI::StackEmpty);
    // After a reset the whole capacity is available again.
    s.Push(1);
    s.Push(2);
    s.Push(3);
    EXPECT_THROW(s.Push(4), sAPI::StackError);
}

TEST(Stack, ZeroCapacityIsAlwaysFullAndEmpty) {
    sAPI::Stack s(0);
    EXPECT_THROW(s.Push(1), sAPI::StackError);
    EXPECT_THROW(s.Pop(), sAPI::StackEmpty);
}
