#pragma once

#include <string_view>
#include <vector>

// Cuts a row string into its fields at every `delimiter` byte. A field ends
// at each delimiter; what follows the last delimiter is a field only when it
// is not empty. So "" gives no field, ";" one empty field, "a;;" gives "a"
// and "", and ";10.0.0.7;;;x;" five fields. The fields point into `row`.
std::vector<std::string_view> SplitRow(std::string_view row, char delimiter);

// As above, but into at most `maxFields` fields (0: no limit): the last one
// holds the rest of the row, delimiters included, without a final delimiter,
// so a reply that contains the delimiter still shows whole.
std::vector<std::string_view> SplitRow(std::string_view row, char delimiter, size_t maxFields);
