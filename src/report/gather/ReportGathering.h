#pragma once

#include "report/text/ReportData.h"
#include "report/text/ReportTexts.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What only the code that caught the exception knows. Texts are GBK.
struct TReportInput {
    std::string ClassName; // empty: the object was no exception
    std::string Message;
    std::uint64_t Address = 0; // where the exception was raised
    TCpuContext Context;       // the exception thread's registers
    TMemoryDump Stack;         // its stack as the throw left it; empty: read at report time
    std::vector<TCallStackEntry> CallStack; // exception thread first

    // The active window and the control with the focus, empty when unknown.
    std::string FormClass, FormText, ControlClass, ControlText;

    std::chrono::system_clock::time_point StartTime; // the program's start
    std::string Parameters; // the command line after the program, as the system gives it (UTF-8)
    std::string ProgramDescription; // the program's title
    std::string ProgramVersion;     // "a.b.c.d" from the build
    // When the program was built: its configuration block's stamp, seconds
    // since 1970 (UTC); 0 when it carries none.
    std::uint64_t BuildStamp = 0;

    // The screen, when the program has one: "1920 x 1080, 32 bit", "96".
    std::string DisplayMode, DisplayDpi;
};

// Gathers everything a report shows: the seven general blocks (labels from
// `texts`), the exception ID, and — as the log options ask — the modules and
// processes (kLogModulesAndProcesses) and the stack and memory dumps and the
// disassembly (kLogAssemblerAndCpu). Reads only this process and the host's
// files; what cannot be read stays empty.
TCrashReport GatherReport(const TReportInput& input, const TReportTexts& texts,
                          std::uint8_t logOptions);
