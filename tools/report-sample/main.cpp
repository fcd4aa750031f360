// Prints a full crash report about this running process, for a synthetic
// socket exception raised here: real modules, processes, registers, stack,
// memory and code. It only reads this host; it sends nothing.
//
//   report-sample          the report as it is logged (GBK, "\r\n")
//   report-sample --utf8   the same converted for a UTF-8 terminal
#include "platform/CodePage.h"
#include "report/gather/ModuleList.h"
#include "report/gather/ReportGathering.h"
#include "report/text/ReportText.h"

#include <execinfo.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

TCpuContext ContextOf(const ucontext_t& context) {
    const greg_t* r = context.uc_mcontext.gregs;
    TCpuContext c;
    c.Valid = true;
    c.RAX = r[REG_RAX], c.RBX = r[REG_RBX], c.RCX = r[REG_RCX], c.RDX = r[REG_RDX];
    c.RSI = r[REG_RSI], c.RDI = r[REG_RDI], c.RBP = r[REG_RBP], c.RSP = r[REG_RSP];
    c.R8 = r[REG_R8], c.R9 = r[REG_R9], c.R10 = r[REG_R10], c.R11 = r[REG_R11];
    c.R12 = r[REG_R12], c.R13 = r[REG_R13], c.R14 = r[REG_R14], c.R15 = r[REG_R15];
    c.RIP = r[REG_RIP];
    return c;
}

// This thread's return addresses; outside the program's debug data, so the
// rows carry address and module only.
[[gnu::noinline]] std::vector<TCallStackEntry> OwnStack(std::uint64_t from) {
    void* frames[64];
    const int count = backtrace(frames, 64);
    const std::vector<TModuleInfo> modules = ListModules("", "");
    TThreadHeader thread{true,
                         static_cast<std::uint64_t>(gettid()),
                         std::to_string(getpriority(PRIO_PROCESS, 0)),
                         "",
                         true,
                         ""};
    std::vector<TCallStackEntry> stack;
    stack.push_back({from, "", "", "", "", 0, 0, TStackKind::ExceptionThread, true, thread});
    // The first two return addresses lie in this function and in the one
    // that raised; the raising one is already the first entry.
    for (int i = 2; i < count; ++i) {
        TCallStackEntry entry;
        entry.Address = reinterpret_cast<std::uintptr_t>(frames[i]);
        entry.Thread = thread;
        stack.push_back(entry);
    }
    for (TCallStackEntry& entry : stack)
        if (const TModuleInfo* module = ModuleAt(modules, entry.Address))
            entry.Module = module->Name;
    return stack;
}

// Stands where a failing socket call would raise its exception.
[[gnu::noinline]] TReportInput RaiseSocketError() {
    ucontext_t context{};
    getcontext(&context);
    TReportInput input;
    input.ClassName = "EIdSocketError";
    input.Message = "Socket Error # 10048\r\nAddress already in use.";
    input.Context = ContextOf(context);
    input.Address = input.Context.RIP;
    input.CallStack = OwnStack(input.Address);
    return input;
}

} // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::system_clock::now();
    const bool utf8 = argc > 1 && std::strcmp(argv[1], "--utf8") == 0;
    TReportInput input = RaiseSocketError();
    input.StartTime = start;
    for (int i = 1; i < argc; ++i)
        input.Parameters.append(i > 1 ? " " : "").append(argv[i]);
    input.ProgramDescription = Utf8ToGbk("崩溃报告示例");
    input.ProgramVersion = DF_VERSION;

    const TReportTexts texts;
    const std::uint8_t logOptions = kLogModulesAndProcesses | kLogAssemblerAndCpu;
    const std::string text = ReportText(GatherReport(input, texts, logOptions), texts, logOptions);
    const std::string shown = utf8 ? GbkToUtf8(text) : text;
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    return 0;
}
