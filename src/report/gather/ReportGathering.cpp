#include "report/gather/ReportGathering.h"

#include "report/gather/CpuDump.h"
#include "report/gather/Disassembly.h"
#include "report/gather/GeneralItems.h"
#include "report/gather/ModuleList.h"
#include "report/gather/ProcessList.h"
#include "report/text/ReportText.h"

TCrashReport GatherReport(const TReportInput& input, const TReportTexts& texts,
                          std::uint8_t logOptions) {
    TCrashReport report;
    report.CallStack = input.CallStack;
    report.Context = input.Context;

    // The modules are needed for the exception block and the ID even when
    // their table is left out.
    std::vector<TModuleInfo> modules = ListModules(input.ProgramDescription, input.ProgramVersion);
    report.General = GeneralBlocks(input, ExceptionFactsOf(input, modules), texts);

    if (logOptions & kLogModulesAndProcesses) {
        report.Modules = std::move(modules);
        report.Processes = ListProcesses(input.ProgramDescription, input.ProgramVersion);
    }
    if (logOptions & kLogAssemblerAndCpu) {
        if (!input.Stack.Bytes.empty())
            report.Stack = input.Stack;
        else if (input.Context.Valid)
            report.Stack = ReadMemory(input.Context.RSP, kStackDumpSize);
        report.Memory = ReadMemory(input.Address, kMemoryDumpSize);
        report.Disassembly = DisassemblyText(input.Address);
    }
    return report;
}
