#include "cli/PortHolder.h"

#include <gtest/gtest.h>

TEST(UdpSocketInode, TheExactBindingBeforeTheWildcardOnTheSamePort) {
    const std::string table =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  1: 00000000:EA60 00000000:0000 07 00000000:00000000 00:00000000 00000000     0   "
        "     0 111 2 0000000000000000 0\n"
        "  2: 010012C6:EA60 00000000:0000 07 00000000:00000000 00:00000000 00000000     0   "
        "     0 222 2 0000000000000000 0\n"
        "  3: 010012C6:1771 00000000:0000 07 00000000:00000000 00:00000000 00000000     0   "
        "     0 333 2 0000000000000000 0\n"
        "  4: 010012C6:EA6 00000000:0000 07 00000000:00000000 00:00000000 00000000     0   "
        "     0 444 2 0000000000000000 0\n"
        "  5: garbage\n";
    const struct {
        const char* ip;
        std::uint16_t port;
        std::optional<std::uint64_t> inode;
    } cases[] = {
        {"198.18.0.1", 60000, 222}, {"198.18.0.1", 6001, 333}, {"198.18.0.2", 60000, 111},
        {"198.18.0.1", 3750, 444},  {"198.18.0.1", 5000, {}},  {"bad", 60000, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UdpSocketInode(table, c.ip, c.port), c.inode) << c.ip << ":" << c.port;
    EXPECT_EQ(UdpSocketInode(table.substr(0, table.find("  2:")), "198.18.0.1", 6001),
              std::nullopt);
}
