#include "platform/AdapterRecord.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <arpa/inet.h>
#include <bit>

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

// The number of leading one bits of a dotted-quad mask.
int PrefixLength(const std::string& mask) {
    in_addr parsed{};
    if (inet_pton(AF_INET, mask.c_str(), &parsed) != 1)
        return 0;
    return std::popcount(ntohl(parsed.s_addr));
}

// "enp3s0 (I219-V) 192.168.1.10/24": the name and model say which card, the
// primary address tells the networks apart. A long model is cut before the
// address is.
std::string Description(const InterfaceFacts& facts) {
    const std::string name =
        Utf8ToGbk(facts.model.empty() ? facts.name : facts.name + " (" + facts.model + ")");
    const std::string address =
        facts.addresses.empty() ? ""
                                : " " + facts.addresses.front().address + "/" +
                                      std::to_string(PrefixLength(facts.addresses.front().mask));
    const std::size_t room = kAdapterDescriptionSize - 1 - address.size();
    return name.substr(0, GbkPrefixLength(name, room)) + address;
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
