#include "cli/KernelDrops.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kProcNetUdp =
    "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
    "timeout inode ref pointer drops\n"
    "  104: 016433C6:EA60 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
    "0 48213 2 0000000000000000 17\n"
    " 1301: 0100007F:1771 00000000:0000 07 00000000:00003000 00:00000000 00000000     0        "
    "0 5512 2 0000000000000000 0\n"
    " 1302: 0100007F:1772 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
    "0 77 2 0000000000000000";

} // namespace

TEST(KernelDrops, TheDropsColumnOfTheSocketsLine) {
    EXPECT_EQ(DropsOfInode(kProcNetUdp, 48213), 17u);
    EXPECT_EQ(DropsOfInode(kProcNetUdp, 5512), 0u);
    // No such inode, an inode that is only a prefix, a line cut short.
    EXPECT_EQ(DropsOfInode(kProcNetUdp, 4821), std::nullopt);
    EXPECT_EQ(DropsOfInode(kProcNetUdp, 77), std::nullopt);
    EXPECT_EQ(DropsOfInode("", 1), std::nullopt);
}

TEST(KernelDrops, ReadsTheCountOfAnOpenSocket) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback), 0);
    EXPECT_EQ(KernelDrops(fd), 0u);
    ::close(fd);
    EXPECT_EQ(KernelDrops(-1), std::nullopt);
}
