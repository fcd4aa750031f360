#include "platform/NeighbourTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>

namespace {

// The kernel's flag of an entry whose hardware address is known.
constexpr unsigned long kCompleteFlag = 0x2;

// "7e:0a:…" as the adapter list writes hardware addresses: "7E-0A-…".
std::string MacOfColonText(std::string text) {
    for (char& c : text)
        c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t", at)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

} // namespace

std::vector<NeighbourEntry> ParseNeighbourTable(std::string_view text) {
    std::vector<NeighbourEntry> entries;
    // Past the heading; then one entry a line: address, type, flags, MAC, mask, device.
    std::size_t at = text.find('\n');
    while (at != std::string_view::npos && at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at + 1), text.size());
        const std::vector<std::string_view> fields = Words(text.substr(at + 1, end - at - 1));
        at = end;
        if (fields.size() < 6)
            continue;
        unsigned long flags = 0;
        const std::string_view flagText = fields[2].starts_with("0x") ? fields[2].substr(2) : "";
        const auto [stop, error] =
            std::from_chars(flagText.data(), flagText.data() + flagText.size(), flags, 16);
        if (flagText.empty() || error != std::errc() || stop != flagText.data() + flagText.size())
            continue;
        if ((flags & kCompleteFlag) && fields[3] != "00:00:00:00:00:00")
            entries.push_back({std::string(fields[0]), MacOfColonText(std::string(fields[3])),
                               std::string(fields[5])});
    }
    return entries;
}

std::vector<NeighbourEntry> ReadNeighbourTable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ParseNeighbourTable(std::string(std::istreambuf_iterator<char>(in), {}));
}
