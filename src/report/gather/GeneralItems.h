#pragma once

#include "report/gather/ReportGathering.h"
#include "report/text/ReportData.h"
#include "report/text/ReportTexts.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What the gathering worked out about the exception for its block.
struct TExceptionFacts {
    std::chrono::system_clock::time_point Date;
    std::string ModuleName, ModuleVersion; // of the module the address lies in
    std::string Type;                      // the class name, or the text for "no exception"
    std::string Id;
};

// The facts of `input`'s exception: the module its address lies in among
// `modules` (the program first), the type, and the ID, dated now.
TExceptionFacts ExceptionFactsOf(const TReportInput& input,
                                 const std::vector<TModuleInfo>& modules);

// The seven general blocks in order: application, exception, user, active
// controls, computer, operating system, network. The host's facts come from
// its files (/proc, /etc, the passwd entry, the file system of the program's
// folder) and the adapter enumeration; what this host cannot tell stays empty.
std::vector<TReportBlock> GeneralBlocks(const TReportInput& input, const TExceptionFacts& facts,
                                        const TReportTexts& texts);

// "2026-03-14 09:26:53", local time.
std::string DateText(std::chrono::system_clock::time_point time);

// "0 days 00:00:07", "1 day 02:03:04", "12 days 23:59:59".
std::string DurationText(std::uint64_t seconds);

// Whole mebibytes: "15987 MB".
std::string MegabytesText(std::uint64_t bytes);
