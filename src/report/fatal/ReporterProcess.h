#pragma once

#include "callstack/DebugData.h"
#include "report/ReportStartup.h"
#include "report/fatal/FatalFault.h"
#include "report/text/ReportData.h"
#include "report/text/ReportOptions.h"

#include <functional>
#include <string>
#include <vector>

// The reporter process: the program's own executable, started by the
// fatal-fault handler of a crashed instance. It reads the crashed process
// from outside, builds the same report an exception gets, saves it to the
// same crash log and presents it through the front end (the window program's
// plain dialog, the console program's standard error), then lets the crashed
// process end, or restarts it when the user asked.

// Whether the command line starts the program as a reporter. When it does,
// the reporter has first shed what the crashed process left it: every
// inherited descriptor but the standard three, soft limits below the hard
// ones, a real-time policy or a nice value.
bool IsReporterProcess(int argc, char** argv);

// Reads the fault from standard input and reports it: saved first, then
// presented, with the reason when it could not be saved. Never ends on an
// exception. Returns the reporter's exit code; the crashed process ends by
// its signal either way.
int RunReporterProcess(const TReportFrontEnd& frontEnd);

struct TFatalReport {
    TCrashReport Report;
    std::string Text;
    std::string Message;
};

// The report of `fault`, read from the crashed process, whose registered
// threads are `threads`. When the process cannot be traced, the faulting
// thread's registers and the stack walk `walkedInProcess` fetches from the
// crashed process (false: none came) make a shorter report whose "Note"
// says why the other threads are missing.
TFatalReport BuildFatalReport(TFatalFault fault, const std::vector<TSignalThread>& threads,
                              const TReportOptions& options, const TReportFrontEnd& frontEnd,
                              const TDebugData* debug,
                              const std::function<bool(TStackTrace&)>& walkedInProcess);
