#include "FuzzCheck.h"
#include "net/IdStack.h"
#include "platform/Exception.h"

#include <cstdint>
#include <string>

// Address texts: a dotted quad converts to the bytes it names and back; a
// canonical IPv6 form is its own canonical form and names the same groups.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const auto bytes = TIdStack::IPv4ToBytes(text);
        // Only signs set the conversion apart from the dotted quad test; no
        // part may wrap into another address.
        FUZZ_CHECK(TIdStack::IsIP(text) || text.find_first_of("+-") != std::string::npos);
        const std::string back = TIdStack::BytesToIPv4(bytes.data());
        FUZZ_CHECK(TIdStack::IsIP(back));
        FUZZ_CHECK(TIdStack::IPv4ToBytes(back) == bytes);
    } catch (const EConvertError&) {
        FUZZ_CHECK(!TIdStack::IsIP(text));
    }
    const std::string canonical = TIdStack::MakeCanonicalIPv6Address(text);
    if (!canonical.empty()) {
        FUZZ_CHECK(TIdStack::MakeCanonicalIPv6Address(canonical) == canonical);
        FUZZ_CHECK(TIdStack::IPv6ToGroups(canonical) == TIdStack::IPv6ToGroups(text));
    }
    return 0;
}
