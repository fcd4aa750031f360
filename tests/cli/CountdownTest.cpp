#include "cli/Countdown.h"

#include <gtest/gtest.h>

TEST(CountdownLine, StaysShortOfTheLastColumn) {
    const std::string what = "searching from 10.0.0.1, 10.0.0.2 port 60000";
    const std::string brief = "searching from 2 adapters port 60000";
    const struct {
        std::size_t columns;
        std::string line;
    } cases[] = {
        {80, what + ", 4 s left"},
        {what.size() + 11, what + ", 4 s left"},
        {what.size() + 10, brief + ", 4 s left"},
        {20, "searching from 2 ad"},
        {0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountdownLine(what, brief, 4, c.columns), c.line) << c.columns;
    EXPECT_EQ(CountdownLine(what, "", 4, 20), "searching from 10.0");
}
