#include "FuzzCheck.h"
#include "report/text/ReportOptions.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

// The inflated options stream: counts and text lengths come from the file,
// so a stream that claims more than it holds must be refused, not followed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::vector<std::uint8_t> stream(data, data + size);
    try {
        const TReportOptions options = ReadReportOptions(stream);
        FUZZ_CHECK(ReadReportOptions(WriteReportOptions(options)).Texts == options.Texts);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
