#include "cli/KernelDrops.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Columns of a socket line of /proc/net/udp, counted from 0.
constexpr std::size_t kInodeColumn = 9;
constexpr std::size_t kDropsColumn = 12;

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(' ', at)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::uint64_t> DropsOfInode(std::string_view procNetUdp, std::uint64_t inode) {
    std::size_t start = 0;
    while (start < procNetUdp.size()) {
        std::size_t end = procNetUdp.find('\n', start);
        if (end == std::string_view::npos)
            end = procNetUdp.size();
        const auto fields = Fields(procNetUdp.substr(start, end - start));
        if (fields.size() > kDropsColumn && Number(fields[kInodeColumn]) == inode)
            return Number(fields[kDropsColumn]);
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> KernelDrops(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return std::nullopt;
    std::ifstream file("/proc/net/udp");
    if (!file)
        return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return DropsOfInode(text, status.st_ino);
}
