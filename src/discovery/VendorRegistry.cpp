#include "discovery/VendorRegistry.h"

#include "discovery/Csv.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

// Columns of the registry files: registry, assignment, organisation name, address.
constexpr std::size_t kAssignmentColumn = 1;
constexpr std::size_t kNameColumn = 2;

std::optional<std::uint64_t> HexNumber(std::string_view digits) {
    std::uint64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, 16);
    if (digits.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// The 48-bit value of "00-1A-2B-3C-4D-5E" or "00:1a:2b:3c:4d:5e".
std::optional<std::uint64_t> MacValue(const std::string& mac) {
    if (mac.size() != 17)
        return std::nullopt;
    std::string digits;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i % 3 == 2) {
            if (mac[i] != '-' && mac[i] != ':')
                return std::nullopt;
        } else {
            digits += mac[i];
        }
    }
    return HexNumber(digits);
}

} // namespace

TVendorRegistry::TVendorRegistry(const std::string& directory) {
    for (const char* file : {"oui.csv", "mam.csv", "oui36.csv", "iab.csv"})
        ReadFile(directory + "/" + file);
}

void TVendorRegistry::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    ForEachCsvRecord(text, [this](CsvRecord& record) {
        if (record.size() <= kNameColumn)
            return;
        const std::string& assignment = record[kAssignmentColumn];
        const auto prefix = HexNumber(assignment);
        for (std::size_t k = 0; k < PrefixBits.size() && prefix; ++k)
            if (static_cast<int>(assignment.size()) * 4 == PrefixBits[k])
                byPrefix_[k].try_emplace(*prefix, std::move(record[kNameColumn]));
    });
}

std::string TVendorRegistry::Vendor(const std::string& mac) const {
    const auto value = MacValue(mac);
    if (!value)
        return {};
    for (std::size_t k = 0; k < PrefixBits.size(); ++k)
        if (const auto found = byPrefix_[k].find(*value >> (48 - PrefixBits[k]));
            found != byPrefix_[k].end())
            return found->second;
    return {};
}

std::size_t TVendorRegistry::Size() const {
    std::size_t size = 0;
    for (const auto& prefixes : byPrefix_)
        size += prefixes.size();
    return size;
}
