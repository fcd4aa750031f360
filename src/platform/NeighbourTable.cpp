#include "platform/NeighbourTable.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// The kernel's flag of an entry whose hardware address is known.
constexpr unsigned long kCompleteFlag = 0x2;

// "7e:0a:…" as the adapter list writes hardware addresses: "7E-0A-…".
std::string MacOfColonText(std::string text) {
    for (char& c : text)
        c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::vector<NeighbourEntry> ParseNeighbourTable(std::string_view text) {
    std::vector<NeighbourEntry> entries;
    std::istringstream lines{std::string(text)};
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ip, type, flags, mac, mask, device;
        if (!(fields >> ip >> type >> flags >> mac >> mask >> device))
            continue;
        unsigned long flagBits = 0;
        try {
            flagBits = std::stoul(flags, nullptr, 16);
        } catch (const std::exception&) {
            continue;
        }
        if ((flagBits & kCompleteFlag) && mac != "00:00:00:00:00:00")
            entries.push_back({ip, MacOfColonText(mac), device});
    }
    return entries;
}

std::vector<NeighbourEntry> ReadNeighbourTable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ParseNeighbourTable(std::string(std::istreambuf_iterator<char>(in), {}));
}
