#pragma once

#include "callstack/DebugData.h"
#include "report/FatalFault.h"
#include "report/ReportData.h"
#include "report/ReportOptions.h"
#include "report/ReportStartup.h"

#include <string>

// The reporter process: the program's own executable, started by the
// fatal-fault handler of a crashed instance. It reads the crashed process
// from outside, builds the same report an exception gets, saves it to the
// same crash log and presents it through the front end (the window program's
// plain dialog, the console program's standard error), then lets the crashed
// process end, or restarts it when the user asked.

// Whether the command line starts the program as a reporter.
bool IsReporterProcess(int argc, char** argv);

// Reads the fault from standard input and reports it. Returns the reporter's
// exit code; the crashed process ends by its signal either way.
int RunReporterProcess(const TReportFrontEnd& frontEnd);

struct TFatalReport {
    TCrashReport Report;
    std::string Text;
    std::string Message;
};

// The report of `fault`, read from the crashed process. When the process
// cannot be traced, the faulting thread's registers and in-process stack
// walk make a shorter report whose "Note" says why the other threads are
// missing.
TFatalReport BuildFatalReport(const TFatalFault& fault, const TReportOptions& options,
                              const TReportFrontEnd& frontEnd, const TDebugData* debug);
