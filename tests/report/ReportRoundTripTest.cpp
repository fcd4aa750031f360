// Reads a report text back into its blocks and tables with a reader that
// knows only the layout, and checks it finds what the report was made from.
#include "report/text/ReportText.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// General items as "2.6 Exception/Message=value", tables as rows of cells.
struct TParsedReport {
    std::string Banner;
    std::vector<std::string> Items;
    std::map<std::string, std::vector<std::vector<std::string>>> Tables; // header row first
};

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + separator.size())
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::string Unescaped(std::string value) {
    for (std::size_t at; (at = value.find(":_")) != std::string::npos;)
        value.replace(at, 2, ": ");
    return value;
}

std::string TrimRight(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::vector<std::string> Cells(const std::string& row) {
    std::vector<std::string> cells = Split(row.substr(1, row.size() - 2), "|");
    for (std::string& cell : cells)
        cell = TrimRight(cell);
    return cells;
}

// "  2.6 Label   : value" as "2.6 Header/Label=value"; false for a further line.
bool ParseItem(const std::string& line, const std::string& header, std::string& item) {
    const std::size_t space = line.find(' ', 2);
    const std::size_t colon = line.find(": ");
    if (line.size() < 3 || line[2] < '1' || line[2] > '9' || space == std::string::npos ||
        colon == std::string::npos || colon < space)
        return false;
    item = line.substr(2, space + 1 - 2) + header + "/" +
           TrimRight(line.substr(space + 1, colon - space - 1)) + "=" +
           Unescaped(line.substr(colon + 2));
    return true;
}

TParsedReport Parse(const std::string& text) {
    const std::vector<std::string> lines = Split(text, "\r\n");
    TParsedReport report{lines.at(0), {}, {}};
    std::size_t i = 2;
    while (i + 2 < lines.size()) {
        const std::string title = lines[i].substr(0, lines[i].size() - 1);
        if (lines[i + 2].rfind("|", 0) == 0) { // a table
            auto& rows = report.Tables[title];
            for (i += 2; lines[i].rfind("|", 0) == 0 || lines[i][0] == '-'; ++i)
                if (lines[i][0] == '|')
                    rows.push_back(Cells(lines[i]));
            ++i; // the empty line after the table
            continue;
        }
        for (i += 2; i < lines.size() && !lines[i].empty() && lines[i][0] == ' '; ++i) {
            std::string item;
            if (ParseItem(lines[i], title, item))
                report.Items.push_back(item);
            else
                report.Items.back() +=
                    "\r\n" + (lines[i] == " ." ? "" : Unescaped(lines[i].substr(1)));
        }
        if (i < lines.size() && lines[i].empty())
            ++i;
    }
    return report;
}

TCrashReport Report() {
    TCrashReport report;
    report.General = {
        {"Application", {{"Start Date", "2026-03-14 09:26:53"}, {"Parameters", "--x"}}},
        {"Exception",
         {{"Date", "2026-03-14 09:30:00"},
          {"Address", "0000000000401A2B", false},
          {"Type", "EIdSocketError"},
          {"Message", "Socket Error # 10048\r\n\r\nAddress: in use."}}},
        {"Active Controls", {{"Form Class", "", false}}},
        {"Network", {{"IP Address", "127.0.0.1"}, {"DNS 1", ""}}}};
    TCallStackEntry entry;
    entry.Address = 0x401A2B;
    entry.Module = "device-finder";
    entry.Procedure = "Run";
    entry.Line = 9;
    entry.LineOffset = 2;
    entry.Thread = {true, 42, "0", "TIdThread", false, ""};
    report.CallStack = {entry};
    report.Modules = {{0x400000, "device-finder", "df", "0.1.0.0", 4096, "2026-03-14", "/opt"},
                      {0x7F0000000000, "libc.so.6", "", "6.0.0.0", 1926232, "", "/lib"}};
    report.Processes = {{1, "init", "", "", 1024, TPriorityClass::RealTime, 1, "/sbin"},
                        {42, "device-finder", "df", "0.1.0.0", 8192, TPriorityClass::Low, 3, ""}};
    return report;
}

} // namespace

TEST(ReportRoundTrip, TextParsesBackIntoTheSameBlocksAndTables) {
    const TCrashReport report = Report();
    const TParsedReport parsed = Parse(ReportText(report, TReportTexts(), kLogModulesAndProcesses));

    EXPECT_EQ(parsed.Banner, "Quoxa 6.1.01 RC 1");
    std::vector<std::string> expected;
    for (std::size_t b = 0; b < report.General.size(); ++b)
        for (std::size_t i = 0; i < report.General[b].Items.size(); ++i) {
            const TReportItem& item = report.General[b].Items[i];
            if (item.Show)
                expected.push_back(std::to_string(b + 1) + "." + std::to_string(i + 1) + " " +
                                   report.General[b].Header + "/" + item.Label + "=" + item.Value);
        }
    EXPECT_EQ(parsed.Items, expected);

    using TRows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(parsed.Tables.at("Call Stack Information"),
              (TRows{{"Address", "Module", "Unit", "Class", "Procedure/Method", "Line"},
                     {"*Exception Thread: ID=42; Priority=0; Class=TIdThread"},
                     {std::string(63, '-')},
                     {"0000000000401A2B", "device-finder", "", "", "Run", "9[2]"}}));
    EXPECT_EQ(
        parsed.Tables.at("Modules Information"),
        (TRows{{"Handle", "Name", "Description", "Version", "Size", "Modified", "Path"},
               {"0000000000400000", "device-finder", "df", "0.1.0.0", "4096", "2026-03-14", "/opt"},
               {"00007F0000000000", "libc.so.6", "", "6.0.0.0", "1926232", "", "/lib"}}));
    EXPECT_EQ(
        parsed.Tables.at("Processes Information"),
        (TRows{{"ID", "Name", "Description", "Version", "Memory", "Priority", "Threads", "Path"},
               {"1", "init", "", "", "1024", "Real-Time", "1", "/sbin"},
               {"42", "device-finder", "df", "0.1.0.0", "8192", "Low", "3", ""}}));
}
