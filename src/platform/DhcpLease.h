#pragma once

#include "platform/AdapterRecord.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

// Reading the leases that the host's DHCP clients record in files.

// The newest lease of `interfaceName` in a lease file of ISC dhclient (also
// used by NetworkManager's dhclient back end): the last "lease { ... }" block
// that names the interface and gives a fixed address.
std::optional<DhcpLease> ParseDhclientLeases(std::string_view text, std::string_view interfaceName);

// A lease file of KEY=value lines, as systemd-networkd and NetworkManager's
// internal client write them: ADDRESS and SERVER_ADDRESS.
std::optional<DhcpLease> ParseKeyValueLease(std::string_view text);

// Where the DHCP clients keep their lease files.
struct LeaseLocations {
    std::vector<std::filesystem::path> dhclientDirectories; // dhclient*.lease[s]
    std::filesystem::path networkdDirectory;                // one file per interface index
    std::filesystem::path networkManagerDirectory;          // *-<interface>.lease

    static LeaseLocations System();
};

// Every lease recorded for the interface in the known places; files that are
// missing, unreadable or too large to be lease files are passed over.
std::vector<DhcpLease> FindLeases(const LeaseLocations& where, std::string_view interfaceName,
                                  std::uint32_t interfaceIndex);
