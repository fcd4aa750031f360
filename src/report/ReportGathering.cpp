#include "report/ReportGathering.h"

#include "report/CpuDump.h"
#include "report/Disassembly.h"
#include "report/ExceptionId.h"
#include "report/GeneralItems.h"
#include "report/ModuleList.h"
#include "report/ProcessList.h"
#include "report/ReportText.h"

TCrashReport GatherReport(const TReportInput& input, const TReportTexts& texts,
                          std::uint8_t logOptions) {
    TCrashReport report;
    report.CallStack = input.CallStack;
    report.Context = input.Context;

    // The modules are needed for the exception block and the ID even when
    // their table is left out.
    std::vector<TModuleInfo> modules = ListModules(input.ProgramDescription, input.ProgramVersion);
    const TModuleInfo* found = ModuleAt(modules, input.Address);
    const TModuleInfo exceptionModule = found ? *found : TModuleInfo{};
    const TModuleInfo mainModule = modules.empty() ? TModuleInfo{} : modules.front();

    TExceptionFacts facts;
    facts.Date = std::chrono::system_clock::now();
    facts.ModuleName = exceptionModule.Name;
    facts.ModuleVersion = exceptionModule.Version == "0.0.0.0" ? "" : exceptionModule.Version;
    facts.Type = input.ClassName.empty() ? "Unknown exception type" : input.ClassName;
    facts.Id = ExceptionId(mainModule, exceptionModule, facts.Type, input.CallStack);
    report.General = GeneralBlocks(input, facts, texts);

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
