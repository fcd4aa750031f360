#include "cli/PortHolder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Columns of a socket line of /proc/net/udp, counted from 0.
constexpr std::size_t kLocalColumn = 1;
constexpr std::size_t kInodeColumn = 9;

std::string_view Field(std::string_view line, std::size_t column) {
    std::size_t at = 0;
    for (std::size_t i = 0;; ++i) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string_view::npos)
            return {};
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (i == column)
            return line.substr(at, end - at);
        at = end;
    }
}

template <typename Number> std::optional<Number> Parse(std::string_view text, int base) {
    Number value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The process with a descriptor on socket `inode`, as "name (pid N)".
std::optional<std::string> SocketOwner(std::uint64_t inode) {
    const std::string target = "socket:[" + std::to_string(inode) + "]";
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename();
        if (!Parse<unsigned>(pid, 10))
            continue;
        for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", error))
            if (fs::read_symlink(fd.path(), error) == target) {
                std::string name = ReadAll(process.path() / "comm");
                if (!name.empty() && name.back() == '\n')
                    name.pop_back();
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
    std::size_t start = 0;
    while (start < procNetUdp.size()) {
        std::size_t end = procNetUdp.find('\n', start);
        if (end == std::string_view::npos)
            end = procNetUdp.size();
        const std::string_view line = procNetUdp.substr(start, end - start);
        start = end + 1;
        // "0100A8C0:EA60": the address as the kernel stores it, then the port.
        const std::string_view local = Field(line, kLocalColumn);
        const std::size_t colon = local.find(':');
        const auto address = Parse<std::uint32_t>(local.substr(0, colon), 16);
        const auto boundPort = colon == std::string_view::npos
                                   ? std::nullopt
                                   : Parse<std::uint16_t>(local.substr(colon + 1), 16);
        const auto inode = Parse<std::uint64_t>(Field(line, kInodeColumn), 10);
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
    const auto inode = UdpSocketInode(ReadAll("/proc/net/udp"), ip, port);
    if (!inode)
        return {};
    if (const auto owner = SocketOwner(*inode))
        return where + " is held by " + *owner;
    return where + " is held by a process of another user";
}
