#include "cli/PortHolder.h"

#include "cli/ProcNetUdp.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The process with a descriptor on socket `inode`, as "name (pid N)".
std::optional<std::string> SocketOwner(std::uint64_t inode) {
    const std::string target = "socket:[" + std::to_string(inode) + "]";
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", error))
            if (fs::read_symlink(fd.path(), error) == target) {
                std::ifstream comm(process.path() / "comm");
                std::string name;
                std::getline(comm, name);
                return name + " (pid " + pid + ")";
            }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::uint64_t> UdpSocketInode(std::string_view procNetUdp, const std::string& ip,
                                            std::uint16_t port) {
    in_addr wanted{};
    if (inet_pton(AF_INET, ip.c_str(), &wanted) != 1)
        return std::nullopt;
    std::optional<std::uint64_t> any;
    for (const auto& fields : UdpTableLines(procNetUdp)) {
        if (fields.size() <= kUdpInodeColumn)
            continue;
        // "0100A8C0:EA60": the address as the kernel stores it, then the port.
        const std::string_view local = fields[kUdpLocalColumn];
        const std::size_t colon = local.find(':');
        const auto address = UdpColumnNumber(local.substr(0, colon), 16);
        const auto boundPort = colon == std::string_view::npos
                                   ? std::nullopt
                                   : UdpColumnNumber(local.substr(colon + 1), 16);
        const auto inode = UdpColumnNumber(fields[kUdpInodeColumn]);
        if (!address || boundPort != port || !inode)
            continue;
        if (*address == wanted.s_addr)
            return inode;
        if (*address == INADDR_ANY && !any)
            any = inode;
    }
    return any;
}

std::string PortHolderText(const std::string& ip, std::uint16_t port) {
    const std::string where = ip + ":" + std::to_string(port);
    const auto inode = UdpSocketInode(ReadProcNetUdp(), ip, port);
    if (!inode)
        return {};
    if (const auto owner = SocketOwner(*inode))
        return where + " is held by " + *owner;
    return where + " is held by a process of another user";
}
