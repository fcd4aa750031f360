#include "FuzzCheck.h"
#include "ui/RowSplit.h"

#include <cstdint>
#include <string>

// Input: delimiter byte, field limit byte, then the row. The fields joined by
// the delimiter give the row back (less a final delimiter), and a limit keeps
// the rest of the row in the last field.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const char delimiter = static_cast<char>(data[0]);
    const size_t limit = data[1] % 8;
    const std::string_view row(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string_view whole = row;
    if (!whole.empty() && whole.back() == delimiter)
        whole.remove_suffix(1);
    for (const bool limited : {false, true}) {
        const auto fields = limited ? SplitRow(row, delimiter, limit) : SplitRow(row, delimiter);
        FUZZ_CHECK(!limited || limit == 0 || fields.size() <= limit);
        std::string joined;
        for (size_t i = 0; i < fields.size(); ++i) {
            FUZZ_CHECK(fields[i].data() >= row.data() &&
                       fields[i].data() + fields[i].size() <= row.data() + row.size());
            joined += (i > 0 ? std::string(1, delimiter) : "") + std::string(fields[i]);
        }
        FUZZ_CHECK(joined == whole || (row == std::string_view(&delimiter, 1) && joined.empty()));
    }
    return 0;
}
