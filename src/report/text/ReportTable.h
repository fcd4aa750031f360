#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A table of the report, framed with "|" and "-":
//
//   Title:
//   ----------------
//   |Handle  |Name |
//   ----------------
//   |...     |...  |
//   ----------------
//   (empty line)
//
// Each column is as wide as its longest text, header included, and never
// narrower than its minimum. A spanning row has one cell across all columns;
// a separator row is a spanning row of "-". A spanning text longer than the
// table widens the last column, so that no row sticks out of the frame.
class TReportTable {
public:
    TReportTable(std::string title, std::vector<std::string> headers,
                 std::vector<std::size_t> minimumWidths = {});

    void AddRow(std::vector<std::string> cells); // as many cells as headers
    void AddSpan(std::string text);
    void AddSeparator();

    std::string Text() const;

private:
    struct TRow {
        enum { Cells, Span, Separator } Kind;
        std::vector<std::string> Texts;
    };
    std::vector<std::size_t> Widths() const;
    static std::string RowText(const std::vector<std::string>& cells,
                               const std::vector<std::size_t>& widths);

    std::string title_;
    std::vector<std::string> headers_;
    std::vector<std::size_t> minimumWidths_;
    std::vector<TRow> rows_;
};
