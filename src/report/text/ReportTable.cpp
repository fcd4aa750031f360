#include "report/text/ReportTable.h"

#include <algorithm>
#include <numeric>

TReportTable::TReportTable(std::string title, std::vector<std::string> headers,
                           std::vector<std::size_t> minimumWidths)
    : title_(std::move(title)), headers_(std::move(headers)),
      minimumWidths_(std::move(minimumWidths)) {
    minimumWidths_.resize(headers_.size(), 0);
}

namespace {

// A row is one line: a line break or other control byte in a value (a file
// name may hold one) is written as a space.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    return text;
}

} // namespace

void TReportTable::AddRow(std::vector<std::string> cells) {
    cells.resize(headers_.size());
    for (std::string& cell : cells)
        cell = OneLine(std::move(cell));
    rows_.push_back({TRow::Cells, std::move(cells)});
}

void TReportTable::AddSpan(std::string text) {
    rows_.push_back({TRow::Span, {OneLine(std::move(text))}});
}

void TReportTable::AddSeparator() {
    rows_.push_back({TRow::Separator, {}});
}

std::vector<std::size_t> TReportTable::Widths() const {
    std::vector<std::size_t> widths = minimumWidths_;
    for (std::size_t c = 0; c < headers_.size(); ++c)
        widths[c] = std::max(widths[c], headers_[c].size());
    for (const TRow& row : rows_)
        if (row.Kind == TRow::Cells)
            for (std::size_t c = 0; c < widths.size(); ++c)
                widths[c] = std::max(widths[c], row.Texts[c].size());
    if (widths.empty())
        return widths;
    // The span's cell covers every column and all inner bars.
    std::size_t span = std::accumulate(widths.begin(), widths.end(), widths.size() - 1);
    for (const TRow& row : rows_)
        if (row.Kind == TRow::Span && row.Texts[0].size() > span) {
            widths.back() += row.Texts[0].size() - span;
            span = row.Texts[0].size();
        }
    return widths;
}

std::string TReportTable::RowText(const std::vector<std::string>& cells,
                                  const std::vector<std::size_t>& widths) {
    std::string text = "|";
    for (std::size_t c = 0; c < cells.size(); ++c)
        text += cells[c] + std::string(widths[c] - cells[c].size(), ' ') + "|";
    return text + "\r\n";
}

std::string TReportTable::Text() const {
    const std::vector<std::size_t> widths = Widths();
    const std::size_t width = std::accumulate(widths.begin(), widths.end(), widths.size() + 1);
    const std::vector<std::size_t> spanWidth = {width - 2};
    const std::string dashes = std::string(width, '-') + "\r\n";

    std::string text = title_ + ":\r\n" + dashes + RowText(headers_, widths) + dashes;
    for (const TRow& row : rows_) {
        switch (row.Kind) {
        case TRow::Cells:
            text += RowText(row.Texts, widths);
            break;
        case TRow::Span:
            text += RowText(row.Texts, spanWidth);
            break;
        case TRow::Separator:
            text += RowText({std::string(width - 2, '-')}, spanWidth);
            break;
        }
    }
    return text + dashes + "\r\n";
}
