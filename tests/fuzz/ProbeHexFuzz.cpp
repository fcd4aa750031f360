#include "FuzzCheck.h"
#include "discovery/Probe.h"

#include <cstdint>
#include <string>

// Hex text to bytes: two digits a byte, an odd last digit dropped, each byte
// the low 8 bits of its two characters' value. UBSan catches any overflow of
// the 32-bit arithmetic, which must wrap.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    HexTextToInteger(text);
    const std::vector<std::uint8_t> bytes = PrepareProbe(text);
    FUZZ_CHECK(bytes.size() == text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        FUZZ_CHECK(bytes[i] == static_cast<std::uint8_t>(HexTextToInteger(text.substr(2 * i, 2))));
    return 0;
}
