#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The kernel's table of this network namespace's IPv4 UDP sockets,
// /proc/net/udp: a heading, then one line a socket of space-separated columns.

// Columns of a socket line, counted from 0.
inline constexpr std::size_t kUdpLocalColumn = 1; // "0100A8C0:EA60": address, port (hex)
inline constexpr std::size_t kUdpInodeColumn = 9;
inline constexpr std::size_t kUdpDropsColumn = 12;

// The table's text; empty when it cannot be read.
std::string ReadProcNetUdp();

// The columns of each line of `text`.
std::vector<std::vector<std::string_view>> UdpTableLines(std::string_view text);

// A column's whole number in `base`; nothing for an empty or other text.
std::optional<std::uint64_t> UdpColumnNumber(std::string_view text, int base = 10);
