#include "discovery/Probe.h"
#include "discovery/Util.h"

#include <gtest/gtest.h>

TEST(Probe, IsTheTwentyTwoBytesOfTheQuestion) {
    const std::vector<std::uint8_t> expected = {0x7E, 0x77, 0x68, 0x6F, 0x20, 0x68, 0x61, 0x73,
                                                0x20, 0x76, 0x6F, 0x69, 0x70, 0x20, 0x64, 0x65,
                                                0x76, 0x69, 0x63, 0x65, 0x3F, 0x7E};
    const auto probe = PrepareProbe();
    EXPECT_EQ(probe, expected);
    EXPECT_EQ(std::string(probe.begin(), probe.end()), "~who has voip device?~");
}

TEST(Probe, OddDigitCountDropsTheLastDigit) {
    EXPECT_EQ(PrepareProbe(std::string(ProbeText) + "7").size(), 22u);
    EXPECT_TRUE(PrepareProbe("").empty());
    EXPECT_EQ(PrepareProbe("f"), std::vector<std::uint8_t>{});
}

TEST(HexTextToInteger, TrimsFoldsCaseAndTreatsStrangersAsZero) {
    EXPECT_EQ(HexTextToInteger("7e"), 126);
    EXPECT_EQ(HexTextToInteger("7E"), 126);
    EXPECT_EQ(HexTextToInteger(" 7e "), 126);
    EXPECT_EQ(HexTextToInteger("\t7e\r\n"), 126);
    EXPECT_EQ(HexTextToInteger("zz"), 0);
    EXPECT_EQ(HexTextToInteger(""), 0);
    EXPECT_EQ(HexTextToInteger("   "), 0);
    EXPECT_EQ(HexTextToInteger("1G"), 16);
    EXPECT_EQ(HexTextToInteger("aa"), 170);
}

TEST(HexTextToInteger, WrapsAtThirtyTwoBits) {
    EXPECT_EQ(HexTextToInteger("FFFFFFFF"), -1);
    EXPECT_EQ(HexTextToInteger("100000000"), 0);
    EXPECT_EQ(HexTextToInteger("7FFFFFFF"), 0x7FFFFFFF);
}

TEST(HexDigitValue, CoversBothCasesAndNothingElse) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('A'), 10);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('g'), 0);
    EXPECT_EQ(HexDigitValue('G'), 0);
    EXPECT_EQ(HexDigitValue('{'), 0);
    EXPECT_EQ(HexDigitValue('\xC1'), 0);
    EXPECT_EQ(HexDigitValue('\0'), 0);
}

TEST(IntPower, EdgesAndWrapping) {
    EXPECT_EQ(IntPower(16, 0), 1);
    EXPECT_EQ(IntPower(16, -1), 1);
    EXPECT_EQ(IntPower(16, 3), 4096);
    EXPECT_EQ(IntPower(2, 31), INT32_MIN);
    EXPECT_EQ(IntPower(2, 32), 0);
    EXPECT_EQ(IntPower(-3, 3), -27);
}
