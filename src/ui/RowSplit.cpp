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
