#include "FuzzCheck.h"
#include "report/CrashLog.h"

#include <cstdint>
#include <string>

// A crash log file as found on disk: every report read back holds a table
// border and starts with a piece of the file, in file order.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t from = 0;
    for (const std::string& report : SplitReports(text)) {
        FUZZ_CHECK(report.find("-\r\n|") != std::string::npos);
        const std::string head = report.substr(0, report.find("\r\n\r\n\r\n"));
        const size_t at = text.find(head, from);
        FUZZ_CHECK(at != std::string::npos);
        from = at + head.size();
    }
    return 0;
}
