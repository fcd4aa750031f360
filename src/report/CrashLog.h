#pragma once

#include "report/text/ReportOptions.h"

#include <cstddef>
#include <string>
#include <vector>

// The crash log: the program's file name with the extension ".qxr", holding
// the latest reports one after the other. Each report ends with three empty
// lines. The log holds command lines, process lists and memory bytes, so it is
// the user's alone: created 0600, never reached through a symbolic link, and
// only a regular file of the user's is read.

constexpr const char* kReportBoundary = "\r\n\r\n\r\n";

// The most reports a log holds, whatever the options ask.
constexpr std::uint32_t kMaxReportsKept = 32;
// The largest report the log takes; a longer one is cut at a line end before
// it. Far above a real report (a process list of a few thousand lines).
constexpr std::size_t kMaxReportSize = std::size_t(1) << 20;
// The most a log is read: more than this was not written by us.
constexpr std::size_t kCrashLogReadLimit =
    kMaxReportsKept * (kMaxReportSize + std::char_traits<char>::length(kReportBoundary));

// Where the log goes: the first folder that can take it.
struct TCrashLogPlace {
    std::string FileName; // "device-finder.qxr"
    std::string Folder;   // the program's folder when fit, the output path when set, else Fallback
    std::string Fallback; // $XDG_DATA_HOME/Quoxa/<program name>
};

// `program` is the program's path (a " (deleted)" mark of the kernel's is
// dropped), `computer` its host name (used only when the log options ask for
// it in the file name), `dataHome` the user's data folder. The log lies beside
// the program only when that folder is the user's own, writable and not a
// system folder (/usr, /bin, /sbin, /lib*, /opt): an installed program, even
// run as root, writes nothing there.
TCrashLogPlace CrashLogPlace(const std::string& program, const std::string& computer,
                             const std::string& dataHome, const TReportOptions& options);

// The user's data folder: $XDG_DATA_HOME, else ~/.local/share, where the home
// is $HOME or, without it, the user's passwd entry. Empty when none is known.
std::string UserDataHome();

// The reports a log file's text holds: each piece between boundaries that
// contains a table border starts a report; a piece without one continues the
// report before it. Blank pieces and anything before the first report are
// not reports.
std::vector<std::string> SplitReports(const std::string& text);

// Adds `report` to the log, keeping at most `kept` reports (at most
// kMaxReportsKept; the oldest go first). Processes share the log: reading,
// merging and writing happen under an exclusive lock on it, and the new text
// replaces the old by a rename, so a failure at any point leaves the old log
// whole. Returns the file written; throws EOSError when neither folder can
// take the file.
std::string AppendToCrashLog(const TCrashLogPlace& place, const std::string& report,
                             std::uint32_t kept);
