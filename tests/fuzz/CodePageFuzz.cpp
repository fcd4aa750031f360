#include "FuzzCheck.h"
#include "platform/CodePage.h"

#include <cstdint>
#include <string>

// GBK from the network and UTF-8 from the user: decoding always gives UTF-8,
// and text that went through both directions once is stable.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string utf8 = GbkToUtf8(input);
    FUZZ_CHECK(IsUtf8(utf8));
    const std::string gbk = Utf8ToGbk(input);
    FUZZ_CHECK(Utf8ToGbk(GbkToUtf8(gbk)) == gbk);
    return 0;
}
