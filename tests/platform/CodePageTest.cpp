#include "platform/CodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, RoundTripsChineseText) {
    const std::string utf8 = "设备查找";
    const std::string gbk = Utf8ToGbk(utf8);
    EXPECT_EQ(gbk, "\xC9\xE8\xB1\xB8\xB2\xE9\xD5\xD2");
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
}

TEST(CodePage, InvalidBytesBecomeReplacementAndKeepTheRest) {
    // 0xFF is never a GBK lead byte; a lead byte at the end lacks its trail byte.
    EXPECT_EQ(GbkToUtf8(std::string("a\xFF"
                                    "b\xC9",
                                    4)),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(GbkToUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
}

TEST(CodePage, UnmappableCharacterBecomesOneQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80z"), "a?z"); // an emoji has no GBK form
    EXPECT_EQ(Utf8ToGbk("a\xC3z"), "a?z");             // a cut UTF-8 sequence
}
