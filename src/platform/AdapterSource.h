#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The host's network adapters as fixed-size records, in the shape the adapter
// enumeration of the original platform reports them. Texts are GBK bytes,
// each cut at its first zero byte.

inline constexpr std::size_t kAdapterDescriptionSize = 132;
inline constexpr std::size_t kAdapterAddressSize = 8;
inline constexpr std::size_t kAddressTextSize = 16;

// Room one adapter record takes in the caller's buffer, and each address-list
// entry beyond the first of a list. Eight single-address adapters fill 5120 bytes.
inline constexpr std::uint32_t kAdapterRecordSize = 640;
inline constexpr std::uint32_t kAddressEntrySize = 40;

// Result codes of GetAdaptersInfo.
inline constexpr std::uint32_t kAdaptersOk = 0;
inline constexpr std::uint32_t kAdaptersBufferOverflow = 111;
inline constexpr std::uint32_t kAdaptersNoData = 232;

// One address-list entry: an address text and its mask text.
struct IpAddrString {
    std::array<char, kAddressTextSize> ipAddress{};
    std::array<char, kAddressTextSize> ipMask{};
};

struct IpAdapterInfo {
    std::array<char, kAdapterDescriptionSize> description{};
    std::uint32_t addressLength = 0;
    std::array<std::uint8_t, kAdapterAddressSize> address{};
    std::uint32_t index = 0;
    std::uint32_t dhcpEnabled = 0;
    // Never empty: an adapter without an IPv4 address holds 0.0.0.0 / 0.0.0.0.
    std::vector<IpAddrString> ipAddressList;
    // Empty when no default route leaves through the adapter.
    std::vector<IpAddrString> gatewayList;
    // Empty texts when the adapter's address is not leased by DHCP.
    IpAddrString dhcpServer;
};

// Fills `adapters` with every administratively up, non-loopback interface
// with an IPv4 address of the host (of the calling thread's network namespace), in interface-index
// order, when their records fit into `size` bytes. Returns kAdaptersOk; kAdaptersBufferOverflow
// with the size needed written to `size` and `adapters` untouched;
// kAdaptersNoData when the host has no adapter; or the C library's error
// number when the interfaces cannot be read.
std::uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters, std::uint32_t& size);
