#include "net/IdException.h"
#include "net/IdSocketList.h"

#include <gtest/gtest.h>

TEST(SocketList, HoldsSixtyFourAndRefusesTheNext) {
    TIdSocketListWindows set;
    for (int i = 0; i < 64; ++i)
        set.Add(1000 + i);
    EXPECT_EQ(set.Count(), 64);
    EXPECT_THROW(set.Add(2000), EIdStackSetSizeExceeded);
    EXPECT_EQ(set.Count(), 64);
    EXPECT_EQ(set.Items(63), 1063);
}

TEST(SocketList, RemovingMovesTheLastIntoTheGap) {
    TIdSocketListWindows set;
    set.Add(7);
    set.Add(8);
    set.Add(9);
    set.Remove(7);
    EXPECT_EQ(set.Count(), 2);
    EXPECT_EQ(set.Items(0), 9);
    EXPECT_EQ(set.Items(1), 8);
    set.Remove(42);
    EXPECT_EQ(set.Count(), 2);
    EXPECT_THROW(set.Items(2), EIdStackSetSizeExceeded);
    EXPECT_THROW(set.Items(-1), EIdStackSetSizeExceeded);
}

TEST(SocketList, EmptySetIsNeverReadable) {
    TIdSocketListWindows set;
    EXPECT_FALSE(set.SelectRead(1000));
}
