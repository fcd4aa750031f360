#include "FuzzCheck.h"
#include "cli/CliOptions.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Input: the arguments, separated by zero bytes. Either a usage error or
// options the search can act on.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> args;
    for (size_t start = 0; start <= input.size();) {
        const size_t end = std::min(input.find('\0', start), input.size());
        args.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    try {
        const CliOptions options = ParseCliOptions(args);
        FUZZ_CHECK(options.adapter == kAllAdapters || options.adapter >= 1);
        FUZZ_CHECK(options.waitMs >= 0 && options.waitMs <= kMaxWaitMs);
    } catch (const UsageError& error) {
        FUZZ_CHECK(error.what()[0] != '\0');
    }
    return 0;
}
