#include "cli/KernelDrops.h"

#include "cli/ProcNetUdp.h"

#include <sys/stat.h>

std::optional<std::uint64_t> DropsOfInode(std::string_view procNetUdp, std::uint64_t inode) {
    for (const auto& fields : UdpTableLines(procNetUdp))
        if (fields.size() > kUdpDropsColumn && UdpColumnNumber(fields[kUdpInodeColumn]) == inode)
            return UdpColumnNumber(fields[kUdpDropsColumn]);
    return std::nullopt;
}

std::optional<std::uint64_t> KernelDrops(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return std::nullopt;
    return DropsOfInode(ReadProcNetUdp(), status.st_ino);
}
