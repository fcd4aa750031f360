#pragma once

#include <string>
#include <string_view>
#include <vector>

// The kernel's IPv4 neighbour table (the ARP cache) of this network
// namespace. Reading it sends nothing: its entries are what earlier exchanges
// on the segment left there, such as the address resolution a device made
// before it could send its reply.

struct NeighbourEntry {
    std::string ip;     // dotted quad
    std::string mac;    // "00-1A-2B-3C-4D-5E"
    std::string device; // the interface the entry belongs to
};

inline constexpr const char* kNeighbourTablePath = "/proc/net/arp";

// The complete entries of a text in the form of /proc/net/arp; entries still
// being resolved or that failed carry no hardware address and are left out.
std::vector<NeighbourEntry> ParseNeighbourTable(std::string_view text);

// The table as the file at `path` holds it; empty when it cannot be read.
std::vector<NeighbourEntry> ReadNeighbourTable(const std::string& path = kNeighbourTablePath);
