#include "FuzzCheck.h"
#include "report/ConfigBlock.h"

#include <cstdint>
#include <span>

// The configuration block as the program finds it in its own file: any bytes
// must give a checked block or none, never a read past the end or an
// unbounded inflate. An accepted block written again reads back the same.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const auto block = ReadConfigBlock(std::span(data, size), {}, 0);
    if (!block)
        return 0;
    const std::vector<std::uint8_t> again = WriteConfigBlock(*block);
    const auto reread = ReadConfigBlock(again, {}, 0);
    FUZZ_CHECK(reread);
    FUZZ_CHECK(reread->Options.Texts == block->Options.Texts);
    FUZZ_CHECK(reread->DebugData == block->DebugData);
    return 0;
}
