#include "discovery/ReplyTable.h"
#include "discovery/Util.h"
#include "platform/TickCount.h"

#include <gtest/gtest.h>

#include <thread>

TEST(ReplyTable, RecordsTheSenderAndTheBytesAndMakesTheRow) {
    TReplyTable table;
    const TDEVICE_INFO1* r = table.Record("192.168.1.20", 6001, "abc");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->IP, "192.168.1.20");
    EXPECT_EQ(r->Port, "6001");
    EXPECT_EQ(r->Info, "abc");
    EXPECT_EQ(RowText(*r), ";192.168.1.20;;;abc;");
    EXPECT_EQ(table.NextIndex(), 1);
    // Zero bytes and code page 936 bytes stay as they are.
    const std::string raw("x\0\xC9\xE8;", 5);
    EXPECT_EQ(RowText(*table.Record("10.0.0.1", 1, raw)), ";10.0.0.1;;;" + raw + ";");
}

TEST(ReplyTable, RowHeightFollowsTheTallestReplyOfTheSearch) {
    TReplyTable table;
    EXPECT_EQ(table.RowHeight(), 17);
    table.Record("10.0.0.1", 6001, "a\nb\nc\nd");
    EXPECT_EQ(table.RowHeight(), 68);
    table.Record("10.0.0.2", 6001, "one line");
    table.Record("10.0.0.3", 6001, "\n");
    EXPECT_EQ(table.MostLineFeeds(), 3);
    EXPECT_EQ(table.RowHeight(), 68);
    table.Reset();
    EXPECT_EQ(table.RowHeight(), 17);
    EXPECT_EQ(table.NextIndex(), 0);
    EXPECT_EQ(table[0].IP, "");
    EXPECT_EQ(table[0].Info, "");
}

TEST(ReplyTable, ReplyBeyondTheThousandthIsDropped) {
    TReplyTable table;
    for (int i = 0; i < TReplyTable::Capacity; ++i)
        ASSERT_NE(table.Record("10.0.0.1", 6001, std::to_string(i)), nullptr);
    EXPECT_EQ(table.Record("10.0.0.2", 6001, "late\n\n\n\n"), nullptr);
    EXPECT_EQ(table.NextIndex(), 1000);
    EXPECT_EQ(table[999].Info, "999");
    EXPECT_EQ(table.MostLineFeeds(), 0) << "a dropped reply changes nothing";
    table.Reset();
    EXPECT_NE(table.Record("10.0.0.2", 6001, "again"), nullptr);
}

TEST(WaitWithMessages, PumpsUntilMoreThanTheDurationHasPassed) {
    int pumps = 0;
    long longestLimit = 0;
    SetProcessMessagesHook([&](std::chrono::milliseconds limit) {
        ++pumps;
        longestLimit = std::max<long>(longestLimit, limit.count());
        std::this_thread::sleep_for(std::min(limit, std::chrono::milliseconds(10)));
    });
    const std::uint32_t start = GetTickCount();
    WaitWithMessages(100);
    const std::uint32_t elapsed = GetTickCount() - start;
    SetProcessMessagesHook(nullptr);
    EXPECT_GT(elapsed, 100u);
    EXPECT_GE(pumps, 5);
    EXPECT_LE(longestLimit, 101) << "never asked to block past the deadline";
}

TEST(WaitWithMessages, ZeroStillPumpsOnce) {
    int pumps = 0;
    SetProcessMessagesHook([&](std::chrono::milliseconds limit) {
        ++pumps;
        std::this_thread::sleep_for(limit);
    });
    WaitWithMessages(0);
    SetProcessMessagesHook(nullptr);
    EXPECT_GE(pumps, 1);
}
