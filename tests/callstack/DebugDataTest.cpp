#include "TestDebugData.h"

#include "report/DebugDataFormat.h"

#include <zlib.h>

namespace {

std::string Inflated() {
    const std::string block = TestBlockBytes();
    std::string out(64 << 20, '\0');
    uLongf size = out.size();
    uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
               reinterpret_cast<const Bytef*>(block.data()), block.size());
    out.resize(size);
    return out;
}

} // namespace

TEST(DebugData, ReadsTheBlockStoredOrInflatedAndRejectsDamagedOnes) {
    const std::string block = TestBlockBytes(), raw = Inflated();
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
    EXPECT_FALSE(TDebugData::FromCompressed(block.substr(0, block.size() / 2)));
    EXPECT_FALSE(TDebugData::FromCompressed(raw));
}

TEST(DebugData, AnAddressOutsideEveryProcedureHasNoName) {
    const TDebugData& data = TestDebugData();
    EXPECT_FALSE(data.Find(0));
    EXPECT_FALSE(data.Find(~std::uint64_t(0)));
}
