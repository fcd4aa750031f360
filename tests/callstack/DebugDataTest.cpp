#include "TestDebugData.h"

#include "callstack/DebugDataFormat.h"

TEST(DebugData, ReadsTheBlockAndRejectsDamagedOnes) {
    const std::string raw = TestBlockBytes();
    ASSERT_TRUE(TDebugData::FromBytes(raw));
    EXPECT_GT(TDebugData::FromBytes(raw)->ProcedureCount(), 100u);
    std::string badMagic = raw, badCount = raw;
    badMagic[0] ^= 1;
    badCount[12] = '\xFF', badCount[15] = '\x7F'; // procedure count far past the end
    const std::string damaged[] = {"",
                                   badMagic,
                                   badCount,
                                   raw.substr(0, DebugDataFormat::HeaderSize),
                                   raw.substr(0, raw.size() / 2),
                                   raw.substr(0, raw.size() - 1)};
    for (const std::string& bytes : damaged)
        EXPECT_FALSE(TDebugData::FromBytes(bytes)) << bytes.size();
}

TEST(DebugData, AnAddressOutsideEveryProcedureHasNoName) {
    const TDebugData& data = TestDebugData();
    EXPECT_FALSE(data.Find(0));
    EXPECT_FALSE(data.Find(~std::uint64_t(0)));
}
