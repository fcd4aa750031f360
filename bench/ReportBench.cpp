// Time to gather and lay out one crash report of this process, with every
// section the program's options ask for (modules, processes, CPU). Prints the
// figures of 20 rounds; reads only this host and sends nothing.
#include "report/gather/Disassembly.h"
#include "report/gather/ModuleList.h"
#include "report/gather/ProcessList.h"
#include "report/gather/ReportGathering.h"
#include "report/text/ReportText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Print(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-22s min %7.2f ms   median %7.2f ms   max %7.2f ms\n", what, times.front(),
                times[times.size() / 2], times.back());
}

[[gnu::noinline]] int Fault(int x) {
    return x * 7;
}

} // namespace

int main() {
    constexpr int kRounds = 20;
    TReportInput input;
    input.ClassName = "EIdSocketError";
    input.Message = "Socket Error # 10048\r\nAddress already in use.";
    input.Address = reinterpret_cast<std::uintptr_t>(&Fault);
    input.StartTime = std::chrono::system_clock::now();
    std::uint64_t stack[16] = {};
    input.Context.Valid = true;
    input.Context.RSP = reinterpret_cast<std::uintptr_t>(stack);
    input.Context.RIP = input.Address;
    const TReportTexts texts;
    const std::uint8_t options = kLogModulesAndProcesses | kLogAssemblerAndCpu;

    std::vector<double> gather, format, total;
    std::size_t bytes = 0, processes = 0, modules = 0;
    for (int round = 0; round < kRounds; ++round) {
        const Clock::time_point start = Clock::now();
        const TCrashReport report = GatherReport(input, texts, options);
        gather.push_back(MillisecondsSince(start));
        const Clock::time_point laid = Clock::now();
        const std::string text = ReportText(report, texts, options);
        format.push_back(MillisecondsSince(laid));
        total.push_back(MillisecondsSince(start));
        bytes = text.size();
        processes = report.Processes.size();
        modules = report.Modules.size();
    }
    // Where the gathering time goes.
    std::vector<double> moduleTimes, processTimes, disassemblyTimes;
    for (int round = 0; round < kRounds; ++round) {
        Clock::time_point start = Clock::now();
        ListModules("", "");
        moduleTimes.push_back(MillisecondsSince(start));
        start = Clock::now();
        ListProcesses("", "");
        processTimes.push_back(MillisecondsSince(start));
        start = Clock::now();
        DisassemblyText(input.Address);
        disassemblyTimes.push_back(MillisecondsSince(start));
    }

    std::printf("one report: %zu bytes, %zu modules, %zu processes, %d rounds\n", bytes, modules,
                processes, kRounds);
    Print("gather", gather);
    Print("format", format);
    Print("gather + format", total);
    Print("  of which modules", moduleTimes);
    Print("  of which processes", processTimes);
    Print("  of which disassembly", disassemblyTimes);
    return 0;
}
