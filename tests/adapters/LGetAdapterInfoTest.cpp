#include "adapters/LGetAdapterInfo.h"

#include "platform/Exception.h"
#include "platform/SysErrorMessage.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

// A zero-terminated text in a fixed field, cut to fit.
template <size_t N> void CopyText(std::array<char, N>& field, const char* text) {
    field.fill('\0');
    std::strncpy(field.data(), text, N - 1);
}

IpAddrString Entry(const char* address, const char* mask) {
    IpAddrString entry;
    CopyText(entry.ipAddress, address);
    CopyText(entry.ipMask, mask);
    return entry;
}

IpAdapterInfo Record(const char* description, std::vector<IpAddrString> addresses) {
    IpAdapterInfo record;
    CopyText(record.description, description);
    record.ipAddressList = std::move(addresses);
    return record;
}

// A platform call that holds fixed records and, like the system's, asks for
// more room when they do not fit. It notes every size it was offered.
struct FakeCall {
    std::vector<IpAdapterInfo> records;
    std::uint32_t code = kAdaptersOk;
    std::vector<std::uint32_t> offered;

    AdaptersInfoCall Call() {
        return [this](std::vector<IpAdapterInfo>& out, std::uint32_t& size) {
            offered.push_back(size);
            if (code != kAdaptersOk)
                return code;
            const auto needed = static_cast<std::uint32_t>(records.size()) * kAdapterRecordSize;
            if (needed > size) {
                size = needed;
                return kAdaptersBufferOverflow;
            }
            out = records;
            return kAdaptersOk;
        };
    }
};

std::vector<TAdapterInfo> Enumerate(std::vector<IpAdapterInfo> records) {
    FakeCall fake;
    fake.records = std::move(records);
    return EnumerateAdapters(fake.Call());
}

} // namespace

TEST(AdapterRecordParsing, OneAdapterWithOneAddress) {
    IpAdapterInfo record = Record("eth0 (e1000e)", {Entry("192.168.1.5", "255.255.255.0")});
    record.gatewayList = {Entry("192.168.1.1", "")};
    record.addressLength = 6;
    record.address = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    record.dhcpEnabled = 1;
    record.dhcpServer = Entry("192.168.1.1", "");

    const auto adapters = Enumerate({record});
    ASSERT_EQ(adapters.size(), 1u);
    const TAdapterInfo& a = adapters[0];
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(a.description, "eth0 (e1000e)");
    EXPECT_EQ(a.ipAddress, "192.168.1.5");
    EXPECT_EQ(a.mask, "255.255.255.0\r");
    EXPECT_EQ(a.gateway, "192.168.1.1");
    EXPECT_EQ(a.mac, "00-1A-2B-3C-4D-5E");
    EXPECT_TRUE(a.dhcpEnabled);
    EXPECT_EQ(a.dhcpServer, "192.168.1.1");
}

TEST(AdapterRecordParsing, AdaptersAreNumberedInTheSystemsOrder) {
    const auto adapters = Enumerate({Record("b", {Entry("0.0.0.0", "0.0.0.0")}),
                                     Record("a", {Entry("192.0.2.1", "255.255.255.0")}),
                                     Record("c", {Entry("198.51.100.1", "255.255.255.0")})});
    ASSERT_EQ(adapters.size(), 3u);
    EXPECT_EQ(adapters[0].id, 1);
    EXPECT_EQ(adapters[0].description, "b");
    EXPECT_EQ(adapters[0].ipAddress, "0.0.0.0");
    EXPECT_EQ(adapters[0].mask, "0.0.0.0\r");
    EXPECT_EQ(adapters[1].id, 2);
    EXPECT_EQ(adapters[2].id, 3);
    EXPECT_EQ(adapters[2].ipAddress, "198.51.100.1");
    // Nothing known: no gateway, no DHCP, no hardware address.
    EXPECT_EQ(adapters[0].gateway, "");
    EXPECT_FALSE(adapters[0].dhcpEnabled);
    EXPECT_EQ(adapters[0].dhcpServer, "");
    EXPECT_EQ(adapters[0].mac, "");
}

