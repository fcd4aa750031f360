#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The kernel's count of datagrams it dropped for one UDP socket because its
// receive queue was full, as /proc/net/udp shows it.

// The "drops" column of the line whose inode column is `inode`, in the text of
// /proc/net/udp; nothing when no line has that inode or the line is malformed.
std::optional<std::uint64_t> DropsOfInode(std::string_view procNetUdp, std::uint64_t inode);

// The count for the open IPv4 UDP socket `fd` of this network namespace;
// nothing when it cannot be read.
std::optional<std::uint64_t> KernelDrops(int fd);
