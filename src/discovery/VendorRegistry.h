#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

// The makers of network hardware by the prefix of their hardware addresses,
// from the IEEE registry that Debian ships in the ieee-data package: the
// large (24-bit), medium (28-bit) and small (36-bit) blocks and the old
// individual address blocks. A longer prefix wins over a shorter one.
class TVendorRegistry {
public:
    static constexpr const char* DebianDirectory = "/usr/share/ieee-data";

    // Reads oui.csv, mam.csv, oui36.csv and iab.csv of `directory`. A file
    // that is missing or unreadable adds nothing: without the package every
    // maker is unknown, and nothing fails.
    explicit TVendorRegistry(const std::string& directory = DebianDirectory);

    // The maker of a hardware address written as "00-1A-2B-3C-4D-5E" (or
    // with colons); empty when the address or its maker is unknown.
    std::string Vendor(const std::string& mac) const;

    std::size_t Size() const;

private:
    void ReadFile(const std::string& path);

    // Indexed by prefix length: 24, 28 and 36 bits.
    static constexpr std::array<int, 3> PrefixBits = {36, 28, 24};
    std::array<std::unordered_map<std::uint64_t, std::string>, 3> byPrefix_;
};
