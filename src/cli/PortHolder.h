#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Who holds a UDP address and port on this host, for a bind that failed.

// The inode of the IPv4 UDP socket bound to `ip` and `port` in the text of
// /proc/net/udp, or of one bound to every address on that port (which holds
// it as well); nothing when no line matches.
std::optional<std::uint64_t> UdpSocketInode(std::string_view procNetUdp, const std::string& ip,
                                            std::uint16_t port);

// "198.18.0.1:60000 is held by device-finder (pid 4242)", found through
// /proc/net/udp and the processes' descriptors; another user's process is not
// named. Empty when no socket holds them (the address left the host, say).
std::string PortHolderText(const std::string& ip, std::uint16_t port);
