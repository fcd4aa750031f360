#pragma once

#include "report/ReportOptions.h"

#include <string>
#include <vector>

// The crash log: the program's file name with the extension ".qxr", beside
// the program, holding the latest reports one after the other. Each report
// ends with three empty lines.

constexpr const char* kReportBoundary = "\r\n\r\n\r\n";

// Where the log goes: the first folder that can be written.
struct TCrashLogPlace {
    std::string FileName; // "device-finder.qxr"
    std::string Folder;   // the program's folder, or the output path when set
    std::string Fallback; // $XDG_DATA_HOME/Quoxa/<program name>
};

// `program` is the program's path, `computer` its host name (used only when
// the log options ask for it in the file name), `dataHome` the user's data
// folder.
TCrashLogPlace CrashLogPlace(const std::string& program, const std::string& computer,
                             const std::string& dataHome, const TReportOptions& options);

// The user's data folder: $XDG_DATA_HOME, else ~/.local/share.
std::string UserDataHome();

// The reports a log file's text holds: each piece between boundaries that
// contains a table border starts a report; a piece without one continues the
// report before it. Blank pieces and anything before the first report are
// not reports.
std::vector<std::string> SplitReports(const std::string& text);

// Adds `report` to the log, keeping at most `kept` reports (the oldest go
// first), and rewrites the file. Returns the file written; throws EOSError
// when neither folder can take the file.
std::string AppendToCrashLog(const TCrashLogPlace& place, const std::string& report,
                             std::uint32_t kept);
