#include "cli/ReplyFormat.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

TDEVICE_INFO1 Reply(const std::string& ip, const std::string& info) {
    TDEVICE_INFO1 reply;
    reply.IP = ip;
    reply.Port = "6001";
    reply.Info = info;
    return reply;
}

} // namespace

TEST(TextReply, LinesAlignedUnderTheFirstAndNoControlCharacterReachesTheTerminal) {
    const std::string indent(kTextReplyColumn, ' ');
    EXPECT_EQ(TextReply(Reply("255.255.255.255", "abc")), "255.255.255.255  abc\n");
    // CR LF ends a line; a final line feed starts no further line.
    EXPECT_EQ(TextReply(Reply("10.0.0.1", Utf8ToGbk("型号: X3\r\n固件: 2.1\n"))),
              "10.0.0.1         型号: X3\n" + indent + "固件: 2.1\n");
    EXPECT_EQ(TextReply(Reply("10.0.0.1", "\n")), "10.0.0.1\n");
    const char raw[] = "a\x1b]0;x\x07 b\rd\x7f\te";
    EXPECT_EQ(TextReply(Reply("1.2.3.4", raw)),
              "1.2.3.4          a\\x1b]0;x\\x07 b\\x0dd\\x7f\te\n");
}

TEST(TsvReply, BackslashesAreEscapedToo) {
    EXPECT_EQ(TsvReply(Reply("1.2.3.4", "C:\\dev\\n")), "1.2.3.4\t6001\tC:\\\\dev\\\\n\n");
}

// No reply can retitle the terminal or clear the screen through a tsv field.
TEST(TsvReply, EveryOtherControlByteAndDelAreShownAsHex) {
    EXPECT_EQ(TsvField("a\x1b]0;x\x07 \x1b[2J\x7f\x01\x1f~"),
              "a\\x1b]0;x\\x07 \\x1b[2J\\x7f\\x01\\x1f~");
    EXPECT_EQ(TsvField(std::string("\t\r\n\0\\", 5)), "\\t\\r\\n\\0\\\\");
}

TEST(JsonReply, EveryControlCharacterQuoteAndBackslashIsEscaped) {
    std::string controls;
    for (int c = 0; c < 0x20; ++c)
        controls += static_cast<char>(c);
    EXPECT_EQ(JsonString(controls + "\"\\\x7f/é"),
              "\"\\u0000\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r"
              "\\u000e\\u000f\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018"
              "\\u0019\\u001a\\u001b\\u001c\\u001d\\u001e\\u001f\\\"\\\\\x7f/é\"");
}

TEST(HexBytes, EveryByteValueAsTwoLowerCaseDigits) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string hex = HexBytes(all);
    ASSERT_EQ(hex.size(), 512u);
    EXPECT_EQ(hex.substr(0x7e * 2, 8), "7e7f8081");
    EXPECT_EQ(hex.substr(508), "feff");
}
