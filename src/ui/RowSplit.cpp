#include "ui/RowSplit.h"

std::vector<std::string_view> SplitRow(std::string_view row, char delimiter) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t at = row.find(delimiter); at != std::string_view::npos;
         at = row.find(delimiter, start)) {
        fields.push_back(row.substr(start, at - start));
        start = at + 1;
    }
    if (start < row.size())
        fields.push_back(row.substr(start));
    return fields;
}

std::vector<std::string_view> SplitRow(std::string_view row, char delimiter, size_t maxFields) {
    std::vector<std::string_view> fields = SplitRow(row, delimiter);
    if (maxFields == 0 || fields.size() <= maxFields)
        return fields;
    // There is a delimiter after the last kept field, so the rest is not empty.
    std::string_view rest =
        row.substr(static_cast<size_t>(fields[maxFields - 1].data() - row.data()));
    if (rest.back() == delimiter)
        rest.remove_suffix(1);
    fields.resize(maxFields);
    fields.back() = rest;
    return fields;
}
