#include "platform/AdapterRecord.h"

#include "platform/CodePage.h"

#include <algorithm>

namespace {

// Copies `text` into `field`, keeping room for the terminating zero byte.
template <std::size_t N> void CopyText(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

// The length of the longest prefix of the GBK text `text` that has at most
// `limit` bytes and does not end inside a double-byte character.
std::size_t GbkPrefixLength(std::string_view text, std::size_t limit) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t width = lead >= 0x81 && lead <= 0xFE ? 2 : 1;
        if (at + width > limit)
            break;
        at += width;
    }
    return std::min(at, text.size());
}

std::string Description(const InterfaceFacts& facts) {
    const std::string utf8 =
        facts.model.empty() ? facts.name : facts.name + " (" + facts.model + ")";
    const std::string gbk = Utf8ToGbk(utf8);
    return gbk.substr(0, GbkPrefixLength(gbk, kAdapterDescriptionSize - 1));
}

IpAddrString Entry(std::string_view address, std::string_view mask) {
    IpAddrString entry;
    CopyText(entry.ipAddress, address);
    CopyText(entry.ipMask, mask);
    return entry;
}

const DhcpLease* CurrentLease(const InterfaceFacts& facts) {
    for (const DhcpLease& lease : facts.leases)
        for (const Ipv4Address& held : facts.addresses)
            if (!lease.address.empty() && lease.address == held.address)
                return &lease;
    return nullptr;
}

} // namespace

IpAdapterInfo MakeAdapterRecord(const InterfaceFacts& facts) {
    IpAdapterInfo record;
    CopyText(record.description, Description(facts));
    record.addressLength =
        static_cast<std::uint32_t>(std::min(facts.hardwareAddress.size(), kAdapterAddressSize));
    std::copy_n(facts.hardwareAddress.begin(), record.addressLength, record.address.begin());
    record.index = facts.index;
    for (const Ipv4Address& address : facts.addresses)
        record.ipAddressList.push_back(Entry(address.address, address.mask));
    if (record.ipAddressList.empty())
        record.ipAddressList.push_back(Entry("0.0.0.0", "0.0.0.0"));
    for (const std::string& gateway : facts.gateways)
        record.gatewayList.push_back(Entry(gateway, ""));
    if (const DhcpLease* lease = CurrentLease(facts)) {
        record.dhcpEnabled = 1;
        record.dhcpServer = Entry(lease->server, "");
    }
    return record;
}

std::uint32_t RecordChainSize(const std::vector<IpAdapterInfo>& records) {
    const auto extra = [](std::size_t entries) {
        return static_cast<std::uint32_t>(entries > 1 ? entries - 1 : 0) * kAddressEntrySize;
    };
    std::uint32_t size = 0;
    for (const IpAdapterInfo& record : records)
        size += kAdapterRecordSize + extra(record.ipAddressList.size()) +
                extra(record.gatewayList.size());
    return size;
}
