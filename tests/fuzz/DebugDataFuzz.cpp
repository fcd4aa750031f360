#include "FuzzCheck.h"
#include "callstack/DebugData.h"

#include <cstdint>
#include <cstring>
#include <string_view>

// The debug-data block: every count and offset in it is checked before use,
// so any bytes give a table or none, and looking up any address is safe.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const auto table =
        TDebugData::FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!table)
        return 0;
    for (size_t at = 0; at + 8 <= size; at += 8) {
        std::uint64_t address = 0;
        std::memcpy(&address, data + at, 8);
        if (const auto place = table->Find(address))
            FUZZ_CHECK(place->Line == 0 || place->Line - place->LineOffset >= 0);
    }
    return 0;
}
