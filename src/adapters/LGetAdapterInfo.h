#pragma once

#include "platform/AdapterSource.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One network adapter as the enumeration reports it. Texts are GBK.
class TAdapterInfo {
public:
    std::int32_t id = 0;     // 1, 2, 3 ... in the order of the system's list
    std::string description; // at most 132 bytes
    std::string ipAddress;   // the first IPv4 address
    std::string mask;        // the address-list text after the first mask marker
    std::string gateway;     // the first gateway
    std::string mac;         // "00-1A-2B-3C-4D-5E"
    bool dhcpEnabled = false;
    std::string dhcpServer;
};

// The platform call the enumeration reads, in the shape of GetAdaptersInfo.
using AdaptersInfoCall = std::function<std::uint32_t(std::vector<IpAdapterInfo>&, std::uint32_t&)>;

// The size of the first buffer offered to the platform call.
inline constexpr std::uint32_t kFirstAdapterBufferSize = 5120;

// The host's adapters; never empty. Raises EOSError with the system's code
// when the platform call fails (232 when the host has no adapter).
std::vector<TAdapterInfo> EnumerateAdapters();
std::vector<TAdapterInfo> EnumerateAdapters(const AdaptersInfoCall& call);

// "A: <address> M: <mask>\r" for each entry of the list, in order.
std::string AddressListText(const std::vector<IpAddrString>& list);

// The address of an address-list text: from just after the first "A: " to
// just before the first " M: ", empty when that count is not positive.
std::string AddressOfListText(const std::string& text);

// The mask of an address-list text: everything after the first " M: ".
std::string MaskOfListText(const std::string& text);

// The first `count` bytes of `address` (at most 8) as upper-case hex pairs
// joined by "-"; empty for a count of 0.
std::string MacText(const std::array<std::uint8_t, kAdapterAddressSize>& address,
                    std::uint32_t count);
