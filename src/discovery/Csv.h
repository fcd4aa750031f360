#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Comma-separated values as spreadsheet programs read them: every field in
// double quotes, a quote inside doubled, records ended by CR LF. Commas,
// quotes and line breaks inside a field are kept exactly.

using CsvRecord = std::vector<std::string>;

std::string CsvLine(const CsvRecord& fields);

// The records of a CSV text, quoted or bare fields, LF or CR LF line ends.
// An unterminated quote runs to the end of the text.
std::vector<CsvRecord> ParseCsv(std::string_view text);

// The same records handed to `take` one at a time, for large files; the
// record may be moved from.
void ForEachCsvRecord(std::string_view text, const std::function<void(CsvRecord&)>& take);
