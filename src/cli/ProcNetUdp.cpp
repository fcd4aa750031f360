#include "cli/ProcNetUdp.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

std::string ReadProcNetUdp() {
    std::ifstream file("/proc/net/udp");
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::vector<std::string_view>> UdpTableLines(std::string_view text) {
    std::vector<std::vector<std::string_view>> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        std::vector<std::string_view>& fields = lines.emplace_back();
        for (std::size_t at = 0;
             (at = line.find_first_not_of(' ', at)) != std::string_view::npos;) {
            const std::size_t stop = std::min(line.find(' ', at), line.size());
            fields.push_back(line.substr(at, stop - at));
            at = stop;
        }
        start = end + 1;
    }
    return lines;
}

std::optional<std::uint64_t> UdpColumnNumber(std::string_view text, int base) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}
