#include "discovery/Csv.h"

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

void ForEachCsvRecord(std::string_view text, const std::function<void(CsvRecord&)>& take) {
    CsvRecord record;
    std::string field;
    bool quoted = false;
    bool fieldStarted = false;
    auto endRecord = [&] {
        record.push_back(std::move(field));
        take(record);
        record.clear();
        field.clear();
        fieldStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = fieldStarted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            fieldStarted = true;
        } else if (c == '\n') {
            endRecord();
        } else if (c != '\r' || i + 1 == text.size() || text[i + 1] != '\n') {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !record.empty())
        endRecord();
}
