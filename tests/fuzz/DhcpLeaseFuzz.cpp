#include "FuzzCheck.h"
#include "platform/DhcpLease.h"

#include <cstdint>

// Lease files as DHCP clients (or anyone who can write them) leave them.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto lease = ParseDhclientLeases(text, "eth0"))
        FUZZ_CHECK(!lease->address.empty());
    if (const auto lease = ParseKeyValueLease(text))
        FUZZ_CHECK(!lease->address.empty());
    return 0;
}