TEST(AdapterRecordParsing, SeveralAddressesGiveTheFirstAndTheRestOfTheText) {
    const auto adapters = Enumerate(
        {Record("eth0", {Entry("10.0.0.5", "255.0.0.0"), Entry("192.0.2.7", "255.255.255.0")})});
    EXPECT_EQ(adapters[0].ipAddress, "10.0.0.5");
    // The mask is everything after the first mask marker, later entries included.
    EXPECT_EQ(adapters[0].mask, "255.0.0.0\rA: 192.0.2.7 M: 255.255.255.0\r");
}

TEST(AdapterRecordParsing, TextsAreCutAtTheirFirstZeroByteOrTheirSize) {
    IpAdapterInfo record = Record("", {Entry("192.0.2.1", "255.255.255.0")});
    record.description.fill('D'); // no zero byte at all
    record.ipAddressList[0].ipAddress.fill('9');
    auto adapters = Enumerate({record});
    EXPECT_EQ(adapters[0].description, std::string(132, 'D'));
    EXPECT_EQ(adapters[0].ipAddress, std::string(16, '9'));

    std::memcpy(record.description.data(), "eth0\0tail", 9);
    adapters = Enumerate({record});
    EXPECT_EQ(adapters[0].description, "eth0");
}

TEST(MacText, PairsOfTheFirstCountBytes) {
    const std::array<std::uint8_t, 8> bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xF0, 0x0F};
    EXPECT_EQ(MacText(bytes, 0), "");
    EXPECT_EQ(MacText(bytes, 6), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(MacText(bytes, 8), "00-1A-2B-3C-4D-5E-F0-0F");
    EXPECT_EQ(MacText(bytes, 200), "00-1A-2B-3C-4D-5E-F0-0F"); // never past the 8 bytes
}

TEST(EnumerationBuffer, RecordsBeyondTheFirstBufferAreFetchedWithTheSizeAskedFor) {
    for (std::uint32_t count : {8u, 9u, 20u, 100u}) {
        FakeCall fake;
        for (std::uint32_t i = 0; i < count; ++i)
            fake.records.push_back(Record("vx", {Entry("192.0.2.1", "255.255.255.0")}));
        const auto adapters = EnumerateAdapters(fake.Call());
        ASSERT_EQ(adapters.size(), count);
        EXPECT_EQ(adapters.back().id, static_cast<int>(count));
        EXPECT_EQ(fake.offered.front(), 5120u);
        if (count > 8)
            EXPECT_EQ(fake.offered, (std::vector<std::uint32_t>{5120u, count * 640u}));
        else
            EXPECT_EQ(fake.offered.size(), 1u);
    }
}

TEST(EnumerationBuffer, ASizeThatKeepsGrowingEndsInTheOverflowError) {
    std::uint32_t calls = 0;
    const AdaptersInfoCall growing = [&](std::vector<IpAdapterInfo>&, std::uint32_t& size) {
        ++calls;
        size += kAdapterRecordSize;
        return kAdaptersBufferOverflow;
    };
    try {
        EnumerateAdapters(growing);
        FAIL() << "no error raised";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), 111);
    }
    EXPECT_GT(calls, 1u);
    EXPECT_LT(calls, 10u);
}

TEST(EnumerationFailure, NoAdapterRaisesSystemError232) {
    FakeCall noAdapter;
    noAdapter.code = kAdaptersNoData;
    FakeCall emptyList; // a call that succeeds with nothing is no adapter either
    for (FakeCall* fake : {&noAdapter, &emptyList}) {
        try {
            EnumerateAdapters(fake->Call());
            FAIL() << "no error raised";
        } catch (const EOSError& error) {
            EXPECT_EQ(error.ErrorCode(), 232);
            EXPECT_EQ(error.Message(), "System Error.  Code: 232.\r\n" + SysErrorMessage(232));
        }
    }
}
