#include "platform/AdapterRecord.h"

#include <gtest/gtest.h>

namespace {

std::string Text(const std::array<char, kAddressTextSize>& field) {
    return field.data();
}

InterfaceFacts Eth0() {
    InterfaceFacts facts;
    facts.index = 2;
    facts.name = "eth0";
    facts.model = "e1000e";
    facts.hardwareAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    facts.addresses = {{"192.168.1.5", "255.255.255.0"}, {"10.1.2.3", "255.0.0.0"}};
    facts.gateways = {"192.168.1.1", "192.168.1.254"};
    return facts;
}

} // namespace

TEST(AdapterRecord, CarriesTheInterfacesAddressesInOrder) {
    const IpAdapterInfo record = MakeAdapterRecord(Eth0());
    EXPECT_STREQ(record.description.data(), "eth0 (e1000e) 192.168.1.5/24");
    ASSERT_EQ(record.addressLength, 6u);
    EXPECT_EQ(record.address[5], 0x5E);
    ASSERT_EQ(record.ipAddressList.size(), 2u);
    EXPECT_EQ(Text(record.ipAddressList[0].ipAddress), "192.168.1.5");
    EXPECT_EQ(Text(record.ipAddressList[1].ipAddress), "10.1.2.3");
    ASSERT_EQ(record.gatewayList.size(), 2u);
    EXPECT_EQ(Text(record.gatewayList[0].ipAddress), "192.168.1.1");
}

TEST(AdapterRecord, UnknownFactsBecomeZeroAddressAndEmptyLists) {
    InterfaceFacts facts;
    facts.name = "tun0";
    const IpAdapterInfo record = MakeAdapterRecord(facts);
    ASSERT_EQ(record.ipAddressList.size(), 1u);
    EXPECT_EQ(Text(record.ipAddressList[0].ipAddress), "0.0.0.0");
    EXPECT_EQ(Text(record.ipAddressList[0].ipMask), "0.0.0.0");
    EXPECT_TRUE(record.gatewayList.empty());
    EXPECT_EQ(record.addressLength, 0u);
}

TEST(AdapterRecord, LongFieldsAreCutToTheirRoom) {
    InterfaceFacts facts = Eth0();
    facts.hardwareAddress.assign(20, 0xAB); // an InfiniBand address
    facts.model = std::string(140, 'x');
    IpAdapterInfo record = MakeAdapterRecord(facts);
    EXPECT_EQ(record.addressLength, 8u);
    EXPECT_EQ(std::string(record.description.data()).size(), 131u);
    EXPECT_EQ(record.description[131], '\0');
    EXPECT_TRUE(std::string(record.description.data()).ends_with("x 192.168.1.5/24"));

    // "设" is two GBK bytes: a cut at 116 bytes, before the address, would
    // split the 58th in half.
    facts.name.clear();
    facts.model.clear();
    for (int i = 0; i < 70; ++i)
        facts.name += "设";
    facts.name.insert(0, "x");
    record = MakeAdapterRecord(facts);
    EXPECT_EQ(std::string(record.description.data()).size(), 130u);
}

TEST(AdapterRecord, DhcpOnlyWhenALeaseGaveAnAddressTheInterfaceHolds) {
    InterfaceFacts facts = Eth0();
    facts.leases = {{"192.168.1.99", "192.168.1.1"}}; // stale: the address is gone
    EXPECT_EQ(MakeAdapterRecord(facts).dhcpEnabled, 0u);

    facts.leases.push_back({"10.1.2.3", "10.0.0.1"});
    const IpAdapterInfo record = MakeAdapterRecord(facts);
    EXPECT_EQ(record.dhcpEnabled, 1u);
    EXPECT_EQ(Text(record.dhcpServer.ipAddress), "10.0.0.1");
}

TEST(RecordChainSize, EightSingleAddressAdaptersFillTheFirstBuffer) {
    InterfaceFacts single;
    single.addresses = {{"192.0.2.1", "255.255.255.0"}};
    single.gateways = {"192.0.2.254"};
    const std::vector<IpAdapterInfo> eight(8, MakeAdapterRecord(single));
    EXPECT_EQ(RecordChainSize(eight), 5120u);
    EXPECT_EQ(RecordChainSize(std::vector<IpAdapterInfo>(9, MakeAdapterRecord(single))), 5760u);
    // One more address and one more gateway take an entry each.
    EXPECT_EQ(RecordChainSize({MakeAdapterRecord(Eth0())}), 640u + 40u + 40u);
    EXPECT_EQ(RecordChainSize({}), 0u);
}
