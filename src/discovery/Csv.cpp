#include "discovery/Csv.h"

#include <algorithm>

std::string CsvLine(const CsvRecord& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += '"';
        for (const char c : fields[i]) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    return line + "\r\n";
}

std::vector<CsvRecord> ParseCsv(std::string_view text) {
    std::vector<CsvRecord> records;
    ForEachCsvRecord(text, [&records](CsvRecord& record) { records.push_back(std::move(record)); });
    return records;
}

// Field by field, copying runs of plain bytes at once: the maker registry
// holds some 45000 records.
void ForEachCsvRecord(std::string_view text, const std::function<void(CsvRecord&)>& take) {
    CsvRecord record;
    std::size_t i = 0;
    while (i < text.size()) {
        std::string field;
        if (text[i] == '"') {
            // Up to the closing quote; a doubled quote is one quote of the text.
            for (++i; i < text.size();) {
                const std::size_t quote = std::min(text.find('"', i), text.size());
                field.append(text.substr(i, quote - i));
                const bool doubled = quote + 1 < text.size() && text[quote + 1] == '"';
                if (doubled)
                    field += '"';
                i = quote + (doubled ? 2 : 1);
                if (!doubled)
                    break;
            }
        }
        // Bytes after a closing quote are kept, as in a field without quotes.
        i = std::min(i, text.size());
        const std::size_t end = std::min(text.find_first_of(",\n", i), text.size());
        std::string_view plain = text.substr(i, end - i);
        if (end < text.size() && text[end] == '\n' && plain.ends_with('\r'))
            plain.remove_suffix(1);
        field.append(plain);
        record.push_back(std::move(field));
        i = end + 1;
        if (end < text.size() && text[end] == ',' && i < text.size())
            continue;
        if (end < text.size() && text[end] == ',')
            record.emplace_back(); // a comma that ends the text leaves an empty last field
        take(record);
        record.clear();
    }
}
