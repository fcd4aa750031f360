#include "ui/RowSplit.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using Fields = std::vector<std::string_view>;

TEST(SplitRow, DelimitersEndFieldsAndATrailingOneAddsNoEmptyField) {
    EXPECT_EQ(SplitRow("", ';'), Fields{});
    EXPECT_EQ(SplitRow(";", ';'), Fields{""});
    EXPECT_EQ(SplitRow("a;b", ';'), (Fields{"a", "b"}));
    EXPECT_EQ(SplitRow("a;;", ';'), (Fields{"a", ""}));
    EXPECT_EQ(SplitRow(";;", ';'), (Fields{"", ""}));
    EXPECT_EQ(SplitRow("abc", ';'), Fields{"abc"});
    EXPECT_EQ(SplitRow(";10.0.0.7;;;x;", ';'), (Fields{"", "10.0.0.7", "", "", "x"}));
}

TEST(SplitRow, EveryOtherByteIsFieldContent) {
    const std::string row("\r\nline1\nline2\0\xFF;\t ;", 18);
    const Fields fields = SplitRow(row, ';');
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0], std::string_view(row.data(), 15));
    EXPECT_EQ(fields[1], "\t ");
}

TEST(SplitRow, SplitsOnlyAtTheGivenDelimiter) {
    EXPECT_EQ(SplitRow("a;b|c", '|'), (Fields{"a;b", "c"}));
    // GBK text holds no ";" inside a character: "设备;名" in code page 936.
    EXPECT_EQ(SplitRow("\xC9\xE8\xB1\xB8;\xC3\xFB", ';'), (Fields{"\xC9\xE8\xB1\xB8", "\xC3\xFB"}));
    const std::string nul("a\0b", 3);
    EXPECT_EQ(SplitRow(nul, '\0'), (Fields{"a", "b"}));
}

TEST(SplitRow, ALimitLeavesTheRestInTheLastFieldWithoutTheFinalDelimiter) {
    const struct {
        const char* row;
        size_t limit;
        Fields fields;
    } cases[] = {
        {";1.2.3.4;;;Model X3;FW 2.1.7;", 5, {"", "1.2.3.4", "", "", "Model X3;FW 2.1.7"}},
        {";1.2.3.4;;;x;", 5, {"", "1.2.3.4", "", "", "x"}},
        {"a;b;;", 2, {"a", "b;"}},
        {"a;;;", 1, {"a;;"}},
        {"a;b;c", 2, {"a", "b;c"}},
        {"a;b;c", 0, {"a", "b", "c"}},
        {"", 1, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitRow(c.row, ';', c.limit), c.fields) << c.row << " / " << c.limit;
}

} // namespace
