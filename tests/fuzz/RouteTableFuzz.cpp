#include "FuzzCheck.h"
#include "platform/RouteTable.h"

#include <cstdint>

// The text of /proc/net/route: every gateway found is a dotted quad.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string& gateway : DefaultGateways(text, "eth0")) {
        int dots = 0;
        for (const char c : gateway) {
            FUZZ_CHECK((c >= '0' && c <= '9') || c == '.');
            dots += c == '.';
        }
        FUZZ_CHECK(dots == 3);
    }
    return 0;
}
